#include "player/version_reminder.h"

#include <cstdio>
#include <cstring>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/store.h"
#include "platform/system.h"
#include "platform/time.h"

namespace vexil {
namespace {

// Room for the stored date; a longer value in the machine's store is not taken.
constexpr size_t kDateRoom = 255;

}  // namespace

std::string DateText(int32_t year, int32_t month, int32_t day) {
  char text[48];
  std::snprintf(text, sizeof text, "%04i-%02i-%02i", int(year), int(month), int(day));
  return text;
}

std::string TwoMonthsBefore(const platform::LocalDate& today) {
  int32_t year = today.year, month = today.month;
  if (month <= 2) {
    year -= 1;
    month += 12;
  }
  return DateText(year, month - 2, today.day);
}

std::string OneWeekBefore(const platform::LocalDate& today) {
  if (today.day > 7) return DateText(today.year, today.month, today.day - 7);
  if (today.month <= 1) return DateText(today.year - 1, 12, today.day + 23);
  return DateText(today.year, today.month - 1, today.day + 23);
}

std::string VersionPage(bool wow64) {
  char page[256];
  std::snprintf(page, sizeof page, kVersionPageForm, kMakerSite, wow64 ? "win64&" : "");
  return page;
}

bool CompanionBeside(const std::string& program_path) {
  const size_t separator = program_path.find_last_of("\\/");
  const std::string folder =
      separator == std::string::npos ? std::string() : program_path.substr(0, separator + 1);
  return platform::FileExists((folder + kCompanionProgram).c_str());
}

bool RunVersionReminder(const std::string& program_path) {
  if (!CompanionBeside(program_path)) return false;
  const platform::LocalDate today = platform::Today();
  // Not two months old yet: the build date is not below the date two
  // months ago (compared as the text it is, over its terminator too).
  const std::string two_months = TwoMonthsBefore(today);
  if (std::strncmp(kBuildDate, two_months.c_str(), 11) >= 0) return false;
  // Asked within the last week.
  const std::string last = platform::StoreRead(kLastCheckValue, kBuildDate, kDateRoom);
  if (!(last < OneWeekBefore(today))) return false;

  const std::string now = DateText(today.year, today.month, today.day);
  platform::StoreWrite(kLastCheckValue, now);
  if (!platform::AskYesNo(kReminderCaption, kReminderText, platform::MessageIcon::kQuestion))
    return false;
  platform::ShellOpen(VersionPage(platform::RunsUnderWow64()));
  platform::Sleep(kReminderPauseMs);
  platform::StoreWrite(kLastCheckValue, now);
  return true;
}

}  // namespace vexil
