// Taking movie names off the name list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/name_list.h"

namespace vexil {
namespace {

std::vector<std::string> AllNames(const std::string& text) {
  NameList list(text);
  std::vector<std::string> names;
  std::string name;
  while (list.TakeNext(&name)) names.push_back(name);
  return names;
}

TEST(NameList, SplitsNames) {
  struct {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"movie", {"movie"}},
      {"  a   b  ", {"a", "b"}},
      {"a, b", {"a,", "b"}},     // the name runs to the blank, comma and all
      {"a , b", {"a", "b"}},
      {"a,b", {"a,b"}},            // the comma rule needs a blank before the comma
      {"a ,, b", {"a", ",", "b"}},  // only one comma is skipped
      {"\"my movie\" b", {"my movie", "b"}},
      {"\"my movie\", b", {"my movie", "b"}},  // quoted names skip the comma too
      {"\"  padded  \"", {"padded"}},
      {"\"open quote b", {"\"open quote b"}},
      {"\"\" b", {"", "b"}},
      {"x\"y z", {"x\"y", "z"}},
      {":97280   ", {":97280"}},
      {"c:\\clips\\intro clip.vxl|4096", {"c:\\clips\\intro", "clip.vxl|4096"}},
      {"caf\xC3\xA9 b", {"caf\xC3\xA9", "b"}},  // bytes above 0x7F are not blanks
  };
  for (const auto& c : cases) EXPECT_EQ(AllNames(c.text), c.names) << c.text;
}

TEST(NameList, RestoreAndClear) {
  NameList list("a b c");
  std::string name;
  ASSERT_TRUE(list.TakeNext(&name));
  EXPECT_TRUE(list.HasMore());
  list.Clear();
  EXPECT_FALSE(list.HasMore());
  EXPECT_FALSE(list.TakeNext(&name));
  list.Restore();
  EXPECT_EQ(list.rest(), "a b c");
  int32_t play_count = 0, loops = -5;
  ASSERT_TRUE(TakeFirstName(list, &play_count, &loops, &name));
  EXPECT_EQ(name, "a");
  EXPECT_EQ(loops, 0);  // forever, over the whole list
  EXPECT_EQ(play_count, 1);

  NameList empty(" ");
  EXPECT_FALSE(TakeFirstName(empty, &play_count, &loops, &name));
}

// File-name arguments come after the text's names, each exactly as given:
// quotes, commas and outer blanks are part of a file's name.
TEST(NameList, WholeNamesFollowTheText) {
  const std::vector<std::string> files = {"say \"hi\".vxl", " a, b.vxl", "\""};
  NameList list("x \"y z\"", files);
  std::vector<std::string> names;
  std::string name;
  while (list.TakeNext(&name)) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"x", "y z", files[0], files[1], files[2]}));

  list.Restore();
  int32_t play_count = 3, loops = 0;
  ASSERT_TRUE(TakeFirstName(list, &play_count, &loops, &name));
  EXPECT_EQ(loops, 3);  // a list: the play count goes to the whole list
  list.Clear();
  EXPECT_FALSE(list.HasMore());
  EXPECT_FALSE(list.TakeNext(&name));

  NameList only_files("  ", {files[1]});
  ASSERT_TRUE(TakeFirstName(only_files, &play_count, &loops, &name));
  EXPECT_EQ(name, files[1]);
  EXPECT_EQ(loops, 1);
  EXPECT_FALSE(only_files.HasMore());
}

}  // namespace
}  // namespace vexil
