#include "platform/win32/win32_backend.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  UINT style = MB_OK;
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
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace vexil::platform::win32
