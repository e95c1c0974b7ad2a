// What only the Win32 back end has: the profile and registry stores, the
// desktop from the system metrics, the process's command line.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "platform/store.h"
#include "platform/win32/process_start.h"
#include "platform/win32/system_stores.h"
#include "platform/win32/win32_backend.h"
#include "player/command_line.h"

namespace vexil::platform::win32 {
namespace {

// A section and key of their own, so the player's values stay untouched.
constexpr const char kTestSection[] = "Vexil Store Test";

class SystemStores : public ::testing::Test {
 protected:
  void SetUp() override {
    profile_.Remove();
    registry_.Remove();
  }
  void TearDown() override {
    SetStores(nullptr, nullptr);
    profile_.Remove();
    registry_.Remove();
  }
  ProfileStore profile_{kTestSection};
  RegistryStore registry_{kTestSection};
};

TEST_F(SystemStores, ValuesRoundTripAndEmptyIsNotMissing) {
  for (ValueStore* store :
       {static_cast<ValueStore*>(&profile_), static_cast<ValueStore*>(&registry_)}) {
    EXPECT_EQ(store->Get("LastVersionCheckDate"), std::nullopt);
    ASSERT_TRUE(store->Set("LastVersionCheckDate", "2008-07-31"));
    EXPECT_EQ(store->Get("LastVersionCheckDate"), "2008-07-31");
    ASSERT_TRUE(store->Set("LastVersionCheckDate", "2009-01-02"));  // replaced
    EXPECT_EQ(store->Get("LastVersionCheckDate"), "2009-01-02");
    ASSERT_TRUE(store->Set("VexilQuickPlay", ""));
    EXPECT_EQ(store->Get("VexilQuickPlay"), "");
    // Longer than the buffers a first read uses.
    const std::string long_value(3000, 'q');
    ASSERT_TRUE(store->Set("Long", long_value));
    EXPECT_EQ(store->Get("Long"), long_value);
  }
  // Profile names are found whatever their case.
  EXPECT_EQ(profile_.Get("lastversioncheckdate"), "2009-01-02");
}

TEST_F(SystemStores, MachineValueReplacesTheUsersWhenItFits) {
  SetStores(&profile_, &registry_);
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "");
  ASSERT_TRUE(profile_.Set("VexilQuickPlay", "/L2 /S"));
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/L2 /S");
  ASSERT_TRUE(registry_.Set("VexilQuickPlay", "/Q"));
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/Q");
  ASSERT_TRUE(registry_.Set("VexilQuickPlay", std::string(256, 'm')));  // does not fit
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/L2 /S");
  ASSERT_TRUE(StoreWrite("LastVersionCheckDate", "2008-08-05"));
  EXPECT_EQ(profile_.Get("LastVersionCheckDate"), "2008-08-05");
  EXPECT_EQ(registry_.Get("LastVersionCheckDate"), "2008-08-05");
}

TEST(Win32Backend, DesktopFromTheSystemMetrics) {
  const DesktopMode mode = Desktop();
  EXPECT_GT(mode.width, 0);
  EXPECT_GT(mode.height, 0);
  EXPECT_TRUE(mode.bits_per_pixel == 8 || mode.bits_per_pixel == 16 || mode.bits_per_pixel == 24 ||
              mode.bits_per_pixel == 32)
      << mode.bits_per_pixel;
}

TEST(Win32Process, CommandLineStartsWithTheProgram) {
  const std::string line = ProcessCommandLine();
  const std::string_view rest = SkipProgramName(line);
  const std::string program(line.data(), line.size() - rest.size());
  EXPECT_NE(program.find("platform_tests"), std::string::npos) << line;
  const int show = StartupShowCommand(kShowDefault);
  EXPECT_GE(show, 0);
  EXPECT_LE(show, 11);
}

}  // namespace
}  // namespace vexil::platform::win32

#endif  // _WIN32
