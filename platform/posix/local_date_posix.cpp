#include <time.h>

#include "platform/local_date.h"

namespace vexil::platform {

LocalDate SystemToday() {
  const time_t now = time(nullptr);
  tm local{};
  if (!localtime_r(&now, &local)) return {1970, 1, 1};
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

}  // namespace vexil::platform
