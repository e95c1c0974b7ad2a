#include "video/coefficient_reader.h"

#include <cstring>

#include "video/scan_tables.h"

namespace vexil {
namespace {

// List entries are (scan index << 2) | mode. They stand for disjoint sets of
// positions 1..63, so a list never holds more than 63.
enum : uint8_t { MODE_GROUP_HEAD = 0, MODE_SPLIT = 1, MODE_GROUP = 2, MODE_SINGLE = 3 };

constexpr uint8_t Entry(int index, uint8_t mode) {
  return static_cast<uint8_t>(index << 2 | mode);
}

// The list of the current pass and the one the next pass starts from: entries
// found single go before the next list's start (the latest first), survivors
// after it in their order. Both start in the middle of their storage, with
// room for 32 bytes of copying past any end.
struct WorkLists {
  static constexpr int kStart = 68;
  static constexpr int kStorage = kStart + 64 + 32;
  uint8_t storage[2][kStorage];
  uint8_t* list = storage[0];
  uint8_t* next = storage[1];
  int start = kStart, end = kStart;        // this pass: list[start, end)
  int next_start = kStart, keep = kStart;  // the next one so far: next[next_start, keep)

  void Append(uint8_t e) { list[end++] = e; }
  void EndPass() {
    uint8_t* t = list;
    list = next;
    next = t;
    start = next_start;
    end = keep;
    next_start = keep = kStart;
  }
  // A run of 0 bits ahead keeps as many entries from p on (at most 32 at a
  // time): returns the entry after them.
  int KeepRun(BitReader& r, int p) {
    const int entries = end - p;
    const uint32_t limit = entries < 32 ? static_cast<uint32_t>(entries) : 32;
    const uint32_t z = static_cast<uint32_t>(__builtin_ctzll(r.bits | (uint64_t{1} << limit)));
    std::memcpy(next + keep, list + p, 32);  // bytes past the run are overwritten later
    keep += static_cast<int>(z);
    r.Skip(z);
    return p + static_cast<int>(z);
  }
  // Makes position `index` a single entry of the next pass when `found` is 1.
  void PrependSingle(int index, uint32_t found) {
    next[next_start - 1] = Entry(index, MODE_SINGLE);
    next_start -= static_cast<int>(found);
  }
};

// A value found in plane `bits` (at most 14) from stream bits `ahead`: its
// `bits` lower magnitude bits, then the sign (1 = negative); the plane's own
// bit is the implied leading one. It takes bits + 1 stream bits.
inline int16_t CoefficientValue(uint32_t ahead, uint32_t bits) {
  const int32_t magnitude = static_cast<int32_t>((ahead & ((1u << bits) - 1)) | 1u << bits);
  const int32_t negative = -static_cast<int32_t>(ahead >> bits & 1);
  return static_cast<int16_t>((magnitude ^ negative) - negative);
}

// mask, negated when `negative` is 1.
inline uint32_t SignedMask(uint32_t mask, uint32_t negative) {
  return (mask ^ (0u - negative)) + negative;
}

inline int16_t ReadCoefficientValue(BitReader& r, uint32_t bits) {
  const int16_t v = CoefficientValue(r.Peek(bits + 1), bits);
  r.Skip(bits + 1);
  return v;
}

}  // namespace

void ReadCoefficients(BitReader& reader, int16_t block[64]) {
  BitReader r = reader;
  WorkLists l;
  l.Append(Entry(4, MODE_GROUP_HEAD));
  l.Append(Entry(24, MODE_GROUP_HEAD));
  l.Append(Entry(44, MODE_GROUP_HEAD));
  l.Append(Entry(1, MODE_SINGLE));
  l.Append(Entry(2, MODE_SINGLE));
  l.Append(Entry(3, MODE_SINGLE));

  const int planes = static_cast<int>(r.Read(4));
  for (int bits = planes - 1; bits >= 0; --bits) {
    const uint32_t ubits = static_cast<uint32_t>(bits);
    // Entries that die are dropped as the pass goes, so the next list never
    // holds dead entries.
    for (int p = l.start; p < l.end;) {
      if (!(r.bits & 1)) {
        p = l.KeepRun(r, p);
        continue;
      }
      r.Skip(1);
      const uint8_t e = l.list[p];
      const int i = e >> 2;
      int group = -1;
      switch (e & 3) {
        case MODE_GROUP_HEAD:
          l.list[p] = Entry(i + 4, MODE_SPLIT);  // revisited at once
          group = i;
          break;
        case MODE_SPLIT:
          l.list[p] = Entry(i, MODE_GROUP);  // revisited at once
          l.Append(Entry(i + 4, MODE_GROUP));
          l.Append(Entry(i + 8, MODE_GROUP));
          l.Append(Entry(i + 12, MODE_GROUP));
          break;
        case MODE_GROUP:
          ++p;
          group = i;
          break;
        case MODE_SINGLE:
          ++p;
          block[kCoefficientScan[i]] = ReadCoefficientValue(r, ubits);
          break;
      }
      if (group >= 0) {
        // Each position of the group: a 1 bit makes it a single entry, first
        // visited in the next pass; a 0 bit is followed by its value. The
        // positions are still zero, so the block takes 0 or the value alike.
        for (int j = group; j < group + 4; ++j) {
          const uint32_t ahead = r.Peek(ubits + 2);
          const uint32_t single = ahead & 1;
          l.PrependSingle(j, single);
          const int16_t v = CoefficientValue(ahead >> 1, ubits);
          block[kCoefficientScan[j]] = static_cast<int16_t>(v & (static_cast<int16_t>(single) - 1));
          r.Skip(1 + (ubits + 1) * (single ^ 1));
        }
      }
    }
    l.EndPass();
  }
  reader = r;
}

void ReadResidue(BitReader& reader, int8_t residue[64], uint32_t limit) {
  BitReader r = reader;
  WorkLists l;
  l.Append(Entry(4, MODE_GROUP_HEAD));
  l.Append(Entry(24, MODE_GROUP_HEAD));
  l.Append(Entry(44, MODE_GROUP_HEAD));
  l.Append(Entry(0, MODE_GROUP));
  uint8_t found[64 + 1];  // room for the unconditional store after the last
  uint32_t found_count = 0, updates = 0;
  // Values wrap in 8 bits: +128 is stored as -128, so a later refinement of
  // it subtracts.
  auto* value = reinterpret_cast<uint8_t*>(residue);

  for (uint32_t mask = 1u << r.Read(3); mask; mask >>= 1) {
    const uint32_t earlier = found_count;
    // A 1 bit moves a found value away from zero by the plane's bit.
    for (uint32_t f = 0; f < earlier; ++f) {
      const uint32_t bit = r.ReadBit();
      uint8_t& v = value[found[f]];
      v = static_cast<uint8_t>(v + (SignedMask(mask, v >> 7) & (0u - bit)));
      updates += bit;
      if (updates > limit) goto done;
    }
    for (int p = l.start; p < l.end;) {
      if (!(r.bits & 1)) {
        p = l.KeepRun(r, p);
        continue;
      }
      r.Skip(1);
      const uint8_t e = l.list[p];
      const int i = e >> 2;
      int group = -1;
      switch (e & 3) {
        case MODE_GROUP_HEAD:
          l.list[p] = Entry(i + 4, MODE_SPLIT);
          group = i;
          break;
        case MODE_SPLIT:
          l.list[p] = Entry(i, MODE_GROUP);
          l.Append(Entry(i + 4, MODE_GROUP));
          l.Append(Entry(i + 8, MODE_GROUP));
          l.Append(Entry(i + 12, MODE_GROUP));
          break;
        case MODE_GROUP:
          ++p;
          group = i;
          break;
        case MODE_SINGLE:
          ++p;
          value[i] = static_cast<uint8_t>(SignedMask(mask, r.ReadBit()));
          found[found_count++] = static_cast<uint8_t>(i);
          if (updates++ == limit) goto done;
          break;
      }
      if (group >= 0) {
        // As for coefficients: a 1 bit defers the position, a 0 bit is
        // followed by its sign; the position is still zero either way.
        for (int j = group; j < group + 4; ++j) {
          const uint32_t ahead = r.Peek(2);
          const uint32_t single = ahead & 1, now = single ^ 1;
          l.PrependSingle(j, single);
          value[j] = static_cast<uint8_t>(SignedMask(mask, ahead >> 1) & (0u - now));
          found[found_count] = static_cast<uint8_t>(j);
          found_count += now;
          r.Skip(1 + now);
          updates += now;
          if (updates > limit) goto done;
        }
      }
    }
    l.EndPass();
  }
done:
  reader = r;
}

}  // namespace vexil
