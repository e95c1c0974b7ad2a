#include "platform/dialogs.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/backend.h"
#include "platform/headless/headless_backend.h"
#ifdef VEXIL_HAVE_SDL
#include "platform/sdl/dialogs_sdl.h"
#endif
#ifdef _WIN32
#include "platform/win32/win32_backend.h"
#endif

namespace vexil::platform {
namespace {

std::vector<ShownMessage>* g_capture = nullptr;
std::deque<bool> g_answers;

// VEXIL_MESSAGE_LOG=file: every box shown is also appended there (caption,
// text, a blank line), so that scripts can read what a real system's box said.
void LogMessageBox(const std::string& caption, const std::string& text) {
  const char* path = std::getenv("VEXIL_MESSAGE_LOG");
  if (!path || !*path) return;
  if (std::FILE* log = std::fopen(path, "ab")) {
    std::fprintf(log, "%s\n%s%s\n", caption.c_str(), text.c_str(),
                 !text.empty() && text.back() == '\n' ? "" : "\n");
    std::fclose(log);
  }
}

}  // namespace

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  // Captured boxes are never shown, whichever back end is active.
  if (g_capture) {
    g_capture->push_back(ShownMessage{caption, text, icon});
    return;
  }
  LogMessageBox(caption, text);
  switch (ActiveBackend()) {
#ifdef _WIN32
    case Backend::kWin32:
      return win32::ShowMessageBox(caption, text, icon);
#endif
#ifdef VEXIL_HAVE_SDL
    case Backend::kSdl:
      // Where SDL cannot show a box, the text goes out as without a screen.
      if (SdlShowMessageBox(caption, text, icon)) return;
      return headless::ShowMessageBox(caption, text, icon);
#endif
    default:
      return headless::ShowMessageBox(caption, text, icon);
  }
}

bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) {
  if (g_capture) {
    g_capture->push_back(ShownMessage{caption, text, icon});
    if (g_answers.empty()) return false;
    const bool yes = g_answers.front();
    g_answers.pop_front();
    return yes;
  }
  LogMessageBox(caption, text);
  bool yes = false;
  switch (ActiveBackend()) {
#ifdef _WIN32
    case Backend::kWin32:
      return win32::AskYesNo(caption, text, icon);
#endif
#ifdef VEXIL_HAVE_SDL
    case Backend::kSdl:
      if (SdlAskYesNo(caption, text, icon, &yes)) return yes;
      break;
#endif
    default:
      break;
  }
  // Nobody to answer: the question is told and taken as declined.
  headless::ShowMessageBox(caption, text, icon);
  return yes;
}

void CaptureMessageBoxes(std::vector<ShownMessage>* into) {
  g_capture = into;
  if (!into) g_answers.clear();
}

void SetCapturedAnswers(std::deque<bool> answers) {
  g_answers = std::move(answers);
}

}  // namespace vexil::platform
