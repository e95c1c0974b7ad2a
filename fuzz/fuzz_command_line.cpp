// The command-line parser fed raw text: the default command, the real command
// line (also rebuilt from POSIX arguments), the quick-play switches and the
// screen size come from the input; then the name list is taken apart as the
// player does, and each name turned into the file name it would open.
//
// Fields are separated by byte 0x01; a line of plain text is a command line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/command_line.h"
#include "player/command_text.h"
#include "player/default_command.h"
#include "player/movie_source.h"
#include "player/name_list.h"
#include "player/screensaver_mode.h"
#include "player/settings.h"

namespace {

using namespace vexil;

constexpr char kSeparator = '\x01';

// Stands in for the file system: a name "exists" when it ends in 'x' or has
// a '/' as its second character, so both kinds of argument occur.
bool FakeFileExists(const char* name) {
  const std::string_view n(name);
  return (!n.empty() && n.back() == 'x') || (n.size() > 1 && n[1] == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (fields.size() < 5) {
    const size_t end = all.find(kSeparator, at);
    fields.push_back(
        all.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  const std::string_view line = fields[0];
  const std::string_view default_block = fields.size() > 1 ? fields[1] : std::string_view();
  const std::string_view quick_play = fields.size() > 2 ? fields[2] : std::string_view();
  const std::string_view arguments = fields.size() > 3 ? fields[3] : std::string_view();
  const std::string_view extra = fields.size() > 4 ? fields[4] : std::string_view();

  // POSIX arguments: the fourth field split at NUL bytes.
  std::vector<std::string> argv;
  for (size_t from = 0; from <= arguments.size() && !arguments.empty();) {
    const size_t end = arguments.find('\0', from);
    argv.emplace_back(arguments.substr(
        from, end == std::string_view::npos ? std::string_view::npos : end - from));
    if (end == std::string_view::npos) break;
    from = end + 1;
  }
  const RawCommandLine raw = RebuildCommandLine(argv, FakeFileExists);

  const std::string default_command = DefaultCommandFromBlock(default_block);
  CommandInput input;
  input.default_command = default_command;
  const std::string joined = std::string(SkipProgramName(line)) + " " + raw.text;
  input.command_line = joined;
  input.movie_names = raw.movie_names;
  input.quick_play = quick_play.substr(0, kQuickPlayLimit);
  const uint8_t choice = extra.empty() ? 0 : static_cast<uint8_t>(extra[0]);
  input.screensaver = choice & 1 || IsScreensaverProgram(extra);
  const int32_t screens[][2] = {{1920, 1080}, {0, 0}, {1, 1}, {32767, 32767}};
  input.screen_width = screens[(choice >> 1) & 3][0];
  input.screen_height = screens[(choice >> 1) & 3][1];
  PlayerSettings settings = ParseCommandText(input);

  // Switch cancellation alone, and the text helpers on the raw line.
  std::string text(line);
  CancelSwitches(text);
  AppendCommandText(text, quick_play);

  if (settings.show_help) return 0;
  NameList names(settings.name_list, settings.file_names);
  int32_t list_loops = 1;
  std::string name;
  if (!TakeFirstName(names, &settings.play_count, &list_loops, &name)) return 0;
  // At most 256 names fit in the 511 characters of the command text; each
  // file-name argument adds one.
  const size_t most = 256 + raw.movie_names.size();
  for (int round = 0; round < 2; ++round) {
    size_t count = 0;
    do {
      (void)MovieFileName(name);
    } while (++count <= most && names.TakeNext(&name));
    if (count > most) __builtin_trap();
    names.Restore();
    if (!names.TakeNext(&name)) break;
  }
  return 0;
}
