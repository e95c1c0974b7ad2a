#include "platform/win32/yes_no_box_win32.h"

#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {

bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) {
  UINT style = MB_YESNO;
  switch (icon) {
    case MessageIcon::kNone:
      break;
    case MessageIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case MessageIcon::kError:
      style |= MB_ICONERROR;
      break;
    case MessageIcon::kQuestion:
      style |= MB_ICONQUESTION;
      break;
  }
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style) == IDYES;
}

}  // namespace vexil::platform::win32
