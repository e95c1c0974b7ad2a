// Encoder speed: frames per second of the video encoder at 640x480 and
// 1280x720, on one thread and on two, and the bits per pixel it spends at a
// few qualities, on a synthetic camera pan over a textured scene with moving
// objects and sensor noise; and the kernels of the mode decision.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "encoder/coefficient_encoder.h"
#include "encoder/encoder_kernels.h"
#include "encoder/forward_dct.h"
#include "encoder/quality.h"
#include "encoder/video_encoder.h"
#include "scene.h"

namespace vexil {
namespace {

// One key frame and nine inter frames per iteration. Arguments: width,
// height, quality, encoder threads.
void BM_EncodeVideo(benchmark::State& state) {
  const uint32_t w = static_cast<uint32_t>(state.range(0)),
                 h = static_cast<uint32_t>(state.range(1));
  const uint32_t quality = static_cast<uint32_t>(state.range(2));
  const uint32_t threads = static_cast<uint32_t>(state.range(3));
  constexpr uint32_t kFrames = 10;
  std::vector<Picture> frames;
  for (uint32_t t = 0; t < kFrames; ++t) frames.push_back(SceneFrame(w, h, t));
  uint64_t bytes = 0, frames_done = 0;
  double psnr = 0;
  for (auto _ : state) {
    VideoEncoderOptions o;
    o.width = w;
    o.height = h;
    o.quality = quality;
    o.threads = threads;
    VideoEncoder encoder(o);
    for (uint32_t t = 0; t < kFrames; ++t) {
      std::vector<uint8_t> video;
      VideoFrameStats stats;
      std::string error;
      if (!encoder.EncodeFrame(frames[t], t == 0, &video, &stats, &error))
        state.SkipWithError(error.c_str());
      bytes += video.size();
      psnr += stats.Psnr(ENCODER_Y);
      ++frames_done;
    }
  }
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(frames_done), benchmark::Counter::kIsRate);
  state.counters["bits_per_pixel"] = 8.0 * bytes / (double(frames_done) * w * h);
  state.counters["luma_psnr_db"] = psnr / frames_done;
}
BENCHMARK(BM_EncodeVideo)
    ->Args({640, 480, kDefaultQuality, 1})
    ->Args({640, 480, kDefaultQuality, 2})
    ->Args({640, 480, 50, 1})
    ->Args({640, 480, 90, 1})
    ->Args({1280, 720, kDefaultQuality, 1})
    ->Args({1280, 720, kDefaultQuality, 2})
    ->Args({320, 240, kDefaultQuality, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Distortion(benchmark::State& state) {
  const EncoderKernels& m = SelectEncoderKernels(state.range(0) ? 0xFFFFFFFFu : 0);
  std::vector<uint8_t> a(64 * 64), b(64 * 64);
  std::mt19937 rng(7);
  for (auto& v : a) v = static_cast<uint8_t>(rng());
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  uint32_t sum = 0;
  for (auto _ : state) {
    for (int y = 0; y < 56; y += 8)
      for (int x = 0; x < 56; x += 3)
        sum += m.sad8x8(&a[y * 64 + x], 64, &b[x * 64 + y], 64) +
               m.sse8x8(&a[y * 64 + x], 64, &b[y * 64 + x + 1], 64);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * 7 * 19 * 2);
}
BENCHMARK(BM_Distortion)->Arg(0)->Arg(1);

void BM_ForwardDct(benchmark::State& state) {
  const EncoderKernels& k = SelectEncoderKernels(state.range(0) ? 0xFFFFFFFFu : 0);
  float in[64], out[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<float>((i * 37) % 255);
  for (auto _ : state) {
    k.forward_dct(in, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardDct)->Arg(0)->Arg(1);

// The bits of a block's coefficients: walking the writer's list (0) or from
// the groups' highest bits (1).
void BM_CoefficientBits(benchmark::State& state) {
  std::mt19937 rng(3);
  std::vector<std::array<int16_t, 64>> blocks(256);
  for (auto& b : blocks) {
    for (int k = 0; k < 64; ++k)
      b[k] = k < 12 ? static_cast<int16_t>(int(rng() % 41) - 20) : (rng() % 9 == 0 ? 1 : 0);
  }
  const bool closed_form = state.range(0) != 0;
  size_t bits = 0, i = 0;
  for (auto _ : state) {
    const int16_t* block = blocks[i++ & 255].data();
    if (closed_form) {
      bits += CoefficientBits(block);
    } else {
      BitWriter counter(true);
      WriteCoefficients(counter, block);
      bits += counter.bit_count();
    }
  }
  benchmark::DoNotOptimize(bits);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CoefficientBits)->Arg(0)->Arg(1);

// One quantizer row of a transformed block: portable (0) or the processor's set (1).
void BM_Quantize(benchmark::State& state) {
  const EncoderKernels& k = SelectEncoderKernels(state.range(0) ? 0xFFFFFFFFu : 0);
  float in[64], f[64];
  for (int i = 0; i < 64; ++i) in[i] = static_cast<float>((i * 37) % 255);
  k.forward_dct(in, f);
  int16_t out[64];
  QuantizedShape shape;
  float error = 0;
  uint32_t q = 0;
  for (auto _ : state) {
    q = (q + 1) & 15;
    const DctRowByScan& row = DctRowTables(DCT_INTRA, q);
    error += k.quantize(f, row.scale, row.step, row.ceiling, 0.36f, out, &shape);
    benchmark::DoNotOptimize(out);
    benchmark::DoNotOptimize(shape);
  }
  benchmark::DoNotOptimize(error);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Quantize)->Arg(0)->Arg(1);

}  // namespace
}  // namespace vexil

BENCHMARK_MAIN();
