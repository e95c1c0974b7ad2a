#include "player/switches.h"

#include <limits>
#include <numeric>

namespace vexil {
namespace {

// Bytes above 0x7F are ordinary characters (UTF-8 names), never terminators.
unsigned char At(const std::string& text, size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }

enum class Form { kFlag, kNumber };

bool FormMatches(const std::string& text, size_t after, Form form) {
  unsigned char c = At(text, after);
  if (form == Form::kFlag) return c < '0';
  return IsDigit(c) || (c == '-' && IsDigit(At(text, after + 1)));
}

// Position of the '/' of the first match, or npos.
size_t FindSwitch(const std::string& text, char letter, Form form) {
  for (size_t i = text.find('/'); i != std::string::npos; i = text.find('/', i + 1)) {
    if (i + 1 < text.size() && Upper(At(text, i + 1)) == static_cast<unsigned char>(letter) &&
        FormMatches(text, i + 2, form))
      return i;
  }
  return std::string::npos;
}

// Parts are checked against this after every digit, so the next `* 10 + 9`
// cannot wrap. A part that grows this large is refused as an overflow even in
// the odd case where a divisor after `;` would have cancelled it again.
constexpr uint64_t kMagnitudeLimit = uint64_t{1} << 59;

// A fraction being read; `overflow` once a part left the limit.
struct Fraction {
  uint64_t num = 0;
  uint64_t den = 1;
  bool overflow = false;

  void Reduce() {
    if (num == 0 || den == 0) return;
    uint64_t g = std::gcd(num, den);
    num /= g;
    den /= g;
  }
  void Check() {
    if (num >= kMagnitudeLimit || den >= kMagnitudeLimit) overflow = true;
  }
};

// digits[.digits] from `pos`. The fraction is reduced after every digit, which
// ends in the same lowest terms as reducing once per step but keeps long
// strings of trailing zeros from overflowing.
Fraction ReadDecimal(const std::string& text, size_t& pos) {
  Fraction f;
  while (IsDigit(At(text, pos))) {
    if (!f.overflow) {
      f.num = f.num * 10 + (At(text, pos) - '0');
      f.Check();
    }
    ++pos;
  }
  if (At(text, pos) == '.') {
    ++pos;
    while (IsDigit(At(text, pos))) {
      if (!f.overflow) {
        f.num = f.num * 10 + (At(text, pos) - '0');
        f.den *= 10;
        f.Reduce();
        f.Check();
      }
      ++pos;
    }
  }
  f.Reduce();
  return f;
}

// x * y when it fits a positive 32-bit value.
bool MultiplyFits(uint64_t x, uint64_t y, uint64_t* product) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  if (x > kMax || y > kMax || x * y > kMax) return false;
  *product = x * y;
  return true;
}

}  // namespace

bool TakeFlagSwitch(std::string& text, char letter) {
  size_t at = FindSwitch(text, letter, Form::kFlag);
  if (at == std::string::npos) return false;
  text.erase(at, 2);
  return true;
}

IntegerSwitch TakeIntegerSwitch(std::string& text, char letter, int32_t fallback) {
  size_t at = FindSwitch(text, letter, Form::kNumber);
  if (at == std::string::npos) return {false, false, fallback};
  size_t pos = at + 2;
  while (At(text, pos) == ' ' || At(text, pos) == '\t') ++pos;
  if (At(text, pos) == '+') ++pos;
  bool negative = false;
  if (At(text, pos) == '-') {
    negative = true;
    ++pos;
  }
  uint64_t magnitude = 0;
  bool overflow = false;
  while (IsDigit(At(text, pos))) {
    if (!overflow) {
      magnitude = magnitude * 10 + (At(text, pos) - '0');
      if (magnitude > uint64_t{1} << 31) overflow = true;
    }
    ++pos;
  }
  text.erase(at, pos - at);
  constexpr uint64_t kMaxPositive = std::numeric_limits<int32_t>::max();
  if (overflow || (!negative && magnitude > kMaxPositive)) return {true, true, fallback};
  int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return {true, false, static_cast<int32_t>(value)};
}

RationalSwitch TakeRationalSwitch(std::string& text, char letter, Rational fallback) {
  size_t at = FindSwitch(text, letter, Form::kNumber);
  if (at == std::string::npos) return {false, false, fallback};
  size_t pos = at + 2;
  bool negative = false;
  if (At(text, pos) == '-') {
    negative = true;
    ++pos;
  }
  Fraction value = ReadDecimal(text, pos);
  if (At(text, pos) == ';') {
    ++pos;
    Fraction divisor = ReadDecimal(text, pos);
    value.overflow = value.overflow || divisor.overflow;
    if (!value.overflow) {
      // n1/d1 divided by n2/d2. Both fractions are in lowest terms, so after
      // cancelling crosswise the product is too: it fits or it overflows. A
      // zero part is left as it is (nothing is reduced while a part is 0).
      uint64_t a = value.num, b = divisor.den, c = value.den, d = divisor.num;
      if (a != 0 && d != 0) {
        uint64_t g = std::gcd(a, d);
        a /= g;
        d /= g;
        g = std::gcd(c, b);
        c /= g;
        b /= g;
      }
      if (!MultiplyFits(a, b, &value.num) || !MultiplyFits(c, d, &value.den)) value.overflow = true;
    }
  }
  text.erase(at, pos - at);
  if (value.overflow) return {true, true, fallback};
  if (value.den == 0) value.den = 1;
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  if (value.num > kMax || value.den > kMax) return {true, true, fallback};
  int32_t num = static_cast<int32_t>(value.num);
  return {true, false, Rational{negative ? -num : num, static_cast<int32_t>(value.den)}};
}

}  // namespace vexil
