#include "encoder/coefficient_encoder.h"

#include <cstdlib>

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
// position j is read in the current pass; `emit(j)` writes its value and
// returns false when writing must stop.
template <typename Significant, typename Emit>
bool Pass(BitWriter& w, uint8_t* list, int& start, int& end, Significant significant, Emit emit) {
  for (int p = start; p < end;) {
    const uint8_t e = list[p];
    if (!e) {
      ++p;
      continue;
    }
    const int i = e >> 2, mode = e & 3;
    bool any = false;
    for (int j = i; j < i + Span(mode) && j < 64; ++j) any |= significant(j);
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
  for (int k = 1; k < 64; ++k) {
    if (by_scan[k] == -32768) return false;
    const uint32_t m = static_cast<uint32_t>(std::abs(by_scan[k]));
    if (m > largest) largest = m;
  }
  const int planes = BitLength(largest);
  w.Put(static_cast<uint32_t>(planes), 4);
  uint8_t list[kListStorage];
  int start = kListStart, end = kListStart;
  for (uint8_t e : {Entry(4, 0), Entry(24, 0), Entry(44, 0), Entry(1, 3), Entry(2, 3), Entry(3, 3)})
    list[end++] = e;
  for (int bits = planes - 1; bits >= 0; --bits) {
    const uint32_t threshold = 1u << bits;
    auto significant = [&](int j) {
      return static_cast<uint32_t>(std::abs(by_scan[j])) >= threshold;
    };
    auto emit = [&](int j) {
      const int32_t v = by_scan[j];
      const uint32_t m = static_cast<uint32_t>(std::abs(v));
      if (bits) w.Put(m - threshold, static_cast<uint32_t>(bits));
      w.PutBit(v < 0);
      return true;
    };
    // Positions once read are never significant again: their entries are dead.
    Pass(w, list, start, end, significant, emit);
  }
  return true;
}

void WriteResidue(BitWriter& w, const int16_t by_scan[64], uint32_t limit, int8_t decoded[64]) {
  uint32_t largest = 0;
  for (int k = 0; k < 64; ++k) {
    decoded[k] = 0;
    const uint32_t m = static_cast<uint32_t>(std::abs(by_scan[k])) & 255;
    if (m > largest) largest = m;
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
  auto magnitude = [&](int j) { return static_cast<uint32_t>(std::abs(by_scan[j])) & 255; };

  for (uint32_t mask = 1u << s; mask; mask >>= 1) {
    const uint32_t earlier = found_count;
    for (uint32_t f = 0; f < earlier; ++f) {
      const bool bit = magnitude(found[f]) & mask;
      w.PutBit(bit);
      if (!bit) continue;
      uint8_t& v = value[found[f]];
      v = static_cast<uint8_t>((v & 0x80) ? v - mask : v + mask);
      if (updates++ == limit) return;
    }
    auto significant = [&](int j) { return !read[j] && magnitude(j) >= mask; };
    auto emit = [&](int j) {
      read[j] = true;
      w.PutBit(by_scan[j] < 0);
      value[j] = static_cast<uint8_t>(by_scan[j] < 0 ? 0u - mask : mask);
      found[found_count++] = static_cast<uint8_t>(j);
      return updates++ != limit;
    };
    if (!Pass(w, list, start, end, significant, emit)) return;
  }
}

}  // namespace vexil
