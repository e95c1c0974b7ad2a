#include "platform/win32/win32_backend.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform::win32 {

namespace {

UINT IconStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return MB_ICONINFORMATION;
    case MessageIcon::kError:
      return MB_ICONERROR;
    case MessageIcon::kQuestion:
      return MB_ICONQUESTION;
    case MessageIcon::kNone:
      break;
  }
  return 0;
}

}  // namespace

void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | IconStyle(icon));
}

bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO | IconStyle(icon)) == IDYES;
}

}  // namespace vexil::platform::win32
