// Reading a large movie through the read-ahead ring against a plain
// sequential read of the same file, in the same run. The movie (about 320 MB,
// made by the movie writer) lives in a temporary folder for the run and is
// deleted afterwards. Both read from the page cache once the file is written,
// so the figures compare the ring's own cost, not the disk.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "encoder/movie_writer.h"
#include "engine/engine.h"
#include "engine/foreground_read.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/files.h"

namespace vexil {
namespace {

constexpr uint32_t kFrames = 8000;
constexpr uint32_t kPacket = 40000;  // 1 MB a second at 25 frames per second

Engine g_engine;
std::string g_path;
int64_t g_size = 0;

void Plain(benchmark::State& state) {
  std::vector<uint8_t> buffer(kReadPiece);
  for (auto _ : state) {
    platform::FileHandle f = platform::FileOpenRead(g_path.c_str());
    int64_t total = 0, got = 0;
    while ((got = platform::FileRead(f, buffer.data(), kReadPiece)) > 0) total += got;
    platform::FileClose(f);
    benchmark::DoNotOptimize(buffer.data());
    if (total != g_size) state.SkipWithError("short plain read");
  }
  state.SetBytesProcessed(state.iterations() * g_size);
}

// Every packet in order, as a player that never waits would fetch them.
// range(0): ring size in KiB; range(1): 1 = with the read service thread,
// 0 = foreground reading only (one idle piece per frame).
void Ring(benchmark::State& state) {
  const bool thread = state.range(1) != 0;
  for (auto _ : state) {
    OpenOptions options;
    options.read_buffer_size = static_cast<int32_t>(state.range(0) * 1024);
    MovieHandle* m =
        Open(g_engine, MovieSource::Name(g_path.c_str()),
             OPEN_READ_BUFFER | OPEN_NO_PLANES | (thread ? 0 : OPEN_NO_THREAD_READ), options);
    if (!m || (m->open_flags & OPEN_PRELOAD)) {
      state.SkipWithError("the movie did not open for streaming");
      break;
    }
    for (uint32_t n = 2; n <= m->container.frame_count; ++n) {
      FetchFrame(m, n);
      benchmark::DoNotOptimize(m->reader.frame_data);
      if (!thread) ReadWhileWaiting(m);
    }
    if (m->reader.input->input_error) state.SkipWithError("input error");
    Close(m);
  }
  state.SetBytesProcessed(state.iterations() * g_size);
}

BENCHMARK(Plain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Ring)
    ->ArgNames({"ring_kib", "thread"})
    ->Args({256, 1})
    ->Args({1024, 1})
    ->Args({8192, 1})
    ->Args({256, 0})
    ->Args({1024, 0})
    ->Args({8192, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

bool MakeMovie() {
  char pattern[] = "/tmp/vexil-bench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  g_path = std::string(pattern) + "/large.vxl";
  MovieWriter writer('i', 320, 240, 25, 1);
  std::vector<uint8_t> packet(kPacket);
  for (uint32_t i = 0; i < kFrames; ++i) {
    for (uint32_t b = 0; b < kPacket; b += 64) packet[b] = static_cast<uint8_t>(i + b);
    writer.AddFrame(i % 25 == 0, packet);
  }
  if (!writer.WriteFile(g_path)) return false;
  g_size = static_cast<int64_t>(std::filesystem::file_size(g_path));
  return true;
}

}  // namespace
}  // namespace vexil

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!vexil::MakeMovie()) {
    std::fprintf(stderr, "cannot write the test movie\n");
    return 1;
  }
  std::fprintf(stderr, "movie: %s, %lld bytes\n", vexil::g_path.c_str(),
               static_cast<long long>(vexil::g_size));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(vexil::g_path).parent_path(), ec);
  return 0;
}
