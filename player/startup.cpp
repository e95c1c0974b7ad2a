#include "player/startup.h"

#include "audio/driver_directsound.h"
#include "audio/driver_waveout.h"
#include "audio/sound_system.h"
#include "display/display_buffer.h"
#include "engine/engine.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/screensaver.h"
#include "platform/store.h"
#include "platform/system.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "player/closing_source.h"
#include "player/default_command.h"
#include "player/help_text.h"
#include "player/movie_source.h"
#include "player/name_list.h"
#include "player/playback_loop.h"
#include "player/player_state.h"
#include "player/screensaver_mode.h"
#include "player/settings.h"
#include "player/version_reminder.h"
#include "player/window_procedure.h"

namespace vexil {
namespace {

// The window class is the run's: a later run in the same process registers
// it again.
struct WindowClassRegistration {
  bool registered;
  explicit WindowClassRegistration(bool hide_cursor)
      : registered(RegisterPlayerWindowClass(hide_cursor)) {}
  ~WindowClassRegistration() {
    if (registered) UnregisterPlayerWindowClass();
    platform::ClearMessages();
  }
  WindowClassRegistration(const WindowClassRegistration&) = delete;
  WindowClassRegistration& operator=(const WindowClassRegistration&) = delete;
};

}  // namespace

int RunPlayer(const PlayerStart& start) {
  // The engine: decoding runs beside the player thread, and a second
  // processor gets a second decode thread. It lives as long as the run: its
  // threads are stopped and joined on every way out of it.
  Engine engine;
  engine.decode_threads.Start(platform::ProcessorCount() > 1 ? 2 : 1);

  // The program's own default command comes first; a program whose name ends
  // in "scr" is a screen saver.
  const std::string default_command = start.default_command.value_or(LoadDefaultCommand());
  const std::string program_path = start.program_path.value_or(platform::ModulePath());
  const bool screensaver = IsScreensaverProgram(program_path);

  // The switches, from the default command, the command line (not for a
  // saver) and the quick-play value.
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
  Player player;
  player.settings = ParseCommandText(input);
  PlayerSettings& settings = player.settings;

  // A saver follows its host's arguments; some of them end the run here.
  int32_t saver_mode = kSaverEnd;
  if (screensaver) {
    saver_mode = EvaluateScreensaverArguments(start.command_line);
    if (saver_mode == kSaverEnd) return kExitSuccess;
    if (saver_mode == kSaverSettings) {
      platform::ShowMessageBox(kSaverSettingsCaption, kSaverSettingsText,
                               platform::MessageIcon::kNone);
      return kExitSuccess;
    }
    // A preview area that cannot be measured leaves the picture its own size.
    int32_t width = 0, height = 0;
    if (IsPreviewMode(saver_mode) && !platform::PreviewClientSize(saver_mode, &width, &height))
      width = height = 0;
    ApplyScreensaverSettings(saver_mode, width, height, settings);
    if (IsPreviewMode(saver_mode)) {
      player.preview_delay = true;
      player.preview_delay_start = Timer();
    }
  }
  player.screensaver_mode = saver_mode;

  // The class first: without it there can be no window, nor a word about it.
  WindowClassRegistration window_class(settings.hide_cursor);
  if (!window_class.registered) return kExitFailure;

  // A switch nobody took, or nothing to play: the switch list, and the end.
  if (settings.show_help) {
    platform::ShowMessageBox(kHelpCaption, HelpText(), platform::MessageIcon::kInformation);
    return kExitFailure;
  }

  // One window for every movie of the run.
  platform::WindowCreation creation;
  creation.class_name = kWindowClassName;
  creation.title = kWindowTitle;
  creation.style = PlayerWindowStyle(settings.window_style, saver_mode > kSaverChildAbove);
  creation.ex_style = PlayerWindowExStyle(settings.window_style, settings.always_on_top);
  creation.width = 32;
  creation.height = 32;
  creation.parent = settings.parent_window;
  creation.user_data = &player;
  std::unique_ptr<platform::Window> window = platform::OpenWindow(creation);
  if (!window) {
    platform::ShowMessageBox(kWindowErrorCaption, kErrCreatingWindow,
                             platform::MessageIcon::kError);
    return kExitFailure;
  }

  // The sound output, before the first movie opens. Without a working
  // output the movies play silent.
  SetSoundSystem(&engine.sound_system,
                 settings.use_wave_out ? WaveOutSoundProvider : DirectSoundProvider);

  // The movies, one after the other, in a display mode of their own when
  // /D asked for one.
  if (settings.display_mode.width)
    BufferSetDisplayMode(settings.display_mode.width, settings.display_mode.height,
                         settings.display_mode.depth);
  player.engine = &engine;
  player.window = window.get();
  player.sources.program_path = program_path;
  player.sources.version_reminder = [&program_path] { return RunVersionReminder(program_path); };
  player.closing_movie = start.closing_picture.value_or(BuiltInClosingPicture());
  player.copy_flags = settings.copy_flags;
  player.names = NameList(settings.name_list, settings.file_names);
  std::string name;
  if (!TakeFirstName(player.names, &settings.play_count, &player.list_loops, &name))
    return kExitFailure;
  const int code = PlayMovies(player, name);
  // The buffers are closed; the window can go.
  window.reset();
  return code;
}

}  // namespace vexil
