// Today's date on the local calendar, for the version reminder. Tests put a
// date of their own in place of the system's.
//
// Player thread only.
#pragma once

#include <cstdint>

namespace vexil::platform {

struct LocalDate {
  int32_t year;
  int32_t month;  // 1 to 12
  int32_t day;    // 1 to 31

  bool operator==(const LocalDate&) const = default;
};

// The date set for tests, else the system's.
LocalDate Today();

// Tests: the date Today answers (null: the system's again).
void SetTodayForTest(const LocalDate* date);

// The system's part of Today (each system's file provides it).
LocalDate SystemToday();

}  // namespace vexil::platform
