// The movie handle: one record per open movie, built by Open with all its
// arrays in one allocation and freed by Close, made of parts that own their
// state: what the open read (container), the reading of packets (reader), the
// video decode (video), the sound tracks (sound), and the frame clock with
// the statistics (clock).
//
// Threads: the handle belongs to the thread that opened it (the player
// thread). The decode threads write the decode-part fields (frame planes,
// maps, running percentage, time totals, sound rings); the read service and
// the sound service reach it through their nodes and lock it with
// `reader.read_lock` and `sound.sound_mutex`. Fields that several threads
// touch without a lock are atomic.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/input.h"
#include "engine/movie_clock.h"
#include "engine/movie_container.h"
#include "engine/movie_reader.h"
#include "engine/movie_sound.h"
#include "engine/movie_video.h"
#include "engine/open_options.h"
#include "platform/error_text.h"
#include "platform/files.h"

namespace vexil {

struct Engine;
class Reservation;

// Open flags (the caller's; the open merges the header's bits in).
constexpr uint32_t OPEN_FRAME_NO_SWITCH = 0x00000100;  // frame decode: keep the current buffer
constexpr uint32_t OPEN_FRAME_NO_LUMA = 0x00000200;    // frame decode: skip the luma plane
constexpr uint32_t OPEN_NO_PLANES = 0x00000400;
constexpr uint32_t OPEN_RATE_OVERRIDE = 0x00001000;
constexpr uint32_t OPEN_PRELOAD = 0x00002000;
constexpr uint32_t OPEN_TRACK_LIST = 0x00004000;
constexpr uint32_t OPEN_OLD_REVISION = 0x00008000;  // revisions f, g, h
constexpr uint32_t OPEN_SWAP_CHROMA = 0x00010000;   // revisions f, g
constexpr uint32_t OPEN_GRAYSCALE = 0x00020000;
constexpr uint32_t OPEN_NEVER_SKIP = 0x00080000;
constexpr uint32_t OPEN_ALPHA = 0x00100000;
constexpr uint32_t OPEN_NO_FILL = 0x00200000;
constexpr uint32_t OPEN_SIMULATE_SPEED = 0x00400000;
constexpr uint32_t OPEN_FILE_HANDLE = 0x00800000;
constexpr uint32_t OPEN_READ_BUFFER = 0x01000000;
constexpr uint32_t OPEN_CUSTOM_INPUT = 0x02000000;
constexpr uint32_t OPEN_MEMORY = 0x04000000;
constexpr uint32_t OPEN_NO_THREAD_READ = 0x08000000;
constexpr uint32_t OPEN_DISPLAY_OPTION_MASK = 0x70000000;
constexpr int OPEN_DISPLAY_OPTION_SHIFT = 28;
constexpr uint32_t OpenDisplayOption(uint32_t flags) {
  return (flags & OPEN_DISPLAY_OPTION_MASK) >> OPEN_DISPLAY_OPTION_SHIFT;
}

// Display options (bits 28 to 30).
constexpr uint32_t DISPLAY_HEIGHT_DOUBLED = 1;
constexpr uint32_t DISPLAY_HEIGHT_INTERLACED = 2;
constexpr uint32_t DISPLAY_WIDTH_DOUBLED = 3;
constexpr uint32_t DISPLAY_BOTH_DOUBLED = 4;
constexpr uint32_t DISPLAY_BOTH_INTERLACED = 5;
constexpr uint32_t DISPLAY_HEIGHT_INTERLACED_NORMAL = 6;
constexpr uint32_t DISPLAY_NONE = 7;

// The movie handle: the movie's parts, each owning its state (see their
// headers for who may touch what under which lock), and what belongs to the
// movie as a whole.
struct MovieHandle {
  // The handle and its arrays are one block (platform/heap.h): `new
  // (reservation, &allocated) MovieHandle{}` allocates the block the
  // reservation describes and stores the arrays' addresses (null when memory
  // runs out; `allocated` receives the block's size); `delete` destroys the
  // parts and returns the block. Open and Close only.
  static void* operator new(size_t size, Reservation& reservation, uint64_t* allocated) noexcept;
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, Reservation&, uint64_t*) noexcept;

  Engine* engine;  // the engine it was opened with: its threads and sound output
  // As played: the file's size doubled by the display option, and the open
  // flags merged with the header's. The player may still set a display option
  // before the first copy.
  uint32_t width;
  uint32_t height;
  uint32_t open_flags;
  uint64_t total_memory;  // bytes the movie's allocations took

  MovieContainer container;
  MovieReader reader;
  MovieVideo video;
  MovieSound sound;
  MovieClock clock;
};

// Where a movie comes from.
struct MovieSource {
  const char* name = nullptr;                   // a file name
  platform::FileHandle file = platform::kNoFile;  // with OPEN_FILE_HANDLE
  const void* data = nullptr;                   // with OPEN_MEMORY
  size_t size = 0;                              // bytes at `data`

  static MovieSource Name(const char* name) { return MovieSource{name}; }
  static MovieSource Handle(platform::FileHandle file) {
    MovieSource s;
    s.file = file;
    return s;
  }
  static MovieSource Memory(const void* data, size_t size) {
    MovieSource s;
    s.data = data;
    s.size = size;
    return s;
  }
};

// Opens a movie on `engine` with the choices `options` holds for the flags
// that ask for them. Null on failure, with the message in *error when an
// error text is given (it is cleared first). The engine's owner thread; the
// movie then belongs to the thread that opened it.
MovieHandle* Open(Engine& engine, const MovieSource& source, uint32_t open_flags,
                  const OpenOptions& options = {}, ErrorText* error = nullptr);
// Closes a movie: waits for its outstanding background decode, leaves the
// services, closes its tracks and input and frees it. Null is ignored.
void Close(MovieHandle* movie);

}  // namespace vexil
