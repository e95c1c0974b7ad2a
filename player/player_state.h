// The player's state besides its settings: the one window, the movie playing
// and its display buffer with the conversion context, the user's pause, the end requests, the
// closing picture, the list position and the loop's sleep debt. One record per run of the player,
// reached by the window procedure through the window.
//
// Player thread only.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>

#include "display/conversion_context.h"
#include "platform/error_text.h"
#include "platform/window.h"
#include "player/movie_source.h"
#include "player/name_list.h"
#include "player/settings.h"
#include "player/statistics.h"

namespace vexil {

struct DisplayBuffer;
struct Engine;

// End requests.
constexpr int32_t kEndNone = 0;
constexpr int32_t kEndMovie = 1;   // a quit action: end the current movie
constexpr int32_t kEndAtOnce = 2;  // a quit action during the closing picture

// How long the closing picture shows.
constexpr uint32_t kClosingPictureMs = 2250;
// The page a click on the closing picture opens.
inline constexpr const char kClosingPage[] =
    "https://www.example.org/vexilplay/?from=vexilplay&ver=1.9h";

// Colours of the statistics line (0xRRGGBB).
constexpr uint32_t kStatisticsColour = 0xFFFF00;
constexpr uint32_t kStatisticsBackground = 0x000000;

struct Player {
  Engine* engine = nullptr;  // opens every movie of the run
  PlayerSettings settings;
  SourceContext sources;
  platform::Window* window = nullptr;

  OpenedSource source;  // the movie playing, its file and title
  // The last-error text: what the last failed movie or buffer open left, as
  // the error box shows it.
  ErrorText last_error;
  MovieHandle* movie() const { return source.movie; }
  DisplayBuffer* buffer = nullptr;
  // The last movie's buffer while the next movie's is made.
  DisplayBuffer* previous_buffer = nullptr;
  // The buffer flags this movie's buffer was made with.
  uint32_t buffer_flags = 0;

  uint32_t user_paused = 0;  // 0 or all bits set
  int32_t has_focus = 0;
  int32_t end_of_movie = 0;
  int32_t end_request = kEndNone;
  int32_t quitting = 0;
  int32_t closing_picture = 0;
  uint32_t closing_deadline = 0;
  int32_t list_loops = 1;
  int32_t hold_black_fill = 1;
  int32_t interlace_fill = 0;
  uint32_t copy_flags = 0;
  // Every frame is copied through this context: its dither rows carry on
  // from movie to movie, as the player's copies follow one another.
  ConversionContext conversion;
  platform::Point picture = {0, 0};  // the picture's offset in the client area
  platform::Rect statistics_rect = {0, 0, 0, 0};
  int32_t sleep_debt = 0;
  // The movie whose frame was copied last, and its count of decoded frames
  // then: a frame already on the screen is not copied again.
  const MovieHandle* copied_movie = nullptr;
  uint32_t copied_count = 0;

  // Screensaver mode (player/screensaver_mode.h): 0 when not a saver.
  int32_t screensaver_mode = 0;
  // Set once the saver's password check passed (or was not needed).
  bool password_passed = false;
  // The saver's mouse moves: the last position recorded and the moves
  // counted since the count last ran out.
  bool mouse_recorded = false;
  platform::Point last_mouse = {0, 0};
  int32_t mouse_moves = 0;
  // A preview starts to play this long after its start.
  bool preview_delay = false;
  uint32_t preview_delay_start = 0;

  NameList names;
  // Files already reported as ending early (a list that loops plays them again).
  std::set<std::string> reported_early_ends;
  // Set once the user was told that there is no sound.
  bool reported_no_sound = false;
  SummaryRecord summary{};
  bool summary_captured = false;

  // The closing picture: a movie in memory, its bytes followed by at least
  // 1 KiB of zero bytes. Empty: there is none (its open fails).
  std::span<const uint8_t> closing_movie;
};

}  // namespace vexil
