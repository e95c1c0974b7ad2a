#include "player/startup.h"

#include "engine/last_error.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/store.h"
#include "platform/system.h"
#include "player/default_command.h"
#include "player/help_text.h"
#include "player/movie_source.h"
#include "player/name_list.h"
#include "player/screensaver_mode.h"
#include "player/settings.h"

namespace vexil {

int RunPlayer(const PlayerStart& start) {
  // 1. Processors: two decode threads when there is more than one (the decode
  // threads are started here once the frame decoder has them).
  const uint32_t processors = platform::ProcessorCount();
  (void)processors;

  // 2, 3. Default command; screensaver mode from the program's own name.
  const std::string default_command = start.default_command.value_or(LoadDefaultCommand());
  const std::string program_path = start.program_path.value_or(platform::ModulePath());
  const bool screensaver = IsScreensaverProgram(program_path);

  // 4, 5. Command text and switches.
  const platform::DesktopMode desktop = platform::Desktop();
  const std::string quick_play = platform::StoreRead(kQuickPlayValue, "", kQuickPlayLimit);
  CommandInput input;
  input.default_command = default_command;
  input.command_line = start.command_line;
  if (!screensaver) input.movie_names = start.movie_names;
  input.quick_play = quick_play;
  input.screensaver = screensaver;
  input.screen_width = desktop.width;
  input.screen_height = desktop.height;
  PlayerSettings settings = ParseCommandText(input);

  // 6, 7: the screensaver arguments and the window class come with the
  // window.

  // 8. Help.
  if (settings.show_help) {
    platform::ShowMessageBox(kHelpCaption, HelpText(), platform::MessageIcon::kInformation);
    return kExitFailure;
  }

  // 9, 10: the window and the sound output are not part of this build.

  // 11. The movies, in list order. Each is opened and closed again: without a
  // playback loop that is all this build can do, but a failed open gets its
  // box and exit code as it will in the finished player.
  NameList names(settings.name_list);
  int32_t list_loops = 1;
  std::string name;
  if (!TakeFirstName(names, &settings.play_count, &list_loops, &name)) return kExitFailure;
  SourceContext context;
  context.program_path = program_path;
  do {
    OpenedSource opened = OpenMovieSource(name, settings, context);
    if (opened.quit) return kExitFailure;
    if (!opened.movie) {
      platform::ShowMessageBox(kErrorCaption, LastError(), platform::MessageIcon::kError);
      return kExitFailure;
    }
    CloseMovieSource(opened);
  } while (names.TakeNext(&name));
  return kExitNoPlayback;
}

}  // namespace vexil
