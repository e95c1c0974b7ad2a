// The audio decoder: track layouts, the block reader against the block writer,
// conversion, cross-fade and the first-block rule, and damaged input.
#include "audio/audio_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_block_reader.h"
#include "audio/audio_layout.h"
#include "audio/audio_transforms.h"
#include "audio_test_blocks.h"
#include "encoder/audio_block_writer.h"

namespace vexil {
namespace {

using test::Exact;
using test::ExpectedCoefficients;
using test::RandomChannels;

struct LayoutCase {
  uint32_t rate, channels, flags;
  uint32_t n, transform_channels, block_bytes, overlap_bytes;
  std::vector<uint32_t> edges;  // band count + 1 entries
};

TEST(AudioLayout, BandsAndBlockSizes) {
  const std::vector<uint32_t> wide = {1,   4,   9,   13,  18,  23,  29,  35,  42,
                                      50,  58,  68,  79,  92,  107, 125, 146, 171,
                                      204, 246, 297, 357, 441, 557, 719, 1024};
  std::vector<uint32_t> narrow(wide.begin(), wide.begin() + 23);
  narrow.push_back(512);
  const LayoutCase cases[] = {
      {44100, 2, AUDIO_DCT, 2048, 2, 8192, 512, wide},
      {22050, 1, AUDIO_DCT, 1024, 1, 2048, 128, narrow},  // 12000 is the first edge >= 11025
      {22050, 2, 0, 2048, 1, 4096, 256, wide},            // interleaved: 44100 effective
      {11025, 2, 0, 1024, 1, 2048, 128, narrow},
      {8000,
       1,
       AUDIO_DCT,
       512,
       1,
       1024,
       64,
       {1, 6, 12, 19, 25, 32, 40, 49, 58, 69, 81, 94, 110, 128, 148, 172, 201, 236, 256}},
      {48000, 1, 0, 2048, 1, 4096, 256, {1,   4,   8,   12,  17,  21,  26,  32,  39,
                                         46,  54,  63,  73,  85,  98,  115, 134, 157,
                                         187, 226, 273, 328, 405, 512, 661, 1024}},
      {32000, 1, AUDIO_DCT, 1024, 1, 2048, 128, {1,   3,   6,   9,   12,  16,  20,  24,  29,
                                                 34,  40,  47,  55,  64,  74,  86,  100, 118,
                                                 140, 169, 204, 246, 304, 384, 496, 512}},
      {0, 1, AUDIO_DCT, 512, 1, 1024, 64, {256}},  // no band below a Nyquist of 0
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels, "
                                    << (c.flags ? "DCT" : "real FFT"));
    AudioDecoder* d = AudioDecoderOpen(c.rate, c.channels, c.flags);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->transform_length, c.n);
    EXPECT_EQ(d->transform_channels, c.transform_channels);
    EXPECT_EQ(d->block_bytes, c.block_bytes);
    EXPECT_EQ(d->overlap_bytes, c.overlap_bytes);
    EXPECT_EQ(d->block_bytes - d->overlap_bytes, c.block_bytes / 16 * 15);
    EXPECT_EQ(d->band_count + 1, c.edges.size());
    EXPECT_EQ(std::vector<uint32_t>(d->band_edges, d->band_edges + d->band_count + 1), c.edges);
    EXPECT_EQ(d->output_scale, float(2.0 / std::sqrt(double(c.n))));
    EXPECT_EQ(d->first_block, 1u);
    EXPECT_EQ(d->transform_index[0], 0);
    AudioDecoderClose(d);
  }
}

TEST(AudioDecoder, OneAllocationWithAlignedAreas) {
  for (uint32_t flags : {0u, AUDIO_DCT}) {
    AudioDecoder* d = AudioDecoderOpen(44100, 2, flags);
    ASSERT_NE(d, nullptr);
    const auto base = reinterpret_cast<uintptr_t>(d);
    const uint32_t n = d->transform_length;
    struct Area {
      const void* start;
      size_t bytes;
    } areas[] = {
        {d->overlap_save, d->overlap_bytes},
        {d->transform_index, 4 * size_t{TransformIndexInts(n)}},
        {d->transform_table, 4 * size_t{flags ? DctTableFloats(n) : RealFftTableFloats(n)}},
        {d->output_block, d->block_bytes},
    };
    uintptr_t previous_end = base + sizeof(AudioDecoder);
    for (const Area& a : areas) {
      const auto start = reinterpret_cast<uintptr_t>(a.start);
      EXPECT_EQ(start % 16, 0u);
      EXPECT_GE(start, previous_end);
      previous_end = start + a.bytes;
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d->output_block) - base, d->output_block_offset);
    AudioDecoderClose(d);
  }
  EXPECT_EQ(AudioDecoderOpen(44100, 0, 0), nullptr);
  EXPECT_EQ(AudioDecoderOpen(44100, 3, 0), nullptr);
}

// A DCT block whose only coefficient is the first: every sample is that value
// times the output scale.
std::vector<uint8_t> FlatBlock(const AudioDecoder* d, float value) {
  AudioLayout layout = AudioLayoutFor(8000, 1, AUDIO_DCT);
  std::vector<AudioBlockChannel> channels(1);
  channels[0].first[0] = AudioCoefficientField(value);
  channels[0].band_indices.assign(layout.band_count, 0);
  channels[0].values.assign(d->transform_length, 0);
  return WriteAudioBlock(layout.Shape(), channels.data());
}

TEST(AudioDecoder, FirstBlockIsNotBlendedAndLaterOnesAre) {
  AudioDecoder* d = AudioDecoderOpen(8000, 1, AUDIO_DCT);
  ASSERT_NE(d, nullptr);
  const float scale = d->output_scale;  // 2 / sqrt(512)
  // 11314 and -22628 scale to 1000.02 and -2000.05.
  const std::vector<uint8_t> blocks[] = {FlatBlock(d, 11314.0f), FlatBlock(d, -22628.0f),
                                         FlatBlock(d, 11314.0f)};
  ASSERT_EQ(std::lround(11314.0f * scale), 1000);
  const uint32_t m = d->overlap_bytes / 2;
  const int16_t levels[] = {1000, -2000, 1000};
  for (int b = 0; b < 3; ++b) {
    const std::vector<uint8_t> input = Exact(blocks[b]);
    uint32_t bytes = 0;
    const uint8_t* next = nullptr;
    const int16_t* pcm =
        AudioDecodeBlock(d, input.data(), input.data() + input.size(), &bytes, &next);
    ASSERT_EQ(bytes, 960u);
    EXPECT_EQ(next, input.data() + input.size());
    for (uint32_t i = 0; i < bytes / 2; ++i) {
      int32_t want = levels[b];
      if (b > 0 && i < m) {
        const int32_t sum = levels[b - 1] * int32_t(m - i) + levels[b] * int32_t(i);
        want = static_cast<int32_t>(std::floor(double(sum) / m));
      }
      ASSERT_EQ(pcm[i], want) << "block " << b << ", sample " << i;
    }
    // The held-back tail is the block's own, unblended.
    for (uint32_t i = 0; i < m; ++i) ASSERT_EQ(d->overlap_save[i], levels[b]);
  }
  AudioDecoderClose(d);
}

TEST(AudioBlockReader, RoundTripThroughTheBlockWriter) {
  const struct {
    uint32_t rate, channels, flags;
  } tracks[] = {{44100, 2, AUDIO_DCT}, {44100, 2, 0}, {22050, 1, AUDIO_DCT}, {22050, 2, 0},
                {11025, 2, AUDIO_DCT}, {8000, 1, 0},  {48000, 1, AUDIO_DCT}, {0, 1, 0}};
  std::mt19937 rng(11);
  bool word_end_seen = false;
  for (const auto& t : tracks) {
    const AudioLayout layout = AudioLayoutFor(t.rate, t.channels, t.flags);
    const AudioBlockShape shape = layout.Shape();
    for (int round = 0; round < 40; ++round) {
      const auto channels = RandomChannels(shape, rng);
      uint32_t bits = 0;
      std::vector<uint8_t> block = WriteAudioBlock(shape, channels.data(), &bits);
      ASSERT_EQ(block.size(), (bits + 31) / 32 * 4);
      word_end_seen |= bits % 32 == 0;
      // Whatever follows the block is not loaded: it ends at its last bit's word.
      std::vector<uint8_t> input = block;
      input.resize(block.size() + 8, 0xA5);
      std::vector<float> got(kMaxTransformLength, -1.0f);
      const AudioBlockRead read =
          ReadAudioBlock(shape, input.data(), input.data() + input.size(), got.data());
      EXPECT_TRUE(read.decoded);
      ASSERT_EQ(read.consumed, block.size()) << t.rate << " " << bits << " bits";
      const std::vector<float> want = ExpectedCoefficients(shape, channels);
      got.resize(want.size());
      ASSERT_EQ(got, want) << t.rate << " Hz, round " << round;
    }
  }
  EXPECT_TRUE(word_end_seen) << "no block ended exactly on a word";
}

TEST(AudioBlockReader, BlockEndingOnAWordLoadsNoFurtherWord) {
  // A hand-made block of exactly 96 bits: real FFT, N = 10, no bands; two
  // 29-bit coefficients, one short run of width 4 with a single nonzero value.
  const uint32_t edges[] = {5};
  const AudioBlockShape shape{10, 1, 0, false, edges};
  std::vector<AudioBlockChannel> channels(1);
  channels[0].first[0] = AudioCoefficientField(1.5f);
  channels[0].first[1] = AudioCoefficientField(-3.0f);
  channels[0].values = {0, 0, 0, 0, 0, 9, 0, 0, 0, 0};
  uint32_t bits = 0;
  std::vector<uint8_t> block = WriteAudioBlock(shape, channels.data(), &bits);
  ASSERT_EQ(bits, 96u);
  block.resize(16, 0xFF);
  float got[10];
  const AudioBlockRead read = ReadAudioBlock(shape, block.data(), block.data() + 16, got);
  EXPECT_EQ(read.consumed, 12u);
  EXPECT_EQ(got[0], 1.5f);
  EXPECT_EQ(got[1], -3.0f);
  EXPECT_EQ(got[5], 0.0f);  // no band: the quantizer stays 0
}

TEST(AudioBlockReader, BandSwitchingRules) {
  // Hand-made edges (in coefficient pairs) with an empty band: band 1 and 2
  // both start at coefficient 8.
  const uint32_t edges[] = {1, 4, 4, 8, 16};
  const AudioBlockShape shape{32, 1, 4, false, edges};
  std::vector<AudioBlockChannel> channels(1);
  channels[0].band_indices = {10, 20, 30, 40};
  const float q[4] = {kQuantizers[10], kQuantizers[20], kQuantizers[30], kQuantizers[40]};

  // Every value nonzero: positions 8.. use band 1's quantizer for good, since
  // the band index moves by one only and then never meets band 2's edge again.
  channels[0].values.assign(32, 1);
  std::vector<uint8_t> block = WriteAudioBlock(shape, channels.data());
  float got[32];
  ReadAudioBlock(shape, block.data(), block.data() + block.size(), got);
  for (uint32_t j = 2; j < 32; ++j) EXPECT_EQ(got[j], j < 8 ? q[0] : q[1]) << j;

  // Silence up to 10 first: the silent run moves the quantizer to the band
  // holding its end (band 2), and band 3 starts on time.
  channels[0].values.assign(32, 1);
  std::fill(channels[0].values.begin() + 2, channels[0].values.begin() + 10, 0);
  block = WriteAudioBlock(shape, channels.data());
  ReadAudioBlock(shape, block.data(), block.data() + block.size(), got);
  for (uint32_t j = 10; j < 32; ++j) EXPECT_EQ(got[j], j < 16 ? q[2] : q[3]) << j;
}

TEST(AudioBlockReader, LeadingCoefficientFields) {
  const struct {
    uint32_t field;
    float value;
  } cases[] = {
      {0, 0.0f},
      {23 | 1u << 5, 1.0f},
      {0 | 1u << 5, 0x1p-23f},
      {23 | 0x7FFFFFu << 5, 8388607.0f},
      {22 | 3u << 5 | 1u << 28, -1.5f},
      {31 | 1u << 5, 256.0f},  // exponents above 23 continue the formula
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AudioCoefficientValue(c.field), c.value) << std::hex << c.field;
    if (c.field != (31 | 1u << 5)) {
      EXPECT_EQ(AudioCoefficientValue(AudioCoefficientField(c.value)), c.value);
    }
  }
  EXPECT_EQ(AudioCoefficientValue(AudioCoefficientField(1e9f)), 8388607.0f);
}

TEST(AudioBlockReader, QuantizerTable) {
  for (uint32_t i = 0; i < kQuantizerCount; ++i)
    ASSERT_EQ(kQuantizers[i], static_cast<float>(std::pow(10.0, 0.0664 * i))) << i;
  EXPECT_EQ(kQuantizers[1], 1.1651987f);
  EXPECT_EQ(kQuantizers[95], 2032357.0f);
}

TEST(AudioDecoder, InputEnds) {
  // A DCT block at the input end decodes nothing; a real FFT block there is
  // silence. Neither reads a byte.
  for (uint32_t flags : {AUDIO_DCT, 0u}) {
    AudioDecoder* d = AudioDecoderOpen(22050, 2, flags);
    ASSERT_NE(d, nullptr);
    const uint8_t* none = nullptr;
    uint32_t bytes = 99;
    const uint8_t* next = reinterpret_cast<const uint8_t*>(&bytes);
    const int16_t* pcm = AudioDecodeBlock(d, none, none, &bytes, &next);
    EXPECT_EQ(next, none);
    if (flags) {
      EXPECT_EQ(bytes, 0u);
      EXPECT_EQ(d->first_block, 1u);
    } else {
      ASSERT_EQ(bytes, 3840u);
      EXPECT_TRUE(std::all_of(pcm, pcm + bytes / 2, [](int16_t s) { return s == 0; }));
    }
    AudioDecoderClose(d);
  }
}

TEST(AudioDecoder, DamagedInputStaysInside) {
  // Random bytes and every truncation of valid blocks, each in a block of
  // exactly its size: the sanitizer build catches any read past the end.
  std::mt19937 rng(3);
  for (uint32_t flags : {AUDIO_DCT, 0u}) {
    for (uint32_t channels : {1u, 2u}) {
      AudioDecoder* d = AudioDecoderOpen(44100, channels, flags);
      ASSERT_NE(d, nullptr);
      const uint32_t ready = d->block_bytes - d->overlap_bytes;
      const AudioLayout layout = AudioLayoutFor(44100, channels, flags);
      auto check_all = [&](const std::vector<uint8_t>& bytes) {
        const std::vector<uint8_t> input = Exact(bytes);
        const uint8_t* p = input.data();
        const uint8_t* end = p + input.size();
        while (p < end) {
          uint32_t got = 0;
          const uint8_t* next = nullptr;
          AudioDecodeBlock(d, p, end, &got, &next);
          ASSERT_EQ(got, ready);
          ASSERT_GT(next, p);
          ASSERT_LE(next, end);
          p = next;
        }
      };
      for (int round = 0; round < 30; ++round) {
        std::vector<uint8_t> bytes(rng() % 3000);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
        check_all(bytes);
      }
      const auto block =
          WriteAudioBlock(layout.Shape(), RandomChannels(layout.Shape(), rng).data());
      for (size_t cut = 0; cut <= block.size(); cut += 1 + cut / 16)
        check_all(std::vector<uint8_t>(block.begin(), block.begin() + cut));
      AudioDecoderClose(d);
    }
  }
}

}  // namespace
}  // namespace vexil
