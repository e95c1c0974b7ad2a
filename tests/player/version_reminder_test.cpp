// The version reminder: its two dates, when it asks, what it writes, and the
// page and exit code when the user accepts; through the headless back end
// with an injected date and stores.
#include "player/version_reminder.h"

#include <filesystem>
#include <fstream>

#include "playback_harness.h"

namespace vexil {
namespace {

using namespace playback;
using platform::LocalDate;

TEST(VersionReminder, DatesAsWrittenWithoutValidityChecks) {
  struct {
    LocalDate today;
    const char* two_months;
    const char* one_week;
  } cases[] = {
      {{2008, 7, 29}, "2008-05-29", "2008-07-22"},
      {{2008, 7, 31}, "2008-05-31", "2008-07-24"},
      {{2008, 8, 5}, "2008-06-05", "2008-07-28"},
      {{2008, 8, 8}, "2008-06-08", "2008-08-01"},
      {{2008, 8, 7}, "2008-06-07", "2008-07-30"},
      {{2009, 1, 3}, "2008-11-03", "2008-12-26"},
      {{2009, 2, 28}, "2008-12-28", "2009-02-21"},
      {{2008, 4, 30}, "2008-02-30", "2008-04-23"},  // not a date, kept as is
      {{2008, 3, 7}, "2008-01-07", "2008-02-30"},
      {{2009, 1, 31}, "2008-11-31", "2009-01-24"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DateText(c.today.year, c.today.month, c.today.day));
    EXPECT_EQ(TwoMonthsBefore(c.today), c.two_months);
    EXPECT_EQ(OneWeekBefore(c.today), c.one_week);
  }
  EXPECT_EQ(DateText(800, 1, 2), "0800-01-02");
}

TEST(VersionReminder, ThePage) {
  EXPECT_EQ(VersionPage(false), "https://www.example.org/scripts/vexilver.asp?ver=1.9h");
  EXPECT_EQ(VersionPage(true), "https://www.example.org/scripts/vexilver.asp?win64&ver=1.9h");
}

const platform::ShownMessage kQuestion = {
    "New version check...",
    "It's been a while since you checked for a more recent Vexil version.\n\n"
    "Would you like to check for a newer version of Vexil on the Internet?\n\n"
    "If you choose to check for a new version, Vexil will close to allow the update to install.",
    platform::MessageIcon::kQuestion};

class Reminder : public PlaybackHarness {
 protected:
  void SetUp() override {
    PlaybackHarness::SetUp();
    program_path_ = program_.path();
    // The studio program beside the player.
    std::ofstream(companion_) << "MZ";
  }
  void Today(int32_t year, int32_t month, int32_t day) {
    const LocalDate date{year, month, day};
    platform::SetTodayForTest(&date);
  }

  TempFile program_{std::vector<uint8_t>{0x7F, 'E', 'L', 'F'}, "vexilplay"};
  const std::string companion_ = program_.Sibling("tesstudio.exe");
  TempFile movie_{Movie(64, 48, 3, 10), "a.vxl"};
};

TEST_F(Reminder, WhenItAsks) {
  struct Case {
    LocalDate today;
    const char* user;  // stored dates, null: none
    const char* machine;
    bool asks;
  } cases[] = {
      {{2008, 7, 29}, nullptr, nullptr, false},  // not two months old
      {{2008, 7, 30}, nullptr, nullptr, false},  // exactly two months
      {{2008, 7, 31}, nullptr, nullptr, true},
      {{2008, 8, 5}, "2008-08-01", nullptr, false},  // asked within the week
      {{2008, 8, 5}, "2008-07-27", nullptr, true},
      {{2008, 8, 5}, "2008-07-28", nullptr, false},  // a week ago to the day
      // The machine's value replaces the user's when it fits ...
      {{2008, 8, 5}, "2008-07-01", "2008-08-03", false},
      {{2008, 8, 5}, "2008-08-03", "2008-07-01", true},
      // ... and is not taken when it is longer than the room for it.
      {{2008, 8, 5}, "2008-08-01", nullptr, false},
      {{2009, 1, 2}, nullptr, nullptr, true},
  };
  std::string too_long(256, '0');
  cases[8].machine = too_long.c_str();
  for (const Case& c : cases) {
    SCOPED_TRACE(DateText(c.today.year, c.today.month, c.today.day) + " " +
                 (c.user ? c.user : "-") + " " +
                 std::string(c.machine ? c.machine : "-").substr(0, 12));
    user_.Clear();
    machine_.Clear();
    if (c.user) user_.Set(kLastCheckValue, c.user);
    if (c.machine) machine_.Set(kLastCheckValue, c.machine);
    Today(c.today.year, c.today.month, c.today.day);
    boxes_.clear();
    // The user says no: playback goes on.
    EXPECT_EQ(Play("", {movie_.path()}), kExitSuccess);
    EXPECT_EQ(Frames(), Range(1, 3));
    if (c.asks) {
      EXPECT_EQ(boxes_, std::vector<platform::ShownMessage>{kQuestion});
      // Today's date, written to both stores before asking.
      const std::string today = DateText(c.today.year, c.today.month, c.today.day);
      EXPECT_EQ(user_.Get(kLastCheckValue), today);
      EXPECT_EQ(machine_.Get(kLastCheckValue), today);
    } else {
      EXPECT_TRUE(boxes_.empty());
      EXPECT_EQ(user_.Get(kLastCheckValue),
                c.user ? std::optional<std::string>(c.user) : std::nullopt);
    }
    EXPECT_TRUE(platform::HeadlessOpenedAddresses().empty());
  }
}

TEST_F(Reminder, AcceptedOpensThePageAndEndsWithCode1) {
  Today(2008, 8, 5);
  user_.Set(kLastCheckValue, "2008-07-01");
  platform::SetCapturedAnswers({true});
  const uint32_t before = Timer();
  EXPECT_EQ(Play("", {movie_.path()}), kExitFailure);
  EXPECT_GE(Timer() - before, kReminderPauseMs);
  EXPECT_EQ(boxes_, std::vector<platform::ShownMessage>{kQuestion});
  EXPECT_EQ(platform::HeadlessOpenedAddresses(),
            std::vector<std::string>{"https://www.example.org/scripts/vexilver.asp?ver=1.9h"});
  EXPECT_TRUE(Frames().empty());  // the movie was never opened
  EXPECT_EQ(user_.Get(kLastCheckValue), "2008-08-05");
  EXPECT_EQ(machine_.Get(kLastCheckValue), "2008-08-05");
}

TEST_F(Reminder, OnlyBesideTheStudioAndBeforeNamedMovies) {
  Today(2009, 6, 1);
  // Asked before the first named movie; the second finds today's date.
  EXPECT_EQ(Play("", {movie_.path(), movie_.path()}), kExitSuccess);
  EXPECT_EQ(boxes_, std::vector<platform::ShownMessage>{kQuestion});
  EXPECT_EQ(Frames().size(), 6u);

  // A movie carried in the program is not opened by name.
  boxes_.clear();
  user_.Clear();
  machine_.Clear();
  std::vector<uint8_t> carrier(5000, 0x90);
  const std::vector<uint8_t> movie = Movie(64, 48, 3, 10);
  carrier.resize(5000 + movie.size());
  std::copy(movie.begin(), movie.end(), carrier.begin() + 5000);
  program_.Write(carrier);
  EXPECT_EQ(Play(":5000", {}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());

  // Without the studio program nothing is asked.
  std::filesystem::remove(companion_);
  EXPECT_EQ(Play("", {movie_.path()}), kExitSuccess);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(user_.Get(kLastCheckValue), std::nullopt);
}

}  // namespace
}  // namespace vexil
