// Message boxes on an SDL desktop.
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace vexil::platform {

// Shows the box and waits for it to be dismissed; false when SDL cannot show
// one (then the caller writes the text out instead).
bool SdlShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace vexil::platform
