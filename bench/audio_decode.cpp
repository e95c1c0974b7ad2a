// Real-time factor of the audio decode: a minute of 44.1 kHz stereo DCT audio
// and of 22.05 kHz real-FFT audio (mono and stereo), in frame parts as a 25
// frames-per-second movie carries them, decoded through the packet walk.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_layout.h"
#include "audio/audio_packet.h"
#include "encoder/audio_block_writer.h"

namespace {

constexpr uint32_t kSeconds = 60;
constexpr uint32_t kFramesPerSecond = 25;

// Music-like blocks: loud low bands, quieter and sparser towards the top;
// about 2.5 bits per sample, as movies carry.
vexil::AudioBlockChannel MusicChannel(const vexil::AudioLayout& layout, std::mt19937& rng) {
  vexil::AudioBlockChannel c;
  c.first[0] = vexil::AudioCoefficientField(static_cast<float>(rng() % 2000) - 1000.0f);
  c.first[1] = vexil::AudioCoefficientField(static_cast<float>(rng() % 200) - 100.0f);
  c.band_indices.resize(layout.band_count);
  for (uint8_t& q : c.band_indices) q = static_cast<uint8_t>(20 + rng() % 30);
  const uint32_t n = layout.transform_length;
  c.values.assign(n, 0);
  for (uint32_t j = 2; j < n; ++j) {
    const double low = 1.0 - double(j) / n;
    const double top = 6.0 * low * low;  // bits of the loudest value here
    if (rng() % 100 >= 4 + 40 * low * low) continue;
    const auto limit = static_cast<uint32_t>(std::exp2(top));
    const auto v = static_cast<int32_t>(rng() % (limit + 1));
    c.values[j] = rng() & 1 ? -v : v;
  }
  return c;
}

// One part per frame, each with the blocks that bring the decoded total up to
// the frame's end and a count of exactly their ready bytes.
std::vector<std::vector<uint8_t>> MakeTrack(uint32_t rate, uint32_t channels, uint32_t flags) {
  const vexil::AudioLayout layout = vexil::AudioLayoutFor(rate, channels, flags);
  const uint32_t ready = layout.block_bytes - layout.overlap_bytes;
  const uint64_t bytes_per_second = uint64_t{rate} * channels * 2;
  std::mt19937 rng(rate);
  std::vector<std::vector<uint8_t>> parts;
  uint64_t decoded = 0;
  for (uint32_t f = 1; f <= kSeconds * kFramesPerSecond; ++f) {
    const uint64_t due = bytes_per_second * f / kFramesPerSecond;
    std::vector<std::vector<uint8_t>> blocks;
    while (decoded < due) {
      std::vector<vexil::AudioBlockChannel> c;
      for (uint32_t t = 0; t < layout.transform_channels; ++t)
        c.push_back(MusicChannel(layout, rng));
      blocks.push_back(vexil::WriteAudioBlock(layout.Shape(), c.data()));
      decoded += ready;
    }
    parts.push_back(vexil::AudioPartBytes(static_cast<uint32_t>(blocks.size() * ready), blocks));
  }
  return parts;
}

void BM_DecodeTrack(benchmark::State& state, uint32_t rate, uint32_t channels, uint32_t flags) {
  const auto parts = MakeTrack(rate, channels, flags);
  uint64_t sink = 0;
  vexil::AudioPartOutput output;
  output.context = &sink;
  output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
    *static_cast<uint64_t*>(context) += bytes + pcm[0];
  };
  for (auto _ : state) {
    vexil::AudioDecoder* decoder = vexil::AudioDecoderOpen(rate, channels, flags);
    for (const auto& part : parts)
      vexil::DecodeAudioPart(decoder, {part.data(), static_cast<uint32_t>(part.size())}, output);
    vexil::AudioDecoderClose(decoder);
  }
  benchmark::DoNotOptimize(sink);
  // Seconds of audio per second of decoding.
  state.counters["realtime_factor"] =
      benchmark::Counter(double(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_DecodeTrack, dct_44100_stereo, 44100, 2, vexil::AUDIO_DCT)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeTrack, rdft_22050_mono, 22050, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeTrack, rdft_22050_stereo, 22050, 2, 0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
