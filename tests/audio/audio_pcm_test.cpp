// Conversion to 16-bit PCM (every kernel against the portable one) and the
// cross-fade arithmetic.
#include "audio/audio_pcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "kernel_test_util.h"

namespace vexil {
namespace {

using Kernel = void (*)(const float*, uint32_t, uint32_t, float, int16_t*);

struct NamedKernel {
  const char* name;
  Kernel kernel;
};

// Every set this processor runs, and the one the decoder calls.
std::vector<NamedKernel> Kernels() {
  std::vector<NamedKernel> kernels = {{"selected", AudioConvertToPcm}};
  for (const AudioPcmKernels* k : test::RunnableKernelSets(AudioPcmKernelSets()))
    kernels.push_back({k->name, k->convert_to_pcm});
  return kernels;
}

TEST(AudioPcm, TheFeatureWordChoosesTheSet) {
  test::ExpectKernelChoice(AudioPcmKernelSets(), SelectAudioPcmKernels);
}

TEST(AudioPcm, RoundsHalfToEvenAndLimits) {
  const struct {
    float in;
    int16_t out;
  } cases[] = {
      {0.5f, 0},           {1.5f, 2},           {2.5f, 2},
      {-0.5f, 0},          {-1.5f, -2},         {-2.5f, -2},
      {0.49999997f, 0},    {100.75f, 101},      {32766.5f, 32766},
      {32767.49f, 32767},  {32767.5f, 32767},   {40000.0f, 32767},
      {1e30f, 32767},      {-32767.5f, -32768}, {-32768.49f, -32768},
      {-32768.6f, -32768}, {-1e30f, -32768},    {-0.0f, 0},
  };
  for (const NamedKernel& k : Kernels()) {
    for (const auto& c : cases) {
      // Eight copies, so that the vector kernels see the value too.
      std::vector<float> in(8, c.in);
      std::vector<int16_t> out(8, 1);
      k.kernel(in.data(), 8, 1, 1.0f, out.data());
      EXPECT_EQ(out[0], c.out) << k.name << ": " << c.in;
      EXPECT_EQ(out[7], c.out) << k.name << ": " << c.in;
    }
    // Two runs interleave; the scale applies first.
    const float two[6] = {1, 2, 3, -1, -2, -3};
    int16_t pcm[6];
    k.kernel(two, 3, 2, 10.0f, pcm);
    EXPECT_EQ(std::vector<int16_t>(pcm, pcm + 6), (std::vector<int16_t>{10, -10, 20, -20, 30, -30}))
        << k.name;
  }
}

TEST(AudioPcm, KernelsAgreeWithTheReference) {
  std::mt19937 rng(17);
  const float edge_values[] = {0.5f,
                               -0.5f,
                               1.5f,
                               32766.5f,
                               32767.5f,
                               -32768.5f,
                               1e20f,
                               -1e20f,
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()};
  for (const NamedKernel& k : Kernels()) {
    for (uint32_t count : {1u, 3u, 7u, 8u, 9u, 17u, 512u, 2048u}) {
      for (uint32_t channels : {1u, 2u}) {
        std::vector<float> in(size_t{count} * channels);
        for (float& v : in) {
          switch (rng() % 4) {
            case 0:
              v = edge_values[rng() % std::size(edge_values)];
              break;
            case 1:
              v = static_cast<float>(static_cast<int32_t>(rng() % 200000) - 100000) / 2;
              break;
            default:
              v = std::ldexp(static_cast<float>(rng()) / 4294967296.0f - 0.5f, rng() % 40);
          }
        }
        const float scale = rng() % 2 ? 1.0f : 0.0441941738f;  // 2 / sqrt(2048)
        test::Guarded<int16_t> want(in.size()), got(in.size());
        AudioConvertToPcmReference(in.data(), count, channels, scale, want.data());
        k.kernel(in.data(), count, channels, scale, got.data());
        ASSERT_TRUE(got.GuardsIntact()) << k.name << ", " << count << " x " << channels;
        ASSERT_EQ(got.Values(), want.Values()) << k.name << ", " << count << " x " << channels;
      }
    }
  }
}

TEST(AudioPcm, CrossFadeRoundsTowardMinusInfinity) {
  std::mt19937 rng(7);
  for (uint32_t m : {1u, 3u, 32u, 64u, 128u, 256u}) {
    std::vector<int16_t> saved(m), out(m);
    for (uint32_t i = 0; i < m; ++i) {
      saved[i] = static_cast<int16_t>(rng());
      out[i] = static_cast<int16_t>(rng());
    }
    saved[0] = -32768;
    out[m - 1] = 32767;
    std::vector<int16_t> blended = out;
    AudioCrossFade(saved.data(), blended.data(), m);
    for (uint32_t i = 0; i < m; ++i) {
      const int64_t sum = int64_t{saved[i]} * (m - i) + int64_t{out[i]} * i;
      const auto want = static_cast<int16_t>(std::floor(double(sum) / m));
      ASSERT_EQ(blended[i], want) << "M = " << m << ", i = " << i;
    }
  }
  // -1/4 is -1, not 0.
  const int16_t saved[4] = {0, -1, 0, 0};
  int16_t out[4] = {0, 0, 0, 0};
  AudioCrossFade(saved, out, 4);
  EXPECT_EQ(out[1], -1);
}

}  // namespace
}  // namespace vexil
