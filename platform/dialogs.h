// Message boxes. The headless back end writes the text to standard error;
// tests can capture what would have been shown instead.
#pragma once

#include <deque>
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

// Shows a box with Yes and No buttons; true when the user chose Yes. Without
// a screen the text goes to standard error and the answer is No. Player
// thread only.
bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon);

// While `into` is set, boxes are appended to it and not shown; null ends the
// capture. Captured yes/no boxes take their answers from
// SetCapturedAnswers, in order, and answer No when those run out.
void CaptureMessageBoxes(std::vector<ShownMessage>* into);
void SetCapturedAnswers(std::deque<bool> answers);

}  // namespace vexil::platform
