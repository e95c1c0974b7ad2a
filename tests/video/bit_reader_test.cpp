// Bit order, word-pointer semantics, reads past the readable end, code tables
// and tree descriptors.
#include "video/bit_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/tree_encoder.h"
#include "video/code_tables.h"

namespace vexil {
namespace {

BitReader ReaderOver(const std::vector<uint8_t>& bytes, size_t offset = 0) {
  BitReader r;
  r.Start(bytes.data() + offset, bytes.data() + bytes.size());
  return r;
}

uintptr_t Address(const std::vector<uint8_t>& bytes, size_t offset) {
  return reinterpret_cast<uintptr_t>(bytes.data()) + offset;
}

TEST(BitReader, ReadsLeastSignificantBitFirstFromLittleEndianWordsAtAnyStart) {
  std::vector<uint8_t> bytes = {0xAA, 0x34, 0x12, 0xCD, 0xAB, 0x78, 0x56, 0x00, 0x00, 0x00};
  BitReader r = ReaderOver(bytes, 1);  // unaligned start: words 0xABCD1234, 0x00005678
  EXPECT_EQ(r.Read(4), 0x4u);
  EXPECT_EQ(r.Read(8), 0x23u);
  EXPECT_EQ(r.Read(20), 0xABCD1u);
  EXPECT_EQ(r.Read(16), 0x5678u);
  EXPECT_EQ(r.word, Address(bytes, 9));
}

TEST(BitReader, WordPointerMovesOnlyWhenABitOfTheNewWordIsConsumed) {
  std::vector<uint8_t> bytes(12, 0xFF);
  BitReader r = ReaderOver(bytes);
  EXPECT_EQ(r.word, Address(bytes, 0));
  r.Read(1);
  EXPECT_EQ(r.word, Address(bytes, 4));
  r.Read(25);
  EXPECT_EQ(r.Peek(7), 0x7Fu);  // a look-ahead past the cached bits loads nothing
  EXPECT_EQ(r.word, Address(bytes, 4));
  r.Read(6);  // exactly the cached bits: the next word stays unloaded
  EXPECT_EQ(r.count, 0u);
  EXPECT_EQ(r.word, Address(bytes, 4));
  r.Read(1);
  EXPECT_EQ(r.word, Address(bytes, 8));
  r.Read(31);
  r.Read(32);
  EXPECT_EQ(r.word, Address(bytes, 12));
}

TEST(BitReader, BytesAtOrPastTheReadableEndReadAsZeroAndThePositionKeepsMoving) {
  std::vector<uint8_t> bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  BitReader r;
  r.Start(bytes.data(), bytes.data() + 5);  // the sixth byte must not be read
  EXPECT_EQ(r.Read(32), 0xFFFFFFFFu);
  EXPECT_EQ(r.Read(16), 0x00FFu);
  EXPECT_EQ(r.Read(32), 0u);
  EXPECT_EQ(r.Read(32), 0u);
  EXPECT_EQ(r.word, Address(bytes, 16));  // 112 bits touch four words
}

TEST(BitReader, RoundTripsRandomFieldsWithTheWriter) {
  std::mt19937 rng(7);
  BitWriter w;
  std::vector<std::pair<uint32_t, uint32_t>> fields;
  for (int i = 0; i < 5000; ++i) {
    uint32_t n = rng() % 32 + 1;
    uint32_t v = n == 32 ? rng() : rng() & ((1u << n) - 1);
    fields.push_back({v, n});
    w.Put(v, n);
  }
  w.PadToWord();
  std::vector<uint8_t> bytes = w.bytes();
  BitReader r = ReaderOver(bytes);
  for (auto [v, n] : fields) ASSERT_EQ(r.Read(n), v);
}

TEST(CodeTables, LookupArraysArePackedBackToBackAndCodesAreComplete) {
  uint32_t offset = 0;
  for (int t = 0; t < kCodeTableCount; ++t) {
    EXPECT_EQ(kCodeLookupOffset[t], offset);
    uint32_t max = 0;
    double kraft = 0;
    for (int s = 0; s < 16; ++s) {
      max = std::max<uint32_t>(max, kCodeLengths[t][s]);
      kraft += 1.0 / (1u << kCodeLengths[t][s]);
    }
    EXPECT_EQ(max, kCodeMaxLen[t]);
    EXPECT_EQ(kraft, 1.0) << "table " << t << " is not a complete prefix code";
    offset += 1u << kCodeMaxLen[t];
  }
  EXPECT_EQ(offset, kCodeLookupBytes);
}

// Every code of every table, followed by junk the look-ahead sees, and at
// every bit position relative to a word boundary.
TEST(CodeTables, EveryCodeOfEveryTableDecodesByOneLookup) {
  std::mt19937 rng(1);
  for (int t = 0; t < kCodeTableCount; ++t) {
    Tree tree;
    tree.lookup = kCodeLookup.data() + kCodeLookupOffset[t];
    tree.maxlen = kCodeMaxLen[t];
    for (int i = 0; i < 16; ++i) tree.map[i] = static_cast<uint8_t>(15 - i);
    for (int s = 0; s < 16; ++s) {
      for (uint32_t lead = 0; lead < 32; lead += 3) {
        BitWriter w;
        w.Put(rng(), lead);
        w.Put(kCodeValues[t][s], kCodeLengths[t][s]);
        w.Put(rng(), 32);
        std::vector<uint8_t> bytes = w.bytes();
        BitReader r = ReaderOver(bytes);
        if (lead) r.Read(lead);
        EXPECT_EQ(DecodeSymbol(r, tree), 15u - s) << "table " << t << " symbol " << s;
        const uint32_t consumed = static_cast<uint32_t>((r.word - Address(bytes, 0)) * 8) - r.count;
        EXPECT_EQ(consumed, lead + kCodeLengths[t][s]);
      }
    }
  }
}

std::vector<uint8_t> Bytes(BitWriter w) {
  w.Put(0, 32);
  w.PadToWord();
  return w.bytes();
}

uint32_t Consumed(const BitReader& r, const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>((r.word - Address(bytes, 0)) * 8) - r.count;
}

TEST(TreeDescriptor, TableZeroReadsFourBitsAndIsTheIdentity) {
  BitWriter w;
  w.Put(0, 4);
  w.Put(0xF, 4);  // not part of the descriptor
  auto bytes = Bytes(w);
  BitReader r = ReaderOver(bytes);
  Tree tree;
  ReadTreeDescriptor(r, &tree);
  EXPECT_EQ(Consumed(r, bytes), 4u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(tree.map[i], i);
  EXPECT_EQ(DecodeSymbol(r, tree), 0xFu);
}

TEST(TreeDescriptor, ExplicitListsFillTheUnlistedValuesAscending) {
  struct Case {
    std::vector<uint8_t> listed;
    std::vector<uint8_t> map;
  } cases[] = {
      {{9, 3, 15, 0, 1, 8, 12, 4}, {9, 3, 15, 0, 1, 8, 12, 4, 2, 5, 6, 7, 10, 11, 13, 14}},
      {{5}, {5, 0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      // A repeated value: still 16 entries, the largest unlisted value dropped.
      {{7, 7, 2}, {7, 7, 2, 0, 1, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14}},
  };
  for (const Case& c : cases) {
    BitWriter w;
    w.Put(6, 4);
    w.PutBit(1);
    w.Put(static_cast<uint32_t>(c.listed.size() - 1), 3);
    for (uint8_t v : c.listed) w.Put(v, 4);
    auto bytes = Bytes(w);
    BitReader r = ReaderOver(bytes);
    Tree tree;
    ReadTreeDescriptor(r, &tree);
    EXPECT_EQ(Consumed(r, bytes), 8 + 4 * c.listed.size());
    EXPECT_EQ(tree.maxlen, 5u);
    EXPECT_EQ(std::vector<uint8_t>(tree.map, tree.map + 16), c.map);
  }
}

TEST(TreeDescriptor, MergeShuffleDepthZeroReadsOneBitPerPair) {
  BitWriter w;
  w.Put(13, 4);
  w.PutBit(0);
  w.Put(0, 2);
  w.Put(0b10100101, 8);  // pairs 0, 2, 5, 7 swapped
  auto bytes = Bytes(w);
  BitReader r = ReaderOver(bytes);
  Tree tree;
  ReadTreeDescriptor(r, &tree);
  EXPECT_EQ(Consumed(r, bytes), 15u);
  const uint8_t expected[16] = {1, 0, 2, 3, 5, 4, 6, 7, 8, 9, 11, 10, 12, 13, 15, 14};
  EXPECT_EQ(std::vector<uint8_t>(tree.map, tree.map + 16),
            std::vector<uint8_t>(expected, expected + 16));
}

TEST(TreeDescriptor, MergeShuffleDepthThreeStopsReadingWhenARunIsUsedUp) {
  // All zeros: every merge takes the first run until it is used up, so each
  // merge of two runs of n reads n bits: 8 + 8 + 8 + 8 bits, identity order.
  BitWriter w;
  w.Put(1, 4);
  w.PutBit(0);
  w.Put(3, 2);
  auto bytes = Bytes(w);
  BitReader r = ReaderOver(bytes);
  Tree tree;
  ReadTreeDescriptor(r, &tree);
  EXPECT_EQ(Consumed(r, bytes), 7u + 32u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(tree.map[i], i);
}

TEST(TreeDescriptor, EncoderDescriptorsRebuildRandomMaps) {
  std::mt19937 rng(3);
  for (int i = 0; i < 500; ++i) {
    TreeCode code;
    code.table = static_cast<uint8_t>(1 + rng() % 15);
    std::shuffle(code.map, code.map + 16, rng);
    const TreeForm form = i % 3 == 0 ? TreeForm::EXPLICIT : TreeForm::MERGE;
    if (form == TreeForm::EXPLICIT) std::sort(code.map + rng() % 8 + 1, code.map + 16);
    BitWriter w;
    ASSERT_TRUE(WriteTreeDescriptor(w, code, form));
    const size_t bits = w.bit_count();
    auto bytes = Bytes(w);
    BitReader r = ReaderOver(bytes);
    Tree tree;
    ReadTreeDescriptor(r, &tree);
    ASSERT_EQ(Consumed(r, bytes), bits);
    ASSERT_EQ(std::vector<uint8_t>(tree.map, tree.map + 16),
              std::vector<uint8_t>(code.map, code.map + 16));
  }
}

}  // namespace
}  // namespace vexil
