#include "platform/backend.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vexil::platform {
namespace {

Backend Choose() {
  const char* forced = std::getenv("VEXIL_PLATFORM");
  if (forced && std::strcmp(forced, "headless") == 0) return Backend::kHeadless;
#ifdef _WIN32
  return Backend::kWin32;
#else
  if (!SdlAvailable()) return Backend::kHeadless;
  if (forced && std::strcmp(forced, "sdl") == 0) return Backend::kSdl;
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland) ? Backend::kSdl : Backend::kHeadless;
#endif
}

std::atomic<int> g_backend{-1};

}  // namespace

Backend ActiveBackend() {
  int b = g_backend.load(std::memory_order_acquire);
  if (b < 0) {
    int chosen = static_cast<int>(Choose());
    g_backend.compare_exchange_strong(b, chosen);
    b = g_backend.load(std::memory_order_acquire);
  }
  return static_cast<Backend>(b);
}

const char* BackendName(Backend backend) {
  switch (backend) {
    case Backend::kHeadless:
      return "headless";
    case Backend::kSdl:
      return "sdl";
    case Backend::kWin32:
      return "win32";
  }
  return "?";
}

bool SdlAvailable() {
#ifdef VEXIL_HAVE_SDL
  return true;
#else
  return false;
#endif
}

void SetBackendForTest(Backend backend) { g_backend.store(static_cast<int>(backend)); }

}  // namespace vexil::platform
