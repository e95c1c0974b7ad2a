// Transforms per second: the decoder's inverse real FFT and inverse DCT against
// the anchor library's float transforms of the same kinds and lengths.
#include "audio/audio_transforms.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#ifdef VEXIL_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

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
    ->Range(512, 4096);
BENCHMARK(BM_Vexil<vexil::InverseDct>)->Name("InverseDct")->RangeMultiplier(2)->Range(512, 4096);

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
BENCHMARK(BM_FftwRealInverse)->Name("FftwRealInverse")->RangeMultiplier(2)->Range(512, 4096);

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
BENCHMARK(BM_FftwDct3)->Name("FftwDct3")->RangeMultiplier(2)->Range(512, 4096);
#endif

}  // namespace

BENCHMARK_MAIN();
