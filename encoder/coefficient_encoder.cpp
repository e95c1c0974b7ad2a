#include "encoder/coefficient_encoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace vexil {
namespace {

constexpr int kListStorage = 96;
constexpr int kListStart = 68;

uint8_t Entry(int index, int mode) {
  return static_cast<uint8_t>(index << 2 | mode);
}

// Positions an entry stands for: its own group of 4, plus the groups it
// splits into (mode 0 at i: i..i+19; mode 1 at i: i..i+15).
int Span(int mode) {
  static constexpr int kSpan[4] = {20, 16, 4, 1};
  return kSpan[mode];
}

// Walks the list the way both readers do. `significant(j)` tells whether
// position j is read in the current pass, `any(i, span)` whether one of
// positions i .. i + span - 1 is; `emit(j)` writes its value and returns
// false when writing must stop. A live entry never covers a position read
// before: its group is consumed when read.
template <typename Significant, typename Any, typename Emit>
bool Pass(BitWriter& w, uint8_t* list, int& start, int& end, Significant significant, Any any_of,
          Emit emit) {
  for (int p = start; p < end;) {
    const uint8_t e = list[p];
    if (!e) {
      ++p;
      continue;
    }
    const int i = e >> 2, mode = e & 3;
    const bool any = mode == 3 ? significant(i) : any_of(i, Span(mode));
    w.PutBit(any);
    if (!any) {
      ++p;
      continue;
    }
    int group = -1;
    switch (mode) {
      case 0:
        list[p] = Entry(i + 4, 1);
        group = i;
        break;
      case 1:
        list[p] = Entry(i, 2);
        list[end++] = Entry(i + 4, 2);
        list[end++] = Entry(i + 8, 2);
        list[end++] = Entry(i + 12, 2);
        break;
      case 2:
        list[p++] = 0;
        group = i;
        break;
      case 3:
        list[p++] = 0;
        if (!emit(i)) return false;
        break;
    }
    if (group >= 0) {
      for (int j = group; j < group + 4; ++j) {
        if (significant(j)) {
          w.PutBit(0);
          if (!emit(j)) return false;
        } else {
          w.PutBit(1);
          list[--start] = Entry(j, 3);
        }
      }
    }
  }
  return true;
}

int BitLength(uint32_t v) {
  int n = 0;
  while (v >> n) ++n;
  return n;
}

}  // namespace

bool WriteCoefficients(BitWriter& w, const int16_t by_scan[64]) {
  uint32_t largest = 0;
  uint32_t magnitude[64];
  uint32_t group_max[16] = {};  // of scan indices 4g .. 4g + 3 (index 0 not counted)
  magnitude[0] = 0;
  for (int k = 1; k < 64; ++k) {
    if (by_scan[k] == -32768) return false;
    magnitude[k] = static_cast<uint32_t>(std::abs(by_scan[k]));
    group_max[k / 4] = std::max(group_max[k / 4], magnitude[k]);
    if (magnitude[k] > largest) largest = magnitude[k];
  }
  const int planes = BitLength(largest);
  w.Put(static_cast<uint32_t>(planes), 4);
  uint8_t list[kListStorage];
  int start = kListStart, end = kListStart;
  for (uint8_t e : {Entry(4, 0), Entry(24, 0), Entry(44, 0), Entry(1, 3), Entry(2, 3), Entry(3, 3)})
    list[end++] = e;
  for (int bits = planes - 1; bits >= 0; --bits) {
    const uint32_t threshold = 1u << bits;
    auto significant = [&](int j) { return magnitude[j] >= threshold; };
    // Entries other than single positions start on a group of four.
    auto any_of = [&](int i, int span) {
      for (int g = i / 4; g < (i + span) / 4 && g < 16; ++g)
        if (group_max[g] >= threshold) return true;
      return false;
    };
    auto emit = [&](int j) {
      const int32_t v = by_scan[j];
      const uint32_t m = static_cast<uint32_t>(std::abs(v));
      if (bits) w.Put(m - threshold, static_cast<uint32_t>(bits));
      w.PutBit(v < 0);
      return true;
    };
    // Positions once read are never significant again: their entries are dead.
    Pass(w, list, start, end, significant, any_of, emit);
  }
  return true;
}

CoefficientShape ShapeOf(const int16_t by_scan[64]) {
  CoefficientShape shape;
  shape.nonzero = 0;
  for (int g = 0; g < 16; ++g) {
    uint32_t either = 0;
    for (int k = 4 * g; k < 4 * g + 4; ++k) {
      const uint32_t m = k ? static_cast<uint32_t>(std::abs(int32_t{by_scan[k]})) : 0;
      either |= m;
      shape.nonzero += m != 0;
    }
    shape.group[g] = either;
  }
  return shape;
}

uint32_t CoefficientBits(const int16_t by_scan[64]) {
  return CoefficientBits(ShapeOf(by_scan));
}

uint32_t CoefficientBits(const CoefficientShape& shape) {
  // The walk's bits in closed form. Every bit it writes belongs to one entry
  // or position, and which passes visit an entry depends only on the plane
  // where the values it covers first reach the threshold, never on the order
  // of the list. With top(x) = the highest set bit of a magnitude (-1 for 0)
  // and a pass per plane from planes - 1 down to 0:
  // - a value costs top + 1 bits when found (the bits below its top and a sign);
  // - an entry created at plane `from` takes a bit on each pass down to the
  //   plane where it turns significant, or down to 0: from - max(at, 0) + 1;
  // - a group split at plane P gives each of its four positions a bit, and
  //   each one not yet significant becomes a single entry from plane P - 1:
  //   1 + P - max(top, 0) bits for the position.
  // Every position with a value is in a group that splits (or is one of the
  // single entries 1..3, which start at the top plane), so the values' and
  // positions' parts add up to one bit per value plus, per group that
  // splits at P, 4 (1 + P); positions 1..3 add one bit per plane each.
  uint32_t bits = 4 + shape.nonzero, any = 0;
  int32_t group_top[16];
  for (int g = 0; g < 16; ++g) {
    group_top[g] = static_cast<int32_t>(std::bit_width(shape.group[g])) - 1;
    any |= shape.group[g];
  }
  if (!any) return bits;
  const int32_t planes = static_cast<int32_t>(std::bit_width(any));
  bits += 3 * static_cast<uint32_t>(planes);
  auto visits = [](int32_t from, int32_t at) {
    return static_cast<uint32_t>(from - std::max(at, 0) + 1);
  };
  // Three entries of five groups each: the first group splits at once when
  // any of the five turns significant, the other four follow as one entry
  // that later splits into one entry per group.
  for (int first : {1, 6, 11}) {
    int32_t rest = -1;
    for (int g = first + 1; g < first + 5; ++g) rest = std::max(rest, group_top[g]);
    const int32_t span = std::max(group_top[first], rest);
    bits += visits(planes - 1, span);
    if (span < 0) continue;
    bits += 4 * static_cast<uint32_t>(1 + span) + visits(span, rest);
    if (rest < 0) continue;
    for (int g = first + 1; g < first + 5; ++g) {
      bits += visits(rest, group_top[g]);
      if (group_top[g] >= 0) bits += 4 * static_cast<uint32_t>(1 + group_top[g]);
    }
  }
  return bits;
}

namespace {

// The residue walk shared by writing and tracing: `updated(count, values)`
// is called after every update with the updates made so far and the values
// the reader then holds; it returns false to stop there.
template <typename Updated>
void ResidueWalk(BitWriter& w, const int16_t by_scan[64], int8_t decoded[64], Updated updated) {
  uint32_t largest = 0;
  uint32_t magnitude[64];
  uint32_t group_max[16] = {};
  for (int k = 0; k < 64; ++k) {
    decoded[k] = 0;
    magnitude[k] = static_cast<uint32_t>(std::abs(by_scan[k])) & 255;
    group_max[k / 4] = std::max(group_max[k / 4], magnitude[k]);
    if (magnitude[k] > largest) largest = magnitude[k];
  }
  const int s = largest ? BitLength(largest) - 1 : 0;
  w.Put(static_cast<uint32_t>(s), 3);
  uint8_t list[kListStorage];
  int start = kListStart, end = kListStart;
  for (uint8_t e : {Entry(4, 0), Entry(24, 0), Entry(44, 0), Entry(0, 2)}) list[end++] = e;
  bool read[64] = {};
  uint8_t found[64];
  uint32_t found_count = 0, updates = 0;
  auto* value = reinterpret_cast<uint8_t*>(decoded);

  for (uint32_t mask = 1u << s; mask; mask >>= 1) {
    const uint32_t earlier = found_count;
    for (uint32_t f = 0; f < earlier; ++f) {
      const bool bit = magnitude[found[f]] & mask;
      w.PutBit(bit);
      if (!bit) continue;
      uint8_t& v = value[found[f]];
      v = static_cast<uint8_t>((v & 0x80) ? v - mask : v + mask);
      if (!updated(++updates, decoded)) return;
    }
    auto significant = [&](int j) { return !read[j] && magnitude[j] >= mask; };
    // Entries other than single positions start on a group of four, and a
    // live entry never covers a position already read.
    auto any_of = [&](int i, int span) {
      for (int g = i / 4; g < (i + span) / 4 && g < 16; ++g)
        if (group_max[g] >= mask) return true;
      return false;
    };
    auto emit = [&](int j) {
      read[j] = true;
      w.PutBit(by_scan[j] < 0);
      value[j] = static_cast<uint8_t>(by_scan[j] < 0 ? 0u - mask : mask);
      found[found_count++] = static_cast<uint8_t>(j);
      return updated(++updates, decoded);
    };
    if (!Pass(w, list, start, end, significant, any_of, emit)) return;
  }
}

}  // namespace

void WriteResidue(BitWriter& w, const int16_t by_scan[64], uint32_t limit, int8_t decoded[64]) {
  // The reader stops after limit + 1 updates.
  ResidueWalk(w, by_scan, decoded,
              [&](uint32_t updates, const int8_t*) { return updates <= limit; });
}

void TraceResidue(const int16_t by_scan[64], const uint32_t* limits, size_t count, uint32_t* bits,
                  int8_t (*decoded)[64]) {
  BitWriter counter(true);
  int8_t values[64];
  size_t next = 0;
  auto capture = [&](size_t i) {
    bits[i] = static_cast<uint32_t>(counter.bit_count());
    std::memcpy(decoded[i], values, 64);
  };
  ResidueWalk(counter, by_scan, values, [&](uint32_t updates, const int8_t*) {
    while (next < count && updates == limits[next] + 1) capture(next++);
    return next < count;
  });
  // Limits the residue never reaches read it whole.
  while (next < count) capture(next++);
}

}  // namespace vexil
