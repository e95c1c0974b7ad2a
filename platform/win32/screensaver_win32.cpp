#include "platform/screensaver.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {

void SystemSetScreenSaverRunning(bool running) {
  // SPI_SETSCREENSAVERRUNNING (97): the system keeps the task-switching keys
  // from the user while it is set.
  constexpr UINT kScreenSaverRunning = 97;
  UINT previous = 0;
  SystemParametersInfoA(kScreenSaverRunning, running ? 1 : 0, &previous, 0);
}

bool SystemScreenSaverPasswordCheck() {
  // Only the 9x line leaves the password to the saver.
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  if (!GetVersionExA(&version)) return true;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) return true;

  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return true;
  bool given = true;
  DWORD use_password = 0, type = 0, size = sizeof use_password;
  if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type,
                       reinterpret_cast<BYTE*>(&use_password), &size) == ERROR_SUCCESS &&
      use_password != 0) {
    if (HMODULE library = LoadLibraryA("PASSWORD.CPL")) {
      using Verify = BOOL(WINAPI*)(HWND);
      auto verify = reinterpret_cast<Verify>(
          reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
      if (verify) given = verify(GetActiveWindow()) != 0;
      FreeLibrary(library);
    }
  }
  RegCloseKey(key);
  return given;
}

bool SystemPreviewClientSize(intptr_t window, int32_t* width, int32_t* height) {
  RECT client;
  if (!GetClientRect(reinterpret_cast<HWND>(window), &client)) return false;
  *width = client.right - client.left;
  *height = client.bottom - client.top;
  return true;
}

}  // namespace vexil::platform
