#include <cstdio>

#include "platform/headless/headless_backend.h"

namespace vexil::platform::headless {

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  // Without a screen the text is all the user gets; it goes out verbatim so
  // scripts can compare it (the help text already ends with a line feed).
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace vexil::platform::headless
