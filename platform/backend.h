// Which back end stands in for the operating system's window, display,
// sound and dialog interfaces. Chosen once per process: Win32 on Windows; on
// other systems VEXIL_PLATFORM=headless|sdl forces one, else SDL when it is
// built in and a display is available, headless otherwise. Files, time,
// threads and the store do not depend on it.
#pragma once

namespace vexil::platform {

enum class Backend { kHeadless, kSdl, kWin32 };

Backend ActiveBackend();
const char* BackendName(Backend backend);

// Whether the SDL back end is compiled in.
bool SdlAvailable();

// Tests choose the back end before anything uses it.
void SetBackendForTest(Backend backend);

}  // namespace vexil::platform
