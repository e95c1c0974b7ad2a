// Transforms per second: the decoder's inverse real FFT and inverse DCT against
// the anchor library's float transforms of the same kinds and lengths. With the
// anchor installed, the run ends with our speed relative to it for every
// length: the median over the repetitions of the anchor's CPU time divided by
// ours (CPU time, so that time other programs take on a shared machine does
// not count), each repetition's pair measured in the same round (use
// --benchmark_repetitions and --benchmark_enable_random_interleaving).
#include "audio/audio_transforms.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ratio_reporter.h"

#ifdef VEXIL_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

constexpr int kShortest = 512;
constexpr int kLongest = 4096;

std::vector<float> RandomData(uint32_t n) {
  std::mt19937 rng(n);
  std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
  std::vector<float> data(n);
  for (float& v : data) v = value(rng);
  return data;
}

template <void (*kTransform)(uint32_t, float*, int32_t*, float*)>
void BM_Vexil(benchmark::State& state) {
  const auto n = static_cast<uint32_t>(state.range(0));
  const std::vector<float> input = RandomData(n);
  std::vector<int32_t> index(vexil::TransformIndexInts(n), 0);
  std::vector<float> table(vexil::DctTableFloats(n));
  std::vector<float> data = input;
  kTransform(n, data.data(), index.data(), table.data());  // tables built outside the loop
  for (auto _ : state) {
    data = input;
    kTransform(n, data.data(), index.data(), table.data());
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Vexil<vexil::InverseRealFft>)
    ->Name("InverseRealFft")
    ->RangeMultiplier(2)
    ->Range(kShortest, kLongest);
BENCHMARK(BM_Vexil<vexil::InverseDct>)
    ->Name("InverseDct")
    ->RangeMultiplier(2)
    ->Range(kShortest, kLongest);

#ifdef VEXIL_HAVE_FFTW
// Half-complex spectrum to n real values: the inverse real FFT.
void BM_FftwRealInverse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> input = RandomData(static_cast<uint32_t>(n + 2));
  float* in = fftwf_alloc_real(n + 2);
  float* out = fftwf_alloc_real(n);
  fftwf_plan plan =
      fftwf_plan_dft_r2c_1d(n, out, reinterpret_cast<fftwf_complex*>(in), FFTW_MEASURE);
  fftwf_destroy_plan(plan);
  plan = fftwf_plan_dft_c2r_1d(n, reinterpret_cast<fftwf_complex*>(in), out, FFTW_MEASURE);
  for (auto _ : state) {
    std::copy(input.begin(), input.end(), in);  // c2r overwrites its input
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}
BENCHMARK(BM_FftwRealInverse)
    ->Name("FftwRealInverse")
    ->RangeMultiplier(2)
    ->Range(kShortest, kLongest);

// The type-III DCT: the inverse DCT.
void BM_FftwDct3(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<float> input = RandomData(static_cast<uint32_t>(n));
  float* data = fftwf_alloc_real(n);
  fftwf_plan plan = fftwf_plan_r2r_1d(n, data, data, FFTW_REDFT01, FFTW_MEASURE);
  for (auto _ : state) {
    std::copy(input.begin(), input.end(), data);
    fftwf_execute(plan);
    benchmark::DoNotOptimize(data);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  fftwf_destroy_plan(plan);
  fftwf_free(data);
}
BENCHMARK(BM_FftwDct3)->Name("FftwDct3")->RangeMultiplier(2)->Range(kShortest, kLongest);
#endif

// Our transforms and the anchor's of the same kind.
constexpr struct {
  const char* ours;
  const char* anchor;
} kPairs[] = {{"InverseRealFft", "FftwRealInverse"}, {"InverseDct", "FftwDct3"}};

// The console output, then one line per transform and length with the ratio.
class TransformRatios : public vexil::RatioReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& pair : kPairs) {
      for (int n = kShortest; n <= kLongest; n *= 2) {
        char ours[64], anchor[64];
        std::snprintf(ours, sizeof ours, "%s/%d", pair.ours, n);
        std::snprintf(anchor, sizeof anchor, "%s/%d", pair.anchor, n);
        PrintRatio(std::string(ours) + " vs FFTW", kCpu, anchor, ours);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TransformRatios reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
