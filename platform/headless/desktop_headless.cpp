#include "platform/desktop.h"

namespace vexil::platform {
namespace {

constexpr DesktopMode kDefaultHeadlessDesktop = {1920, 1080, 32};
DesktopMode g_headless_desktop = kDefaultHeadlessDesktop;

}  // namespace

DesktopMode HeadlessDesktop() { return g_headless_desktop; }

void SetHeadlessDesktop(const DesktopMode& mode) { g_headless_desktop = mode; }

}  // namespace vexil::platform
