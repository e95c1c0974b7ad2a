#include "platform/local_date.h"
#include "platform/win32/windows_api.h"

namespace vexil::platform {

LocalDate SystemToday() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay};
}

}  // namespace vexil::platform
