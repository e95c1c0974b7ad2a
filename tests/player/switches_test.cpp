// The switch parsers and switch cancellation.
#include <gtest/gtest.h>

#include <string>

#include "player/command_text.h"
#include "player/switches.h"

namespace vexil {
namespace {

struct FlagCase {
  const char* text;
  char letter;
  bool found;
  const char* rest;
};

TEST(FlagSwitch, MatchesOnlyBeforeCharactersBelowZero) {
  const FlagCase cases[] = {
      {"/P", 'P', true, ""},
      {"/p movie", 'P', true, " movie"},
      {"movie /P", 'P', true, "movie "},
      {"/P/Q", 'P', true, "/Q"},
      {"/P-x", 'P', true, "-x"},
      {"/P.x", 'P', true, ".x"},
      {"/P,x", 'P', true, ",x"},
      {"/P\"x\"", 'P', true, "\"x\""},
      {"/Pa movie", 'P', false, "/Pa movie"},
      {"/P5", 'P', false, "/P5"},
      {"/Pa /P", 'P', true, "/Pa "},  // the first match, not the first occurrence
      {"/P /P m", 'P', true, " /P m"},
      {"/\xE9", 'P', false, "/\xE9"},
      {"/P\xE9", 'P', false, "/P\xE9"},  // a byte above 0x7F is a letter, not an end
      {"/!", '!', true, ""},
      {"/", 'P', false, "/"},
      {"", 'P', false, ""},
  };
  for (const FlagCase& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(TakeFlagSwitch(text, c.letter), c.found) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

struct IntegerCase {
  const char* text;
  bool found;
  bool overflow;
  int32_t value;
  const char* rest;
};

TEST(IntegerSwitch, ReadsSignAndDigits) {
  const IntegerCase cases[] = {
      {"/L3 m", true, false, 3, " m"},
      {"m /l12x", true, false, 12, "m x"},
      {"/L-7", true, false, -7, ""},
      {"/L-x", false, false, -1, "/L-x"},
      {"/L m", false, false, -1, "/L m"},
      {"/L /L4", true, false, 4, "/L "},
      {"/L007", true, false, 7, ""},
      {"/L2147483647", true, false, 2147483647, ""},
      {"/L-2147483648", true, false, INT32_MIN, ""},
      {"/L2147483648 m", true, true, -1, " m"},
      {"/L99999999999999999999999999 m", true, true, -1, " m"},
      {"/L1.5", true, false, 1, ".5"},
  };
  for (const IntegerCase& c : cases) {
    std::string text = c.text;
    IntegerSwitch r = TakeIntegerSwitch(text, 'L', -1);
    EXPECT_EQ(r.found, c.found) << c.text;
    EXPECT_EQ(r.overflow, c.overflow) << c.text;
    EXPECT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

struct RationalCase {
  const char* text;
  bool found;
  bool overflow;
  Rational value;
  const char* rest;
};

TEST(RationalSwitch, FractionsDivisionAndReduction) {
  const RationalCase cases[] = {
      {"/F30000;1001 m", true, false, {30000, 1001}, " m"},
      {"/F-2", true, false, {-2, 1}, ""},
      {"/F0.00", true, false, {0, 100}, ""},  // nothing is reduced while a part is 0
      {"/F6;4", true, false, {3, 2}, ""},
      {"/F5;0", true, false, {5, 1}, ""},    // a zero denominator becomes 1
      {"/F0;4", true, false, {0, 4}, ""},
      {"/F2.5;0.5", true, false, {5, 1}, ""},
      {"/F29.97;2", true, false, {2997, 200}, ""},
      {"/F30.", true, false, {30, 1}, ""},
      {"/F30;", true, false, {30, 1}, ""},
      {"/F-1.5x", true, false, {-3, 2}, "x"},
      {"/F30;-2", true, false, {30, 1}, "-2"},  // the divisor has no sign
      {"/F", false, false, {-1, -1}, "/F"},
      {"/F.5", false, false, {-1, -1}, "/F.5"},
      {"/F2147483647", true, false, {2147483647, 1}, ""},
      {"/F2147483648 m", true, true, {-1, -1}, " m"},
      {"/F1;2147483648", true, true, {-1, -1}, ""},
      {"/F0.0000000001", true, true, {-1, -1}, ""},
      {"/F655360;0.0001", true, true, {-1, -1}, ""},
      // Long runs of digits that reduce to small parts.
      {"/F50.000000000000000000000000000000", true, false, {50, 1}, ""},
      {"/F99999999999999999999999999999999;3", true, true, {-1, -1}, ""},
  };
  for (const RationalCase& c : cases) {
    std::string text = c.text;
    RationalSwitch r = TakeRationalSwitch(text, 'F', {-1, -1});
    EXPECT_EQ(r.found, c.found) << c.text;
    EXPECT_EQ(r.overflow, c.overflow) << c.text;
    EXPECT_EQ(r.value, c.value) << c.text << " gave " << r.value.num << "/" << r.value.den;
    EXPECT_EQ(text, c.rest) << c.text;
  }
}

struct CancelCase {
  const char* text;
  const char* result;
};

TEST(SwitchCancellation, RemovesEarlierSwitchesOfTheLetter) {
  const CancelCase cases[] = {
      {":97280 /l /j /-L", ":97280  /j "},
      {"/L3 /l /P /-l m", "  /P  m"},
      {"/W-2 /H-2 /-w", " /H-2 "},
      {"/Fx/P /-F", "/P "},        // the argument ends at the next '/'
      {"/P /-P /P", "  /P"},       // only earlier switches
      {"/-L /L", " /L"},
      {"m /P /-", "m /P "},        // at the very end: cut there
      {"m /-", "m "},
      {"/-P/-Q/P", "/P"},
      {"/P/-", "/P"},
      {"/P /-\xE9", "/P "},
      {"no switches", "no switches"},
  };
  for (const CancelCase& c : cases) {
    std::string text = c.text;
    CancelSwitches(text);
    EXPECT_EQ(text, c.result) << c.text;
  }
}

}  // namespace
}  // namespace vexil
