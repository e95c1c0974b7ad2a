#include "platform/screensaver.h"

#include <map>
#include <utility>

#include "platform/backend.h"

namespace vexil::platform {
namespace {

struct HeadlessSaver {
  std::vector<bool> notices;
  std::deque<bool> answers;
  int checks = 0;
  std::map<intptr_t, std::pair<int32_t, int32_t>> foreign;
};

HeadlessSaver& Headless() {
  static HeadlessSaver saver;
  return saver;
}

}  // namespace

void SetScreenSaverRunning(bool running) {
  if (ActiveBackend() == Backend::kHeadless) {
    Headless().notices.push_back(running);
    return;
  }
  SystemSetScreenSaverRunning(running);
}

bool ScreenSaverPasswordCheck() {
  if (ActiveBackend() == Backend::kHeadless) {
    HeadlessSaver& s = Headless();
    ++s.checks;
    if (s.answers.empty()) return true;
    const bool given = s.answers.front();
    s.answers.pop_front();
    return given;
  }
  return SystemScreenSaverPasswordCheck();
}

bool PreviewClientSize(intptr_t window, int32_t* width, int32_t* height) {
  if (ActiveBackend() == Backend::kHeadless) {
    const auto found = Headless().foreign.find(window);
    if (found == Headless().foreign.end()) return false;
    *width = found->second.first;
    *height = found->second.second;
    return true;
  }
  return SystemPreviewClientSize(window, width, height);
}

const std::vector<bool>& HeadlessScreenSaverNotices() {
  return Headless().notices;
}

void SetHeadlessPasswordAnswers(std::deque<bool> answers) {
  Headless().answers = std::move(answers);
}

int HeadlessPasswordChecks() {
  return Headless().checks;
}

void SetHeadlessForeignWindow(intptr_t window, int32_t width, int32_t height) {
  if (width < 0) {
    Headless().foreign.erase(window);
  } else {
    Headless().foreign[window] = {width, height};
  }
}

void ResetHeadlessScreenSaver() {
  Headless() = HeadlessSaver{};
}

}  // namespace vexil::platform
