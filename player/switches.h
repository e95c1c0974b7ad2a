// The three switch parsers. Each looks through the command text for the first
// `/` whose next character, upper-cased (a to z only), is the switch letter
// and whose form matches, cuts that switch out of the text and returns what
// it found. Later occurrences stay in the text (and so bring the help box).
#pragma once

#include <cstdint>
#include <string>

namespace vexil {

struct Rational {
  int32_t num;
  int32_t den;

  bool operator==(const Rational&) const = default;
};

// /X: matches where the character after the letter is below '0' in code (the
// end of the text, a blank, '/', '-', '.', ',', a double quote).
bool TakeFlagSwitch(std::string& text, char letter);

struct IntegerSwitch {
  bool found;
  bool overflow;  // the digits do not fit 32 bits (value then holds the fallback)
  int32_t value;  // the fallback when not found
};

// /X##: matches where the letter is followed by a digit, or '-' and a digit.
IntegerSwitch TakeIntegerSwitch(std::string& text, char letter, int32_t fallback);

struct RationalSwitch {
  bool found;
  bool overflow;  // a part does not fit 32 bits after reduction (value holds the fallback)
  Rational value;
};

// /X#.#: matches like the integer switch. [-]digits[.digits][;digits[.digits]]
// as a fraction reduced by the greatest common divisor, the sign on the
// numerator, a zero denominator made 1.
RationalSwitch TakeRationalSwitch(std::string& text, char letter, Rational fallback);

}  // namespace vexil
