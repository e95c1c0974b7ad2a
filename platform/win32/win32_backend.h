// The Win32 back end's versions of the interfaces that follow the back-end
// choice (platform/backend.h). Only the portable dispatchers call these.
#pragma once

#include <string>

#include "platform/desktop.h"
#include "platform/dialogs.h"

namespace vexil::platform::win32 {

// The primary display's size (system metrics) and depth.
DesktopMode Desktop();

// A message box with an OK button and the icon; no owner window yet.
void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);
// A box with Yes and No buttons and the icon; true for Yes.
bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace vexil::platform::win32
