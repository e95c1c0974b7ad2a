// Which back end stands in for the operating system's window, display,
// sound and dialog interfaces. Chosen once per process: VEXIL_PLATFORM=headless
// forces the headless one everywhere (scripts run the Windows programs so);
// otherwise Win32 on Windows; on other systems VEXIL_PLATFORM=sdl forces SDL,
// else SDL when it is built in and a display is available, headless
// otherwise. Files, time, threads and the store do not depend on it.
//
// The interfaces that follow the choice (desktop, dialogs, and the window,
// display and sound devices to come) are portable functions that dispatch on
// ActiveBackend() to the back end's own versions, declared in
// platform/<backend>/<backend>_backend.h. A back end that lacks one falls back
// to the headless version.
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
