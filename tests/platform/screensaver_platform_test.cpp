// What the saver and the reminder ask of the system: the local date (and the
// date tests put in its place), the saver notices, the password check and the
// preview area's size as the headless back end records and answers them, the
// systems' own answers, and yes/no boxes.
#include <gtest/gtest.h>

#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/local_date.h"
#include "platform/screensaver.h"

namespace vexil::platform {
namespace {

TEST(LocalDate, TheSystemsUnlessATestSetsOne) {
  const LocalDate system = SystemToday();
  EXPECT_GE(system.year, 2020);
  EXPECT_GE(system.month, 1);
  EXPECT_LE(system.month, 12);
  EXPECT_GE(system.day, 1);
  EXPECT_LE(system.day, 31);
  const LocalDate set{2008, 7, 31};
  SetTodayForTest(&set);
  EXPECT_EQ(Today(), set);
  SetTodayForTest(nullptr);
  const LocalDate again = Today();
  EXPECT_GE(again.year, system.year);
}

TEST(ScreenSaverCalls, HeadlessRecordsAndAnswersAsArranged) {
  SetBackendForTest(Backend::kHeadless);
  ResetHeadlessScreenSaver();
  SetScreenSaverRunning(true);
  SetScreenSaverRunning(false);
  EXPECT_EQ(HeadlessScreenSaverNotices(), (std::vector<bool>{true, false}));

  SetHeadlessPasswordAnswers({false, true, false});
  EXPECT_FALSE(ScreenSaverPasswordCheck());
  EXPECT_TRUE(ScreenSaverPasswordCheck());
  EXPECT_FALSE(ScreenSaverPasswordCheck());
  EXPECT_TRUE(ScreenSaverPasswordCheck());  // no answer left: passes
  EXPECT_EQ(HeadlessPasswordChecks(), 4);

  int32_t width = 0, height = 0;
  EXPECT_FALSE(PreviewClientSize(1234, &width, &height));
  SetHeadlessForeignWindow(1234, 152, 112);
  ASSERT_TRUE(PreviewClientSize(1234, &width, &height));
  EXPECT_EQ(width, 152);
  EXPECT_EQ(height, 112);
  SetHeadlessForeignWindow(1234, -1, 0);
  EXPECT_FALSE(PreviewClientSize(1234, &width, &height));

  ResetHeadlessScreenSaver();
  EXPECT_TRUE(HeadlessScreenSaverNotices().empty());
  EXPECT_EQ(HeadlessPasswordChecks(), 0);
}

TEST(ScreenSaverCalls, TheSystemsAnswers) {
  // Every system this runs on is a modern one: nothing for the saver to ask.
  EXPECT_TRUE(SystemScreenSaverPasswordCheck());
  int32_t width = -1, height = -1;
  EXPECT_FALSE(SystemPreviewClientSize(0, &width, &height));  // no window 0
  EXPECT_EQ(width, -1);
}

TEST(YesNoBox, CapturedAnswersInOrderThenNo) {
  SetBackendForTest(Backend::kHeadless);
  std::vector<ShownMessage> boxes;
  CaptureMessageBoxes(&boxes);
  SetCapturedAnswers({true, false});
  EXPECT_TRUE(AskYesNo("c", "first", MessageIcon::kQuestion));
  EXPECT_FALSE(AskYesNo("c", "second", MessageIcon::kQuestion));
  EXPECT_FALSE(AskYesNo("c", "third", MessageIcon::kQuestion));
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0], (ShownMessage{"c", "first", MessageIcon::kQuestion}));
  // Ending the capture forgets answers not taken.
  SetCapturedAnswers({true});
  CaptureMessageBoxes(nullptr);
  // Without a screen nobody answers: No.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(AskYesNo("c", "Look for a newer version?", MessageIcon::kQuestion));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Look for a newer version?\n");
  CaptureMessageBoxes(&boxes);
  EXPECT_FALSE(AskYesNo("c", "fourth", MessageIcon::kQuestion));
  CaptureMessageBoxes(nullptr);
}

}  // namespace
}  // namespace vexil::platform
