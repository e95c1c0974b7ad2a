// Chunk codings, capacities, length fields and the stop rules of the bundles.
#include "video/bundles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/bundle_encoder.h"

namespace vexil {
namespace {

constexpr uintptr_t kFarEnd = ~uintptr_t{0};

// One bundle over its own buffer, pre-filled with a marker.
struct TestBundle {
  std::vector<uint8_t> memory;
  Bundle b{};
  TestBundle(uint32_t capacity, uint32_t length_bits, uint32_t bytes = 2048) : memory(bytes, 0xEE) {
    b.buffer = b.pos = b.end = memory.data();
    b.capacity = capacity;
    b.length_bits = length_bits;
  }
  bool stopped() const { return b.pos == b.buffer + 4 && b.end == b.buffer; }
  uint32_t size() const { return static_cast<uint32_t>(b.end - b.pos); }
};

struct Stream {
  std::vector<uint8_t> bytes;
  BitReader r;
  explicit Stream(BitWriter w) {
    w.Put(0, 32);
    w.PadToWord();
    bytes = w.bytes();
    r.Start(bytes.data(), bytes.data() + bytes.size());
  }
  uint32_t consumed() const {
    return static_cast<uint32_t>((r.word - reinterpret_cast<uintptr_t>(bytes.data())) * 8) -
           r.count;
  }
};

Tree Identity() {
  Tree t;
  IdentityTree(&t);
  return t;
}

TEST(BundleLayout, LengthFieldsFollowTheFormulaForEveryBundle) {
  const BundleLayout l = BundleLayoutForWidth(640);
  const uint32_t expected[BUNDLE_KIND_COUNT] = {10, 10, 13, 11, 10, 10, 10, 10, 13};
  for (int k = 0; k < BUNDLE_KIND_COUNT; ++k) EXPECT_EQ(l.length_bits[k], expected[k]) << k;
  const uint32_t capacity[BUNDLE_KIND_COUNT] = {592, 560, 5632, 1152, 592, 592, 592, 592, 4352};
  for (int k = 0; k < BUNDLE_KIND_COUNT; ++k) EXPECT_EQ(l.capacity[k], capacity[k]) << k;
  for (uint32_t w : {0u, 1u, 7u}) {
    const BundleLayout narrow = BundleLayoutForWidth(w);
    for (int k = 0; k < BUNDLE_KIND_COUNT; ++k) EXPECT_EQ(narrow.length_bits[k], 9u);
  }
  EXPECT_EQ(BundleLayoutForWidth(8).length_bits[BUNDLE_SUB_BLOCK_TYPES], 9u);
  EXPECT_EQ(BundleLayoutForWidth(8).length_bits[BUNDLE_BLOCK_TYPES], 10u);
}

TEST(BundleLayout, MovieBufferSizesHoldEveryPlaneOfThatMovie) {
  for (uint32_t width = 0; width <= 2100; ++width) {
    uint32_t sizes[BUNDLE_KIND_COUNT];
    BundleBufferSizes(width, sizes);
    std::vector<uint8_t> memory(BundleBuffersTotal(sizes));
    PlaneBundles pb;
    const uint32_t luma = (width + 7) / 8 * 8, chroma = ((width + 1) / 2 + 7) / 8 * 8;
    ASSERT_TRUE(SetUpBundles(&pb, luma, memory.data(), sizes, false)) << width;
    ASSERT_TRUE(SetUpBundles(&pb, chroma, memory.data(), sizes, false)) << width;
  }
  uint32_t sizes[BUNDLE_KIND_COUNT];
  BundleBufferSizes(64, sizes);
  std::vector<uint8_t> memory(BundleBuffersTotal(sizes));
  PlaneBundles pb;
  EXPECT_FALSE(SetUpBundles(&pb, 80, memory.data(), sizes, false));
}

TEST(Bundles, ChunkOfCapacityIsAcceptedAndOneMoreStops) {
  for (uint32_t n : {16u, 17u, 0u}) {
    TestBundle t(16, 10);
    BitWriter w;
    w.Put(n, 10);
    w.PutBit(1);
    w.Put(7, 4);
    Stream s(w);
    RefillRuns(s.r, &t.b, Identity(), kFarEnd);
    if (n == 16) {
      EXPECT_EQ(t.size(), 16u);
      EXPECT_EQ(t.memory[15], 7);
    } else {
      EXPECT_TRUE(t.stopped()) << n;
      EXPECT_EQ(s.consumed(), 10u);  // no values read
      // A stopped bundle is never refilled again.
      RefillRuns(s.r, &t.b, Identity(), kFarEnd);
      EXPECT_EQ(s.consumed(), 10u);
    }
  }
}

TEST(Bundles, RefillDoesNothingWhileValuesRemain) {
  TestBundle t(64, 10);
  t.b.end = t.b.buffer + 3;
  BitWriter w;
  w.Put(5, 10);
  Stream s(w);
  RefillTypes(s.r, &t.b, Identity(), kFarEnd);
  EXPECT_EQ(s.consumed(), 0u);
}

TEST(Bundles, TypeRunCodeFirstRepeatsZero) {
  TestBundle t(64, 10);
  BitWriter w;
  w.Put(10, 10);
  w.PutBit(0);
  w.Put(13, 4);  // run of 8 copies of last (0)
  w.Put(5, 4);
  w.Put(12, 4);  // run of 4 would exceed the one value missing: the chunk ends
  Stream s(w);
  RefillTypes(s.r, &t.b, Identity(), kFarEnd);
  EXPECT_EQ(t.size(), 10u);
  const std::vector<uint8_t> expected = {0, 0, 0, 0, 0, 0, 0, 0, 5, 0xEE};
  EXPECT_EQ(std::vector<uint8_t>(t.memory.begin(), t.memory.begin() + 10), expected);
  EXPECT_EQ(s.consumed(), 10u + 1 + 12);
}

TEST(Bundles, ColourFillDecodesOneColourAndAdvancesThePreviousHighNibbleOnce) {
  Tree high[16];
  for (Tree& h : high) IdentityTree(&h);
  // High tree 3 maps every symbol s to 15 - s: it must be used for the colour
  // after the fill (whose high nibble was 3) and only then.
  for (int i = 0; i < 16; ++i) high[3].map[i] = static_cast<uint8_t>(15 - i);
  TestBundle t(64, 12);
  BitWriter w;
  w.Put(5, 12);
  w.PutBit(1);
  w.Put(3, 4);
  w.Put(9, 4);
  w.Put(2, 12);
  w.PutBit(0);
  w.Put(1, 4);  // through high tree 3: 14
  w.Put(0, 4);
  w.Put(1, 4);  // through high tree 14: 1
  w.Put(2, 4);
  Stream s(w);
  uint32_t previous = 0;
  RefillColours(s.r, &t.b, high, Identity(), &previous, false, kFarEnd);
  EXPECT_EQ(t.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t.memory[i], 0x39);
  EXPECT_EQ(previous, 3u);
  t.b.pos = t.b.end;
  RefillColours(s.r, &t.b, high, Identity(), &previous, false, kFarEnd);
  EXPECT_EQ(t.memory[0], 0xE0);
  EXPECT_EQ(t.memory[1], 0x12);
  EXPECT_EQ(previous, 1u);
}

TEST(Bundles, OldRevisionColoursTurnSignAndMagnitudeIntoOffset128) {
  const std::pair<uint32_t, uint8_t> cases[] = {{0x85, 123}, {0x05, 133}, {0x00, 128},
                                                {0x80, 128}, {0xFF, 1},   {0x7F, 255}};
  for (auto [sent, stored] : cases) {
    Tree high[16];
    for (Tree& h : high) IdentityTree(&h);
    TestBundle t(64, 12);
    BitWriter w;
    w.Put(1, 12);
    w.PutBit(0);
    w.Put(sent >> 4, 4);
    w.Put(sent & 15, 4);
    Stream s(w);
    uint32_t previous = 0;
    RefillColours(s.r, &t.b, high, Identity(), &previous, true, kFarEnd);
    EXPECT_EQ(t.memory[0], stored) << sent;
    EXPECT_EQ(OldRevisionColour(sent), stored);
  }
}

TEST(Bundles, OffsetFillOfZeroReadsNoSign) {
  for (int v : {0, 5, -5}) {
    TestBundle t(64, 10);
    BitWriter w;
    w.Put(3, 10);
    w.PutBit(1);
    w.Put(static_cast<uint32_t>(std::abs(v)), 4);
    if (v) w.PutBit(v < 0);
    const size_t bits = w.bit_count();
    Stream s(w);
    RefillOffsets(s.r, &t.b, Identity(), kFarEnd);
    EXPECT_EQ(s.consumed(), bits);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<int8_t>(t.memory[i]), v);
  }
}

TEST(Bundles, DcChunksReadTheFirstValueThenGroupsOfEight) {
  struct Case {
    bool is_signed;
    std::vector<uint16_t> values;
    uint32_t bits;
  } cases[] = {
      {false, {2047}, 10 + 11},
      {true, {0}, 10 + 10},  // zero: no sign
      {true, {static_cast<uint16_t>(-1023)}, 10 + 11},
      // Nine values: the first, then one group of 8 with b = 1 (deltas 1, -1, ...).
      {false, {100, 101, 100, 101, 100, 101, 100, 101, 100}, 10 + 11 + 4 + 8 * 2},
      // Equal values: b = 0 reads nothing more per value.
      {false, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, 10 + 11 + 4 + 4},
      // A zero delta among others reads no sign: 1, 0, -2 with b = 2.
      {false, {5, 6, 6, 4}, 10 + 11 + 4 + 3 + 2 + 3},
      // 16-bit wrap-around: 0 - 1 = 65535.
      {false, {0, 65535, 65534}, 10 + 11 + 4 + 2 * 2},
  };
  for (const Case& c : cases) {
    TestBundle t(64, 10);
    BitWriter w;
    ASSERT_TRUE(
        WriteDcChunk(w, 10, c.is_signed, c.values.data(), static_cast<uint32_t>(c.values.size())));
    EXPECT_EQ(w.bit_count(), c.bits);
    Stream s(w);
    RefillDc(s.r, &t.b, c.is_signed, kFarEnd);
    EXPECT_EQ(s.consumed(), c.bits);
    ASSERT_EQ(t.size(), 2 * c.values.size());
    for (size_t i = 0; i < c.values.size(); ++i) {
      uint16_t v;
      std::memcpy(&v, &t.memory[2 * i], 2);
      EXPECT_EQ(v, c.values[i]);
    }
  }
}

TEST(Bundles, CodeLookupsAtTheDataEndStopTheBundle) {
  // A tree-coded run chunk of 100 values whose data ends after the first word:
  // decoding stops where a look-up needs a word at or past the data end.
  TestBundle t(256, 10);
  BitWriter w;
  w.Put(100, 10);
  w.PutBit(0);
  for (int i = 0; i < 100; ++i) w.Put(i & 15, 4);
  Stream s(w);
  const uintptr_t data_end = reinterpret_cast<uintptr_t>(s.bytes.data()) + 4;
  RefillRuns(s.r, &t.b, Identity(), data_end);
  EXPECT_TRUE(t.stopped());
  // Five values fit in the first word after the 11 header bits; the sixth
  // look-up needs the second word.
  EXPECT_EQ(s.consumed(), 11u + 5 * 4);
}

TEST(Bundles, EncodedChunksRoundTripInEveryCoding) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    const uint32_t n = 1 + rng() % 300;
    const bool same = rng() % 4 == 0;
    std::vector<uint8_t> values(n);
    for (auto& v : values) v = static_cast<uint8_t>(same ? 0x5A : rng());
    for (int coding = 0; coding < 5; ++coding) {
      std::vector<uint8_t> sent = values;
      for (auto& v : sent) {
        if (coding == 0) v = static_cast<uint8_t>(v % 12);  // types
        if (coding == 3) v = static_cast<uint8_t>(v % 31);  // offsets -15..15 (shifted)
        if (coding == 4) v &= 15;                           // runs
      }
      if (coding == 3)
        for (auto& v : sent) v = static_cast<uint8_t>(static_cast<int>(v) - 15);
      TreeUse tree, high[16], low;
      uint32_t previous = 0;
      auto write = [&](BitWriter& w) {
        previous = 0;
        switch (coding) {
          case 0:
            return WriteTypeChunk(w, 12, tree, sent.data(), n);
          case 1:
            return WriteColourChunk(w, 12, high, low, &previous, sent.data(), n, round % 2);
          case 2:
            WritePatternChunk(w, 12, tree, sent.data(), n);
            return true;
          case 3:
            WriteOffsetChunk(w, 12, tree, reinterpret_cast<const int8_t*>(sent.data()), n);
            return true;
          default:
            WriteRunChunk(w, 12, tree, sent.data(), n);
            return true;
        }
      };
      if (coding == 1 && round % 2)
        for (auto& v : sent) v = v ? v : 1;  // old revisions cannot store 0
      BitWriter counting;
      ASSERT_TRUE(write(counting));
      tree.Choose();
      low.Choose();
      for (TreeUse& h : high) h.Choose();
      BitWriter w;
      ASSERT_TRUE(write(w));
      const size_t bits = w.bit_count();
      Stream s(w);
      TestBundle t(1024, 12);
      Tree trees[16], low_tree;
      for (int i = 0; i < 16; ++i) {
        // Descriptors go through the encoder and reader too.
        BitWriter d;
        WriteTreeDescriptor(d, high[i].tree);
        Stream ds(d);
        ReadTreeDescriptor(ds.r, &trees[i]);
      }
      BitWriter d;
      WriteTreeDescriptor(d, coding == 1 ? low.tree : tree.tree);
      Stream ds(d);
      ReadTreeDescriptor(ds.r, &low_tree);
      uint32_t decoded_previous = 0;
      switch (coding) {
        case 0:
          RefillTypes(s.r, &t.b, low_tree, kFarEnd);
          break;
        case 1:
          RefillColours(s.r, &t.b, trees, low_tree, &decoded_previous, round % 2, kFarEnd);
          break;
        case 2:
          RefillPatterns(s.r, &t.b, low_tree, kFarEnd);
          break;
        case 3:
          RefillOffsets(s.r, &t.b, low_tree, kFarEnd);
          break;
        default:
          RefillRuns(s.r, &t.b, low_tree, kFarEnd);
          break;
      }
      ASSERT_EQ(s.consumed(), bits) << "coding " << coding;
      ASSERT_EQ(std::vector<uint8_t>(t.memory.begin(), t.memory.begin() + n), sent)
          << "coding " << coding;
    }
  }
}

// A tree read from a descriptor of random bits.
Tree RandomTree(std::mt19937& rng) {
  uint8_t descriptor[16];
  for (auto& b : descriptor) b = static_cast<uint8_t>(rng());
  BitReader r;
  r.Start(descriptor, descriptor + sizeof descriptor);
  Tree tree;
  ReadTreeDescriptor(r, &tree);
  return tree;
}

TEST(ValueTable, EveryEntryIsTheValueDecodedByTheTree) {
  // Random trees, every entry with random bits above it that it must not
  // depend on.
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    const Tree tree = RandomTree(rng);
    const bool is_signed = round % 3 == 1;
    const uint32_t escape_from = round % 3 == 2 ? 12 : 16;
    ValueTable table;
    BuildValueTable(tree, is_signed, escape_from, &table);
    ASSERT_EQ(table.bits, tree.maxlen + is_signed);
    for (uint32_t i = 0; i < (1u << table.bits); ++i) {
      const uint32_t word = i | (rng() << table.bits);
      const uint8_t stream[8] = {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                                 static_cast<uint8_t>(word >> 16),
                                 static_cast<uint8_t>(word >> 24)};
      BitReader r;
      r.Start(stream, stream + 8);
      uint32_t v = DecodeSymbol(r, tree);
      const bool escape = v >= escape_from;
      if (is_signed && v && r.ReadBit()) v = 0u - v;
      const uint32_t length = 32 - r.count;
      const uint32_t entry = table.entry[i];
      if (escape) {
        ASSERT_EQ(entry >> 8, kEscapeLength) << round << " " << i;
      } else {
        ASSERT_EQ(entry >> 8, length) << round << " " << i;
        ASSERT_EQ(entry & 0xFF, v & 0xFF) << round << " " << i;
      }
    }
  }
}

TEST(ValueTable, ChunksDecodeAsWithoutItOnRandomStreamsUpToTheDataEnd) {
  // A random tree, a chunk header, then random code bits; the data end
  // anywhere from the stream start to past its bytes. Buffer contents (the
  // stale bytes after a chunk that ends early too), bundle state and reader
  // state must equal value-by-value decoding.
  std::mt19937 rng(17);
  for (int round = 0; round < 4000; ++round) {
    const int coding = round % 3;  // types, offsets, runs
    const Tree tree = RandomTree(rng);
    const uint32_t capacity = 1 + rng() % 700;
    const uint32_t n = round % 50 == 0 ? capacity + 1 : 1 + rng() % capacity;
    BitWriter w;
    w.Put(n, 10);
    w.PutBit(round % 20 == 0);  // now and then a fill
    // Mostly zero bits now and then: the shortest codes, most values per word.
    const bool sparse = round % 4 == 0;
    const uint32_t words = 1 + rng() % 200;
    for (uint32_t k = 0; k < words; ++k) w.Put(sparse ? rng() & rng() & rng() : rng(), 32);
    w.PadToWord();
    const std::vector<uint8_t> bytes = w.bytes();
    const uintptr_t begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t data_end = round % 5 == 0 ? kFarEnd : begin + rng() % (bytes.size() + 12);
    std::vector<uint8_t> stale(1024);
    for (auto& b : stale) b = static_cast<uint8_t>(rng());

    struct Result {
      std::vector<uint8_t> memory;
      ptrdiff_t pos, end;
      BitReader r;
    } result[2];
    for (int with_table = 0; with_table < 2; ++with_table) {
      TestBundle t(capacity, 10, 1024);
      t.memory = stale;
      t.b.buffer = t.b.pos = t.b.end = t.memory.data();
      BitReader r;
      r.Start(bytes.data(), bytes.data() + bytes.size());
      ValueTable table;  // built by the refill
      ValueTable* use = with_table ? &table : nullptr;
      switch (coding) {
        case 0:
          RefillTypes(r, &t.b, tree, data_end, use);
          break;
        case 1:
          RefillOffsets(r, &t.b, tree, data_end, use);
          break;
        default:
          RefillRuns(r, &t.b, tree, data_end, use);
          break;
      }
      result[with_table] = {t.memory, t.b.pos - t.b.buffer, t.b.end - t.b.buffer, r};
    }
    ASSERT_EQ(result[0].memory, result[1].memory) << "round " << round;
    ASSERT_EQ(result[0].pos, result[1].pos) << "round " << round;
    ASSERT_EQ(result[0].end, result[1].end) << "round " << round;
    ASSERT_EQ(result[0].r.word, result[1].r.word) << "round " << round;
    ASSERT_EQ(result[0].r.count, result[1].r.count) << "round " << round;
    ASSERT_EQ(result[0].r.bits, result[1].r.bits) << "round " << round;
  }
}

}  // namespace
}  // namespace vexil
