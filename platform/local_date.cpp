#include "platform/local_date.h"

#include <optional>

namespace vexil::platform {
namespace {

std::optional<LocalDate>& Override() {
  static std::optional<LocalDate> date;
  return date;
}

}  // namespace

LocalDate Today() {
  if (Override()) return *Override();
  return SystemToday();
}

void SetTodayForTest(const LocalDate* date) {
  if (date) {
    Override() = *date;
  } else {
    Override().reset();
  }
}

}  // namespace vexil::platform
