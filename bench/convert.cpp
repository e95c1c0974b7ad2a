// Colour conversion speed: whole 640x480 and 1280x720 frames through
// CopyToBuffer into 32-bit, 24-bit, 565, YUY2 and YV12 destinations, on the
// SIMD path (the fastest kernels of this processor and the portable
// reference) and on the table path, next to libyuv's I420 conversions of the
// same planes in the same run, with all its kernels and held to its SSSE3
// ones (the anchor of our SSE2 kernels). Rates are megapixels per second; at
// the end the ratios of libyuv's time to ours (above 1: we are faster), from
// the medians when repeated (--benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "display/conversion_context.h"
#include "display/convert_simd.h"
#include "encoder/movie_writer.h"
#include "engine/copy_frame.h"
#include "engine/engine.h"
#include "engine/movie.h"
#include "platform/cpu.h"
#include "video/frame_buffers.h"

#ifdef VEXIL_HAVE_LIBYUV
#include <libyuv.h>
#endif

namespace {

using namespace vexil;

Engine g_engine;

// A movie handle whose planes hold random samples.
class Frame {
 public:
  Frame(uint32_t width, uint32_t height) {
    MovieWriter writer('i', width, height, 25, 1);
    writer.AddFrame(true, std::vector<uint8_t>(16, 0));
    writer.AddFrame(false, std::vector<uint8_t>(16, 0));
    bytes_ = writer.Finish();
    bytes_.resize(bytes_.size() + 1024);
    movie_ = Open(g_engine, MovieSource::Memory(bytes_.data(), bytes_.size()),
                  OPEN_MEMORY | OPEN_DISPLAY_OPTION_MASK);
    std::mt19937 rng(1);
    const FrameBufferRecord& f = *movie_->video.planes;
    for (int p = 0; p < PLANE_ALPHA; ++p) {
      const PlaneEntry& e = f.sets[0].plane[p];
      const uint32_t rows = p == PLANE_LUMA ? f.luma_height : f.chroma_height;
      for (uint32_t i = 0; i < e.pitch * rows; ++i) e.samples[i] = static_cast<uint8_t>(rng());
    }
  }
  ~Frame() { Close(movie_); }
  MovieHandle* movie() const { return movie_; }
  const PlaneEntry& plane(int p) const { return movie_->video.planes->sets[0].plane[p]; }

 private:
  std::vector<uint8_t> bytes_;
  MovieHandle* movie_;
};

struct Format {
  const char* name;
  uint32_t code;
};
const Format kFormats[] = {{"32", PIXFMT_32},
                           {"24", PIXFMT_24},
                           {"565", PIXFMT_565},
                           {"YUY2", PIXFMT_YUY2},
                           {"YV12", PIXFMT_YV12}};

void SetRate(benchmark::State& state, uint32_t width, uint32_t height) {
  state.counters["Mpix/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * width * height / 1e6, benchmark::Counter::kIsRate);
}

void CopyFrame(benchmark::State& state, uint32_t width, uint32_t height, uint32_t format,
               uint32_t features) {
  Frame frame(width, height);
  const uint32_t bpp = PixelFormatBytes(format);
  const int32_t pitch = static_cast<int32_t>((width * bpp + 3) & ~3u);
  std::vector<uint8_t> dest(size_t(pitch) * height * 2);
  ConversionContext conversion(features);
  for (auto _ : state) {
    CopyToBuffer(conversion, frame.movie(), dest.data(), pitch, static_cast<int32_t>(height), width,
                 height, format | COPY_ALL);
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  SetRate(state, width, height);
}

#ifdef VEXIL_HAVE_LIBYUV
// `cpu_flags`: libyuv's own feature mask for the run (-1: everything it detects).
void Libyuv(benchmark::State& state, uint32_t width, uint32_t height, uint32_t format,
            int cpu_flags) {
  libyuv::MaskCpuFlags(cpu_flags);
  Frame frame(width, height);
  const PlaneEntry& y = frame.plane(PLANE_LUMA);
  const PlaneEntry& v = frame.plane(PLANE_CHROMA_A);
  const PlaneEntry& u = frame.plane(PLANE_CHROMA_B);
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const uint32_t bpp = PixelFormatBytes(format);
  const int pitch = static_cast<int>((width * bpp + 3) & ~3u);
  std::vector<uint8_t> dest(size_t(pitch) * height * 2);
  uint8_t* d = dest.data();
  const int yp = static_cast<int>(y.pitch), up = static_cast<int>(u.pitch),
            vp = static_cast<int>(v.pitch);
  for (auto _ : state) {
    switch (format) {
      case PIXFMT_32:
        libyuv::I420ToARGB(y.samples, yp, u.samples, up, v.samples, vp, d, pitch, w, h);
        break;
      case PIXFMT_24:
        libyuv::I420ToRGB24(y.samples, yp, u.samples, up, v.samples, vp, d, pitch, w, h);
        break;
      case PIXFMT_565:  // ours is dithered too
        libyuv::I420ToRGB565Dither(y.samples, yp, u.samples, up, v.samples, vp, d, pitch, nullptr,
                                   w, h);
        break;
      case PIXFMT_YUY2:
        libyuv::I420ToYUY2(y.samples, yp, u.samples, up, v.samples, vp, d, pitch, w, h);
        break;
      default: {  // YV12: the V plane first
        uint8_t* dv = d + size_t(pitch) * height;
        uint8_t* du = dv + size_t(pitch / 2) * (height / 2);
        libyuv::I420Copy(y.samples, yp, u.samples, up, v.samples, vp, d, pitch, du, pitch / 2, dv,
                         pitch / 2, w, h);
      }
    }
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  }
  SetRate(state, width, height);
  libyuv::MaskCpuFlags(-1);
}
// libyuv held to SSSE3 and below.
constexpr int kLibyuvSsse3 =
    libyuv::kCpuInitialized | libyuv::kCpuHasX86 | libyuv::kCpuHasSSE2 | libyuv::kCpuHasSSSE3;
#endif

// Each benchmark's CPU time (the median when repeated), and at the end the
// ratio of every anchor's time to ours.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      if (run.run_type == Run::RT_Iteration && run.repetitions > 1) continue;
      times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
  }
  // `ours` and `anchor` name the benchmarks without their "/format/size".
  void AddPair(const std::string& ours, const std::string& anchor) { pairs_[ours] = anchor; }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nratio (anchor time / ours; above 1 is faster):\n");
    for (const auto& [name, time] : times_) {
      const size_t slash = name.find('/');
      const auto pair = pairs_.find(name.substr(0, slash));
      if (pair == pairs_.end()) continue;
      const auto anchor = times_.find(pair->second + name.substr(slash));
      if (anchor == times_.end() || time <= 0) continue;
      std::printf("  %-34s vs %-14s %5.2fx\n", name.c_str(), pair->second.c_str(),
                  anchor->second / time);
    }
  }

 private:
  std::map<std::string, double> times_;
  std::map<std::string, std::string> pairs_;
};

void Register(RatioReporter& ratios) {
  const uint32_t detected = CpuFeatures();
  const std::string simd = SelectSimdKernels(detected).name;
  struct Path {
    std::string name;
    uint32_t features;
  };
  std::vector<Path> paths = {{"simd_" + simd, detected}, {"table", CPU_KNOWN}};
  if (simd != "portable") paths.insert(paths.begin() + 1, {"simd_portable", CPU_KNOWN | CPU_MMX});
  if (simd == "avx2") {
    paths.insert(paths.begin() + 1, {"simd_sse2", CPU_KNOWN | CPU_MMX | CPU_SSE | CPU_SSE2});
  }
  ratios.AddPair("vexil_simd_" + simd, "libyuv");
  if (simd != "sse2") ratios.AddPair("vexil_simd_sse2", "libyuv_ssse3");
  const uint32_t kSizes[][2] = {{640, 480}, {1280, 720}};
  for (const auto& size : kSizes) {
    const uint32_t w = size[0], h = size[1];
    const std::string dims = std::to_string(w) + "x" + std::to_string(h);
    for (const Format& f : kFormats) {
      for (const Path& p : paths) {
        benchmark::RegisterBenchmark(("vexil_" + p.name + "/" + f.name + "/" + dims).c_str(),
                                     CopyFrame, w, h, f.code, p.features)
            ->Unit(benchmark::kMicrosecond);
      }
#ifdef VEXIL_HAVE_LIBYUV
      benchmark::RegisterBenchmark(("libyuv/" + std::string(f.name) + "/" + dims).c_str(), Libyuv,
                                   w, h, f.code, -1)
          ->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark(("libyuv_ssse3/" + std::string(f.name) + "/" + dims).c_str(),
                                   Libyuv, w, h, f.code, kLibyuvSsse3)
          ->Unit(benchmark::kMicrosecond);
#endif
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  RatioReporter ratios;
  Register(ratios);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&ratios);
  benchmark::Shutdown();
  return 0;
}
