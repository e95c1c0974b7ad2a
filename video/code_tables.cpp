#include "video/code_tables.h"

namespace vexil {
namespace {

// Every index whose low `length` bits equal a code gets that code's entry.
constexpr std::array<uint8_t, kCodeLookupBytes> BuildLookup() {
  std::array<uint8_t, kCodeLookupBytes> lookup{};
  for (int t = 0; t < kCodeTableCount; ++t) {
    uint32_t size = 1u << kCodeMaxLen[t];
    for (uint32_t i = 0; i < size; ++i) {
      for (int s = 0; s < 16; ++s) {
        uint32_t len = kCodeLengths[t][s];
        if ((i & ((1u << len) - 1)) == kCodeValues[t][s])
          lookup[kCodeLookupOffset[t] + i] = static_cast<uint8_t>(len << 4 | s);
      }
    }
  }
  return lookup;
}

}  // namespace

constinit const std::array<uint8_t, kCodeLookupBytes> kCodeLookup = BuildLookup();

void IdentityTree(Tree* tree) {
  tree->lookup = kCodeLookup.data();
  tree->maxlen = kCodeMaxLen[0];
  for (int i = 0; i < 16; ++i) tree->map[i] = static_cast<uint8_t>(i);
}

void BuildValueTable(const Tree& tree, bool is_signed, uint32_t escape_from, ValueTable* table) {
  table->bits = tree.maxlen + (is_signed ? 1 : 0);
  for (uint32_t i = 0; i < (1u << table->bits); ++i) {
    const uint32_t code = tree.lookup[i & ((1u << tree.maxlen) - 1)];
    uint32_t length = code >> 4;
    uint32_t v = tree.map[code & 15];
    if (v >= escape_from) {
      length = kEscapeLength;
    } else if (is_signed && v) {
      if ((i >> length) & 1) v = 0u - v;
      ++length;
    }
    table->entry[i] = static_cast<uint16_t>(length << 8 | (v & 0xFF));
  }
  table->ready = true;
}

void ReadTreeDescriptor(BitReader& reader, Tree* tree) {
  BitReader r = reader;
  uint32_t t = r.Read(4);
  tree->lookup = kCodeLookup.data() + kCodeLookupOffset[t];
  tree->maxlen = kCodeMaxLen[t];
  if (t == 0) {
    for (int i = 0; i < 16; ++i) tree->map[i] = static_cast<uint8_t>(i);
  } else if (r.ReadBit()) {
    // Explicit list, then the values not listed in ascending order; a repeated
    // value pushes the largest unlisted ones out.
    uint32_t n = r.Read(3) + 1;
    uint32_t seen = 0;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t v = r.Read(4);
      tree->map[i] = static_cast<uint8_t>(v);
      seen |= 1u << v;
    }
    uint32_t i = n;
    for (uint32_t v = 0; v < 16 && i < 16; ++v)
      if (!(seen & (1u << v))) tree->map[i++] = static_cast<uint8_t>(v);
  } else {
    // Merge shuffle: d + 1 passes merging neighbouring runs of 1, 2, 4, 8.
    uint32_t d = r.Read(2);
    uint8_t list[16], merged[16];
    for (int i = 0; i < 16; ++i) list[i] = static_cast<uint8_t>(i);
    for (uint32_t k = 0; k <= d; ++k) {
      uint32_t run = 1u << k;
      for (uint32_t base = 0; base < 16; base += 2 * run) {
        uint32_t a = base, a_end = base + run, b = a_end, b_end = b + run, out = base;
        while (a < a_end && b < b_end) merged[out++] = r.ReadBit() ? list[b++] : list[a++];
        while (a < a_end) merged[out++] = list[a++];
        while (b < b_end) merged[out++] = list[b++];
      }
      for (int i = 0; i < 16; ++i) list[i] = merged[i];
    }
    for (int i = 0; i < 16; ++i) tree->map[i] = list[i];
  }
  reader = r;
}

}  // namespace vexil
