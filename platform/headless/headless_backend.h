// The headless back end's versions of the interfaces that follow the back-end
// choice (platform/backend.h). Only the portable dispatchers call these.
#pragma once

#include <string>

#include "platform/desktop.h"
#include "platform/dialogs.h"

namespace vexil::platform::headless {

// 1920 x 1080 at 32 bits unless a test set another mode (SetHeadlessDesktop).
DesktopMode Desktop();

// Writes the text to standard error.
void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace vexil::platform::headless
