// The public API's own records behind its opaque handles, and the helpers
// every entry point uses: argument checks for versioned structs, and the
// guard that keeps exceptions from crossing the C boundary.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "api/engine_glue.h"
#include "engine/input.h"
#include "platform/files.h"
#include "vexil/vexil.h"

namespace vexil {
struct AudioDecoder;
}

struct vexil_context {
  // The engine its movies are opened on (they hold on to it, so the context
  // may go first), and whether they decode on its decode threads.
  std::shared_ptr<vexil::api::LibraryEngine> engine;
  bool decode_threads = false;
  bool read_ahead_thread = false;
};

// One chosen sound track: its decoder and the PCM decoded and not yet taken.
struct AudioQueue {
  uint32_t id = 0;
  uint32_t track = 0;  // index in the file's tables
  uint32_t channels = 1;
  vexil::AudioDecoder* decoder = nullptr;
  std::vector<int16_t> samples;  // interleaved; the taken ones before `head`
  size_t head = 0;
};

struct vexil_movie {
  // The engine the movie was opened on: its context's, or one of its own.
  // Declared first, it outlives the handle.
  std::shared_ptr<vexil::api::LibraryEngine> engine;
  vexil::MovieHandle* handle = nullptr;
  bool decode_threads = false;  // frames decode on the engine's decode threads

  // The source, kept as long as the engine reads it.
  vexil::platform::FileHandle file = vexil::platform::kNoFile;
  vexil_io io{};
  bool has_io = false;
  vexil::InputStream stream{};
  uint64_t bytes_present = 0;

  uint32_t frame = 0;           // decoded last (1-based), 0 before the first
  bool packet_decoded = false;  // the fetched packet is that frame's
  bool sequential = true;       // the buffers hold what decoding from frame 1 gives

  std::vector<AudioQueue> audio;
  vexil::ConversionContext conversion;  // this movie's alone: converts on its caller's thread
  mutable std::string error;            // of the last call that returns a result

  ~vexil_movie();
};

namespace vexil::api {

// Copies a caller's versioned struct over the defaults: as much as its
// struct_size covers. False when it does not cover struct_size itself.
template <typename T>
bool ReadVersioned(const T* given, T* out) {
  if (!given) return true;
  if (given->struct_size < sizeof(uint32_t)) return false;
  std::memcpy(out, given, std::min<size_t>(given->struct_size, sizeof(T)));
  out->struct_size = sizeof(T);
  return true;
}

// Hands a filled struct to the caller: as much as its struct_size asks for.
template <typename T>
bool WriteVersioned(const T& filled, T* out) {
  if (!out || out->struct_size < sizeof(uint32_t)) return false;
  const uint32_t size = out->struct_size;
  std::memcpy(out, &filled, std::min<size_t>(size, sizeof(T)));
  out->struct_size = size;
  return true;
}

// Records a failure on the movie (when there is one) and returns its code.
vexil_result Fail(const vexil_movie* movie, vexil_result code, const std::string& text);
// Fail with the code's own text.
vexil_result Fail(const vexil_movie* movie, vexil_result code);
// The code of one of the engine's open messages.
vexil_result CodeOfEngineText(const std::string& text);

// Runs `body` (returning vexil_result) with the movie's error cleared;
// exceptions become codes.
template <typename Body>
vexil_result Guard(const vexil_movie* movie, Body body) {
  if (movie) movie->error.clear();
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(movie, VEXIL_ERROR_OUT_OF_MEMORY);
  } catch (const std::system_error&) {
    return Fail(movie, VEXIL_ERROR_THREADS);
  } catch (...) {
    return Fail(movie, VEXIL_ERROR_UNSUPPORTED, "Unexpected failure inside the library.");
  }
}

// Queues the fetched packet's audio of every chosen track.
void QueueAudio(vexil_movie* movie);
// Empties the queues and lets the decoders start afresh (a seek).
void ResetAudio(vexil_movie* movie);

}  // namespace vexil::api
