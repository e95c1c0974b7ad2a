#include "platform/shell.h"

#include "platform/backend.h"

namespace vexil::platform {
namespace {

std::vector<std::string>& Opened() {
  static std::vector<std::string> opened;
  return opened;
}

}  // namespace

void ShellOpen(const std::string& address) {
  if (ActiveBackend() == Backend::kHeadless) {
    Opened().push_back(address);
    return;
  }
  SystemShellOpen(address);
}

const std::vector<std::string>& HeadlessOpenedAddresses() {
  return Opened();
}
void ClearHeadlessOpenedAddresses() {
  Opened().clear();
}

}  // namespace vexil::platform
