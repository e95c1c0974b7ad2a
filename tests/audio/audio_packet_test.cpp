// From frame packets to PCM: finding a track's part and the block walk with
// its count, its allowed amounts and damaged parts.
#include "audio/audio_packet.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio_test_blocks.h"
#include "encoder/audio_block_writer.h"
#include "engine/container.h"

namespace vexil {
namespace {

using test::Exact;
using test::RandomChannels;

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes(words.size() * 4);
  size_t i = 0;
  for (uint32_t w : words) WriteLE32(bytes.data() + 4 * i++, w);
  return bytes;
}

TEST(AudioPacket, FindAudioPart) {
  // Three tracks: 8 bytes, 0 bytes, 4 bytes, then 4 bytes of video.
  const std::vector<uint8_t> packet = Words({8, 0xA, 0xB, 0, 4, 0xC, 0xEEEE});
  const uint32_t size = static_cast<uint32_t>(packet.size());
  const struct {
    uint32_t packet_bytes, track_count, track;
    bool found;
    uint32_t offset, part_bytes;
  } cases[] = {
      {size, 3, 0, true, 4, 8},  {size, 3, 1, true, 16, 0}, {size, 3, 2, true, 20, 4},
      {size, 3, 3, false, 0, 0}, {size, 0, 0, false, 0, 0},  // no tracks
      {10, 3, 0, true, 4, 6},                                // cut at the packet's end
      {10, 3, 1, false, 0, 0},                               // the walk left the packet
      {14, 3, 1, false, 0, 0},                               // no room for a size field
      {3, 1, 0, false, 0, 0},    {16, 3, 1, true, 16, 0},   {18, 3, 2, false, 0, 0},
      {20, 3, 1, true, 16, 0},   {22, 3, 2, true, 20, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.packet_bytes << " bytes, track " << c.track);
    const std::vector<uint8_t> bytes = Exact({packet.begin(), packet.begin() + c.packet_bytes});
    AudioPart part{nullptr, 99};
    ASSERT_EQ(FindAudioPart(bytes.data(), c.packet_bytes, c.track_count, c.track, &part), c.found);
    if (c.found) {
      EXPECT_EQ(part.data, bytes.data() + c.offset);
      EXPECT_EQ(part.size, c.part_bytes);
    }
  }
}

// Collects what a part yields, block by block.
struct Collector {
  std::vector<uint32_t> takes;
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> allowances;  // per block; the last one repeats
  size_t asked = 0;

  AudioPartOutput Output() {
    AudioPartOutput out;
    out.context = this;
    out.take = [](void* context, const uint8_t* pcm, uint32_t n) {
      auto* self = static_cast<Collector*>(context);
      self->takes.push_back(n);
      self->bytes.insert(self->bytes.end(), pcm, pcm + n);
    };
    if (!allowances.empty()) {
      out.allowed = [](void* context) {
        auto* self = static_cast<Collector*>(context);
        const size_t i = std::min(self->asked++, self->allowances.size() - 1);
        return self->allowances[i];
      };
    }
    return out;
  }
};

// A part of `blocks` random blocks of a 22050 Hz stereo track (3840 bytes each).
std::vector<uint8_t> RandomPart(uint32_t flags, uint32_t count, int blocks, uint32_t seed) {
  const AudioLayout layout = AudioLayoutFor(22050, 2, flags);
  std::mt19937 rng(seed);
  std::vector<std::vector<uint8_t>> coded;
  for (int b = 0; b < blocks; ++b)
    coded.push_back(WriteAudioBlock(layout.Shape(), RandomChannels(layout.Shape(), rng).data()));
  return AudioPartBytes(count, coded);
}

// The PCM of all blocks of a part, decoded one by one.
std::vector<uint8_t> AllBlocks(uint32_t flags, const std::vector<uint8_t>& part) {
  AudioDecoder* d = AudioDecoderOpen(22050, 2, flags);
  std::vector<uint8_t> pcm;
  const uint8_t* p = part.data() + 4;
  const uint8_t* end = part.data() + part.size();
  while (p < end) {
    uint32_t n = 0;
    const int16_t* out = AudioDecodeBlock(d, p, end, &n, &p);
    pcm.insert(pcm.end(), reinterpret_cast<const uint8_t*>(out),
               reinterpret_cast<const uint8_t*>(out) + n);
  }
  AudioDecoderClose(d);
  return pcm;
}

TEST(AudioPacket, CountsAndAllowedAmounts) {
  constexpr uint32_t kReady = 3840;
  const struct {
    const char* name;
    uint32_t count;
    std::vector<uint32_t> allowances;
    std::vector<uint32_t> takes;  // bytes taken per block
  } cases[] = {
      {"whole blocks", 3 * kReady, {}, {kReady, kReady, kReady}},
      {"count ends inside a block", kReady + 100, {}, {kReady, 100}},
      {"count in whole sample frames", kReady + 103, {}, {kReady, 100}},
      {"count smaller than a block", 8, {}, {8}},
      {"count below a sample frame", 3, {}, {}},
      {"count beyond the blocks", 10 * kReady, {}, {kReady, kReady, kReady}},
      {"allowed amount limits each block", 3 * kReady, {1000, 5000, 0}, {1000, kReady}},
      {"allowed amounts in whole sample frames", 3 * kReady, {1003, 2}, {1000}},
  };
  for (uint32_t flags : {AUDIO_DCT, 0u}) {
    const std::vector<uint8_t> blocks = RandomPart(flags, 0, 3, 5);
    const std::vector<uint8_t> all = AllBlocks(flags, blocks);
    ASSERT_EQ(all.size(), 3 * kReady);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << (flags ? " (DCT)" : " (real FFT)"));
      std::vector<uint8_t> part = blocks;
      WriteLE32(part.data(), c.count);
      part = Exact(part);
      AudioDecoder* d = AudioDecoderOpen(22050, 2, flags);
      Collector sink;
      sink.allowances = c.allowances;
      const uint64_t total =
          DecodeAudioPart(d, {part.data(), uint32_t(part.size())}, sink.Output());
      EXPECT_EQ(sink.takes, c.takes);
      uint64_t sum = 0;
      for (uint32_t t : sink.takes) sum += t;
      EXPECT_EQ(total, sum);
      // What is taken is each block's start; dropped bytes still use up the count.
      size_t at = 0, block = 0;
      for (uint32_t t : sink.takes) {
        ASSERT_TRUE(std::equal(sink.bytes.begin() + at, sink.bytes.begin() + at + t,
                               all.begin() + block * kReady));
        at += t;
        ++block;
      }
      AudioDecoderClose(d);
    }
  }
}

TEST(AudioPacket, ShortAndEmptyParts) {
  const std::vector<uint8_t> blocks = RandomPart(AUDIO_DCT, 7680, 2, 9);
  for (uint32_t size : {0u, 1u, 2u, 3u}) {
    const std::vector<uint8_t> part = Exact({blocks.begin(), blocks.begin() + size});
    AudioDecoder* d = AudioDecoderOpen(22050, 2, AUDIO_DCT);
    Collector sink;
    EXPECT_EQ(DecodeAudioPart(d, {part.data(), size}, sink.Output()), 0u) << size;
    AudioDecoderClose(d);
  }
  // A count of 0 decodes no block: the next part's first block is still the first.
  std::vector<uint8_t> zero = blocks;
  WriteLE32(zero.data(), 0);
  AudioDecoder* d = AudioDecoderOpen(22050, 2, AUDIO_DCT);
  Collector sink;
  EXPECT_EQ(DecodeAudioPart(d, {zero.data(), uint32_t(zero.size())}, sink.Output()), 0u);
  EXPECT_EQ(d->first_block, 1u);
  AudioDecoderClose(d);
}

TEST(AudioPacket, DamagedPartsStayInside) {
  std::mt19937 rng(21);
  for (uint32_t flags : {AUDIO_DCT, 0u}) {
    const std::vector<uint8_t> valid = RandomPart(flags, 0xFFFFFFFF, 3, 13);
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bytes;
      if (round % 2) {
        bytes.assign(valid.begin(), valid.begin() + rng() % valid.size());
      } else {
        bytes.resize(rng() % 4000);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
      }
      const std::vector<uint8_t> part = Exact(bytes);
      AudioDecoder* d = AudioDecoderOpen(22050, 2, flags);
      Collector sink;
      const uint64_t total =
          DecodeAudioPart(d, {part.data(), uint32_t(part.size())}, sink.Output());
      const uint32_t count = part.size() >= 4 ? ReadLE32(part.data()) : 0;
      EXPECT_LE(total, count);
      for (uint32_t t : sink.takes) EXPECT_EQ(t % 4, 0u);
      AudioDecoderClose(d);
    }
  }
}

}  // namespace
}  // namespace vexil
