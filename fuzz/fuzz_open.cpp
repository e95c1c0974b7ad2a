// Opens arbitrary bytes as a movie held in memory, decodes every frame on the
// calling thread (no decode thread runs in this process) and copies each into
// a destination of a format and scaling mode chosen by the input, then into a
// second format.
//
// The whole input is the movie; its last three bytes also choose the open and
// copy options and whether a sound track plays (through the headless
// DirectSound device), so seeds can be plain movie files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "audio/driver_directsound.h"
#include "audio/sound_system.h"
#include "audio/sound_track.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/copy_frame.h"
#include "engine/engine.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"

namespace {

using namespace vexil;

// The one engine of the fuzzing process.
Engine& FuzzEngine() {
  static Engine engine;
  return engine;
}

// Keep pictures small so the fuzzer explores logic rather than memory.
constexpr uint64_t kMaxPixels = 256 * 256;
// Frames decoded per input: enough for several key-frame cycles.
constexpr uint32_t kMaxFrames = 96;

uint32_t WidthFactor(uint32_t mode) {
  return mode == COPY_2X_W || mode == COPY_2X_WH || mode == COPY_2X_WH_INTERLACED ? 2 : 1;
}
uint32_t HeightFactor(uint32_t mode) {
  return mode == COPY_2X_H || mode == COPY_2X_H_INTERLACED || mode == COPY_2X_WH ||
                 mode == COPY_2X_WH_INTERLACED
             ? 2
             : 1;
}

// A destination of exactly the bytes the copy may write: the decoded frame
// scaled by the mode in effect (the movie's display option is ORed into the
// caller's mode), rows at a pitch rounded up to 4 bytes, YV12 with its two
// chroma planes at half pitch below an even number of luma rows. `short_rows`
// hands the copy fewer rows than the picture needs.
void CopyInto(ConversionContext& conversion, MovieHandle* movie, uint32_t format, uint32_t flags,
              bool bottom_up, bool short_rows) {
  const uint32_t mode = CopyScaleMode(flags | (movie->open_flags & COPY_OPEN_FLAGS_MASK));
  const uint64_t w = uint64_t{movie->container.file_width} * WidthFactor(mode);
  uint64_t rows = uint64_t{movie->container.file_height} * HeightFactor(mode);
  if (short_rows) rows /= 3;
  if (format == PIXFMT_YV12) rows = (rows + 1) & ~uint64_t{1};
  const uint64_t pitch = (w * PixelFormatBytes(format) + 3) & ~uint64_t{3};
  const uint64_t chroma = format == PIXFMT_YV12 ? 2 * (pitch / 2) * (rows / 2) : 0;
  std::vector<uint8_t> destination(pitch * rows + chroma + 1);
  // One byte more than needed so that an empty picture still has an address;
  // the copy is told the exact layout.
  const int32_t signed_pitch =
      bottom_up ? -static_cast<int32_t>(pitch) : static_cast<int32_t>(pitch);
  CopyToBuffer(conversion, movie, destination.data(), signed_pitch, static_cast<int32_t>(rows),
               movie->width, movie->height, format | flags | COPY_NO_SKIP);
  ReportRects(movie, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // No window, no sound device: the headless back end (its sound clock runs
  // with real time and nothing waits for it).
  setenv("VEXIL_PLATFORM", "headless", 1);
  SetSoundSystem(&FuzzEngine().sound_system, DirectSoundProvider);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= kHeaderBytes) {
    const ContainerHeader h = ParseHeader(data);
    if (uint64_t{h.width} * h.height > kMaxPixels) return 0;
  }
  const uint8_t choice_a = size >= 2 ? data[size - 1] : 0;
  const uint8_t choice_b = size >= 2 ? data[size - 2] : 0;
  const uint8_t choice_c = size >= 3 ? data[size - 3] : 0;

  uint32_t open_flags = OPEN_MEMORY | OPEN_NEVER_SKIP;
  if (choice_a & 0x80) open_flags |= OPEN_ALPHA;
  OpenOptions options;
  if (choice_c & 1) {
    // No track at all: the packets' audio parts are only walked over.
    options.track_count = 0;
    open_flags |= OPEN_TRACK_LIST;
  } else if (choice_c & 2) {
    // The track of id 1 instead of the default 0.
    options.track_ids[0] = 1;
    open_flags |= OPEN_TRACK_LIST;
  }
  open_flags |= static_cast<uint32_t>((choice_a >> 4) & 7) << OPEN_DISPLAY_OPTION_SHIFT;

  // Exact size, so overreads are caught.
  std::vector<uint8_t> copy(data, data + size);
  MovieHandle* movie =
      Open(FuzzEngine(), MovieSource::Memory(copy.data(), copy.size()), open_flags, options);
  if (!movie) return 0;

  const uint32_t first_format = choice_a & PIXFMT_MASK;
  const uint32_t second_format = first_format == PIXFMT_YV12 ? PIXFMT_32 : PIXFMT_YV12;
  uint32_t copy_flags = CopyScaleFlags(choice_b & 7);
  if (choice_b & 0x10) copy_flags |= COPY_ALL;
  if (choice_b & 0x20) copy_flags |= COPY_SHOW_ALPHA;
  if (choice_b & 0x40) copy_flags |= COPY_GRAYSCALE;
  const bool bottom_up = choice_b & 0x08;
  const bool short_rows = choice_b & 0x80;

  const uint32_t frames =
      movie->container.frame_count < kMaxFrames ? movie->container.frame_count : kMaxFrames;
  ConversionContext conversion;  // each input's own: it converts as it would alone
  for (uint32_t k = 0; k < frames && !movie->reader.stopped; ++k) {
    // Open fetched frame 1; each later round steps to the next packet.
    if (k) Advance(movie);
    if (StartBackgroundDecode(movie)) {
      while (!WaitForBackgroundDecode(movie)) {
      }
    }
    CopyInto(conversion, movie, first_format, copy_flags, bottom_up, short_rows);
    CopyInto(conversion, movie, second_format, copy_flags ^ COPY_ALL, !bottom_up, false);
  }
  Close(movie);
  return 0;
}
