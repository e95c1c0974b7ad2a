// The Win32 yes/no box; only the portable dispatcher (platform/dialogs.h)
// calls it.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace vexil::platform::win32 {

// A box with Yes and No buttons and the icon; true for Yes.
bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace vexil::platform::win32
