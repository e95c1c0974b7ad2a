#include "player/screensaver_mode.h"

#include <algorithm>
#include <limits>

#include "engine/movie.h"

namespace vexil {

bool IsScreensaverProgram(std::string_view path) {
  if (!path.empty() && path.back() == '"') path.remove_suffix(1);
  if (path.size() < 3) return false;
  std::string_view end = path.substr(path.size() - 3);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
  return lower(end[0]) == 's' && lower(end[1]) == 'c' && lower(end[2]) == 'r';
}

int32_t EvaluateScreensaverArguments(std::string_view line) {
  const size_t at = line.find_first_of("/-");
  if (at == std::string_view::npos || at + 1 >= line.size()) return kSaverRun;
  switch (line[at + 1]) {
    case 'c':
    case 'C':
      return kSaverSettings;
    case 's':
    case 'S':
      return kSaverFull;
    case 'p':
    case 'P': {
      size_t pos = line.find_first_of("0123456789", at + 1);
      if (pos == std::string_view::npos) return kSaverEnd;
      // A number too large for a window is no window the system knows;
      // held at the largest one rather than wrapped into some other.
      int64_t number = 0;
      for (; pos < line.size() && line[pos] >= '0' && line[pos] <= '9'; ++pos)
        number =
            std::min<int64_t>(number * 10 + (line[pos] - '0'), std::numeric_limits<int32_t>::max());
      return static_cast<int32_t>(number);
    }
    default:
      return kSaverRun;
  }
}

void ApplyScreensaverSettings(int32_t mode, int32_t preview_width, int32_t preview_height,
                              PlayerSettings& s) {
  if (mode == kSaverRun || mode == kSaverFull) {
    s.always_on_top = 1;
    s.disabled_controls = CONTROL_PAUSE | CONTROL_SKIP | CONTROL_QUIT | 8;
    return;
  }
  if (!IsPreviewMode(mode)) return;
  s.buffer_flags &= ~PLAYER_BUFFER_FULL_SCREEN;
  // A track id no movie has: the preview is silent.
  s.open_flags |= OPEN_TRACK_LIST;
  s.sound_track = -1;
  s.parent_window = mode;
  s.window_x = 0;
  s.window_y = 0;
  s.width_request = {preview_width, 1};
  s.height_request = {preview_height, 1};
}

}  // namespace vexil
