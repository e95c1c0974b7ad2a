#include "video/bundles.h"

#include <cstring>

namespace vexil {
namespace {

uint32_t Floor16(uint64_t v) {
  return static_cast<uint32_t>(v & ~uint64_t{15});
}

// True, with the bundle stopped, when the next look-up of `bits` bits needs a
// word while the reader is at or past the data end: the chunk ends there.
inline bool StopsAtDataEnd(const BitReader& r, Bundle* b, uint32_t bits, uintptr_t data_end) {
  if (!r.NeedsWord(bits) || r.word < data_end) return false;
  StopBundle(b);
  return true;
}

// Reads the chunk length; false (bundle stopped) for 0 or above capacity.
inline bool StartChunk(BitReader& r, Bundle* b, uint32_t* n) {
  *n = r.Read(b->length_bits);
  if (*n == 0 || *n > b->capacity) {
    StopBundle(b);
    return false;
  }
  return true;
}

// What every coding shares: a bundle that still holds values is left alone;
// otherwise the length field, then `code(r, out, n)` decodes the chunk's n
// values into the buffer from its start (values of kValueBytes each). The
// reader is worked on in a local copy and handed back once.
template <uint32_t kValueBytes, typename Code>
inline void RefillChunk(BitReader& reader, Bundle* b, Code code) {
  if (b->pos != b->end) return;
  BitReader r = reader;
  uint32_t n;
  if (StartChunk(r, b, &n)) {
    uint8_t* out = b->buffer;
    b->pos = out;
    b->end = out + kValueBytes * n;
    code(r, out, n);
  }
  reader = r;
}

// Decodes values into out[i..n) by one look-up each and returns the new i;
// stops early before an escape. The data end is checked once for the whole
// stretch: a value takes at most 8 bits, so when it lies more than n - i + 8
// bytes ahead no look-up of the stretch can need a word at or past it.
inline uint32_t DecodeValues(BitReader& r, const ValueTable& table, uint8_t* out, uint32_t i,
                             uint32_t n, uintptr_t data_end) {
  if (r.word >= data_end || data_end - r.word <= uint64_t{n - i} + 8) return i;
  const uint32_t bits = table.bits;
  for (; i < n; ++i) {
    const uint32_t entry = table.entry[r.Peek(bits)];
    const uint32_t length = entry >> 8;
    if (length == kEscapeLength) break;
    out[i] = static_cast<uint8_t>(entry);
    r.Skip(length);
  }
  return i;
}

// The value table for a chunk of n coded values, built on first use in the
// plane; null when the chunk is too short to repay that.
inline const ValueTable* TableFor(ValueTable* table, uint32_t n, const Tree& tree, bool is_signed,
                                  uint32_t escape_from) {
  constexpr uint32_t kWorthBuilding = 8;
  if (!table || n < kWorthBuilding) return nullptr;
  if (!table->ready) BuildValueTable(tree, is_signed, escape_from, table);
  return table;
}

inline void StoreDc(uint8_t* p, uint32_t v) {
  uint16_t s = static_cast<uint16_t>(v);
  std::memcpy(p, &s, 2);
}

}  // namespace

BundleLayout BundleLayoutForWidth(uint32_t w) {
  const uint64_t w8 = w / 8, w16 = w / 16, W8 = w & ~7u;
  const uint64_t rows[BUNDLE_KIND_COUNT] = {w8, w16, w8 * 64, W8, w8, w8, w8, w8, w8 * 48};
  BundleLayout l;
  l.capacity[BUNDLE_BLOCK_TYPES] = Floor16(w8 + 527);
  l.capacity[BUNDLE_SUB_BLOCK_TYPES] = Floor16(w16 + 527);
  l.capacity[BUNDLE_COLOURS] = static_cast<uint32_t>(w8 * 64 + 512);
  l.capacity[BUNDLE_PATTERNS] = Floor16(W8 + 527);
  l.capacity[BUNDLE_X_OFFSETS] = Floor16(w8 + 527);
  l.capacity[BUNDLE_Y_OFFSETS] = Floor16(w8 + 527);
  l.capacity[BUNDLE_INTRA_DC] = Floor16(2 * w8 + 1039) / 2;
  l.capacity[BUNDLE_INTER_DC] = Floor16(2 * w8 + 1039) / 2;
  l.capacity[BUNDLE_RUNS] = Floor16(w8 * 48 + 527);
  for (int k = 0; k < BUNDLE_KIND_COUNT; ++k) {
    uint64_t c = rows[k] + 511;
    uint32_t n = 0;
    while (c) {
      ++n;
      c >>= 1;
    }
    l.length_bits[k] = n;
  }
  return l;
}

bool SetUpBundles(PlaneBundles* pb, uint32_t w, uint8_t* buffers,
                  const uint32_t sizes[BUNDLE_KIND_COUNT], bool old_revision) {
  if (w > (1u << 20)) return false;
  const BundleLayout layout = BundleLayoutForWidth(w);
  uint8_t* p = buffers;
  for (int k = 0; k < BUNDLE_KIND_COUNT; ++k) {
    const uint64_t value_bytes = (k == BUNDLE_INTRA_DC || k == BUNDLE_INTER_DC) ? 2 : 1;
    if ((uint64_t{layout.capacity[k]} + kBundleSlack[k]) * value_bytes > sizes[k]) return false;
    Bundle& b = pb->b[k];
    b.buffer = p;
    b.pos = b.end = p;
    b.capacity = layout.capacity[k];
    b.length_bits = layout.length_bits[k];
    p += (uint64_t{sizes[k]} + 15) & ~uint64_t{15};
  }
  pb->previous_high = 0;
  pb->old_revision = old_revision;
  return true;
}

void ReadBundleTrees(BitReader& r, PlaneBundles* pb) {
  ReadTreeDescriptor(r, &pb->type_tree);
  ReadTreeDescriptor(r, &pb->sub_type_tree);
  for (Tree& t : pb->colour_high) ReadTreeDescriptor(r, &t);
  ReadTreeDescriptor(r, &pb->colour_low);
  ReadTreeDescriptor(r, &pb->pattern_tree);
  ReadTreeDescriptor(r, &pb->x_tree);
  ReadTreeDescriptor(r, &pb->y_tree);
  ReadTreeDescriptor(r, &pb->run_tree);
  for (ValueTable* t :
       {&pb->type_values, &pb->sub_type_values, &pb->x_values, &pb->y_values, &pb->run_values})
    t->ready = false;
  pb->previous_high = 0;
  for (Bundle& b : pb->b) b.pos = b.end = b.buffer;
}

void RefillTypes(BitReader& reader, Bundle* b, const Tree& tree, uintptr_t data_end,
                 ValueTable* values) {
  RefillChunk<1>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    if (r.ReadBit()) {
      std::memset(out, static_cast<int>(r.Read(4)), n);
      return;
    }
    uint32_t last = 0, stored = 0;
    // Type codes 12..15 repeat the previous type.
    const ValueTable* fast = TableFor(values, n, tree, false, 12);
    while (stored < n) {
      if (fast) {
        const uint32_t reached = DecodeValues(r, *fast, out, stored, n, data_end);
        if (reached != stored) {
          stored = reached;
          last = out[stored - 1];
          if (stored == n) break;
        }
      }
      if (StopsAtDataEnd(r, b, tree.maxlen, data_end)) break;
      uint32_t s = DecodeSymbol(r, tree);
      if (s < 12) {
        out[stored++] = static_cast<uint8_t>(s);
        last = s;
      } else {
        static constexpr uint32_t kRun[4] = {4, 8, 12, 32};
        uint32_t run = kRun[s - 12];
        if (run > n - stored) break;  // the chunk ends early; the rest stays stale
        std::memset(out + stored, static_cast<int>(last), run);
        stored += run;
      }
    }
  });
}

void RefillColours(BitReader& reader, Bundle* b, const Tree high[16], const Tree& low,
                   uint32_t* previous_high, bool old_revision, uintptr_t data_end) {
  RefillChunk<1>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    const uint32_t fill = r.ReadBit();
    const uint32_t count = fill ? 1 : n;
    uint32_t h = *previous_high;
    for (uint32_t i = 0; i < count; ++i) {
      const Tree& ht = high[h];
      if (StopsAtDataEnd(r, b, ht.maxlen, data_end)) break;
      h = DecodeSymbol(r, ht);
      if (StopsAtDataEnd(r, b, low.maxlen, data_end)) break;
      uint32_t v = h * 16 + DecodeSymbol(r, low);
      if (old_revision) {
        // Sign and magnitude to offset 128.
        uint32_t m = v & 127;
        v = (v & 128) ? 128 - m : 128 + m;
      }
      out[i] = static_cast<uint8_t>(v);
    }
    *previous_high = h;
    if (fill && b->end != b->buffer) std::memset(out, out[0], n);
  });
}

void RefillPatterns(BitReader& reader, Bundle* b, const Tree& tree, uintptr_t data_end) {
  RefillChunk<1>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      if (StopsAtDataEnd(r, b, tree.maxlen, data_end)) break;
      uint32_t l = DecodeSymbol(r, tree);
      if (StopsAtDataEnd(r, b, tree.maxlen, data_end)) break;
      out[i] = static_cast<uint8_t>(l | DecodeSymbol(r, tree) << 4);
    }
  });
}

void RefillOffsets(BitReader& reader, Bundle* b, const Tree& tree, uintptr_t data_end,
                   ValueTable* values) {
  RefillChunk<1>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    if (r.ReadBit()) {
      int32_t v = static_cast<int32_t>(r.Read(4));
      if (v && r.ReadBit()) v = -v;
      std::memset(out, static_cast<uint8_t>(v), n);
      return;
    }
    const ValueTable* fast = TableFor(values, n, tree, true, 16);
    for (uint32_t i = fast ? DecodeValues(r, *fast, out, 0, n, data_end) : 0; i < n; ++i) {
      if (StopsAtDataEnd(r, b, tree.maxlen, data_end)) break;
      int32_t v = static_cast<int32_t>(DecodeSymbol(r, tree));
      if (v && r.ReadBit()) v = -v;
      out[i] = static_cast<uint8_t>(v);
    }
  });
}

void RefillDc(BitReader& reader, Bundle* b, bool is_signed, uintptr_t data_end) {
  RefillChunk<2>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    uint32_t previous;
    if (is_signed) {
      previous = r.Read(10);
      if (previous && r.ReadBit()) previous = 0u - previous;
    } else {
      previous = r.Read(11);
    }
    StoreDc(out, previous);
    for (uint32_t i = 1; i < n;) {
      if (StopsAtDataEnd(r, b, 4, data_end)) break;
      const uint32_t group_end = i + 8 < n ? i + 8 : n;
      const uint32_t bits = r.Read(4);
      // Each delta: `bits` magnitude bits, then a sign bit unless it is 0
      // (none at all for bits = 0).
      for (; i < group_end; ++i) {
        const uint32_t ahead = r.Peek(bits + 1);
        const uint32_t m = ahead & ((1u << bits) - 1);
        const uint32_t has_sign = m != 0;
        const uint32_t negative = (ahead >> bits) & has_sign;
        r.Skip(bits + has_sign);
        previous += (m ^ (0u - negative)) + negative;
        StoreDc(out + 2 * i, previous);
      }
    }
  });
}

void RefillRuns(BitReader& reader, Bundle* b, const Tree& tree, uintptr_t data_end,
                ValueTable* values) {
  RefillChunk<1>(reader, b, [&](BitReader& r, uint8_t* out, uint32_t n) {
    if (r.ReadBit()) {
      std::memset(out, static_cast<int>(r.Read(4)), n);
      return;
    }
    const ValueTable* fast = TableFor(values, n, tree, false, 16);
    for (uint32_t i = fast ? DecodeValues(r, *fast, out, 0, n, data_end) : 0; i < n; ++i) {
      if (StopsAtDataEnd(r, b, tree.maxlen, data_end)) break;
      out[i] = static_cast<uint8_t>(DecodeSymbol(r, tree));
    }
  });
}

void RefillBundles(BitReader& r, PlaneBundles* pb, uintptr_t data_end) {
  Bundle* b = pb->b;
  RefillTypes(r, &b[BUNDLE_BLOCK_TYPES], pb->type_tree, data_end, &pb->type_values);
  RefillTypes(r, &b[BUNDLE_SUB_BLOCK_TYPES], pb->sub_type_tree, data_end, &pb->sub_type_values);
  RefillColours(r, &b[BUNDLE_COLOURS], pb->colour_high, pb->colour_low, &pb->previous_high,
                pb->old_revision, data_end);
  RefillPatterns(r, &b[BUNDLE_PATTERNS], pb->pattern_tree, data_end);
  RefillOffsets(r, &b[BUNDLE_X_OFFSETS], pb->x_tree, data_end, &pb->x_values);
  RefillOffsets(r, &b[BUNDLE_Y_OFFSETS], pb->y_tree, data_end, &pb->y_values);
  RefillDc(r, &b[BUNDLE_INTRA_DC], false, data_end);
  RefillDc(r, &b[BUNDLE_INTER_DC], true, data_end);
  RefillRuns(r, &b[BUNDLE_RUNS], pb->run_tree, data_end, &pb->run_values);
  // The two offset bundles are consumed in step, at the y offsets' index.
  Bundle& x = b[BUNDLE_X_OFFSETS];
  Bundle& y = b[BUNDLE_Y_OFFSETS];
  x.pos = x.buffer + (y.pos - y.buffer);
}

}  // namespace vexil
