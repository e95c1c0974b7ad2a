// The player's settings, parsed once from the command text. Everything the
// window, the playback loop, the statistics, the screensaver mode, the
// engine's open and the display buffer read from the command line is here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/switches.h"

namespace vexil {

// Bits of the display buffer's open flags that the parser sets: the blitting
// style number in the low bits and the full-screen bit.
constexpr uint32_t PLAYER_BUFFER_STYLE_MASK = 0x0000001F;
constexpr uint32_t PLAYER_BUFFER_FULL_SCREEN = 0x00800000;
// The display's alpha bits in the copy flags (/A with 1000).
constexpr uint32_t PLAYER_COPY_ALPHA = 0x00100800;

constexpr int32_t kWindowCentred = -3000;  // /X, /Y default: centre on the screen
constexpr int32_t kBlitStyleDibSection = 2;
constexpr int32_t kHighestBlitStyle = 10;

// Window styles (/I value mod 100).
constexpr int32_t kWindowNormal = 0;
constexpr int32_t kWindowNoCaption = 1;
constexpr int32_t kWindowBare = 2;

// Disabled controls (/U bits).
constexpr uint32_t CONTROL_PAUSE = 1;
constexpr uint32_t CONTROL_SKIP = 2;
constexpr uint32_t CONTROL_QUIT = 4;

// The display mode that /D asks for, handed to the display buffer before the
// first full-screen open. Zero size: no change.
struct DisplayModeRequest {
  int32_t width;
  int32_t height;
  int32_t depth;  // 16, 24, 32 or 8; or 1, 2, 3 for a search order

  bool operator==(const DisplayModeRequest&) const = default;
};

struct PlayerSettings {
  int32_t play_count = 1;  // 0: forever
  int32_t parent_window = 0;
  Rational rate_override = {-1, -1};  // -1, -1: the movie's rate; 0/0: as fast as possible
  int32_t sound_track = 0;
  int32_t read_speed = 0;         // simulated bytes per second; 0: none
  int32_t read_buffer_size = -1;  // -1: the engine's choice
  uint32_t disabled_controls = 0;
  int32_t window_style = kWindowNormal;
  int32_t always_on_top = 0;
  bool use_wave_out = false;
  bool show_summary = false;
  bool show_statistics = false;
  bool keep_playing = false;  // without the focus
  bool black_background = false;
  bool hide_cursor = false;
  int32_t window_x = kWindowCentred;
  int32_t window_y = kWindowCentred;
  Rational width_request = {0, 0};  // 0/0: the movie's size
  Rational height_request = {0, 0};
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  uint32_t open_flags = 0;
  uint32_t buffer_flags = 0;
  uint32_t copy_flags = 0;
  DisplayModeRequest display_mode = {0, 0, 0};

  // What is left of the command text: the movie names.
  std::string name_list;
  // File-name arguments, each one whole name played after the text's names:
  // a file name may hold quotes, commas or outer blanks the text would split.
  std::vector<std::string> file_names;
  // The help box is due: a switch was not recognised, was repeated or was
  // refused, or no name is left.
  bool show_help = false;

  bool operator==(const PlayerSettings&) const = default;
};

struct CommandInput {
  std::string_view default_command;  // as loaded (cut at its first `~`)
  std::string_view command_line;     // the real command line, program name skipped
  // Arguments that name movie files (POSIX): kept out of switch parsing and
  // added to the name list after it.
  std::vector<std::string> movie_names;
  std::string_view quick_play;  // the stored quick-play switches, for /!
  bool screensaver = false;
  int32_t screen_width = 0;  // the desktop's
  int32_t screen_height = 0;
};

// Longest quick-play text that /! appends.
constexpr size_t kQuickPlayLimit = 255;

// Assembles the command text (default command, then the real command line
// unless in screensaver mode), cancels switches and parses every switch in
// the fixed order.
PlayerSettings ParseCommandText(const CommandInput& input);

}  // namespace vexil
