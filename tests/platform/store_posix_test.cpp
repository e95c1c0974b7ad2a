// The player's values on POSIX systems: the user's and the machine's
// configuration files, their precedence, how writing keeps the rest of a
// file, where the files are, and the player reading them at start-up.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "encoder/movie_writer.h"
#include "platform/posix/system_stores.h"
#include "platform/store.h"
#include "test_util.h"

namespace vexil::platform::posix {
namespace {

using test::TempFile;

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Sets or clears an environment variable and puts the old value back.
class Environment {
 public:
  Environment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~Environment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(IniFileStore, ReadsItsSectionOnly) {
  TempFile file("vexilplay.ini");
  WriteText(file.path(),
            "; the maker's values\n"
            "[Other]\n"
            "VexilQuickPlay=/Q\n"
            "\n"
            "[ tessor studio ]\r\n"
            "  vexilquickplay =  /L2 /S \r\n"
            "# LastVersionCheckDate=2001-01-01\n"
            "Empty=\n"
            "no equals sign\n"
            "[Later]\n"
            "LastVersionCheckDate=2002-02-02\n");
  IniFileStore store(file.path(), kStoreSection);
  EXPECT_EQ(store.Get("VexilQuickPlay"), "/L2 /S");
  EXPECT_EQ(store.Get("Empty"), "");  // present, empty: not missing
  EXPECT_EQ(store.Get("LastVersionCheckDate"), std::nullopt);
  EXPECT_EQ(IniFileStore(file.Sibling("missing.ini"), kStoreSection).Get("VexilQuickPlay"),
            std::nullopt);
}

TEST(IniFileStore, WritingKeepsTheRestOfTheFile) {
  TempFile file("vexilplay.ini");
  const std::string before =
      "; keep me\n"
      "[Other]\n"
      "LastVersionCheckDate=1999-09-09\n"
      "[Tessor Studio]\n"
      "VexilQuickPlay=/J\n"
      "lastversioncheckdate=2008-05-30\n"
      "\n"
      "[Later]\n"
      "x=y\n";
  WriteText(file.path(), before);
  IniFileStore store(file.path(), kStoreSection);
  ASSERT_TRUE(store.Set("LastVersionCheckDate", "2008-08-05"));  // replaced where it is
  ASSERT_TRUE(store.Set("New", "a=b"));                          // after the section's last value
  EXPECT_EQ(ReadText(file.path()),
            "; keep me\n"
            "[Other]\n"
            "LastVersionCheckDate=1999-09-09\n"
            "[Tessor Studio]\n"
            "VexilQuickPlay=/J\n"
            "LastVersionCheckDate=2008-08-05\n"
            "New=a=b\n"
            "\n"
            "[Later]\n"
            "x=y\n");
  EXPECT_EQ(store.Get("New"), "a=b");
  // A value over two lines would change the file's meaning.
  EXPECT_FALSE(store.Set("VexilQuickPlay", "/J\n[Other]"));
  EXPECT_EQ(store.Get("VexilQuickPlay"), "/J");

  // A new file, and the folders it needs, are made.
  IniFileStore fresh(file.Sibling("a/b/vexilplay.ini"), kStoreSection);
  ASSERT_TRUE(fresh.Set("VexilQuickPlay", "/L"));
  EXPECT_EQ(ReadText(fresh.path()), "[Tessor Studio]\nVexilQuickPlay=/L\n");
  // A section goes after what a file held already.
  WriteText(file.path(), "[Other]\nx=1");
  ASSERT_TRUE(store.Set("VexilQuickPlay", "/S"));
  EXPECT_EQ(ReadText(file.path()), "[Other]\nx=1\n\n[Tessor Studio]\nVexilQuickPlay=/S\n");
}

TEST(IniFileStore, UserThenMachineWhenItFitsWritesGoToBoth) {
  TempFile user_file("user.ini");
  const std::string machine_path = user_file.Sibling("machine.ini");
  IniFileStore user(user_file.path(), kStoreSection);
  IniFileStore machine(machine_path, kStoreSection);
  SetStores(&user, &machine);
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "");
  WriteText(user_file.path(), "[Tessor Studio]\nVexilQuickPlay=/L2 /S\n");
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/L2 /S");
  WriteText(machine_path, "[Tessor Studio]\nVexilQuickPlay=/Q\n");
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/Q");
  // Longer than the room: the user's value stays.
  WriteText(machine_path, "[Tessor Studio]\nVexilQuickPlay=" + std::string(256, 'm') + "\n");
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 255), "/L2 /S");
  EXPECT_EQ(StoreRead("VexilQuickPlay", "", 256), std::string(256, 'm'));

  EXPECT_TRUE(StoreWrite("LastVersionCheckDate", "2008-08-05"));
  EXPECT_EQ(user.Get("LastVersionCheckDate"), "2008-08-05");
  EXPECT_EQ(machine.Get("LastVersionCheckDate"), "2008-08-05");
  // A machine file that cannot be written leaves the user's taking it.
  IniFileStore locked("/proc/vexil/vexilplay.ini", kStoreSection);
  SetStores(&user, &locked);
  EXPECT_TRUE(StoreWrite("LastVersionCheckDate", "2008-08-06"));
  EXPECT_EQ(user.Get("LastVersionCheckDate"), "2008-08-06");
  EXPECT_EQ(StoreRead("LastVersionCheckDate", "2008-05-30", 255), "2008-08-06");
  SetStores(nullptr, nullptr);
}

TEST(SystemStores, PathsFromTheEnvironment) {
  Environment home("HOME", "/home/u");
  {
    Environment config("XDG_CONFIG_HOME", nullptr);
    Environment dirs("XDG_CONFIG_DIRS", nullptr);
    EXPECT_EQ(UserStorePath(), "/home/u/.config/vexil/vexilplay.ini");
    EXPECT_EQ(MachineStorePath(), "/etc/xdg/vexil/vexilplay.ini");
  }
  {
    Environment config("XDG_CONFIG_HOME", "/srv/conf");
    Environment dirs("XDG_CONFIG_DIRS", "/opt/xdg:/etc/xdg");
    EXPECT_EQ(UserStorePath(), "/srv/conf/vexil/vexilplay.ini");
    EXPECT_EQ(MachineStorePath(), "/opt/xdg/vexil/vexilplay.ini");
  }
  {
    // Relative folders are ignored.
    Environment config("XDG_CONFIG_HOME", "conf");
    Environment dirs("XDG_CONFIG_DIRS", "xdg");
    EXPECT_EQ(UserStorePath(), "/home/u/.config/vexil/vexilplay.ini");
    EXPECT_EQ(MachineStorePath(), "/etc/xdg/vexil/vexilplay.ini");
  }
}

// The program reads /! from the user's file at start-up.
TEST(SystemStores, ThePlayerReadsQuickPlayFromTheUsersFile) {
  const std::string program = test::BuiltProgram("player/vexilplay");
  ASSERT_TRUE(std::filesystem::exists(program)) << program << " is not built";
  MovieWriter writer('i', 16, 16, 10, 1);
  for (int i = 0; i < 2; ++i) writer.AddFrame(i == 0, std::vector<uint8_t>(16, 3));
  TempFile movie(writer.Finish(), "intro.vxl");
  const std::string config = movie.Sibling("config");
  IniFileStore user(config + "/vexil/vexilplay.ini", kStoreSection);
  ASSERT_TRUE(user.Set("VexilQuickPlay", "/L2 /S"));
  test::ScopedEnvironment headless("VEXIL_PLATFORM", "headless");
  Environment home("XDG_CONFIG_HOME", config.c_str());
  Environment dirs("XDG_CONFIG_DIRS", movie.Sibling("nowhere").c_str());
  const test::ProgramOutcome o = test::RunProgram(program, {"/!", movie.path()});
  EXPECT_EQ(o.exit_code, 0);
  // Played twice, with the summary: the stored switches were taken.
  EXPECT_NE(o.error_output.find("Total frames played: 4\n"), std::string::npos) << o.error_output;
}

}  // namespace
}  // namespace vexil::platform::posix

#endif  // _WIN32
