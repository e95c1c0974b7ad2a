#include "video/coefficient_reader.h"

#include "video/scan_tables.h"

namespace vexil {
namespace {

// List entries are (scan index << 2) | mode. Entries are
// prepended before the start (up to 64, one per position) and appended after
// the end (at most 9 beyond the initial ones), so the list starts in the
// middle of its storage.
constexpr int kListStorage = 96;
constexpr int kListStart = 68;

enum : uint8_t { MODE_GROUP_HEAD = 0, MODE_SPLIT = 1, MODE_GROUP = 2, MODE_SINGLE = 3 };

constexpr uint8_t Entry(int index, uint8_t mode) {
  return static_cast<uint8_t>(index << 2 | mode);
}

// Number of 0 bits ahead, at most `entries` (and at most 32).
inline uint32_t KeptRun(const BitReader& r, int entries) {
  const uint32_t limit = entries < 32 ? static_cast<uint32_t>(entries) : 32;
  return static_cast<uint32_t>(__builtin_ctzll(r.bits | (uint64_t{1} << limit)));
}

inline int16_t ReadCoefficientValue(BitReader& r, int bits) {
  if (bits == 0) return r.ReadBit() ? -1 : 1;
  int32_t v = static_cast<int32_t>(r.Read(static_cast<uint32_t>(bits))) + (1 << bits);
  return static_cast<int16_t>(r.ReadBit() ? -v : v);
}

}  // namespace

void ReadCoefficients(BitReader& reader, int16_t block[64]) {
  BitReader r = reader;
  uint8_t list[kListStorage];
  int start = kListStart, end = kListStart;
  list[end++] = Entry(4, MODE_GROUP_HEAD);
  list[end++] = Entry(24, MODE_GROUP_HEAD);
  list[end++] = Entry(44, MODE_GROUP_HEAD);
  list[end++] = Entry(1, MODE_SINGLE);
  list[end++] = Entry(2, MODE_SINGLE);
  list[end++] = Entry(3, MODE_SINGLE);

  const int planes = static_cast<int>(r.Read(4));
  for (int bits = planes - 1; bits >= 0; --bits) {
    // Entries that die are dropped as the pass goes (survivors keep their
    // order), so the list never holds dead entries at the start of a pass.
    int keep = start;
    for (int p = start; p < end;) {
      if (!(r.bits & 1)) {
        // A run of 0 bits keeps as many entries: take it in one step.
        const uint32_t z = KeptRun(r, end - p);
        for (uint32_t k = 0; k < z; ++k) list[keep + k] = list[p + k];
        keep += z;
        p += z;
        r.Skip(z);
        continue;
      }
      r.Skip(1);
      const uint8_t e = list[p];
      const int i = e >> 2;
      int group = -1;
      switch (e & 3) {
        case MODE_GROUP_HEAD:
          list[p] = Entry(i + 4, MODE_SPLIT);  // revisited at once
          group = i;
          break;
        case MODE_SPLIT:
          list[p] = Entry(i, MODE_GROUP);  // revisited at once
          list[end++] = Entry(i + 4, MODE_GROUP);
          list[end++] = Entry(i + 8, MODE_GROUP);
          list[end++] = Entry(i + 12, MODE_GROUP);
          break;
        case MODE_GROUP:
          ++p;
          group = i;
          break;
        case MODE_SINGLE:
          ++p;
          block[kCoefficientScan[i]] = ReadCoefficientValue(r, bits);
          break;
      }
      if (group >= 0) {
        for (int j = group; j < group + 4; ++j) {
          if (r.ReadBit())
            list[--start] = Entry(j, MODE_SINGLE);  // first visited in the next pass
          else
            block[kCoefficientScan[j]] = ReadCoefficientValue(r, bits);
        }
      }
    }
    // Prepended entries went before the pass's first entry, survivors after it.
    end = keep;
  }
  reader = r;
}

void ReadResidue(BitReader& reader, int8_t residue[64], uint32_t limit) {
  BitReader r = reader;
  uint8_t list[kListStorage];
  int start = kListStart, end = kListStart;
  list[end++] = Entry(4, MODE_GROUP_HEAD);
  list[end++] = Entry(24, MODE_GROUP_HEAD);
  list[end++] = Entry(44, MODE_GROUP_HEAD);
  list[end++] = Entry(0, MODE_GROUP);
  uint8_t found[64];
  uint32_t found_count = 0, updates = 0;
  // Values wrap in 8 bits: +128 is stored as -128, so a later refinement of
  // it subtracts.
  auto* value = reinterpret_cast<uint8_t*>(residue);

  for (uint32_t mask = 1u << r.Read(3); mask; mask >>= 1) {
    const uint32_t earlier = found_count;
    for (uint32_t f = 0; f < earlier; ++f) {
      if (!r.ReadBit()) continue;
      uint8_t& v = value[found[f]];
      v = static_cast<uint8_t>((v & 0x80) ? v - mask : v + mask);
      if (updates++ == limit) goto done;
    }
    int keep = start;
    for (int p = start; p < end;) {
      if (!(r.bits & 1)) {
        // A run of 0 bits keeps as many entries: take it in one step.
        const uint32_t z = KeptRun(r, end - p);
        for (uint32_t k = 0; k < z; ++k) list[keep + k] = list[p + k];
        keep += z;
        p += z;
        r.Skip(z);
        continue;
      }
      r.Skip(1);
      const uint8_t e = list[p];
      const int i = e >> 2;
      int group = -1;
      switch (e & 3) {
        case MODE_GROUP_HEAD:
          list[p] = Entry(i + 4, MODE_SPLIT);
          group = i;
          break;
        case MODE_SPLIT:
          list[p] = Entry(i, MODE_GROUP);
          list[end++] = Entry(i + 4, MODE_GROUP);
          list[end++] = Entry(i + 8, MODE_GROUP);
          list[end++] = Entry(i + 12, MODE_GROUP);
          break;
        case MODE_GROUP:
          ++p;
          group = i;
          break;
        case MODE_SINGLE:
          ++p;
          value[i] = static_cast<uint8_t>(r.ReadBit() ? 0u - mask : mask);
          found[found_count++] = static_cast<uint8_t>(i);
          if (updates++ == limit) goto done;
          break;
      }
      if (group >= 0) {
        for (int j = group; j < group + 4; ++j) {
          if (r.ReadBit()) {
            list[--start] = Entry(j, MODE_SINGLE);
          } else {
            value[j] = static_cast<uint8_t>(r.ReadBit() ? 0u - mask : mask);
            found[found_count++] = static_cast<uint8_t>(j);
            if (updates++ == limit) goto done;
          }
        }
      }
    }
    end = keep;
  }
done:
  reader = r;
}

}  // namespace vexil
