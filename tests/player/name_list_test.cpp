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

}  // namespace
}  // namespace vexil
