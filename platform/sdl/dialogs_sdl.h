// Message boxes on an SDL desktop.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace vexil::platform {

// Shows the box and waits for it to be dismissed; false when SDL cannot show
// one (then the caller writes the text out instead).
bool SdlShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

// A box with Yes and No buttons; false when SDL cannot show one, else the
// answer in `yes` (closing the box answers No).
bool SdlAskYesNo(const std::string& caption, const std::string& text, MessageIcon icon, bool* yes);

}  // namespace vexil::platform
