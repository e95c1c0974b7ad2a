// Message boxes. The headless back end writes the text to standard error;
// tests can capture what would have been shown instead.
#pragma once

#include <string>
#include <vector>

namespace vexil::platform {

enum class MessageIcon { kNone, kInformation, kError, kQuestion };

struct ShownMessage {
  std::string caption;
  std::string text;
  MessageIcon icon;

  bool operator==(const ShownMessage&) const = default;
};

// Shows a box with an OK button and returns when it is dismissed. Player
// thread only.
void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

// While `into` is set, boxes are appended to it and not shown; null ends the
// capture.
void CaptureMessageBoxes(std::vector<ShownMessage>* into);

}  // namespace vexil::platform
