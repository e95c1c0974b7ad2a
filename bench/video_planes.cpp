// Decoding speed of whole planes (megapixels per second), with the portable
// kernels, with the processor's own, and with at most SSE2. The planes are
// made by the test encoder from a synthetic picture: an intra mix (DCT blocks
// with a few coefficients, fills and scaled blocks on smooth areas, patterns
// and runs on edges, a little raw) and an inter mix (skips, motion, inter and residue
// blocks, some intra). Beside them, the block copies of each kernel set over
// a whole plane: 8x8 copies as skip blocks make them, and 16x16 doubled puts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "encoder/plane_builder.h"
#include "platform/cpu.h"
#include "video/bundle_sizes.h"
#include "video/plane_decoder.h"
#include "video/video_kernels.h"

namespace vexil {
namespace {

struct BenchPlane {
  uint32_t width, height;
  std::vector<uint8_t> stream, reference;
  std::string error;
};

DctBlockCode TextureBlock(std::mt19937& rng, int mean, bool intra) {
  DctBlockCode d;
  d.dc = intra ? mean * 8 : static_cast<int32_t>(rng() % 41) - 20;
  d.quantizer = static_cast<uint8_t>(3 + rng() % 6);
  const int count = 3 + static_cast<int>(rng() % 14);
  for (int i = 0; i < count; ++i) {
    const int k = 1 + static_cast<int>(std::min<uint32_t>(62, (rng() % 24) * (rng() % 3 + 1)));
    const int magnitude = 1 + static_cast<int>(rng() % (120 / (1 + k / 4)));
    d.by_scan[k] = static_cast<int16_t>(rng() % 2 ? magnitude : -magnitude);
  }
  return d;
}

BenchPlane MakePlane(uint32_t width, uint32_t height, bool inter, uint32_t seed) {
  std::mt19937 rng(seed);
  BenchPlane p{width, height, {}, std::vector<uint8_t>(size_t{width} * height), {}};
  // The reference: gradients with some structure.
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      p.reference[size_t{y} * width + x] =
          static_cast<uint8_t>(128 + 60 * std::sin(x * 0.02) * std::cos(y * 0.03) + (x ^ y) % 16);
  PlaneBuilderOptions o;
  o.width = width;
  o.height = height;
  PlaneBuilder b(o, p.reference, p.reference);
  auto mean_at = [&] { return static_cast<int>(p.reference[size_t{b.y()} * width + b.x()]); };
  std::vector<bool> scaled_above(width / 8 + 1, false);
  while (!b.done()) {
    const uint32_t column = b.x() / 8;
    if (b.odd_row() && scaled_above[column]) {
      scaled_above[column] = false;
      b.Scaled();
      continue;
    }
    const uint32_t roll = rng() % 100;
    const int dx = static_cast<int>(rng() % 9) - 4, dy = static_cast<int>(rng() % 9) - 4;
    if (inter) {
      if (roll < 45)
        b.Skip();
      else if (roll < 70)
        b.Motion(dx, dy);
      else if (roll < 82)
        b.Inter(dx, dy, TextureBlock(rng, 0, false));
      else if (roll < 90) {
        ResidueBlockCode r;
        for (int i = 0; i < 10; ++i)
          r.by_scan[rng() % 64] = static_cast<int16_t>(static_cast<int>(rng() % 31) - 15);
        r.limit = 127;
        b.Residue(dx, dy, r);
      } else if (roll < 95)
        b.Intra(TextureBlock(rng, mean_at(), true));
      else
        b.Fill(static_cast<uint8_t>(mean_at()));
      continue;
    }
    if (roll < 9 && !b.odd_row() && b.remaining_width() >= 16 && height - b.y() >= 16) {
      scaled_above[column] = scaled_above[column + 1] = true;
      if (roll < 5)
        b.ScaledFill(static_cast<uint8_t>(mean_at()));
      else
        b.ScaledIntra(TextureBlock(rng, mean_at(), true));
    } else if (roll < 64) {
      b.Intra(TextureBlock(rng, mean_at(), true));
    } else if (roll < 76) {
      b.Fill(static_cast<uint8_t>(mean_at()));
    } else if (roll < 86) {
      PatternBlockCode pattern{
          static_cast<uint8_t>(mean_at()), static_cast<uint8_t>(mean_at() + 40), {}};
      for (auto& r : pattern.rows) r = static_cast<uint8_t>(rng());
      b.Pattern(pattern);
    } else if (roll < 97) {
      RunBlockCode run;
      run.scan = static_cast<uint8_t>(rng() % 16);
      for (uint32_t filled = 0; filled < 63;) {
        const uint32_t len = std::min<uint32_t>(64 - filled, 4 + rng() % 13);
        run.segments.push_back(
            {static_cast<uint8_t>(len - 1), true, {static_cast<uint8_t>(rng())}});
        filled += len;
      }
      b.Run(run);
    } else {
      uint8_t raw[64];
      for (auto& c : raw) c = static_cast<uint8_t>(rng());
      b.Raw(raw);
    }
  }
  p.stream = b.Finish();
  p.error = b.error();
  return p;
}

void BM_DecodePlane(benchmark::State& state) {
  const uint32_t width = static_cast<uint32_t>(state.range(0));
  const uint32_t height = static_cast<uint32_t>(state.range(1));
  const bool inter = state.range(2);
  // simd 0: the portable kernels; 1: the processor's own; 2: at most SSE2
  // (the portable transform with the SIMD doubled put).
  const uint32_t sse2_at_most = CPU_KNOWN | CPU_MMX | CPU_SSE | CPU_SSE2;
  const uint32_t cpu = state.range(3) == 0   ? 0
                       : state.range(3) == 1 ? CpuFeatures()
                                             : CpuFeatures() & sse2_at_most;
  const BenchPlane p = MakePlane(width, height, inter, 1234);
  if (p.stream.empty()) {
    state.SkipWithError(("plane could not be built: " + p.error).c_str());
    return;
  }
  std::vector<uint8_t> data(p.stream);
  data.resize(data.size() + 1024);
  std::vector<uint8_t> destination(p.reference);
  uint32_t sizes[BUNDLE_KIND_COUNT];
  BundleBufferSizes(width, sizes);
  std::vector<uint8_t> bundle_memory(BundleBuffersTotal(sizes) + 16);
  uint8_t* bundles =
      bundle_memory.data() + (16 - reinterpret_cast<uintptr_t>(bundle_memory.data()) % 16) % 16;
  std::vector<uint8_t> map(((width + 15) / 16 + 15) / 16 * 16 * ((height + 15) / 16));
  PlaneDecodeArgs a{};
  a.width = width;
  a.height = height;
  a.destination = destination.data();
  a.reference = p.reference.data();
  a.pitch = width;
  a.data_start = data.data();
  a.data_end = data.data() + p.stream.size() + 4;
  a.readable_end = data.data() + data.size();
  a.map = map.data();
  a.map_stride = ((width + 15) / 16 + 15) / 16 * 16;
  a.map_step = 1;
  a.bundle_buffers = bundles;
  a.bundle_sizes = sizes;
  a.cpu_features = cpu;
  uint32_t skipped = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodePlane(a, &skipped));
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(width) * height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["stream_kB"] = static_cast<double>(p.stream.size()) / 1024;
}

BENCHMARK(BM_DecodePlane)
    ->ArgNames({"w", "h", "inter", "simd"})
    ->Args({640, 480, 0, 0})
    ->Args({640, 480, 0, 1})
    ->Args({640, 480, 1, 0})
    ->Args({640, 480, 1, 1})
    ->Args({1280, 720, 0, 0})
    ->Args({1280, 720, 0, 1})
    ->Args({1280, 720, 1, 0})
    ->Args({1280, 720, 1, 1})
    ->Args({640, 480, 0, 2})
    ->Args({640, 480, 1, 2})
    ->Args({1280, 720, 0, 2})
    ->Args({1280, 720, 1, 2})
    ->Unit(benchmark::kMicrosecond);

// The kernel set at `index`, or null (with the reason given) when this build or
// processor does not have it.
const VideoKernels* BenchKernels(benchmark::State& state, int64_t index) {
  const KernelSet<VideoKernels>& set = VideoKernelSets()[static_cast<size_t>(index)];
  if (!set.kernels || (DetectCpuFeatures() & set.needs) != set.needs) {
    state.SkipWithError("kernel set not available here");
    return nullptr;
  }
  state.SetLabel(set.kernels->name);
  return set.kernels;
}

// Every 8x8 block of a plane copied from a reference plane in decoding order.
void BM_CopyBlocks(benchmark::State& state) {
  const VideoKernels* k = BenchKernels(state, state.range(0));
  if (!k) return;
  const uint32_t width = static_cast<uint32_t>(state.range(1));
  const uint32_t height = static_cast<uint32_t>(state.range(2));
  std::vector<uint8_t> reference(size_t{width} * height), destination(reference.size());
  std::mt19937 rng(5);
  for (auto& v : reference) v = static_cast<uint8_t>(rng());
  for (auto _ : state) {
    for (uint32_t y = 0; y < height; y += 8)
      for (uint32_t x = 0; x < width; x += 8)
        k->copy8x8(reference.data() + size_t{y} * width + x,
                   destination.data() + size_t{y} * width + x, width);
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(width) * height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

// Every 16x16 block of a plane put doubled from 64 samples.
void BM_PutDoubled(benchmark::State& state) {
  const VideoKernels* k = BenchKernels(state, state.range(0));
  if (!k) return;
  const uint32_t width = static_cast<uint32_t>(state.range(1));
  const uint32_t height = static_cast<uint32_t>(state.range(2));
  std::vector<uint8_t> destination(size_t{width} * height);
  alignas(32) uint8_t content[64];
  std::mt19937 rng(6);
  for (auto& v : content) v = static_cast<uint8_t>(rng());
  for (auto _ : state) {
    for (uint32_t y = 0; y < height; y += 16)
      for (uint32_t x = 0; x < width; x += 16) {
        content[x / 16 % 64] = static_cast<uint8_t>(y);
        k->put_doubled(content, destination.data() + size_t{y} * width + x, width);
      }
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(width) * height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void KernelArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"set", "w", "h"});
  for (int64_t set = 0; set < static_cast<int64_t>(VideoKernelSets().size()); ++set) {
    b->Args({set, 640, 480});
    b->Args({set, 1280, 720});
  }
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_CopyBlocks)->Apply(KernelArgs);
BENCHMARK(BM_PutDoubled)->Apply(KernelArgs);

}  // namespace
}  // namespace vexil

BENCHMARK_MAIN();
