// The version reminder: when the maker's studio program sits beside the
// player, the player asks now and then, before a movie opened by name,
// whether the user wants to look for a newer version, at most once a week
// and only once the program is two months old.
//
// Player thread only.
#pragma once

#include <string>

#include "platform/local_date.h"

namespace vexil {

// The date this version was built, against which its age is measured.
inline constexpr const char kBuildDate[] = "2008-05-30";
inline constexpr const char kLastCheckValue[] = "LastVersionCheckDate";
// The reminder runs only when this program is in the player's folder.
inline constexpr const char kCompanionProgram[] = "tesstudio.exe";

inline constexpr const char kReminderCaption[] = "New version check...";
inline constexpr const char kReminderText[] =
    "It's been a while since you checked for a more recent Vexil version.\n\n"
    "Would you like to check for a newer version of Vexil on the Internet?\n\n"
    "If you choose to check for a new version, Vexil will close to allow the update to install.";
// The maker's site, and the version page's path and query under it.
inline constexpr const char kMakerSite[] = "https://www.example.org";
inline constexpr const char kVersionPageForm[] = "%s/scripts/vexilver.asp?%sver=1.9h";
// The browser gets this long to take the address before the player ends.
constexpr uint32_t kReminderPauseMs = 250;

// A date as the reminder writes and compares it: "%04i-%02i-%02i".
std::string DateText(int32_t year, int32_t month, int32_t day);
// Two months before `today`, the day unchanged (not checked for validity).
std::string TwoMonthsBefore(const platform::LocalDate& today);
// One week before `today`: day - 7, or day + 23 of the previous month (not
// checked for validity).
std::string OneWeekBefore(const platform::LocalDate& today);

// The version page for a 32-bit process on a 64-bit system or not.
std::string VersionPage(bool wow64);

// Whether the companion program is in the folder of `program_path`.
bool CompanionBeside(const std::string& program_path);

// The reminder before a movie opened by name: true when the user chose to
// look for a new version (the page is open; the player must end with exit
// code 1), false when playback goes on.
bool RunVersionReminder(const std::string& program_path);

}  // namespace vexil
