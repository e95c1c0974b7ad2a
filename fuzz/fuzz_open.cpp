// Opens arbitrary bytes as a movie held in memory and fetches every frame.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/movie.h"
#include "engine/frame_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vexil;
  // Keep pictures small so the fuzzer explores logic rather than memory.
  // (A rate of millions of frames per second is valid but sizes the one-second
  // statistics rings accordingly.)
  if (size >= 36) {
    auto word = [&](size_t at) {
      return data[at] | data[at + 1] << 8 | uint32_t{data[at + 2]} << 16 | uint32_t{data[at + 3]} << 24;
    };
    if (uint64_t{word(20)} * word(24) > 256 * 256) return 0;
    if (word(32) && word(28) / word(32) > 100000) return 0;
  }
  std::vector<uint8_t> copy(data, data + size);  // exact size: overreads are caught
  MovieHandle* movie = Open(MovieSource::Memory(copy.data(), copy.size()), OPEN_MEMORY | OPEN_ALPHA);
  if (!movie) return 0;
  for (uint32_t i = 0; i < movie->frame_count && i < 512; ++i) Advance(movie);
  Close(movie);
  return 0;
}
