#include "player/movie_source.h"

#include <cstdint>

#include "audio/sound_track.h"
#include "engine/last_error.h"
#include "engine/movie.h"

namespace vexil {
namespace {

// Path separators for the extension test and the title. Backslash and colon
// are the names the command text carries; '/' reaches a name only through
// file-name arguments on POSIX systems.
constexpr const char kSeparators[] = "\\:/";

// The decimal offset after a colon or bar: digits after optional blanks,
// stopping at the first other character. False when there are no digits or
// the number does not fit a file offset.
bool ParseOffset(const std::string& text, int64_t* offset) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  if (pos == text.size() || text[pos] < '0' || text[pos] > '9') return false;
  int64_t value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (value > (INT64_MAX - 9) / 10) return false;
    value = value * 10 + (text[pos] - '0');
  }
  *offset = value;
  return true;
}

// Opens `path` and the movie at `offset` in it, with `message` when the file
// cannot be opened or positioned.
OpenedSource OpenAtOffset(const std::string& path, const std::string& offset_text,
                          uint32_t open_flags, const char* message) {
  OpenedSource opened;
  opened.title = kWindowTitle;
  opened.file_name = path;
  int64_t offset = 0;
  platform::FileHandle file = platform::FileOpenRead(path.c_str());
  if (file == platform::kNoFile) {
    SetLastErrorText(message);
    return opened;
  }
  // An offset that is not a number would read the movie from wherever the
  // file happens to start; refuse it like a file that cannot be opened.
  if (!ParseOffset(offset_text, &offset) || !platform::FileSeek(file, offset)) {
    platform::FileClose(file);
    SetLastErrorText(message);
    return opened;
  }
  opened.movie = Open(MovieSource::Handle(file), open_flags | OPEN_FILE_HANDLE);
  if (!opened.movie) {
    platform::FileClose(file);
    return opened;
  }
  opened.file = file;
  return opened;
}

}  // namespace

void HandOverOpenSettings(const PlayerSettings& s) {
  if (s.rate_override.num != -1 && s.rate_override.den != -1)
    SetRateOverride(s.rate_override.num, s.rate_override.den);
  if (s.sound_track != 0) {
    const uint32_t id = static_cast<uint32_t>(s.sound_track);
    SetSoundTrack(1, &id);
  }
  if (s.read_speed != 0) SetSimulatedReadSpeed(s.read_speed);
  if (s.read_buffer_size != -1) SetReadBufferSize(s.read_buffer_size);
}

std::string MovieFileName(const std::string& name) {
  size_t last_separator = name.find_last_of(kSeparators);
  size_t dot = name.rfind('.');
  bool has_extension =
      dot != std::string::npos && (last_separator == std::string::npos || dot > last_separator);
  return has_extension ? name : name + kMovieExtension;
}

OpenedSource OpenMovieSource(const std::string& name, const PlayerSettings& settings,
                             const SourceContext& context) {
  HandOverOpenSettings(settings);
  if (!name.empty() && name[0] == ':') {
    return OpenAtOffset(context.program_path, name.substr(1), settings.open_flags,
                        kErrOpeningExe);
  }
  OpenedSource opened;
  if (context.version_reminder && context.version_reminder()) {
    opened.quit = true;
    return opened;
  }
  if (size_t bar = name.find('|'); bar != std::string::npos) {
    return OpenAtOffset(name.substr(0, bar), name.substr(bar + 1), settings.open_flags,
                        kErrOpeningFile);
  }
  const std::string file_name = MovieFileName(name);
  opened.file_name = file_name;
  opened.movie = Open(MovieSource::Name(file_name.c_str()), settings.open_flags);
  if (opened.movie) {
    size_t last_separator = file_name.find_last_of(kSeparators);
    std::string last = last_separator == std::string::npos ? file_name
                                                           : file_name.substr(last_separator + 1);
    opened.title = last + kTitleSuffix;
  } else {
    opened.title = kWindowTitle;
  }
  return opened;
}

void CloseMovieSource(OpenedSource& source) {
  Close(source.movie);
  source.movie = nullptr;
  platform::FileClose(source.file);
  source.file = platform::kNoFile;
}

}  // namespace vexil
