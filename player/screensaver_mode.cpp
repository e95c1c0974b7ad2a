#include "player/screensaver_mode.h"

namespace vexil {

bool IsScreensaverProgram(std::string_view path) {
  if (!path.empty() && path.back() == '"') path.remove_suffix(1);
  if (path.size() < 3) return false;
  std::string_view end = path.substr(path.size() - 3);
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
  return lower(end[0]) == 's' && lower(end[1]) == 'c' && lower(end[2]) == 'r';
}

}  // namespace vexil
