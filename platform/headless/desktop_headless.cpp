#include "platform/desktop.h"
#include "platform/headless/headless_backend.h"

namespace vexil::platform {
namespace {

constexpr DesktopMode kDefaultHeadlessDesktop = {1920, 1080, 32};
DesktopMode g_headless_desktop = kDefaultHeadlessDesktop;

}  // namespace

void SetHeadlessDesktop(const DesktopMode& mode) { g_headless_desktop = mode; }

DesktopMode headless::Desktop() { return g_headless_desktop; }

}  // namespace vexil::platform
