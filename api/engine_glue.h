// Where the public API meets the engine: every call into the engine's movie
// handle and its engines goes through these functions, so the rest of api/
// sees only what they return.
//
// Every context, and every movie opened without one, has an engine of its
// own (its decode threads and read service); a movie holds on to the engine
// it was opened on. Each movie converts through its own conversion context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "display/conversion_context.h"
#include "engine/input.h"
#include "platform/files.h"
#include "vexil/vexil.h"

namespace vexil {
struct FrameBufferRecord;
struct MovieHandle;
}  // namespace vexil

namespace vexil::api {

// An engine of the library's, shared by a context and the movies opened on
// it.
struct LibraryEngine;
// A new engine with `threads` decode threads (0: none; VEXIL_THREADS_AUTO:
// two with more than one processor, else one); null when they cannot start.
std::shared_ptr<LibraryEngine> CreateLibraryEngine(uint32_t threads);

// What an open asks of the engine.
struct EngineOpenRequest {
  enum class Source { kFile, kMemory, kStream };
  Source source = Source::kFile;
  platform::FileHandle file = platform::kNoFile;  // kFile: positioned at the movie, borrowed
  const void* data = nullptr;                     // kMemory
  size_t size = 0;
  const InputStream* stream = nullptr;  // kStream
  uint32_t flags = 0;                   // VEXIL_OPEN_*
  uint32_t display_option = 0;          // VEXIL_DISPLAY_*
  uint32_t read_buffer_bytes = 0;       // 0: the movie's peak rate
  bool rate_override = false;
  uint32_t rate_num = 0, rate_den = 0;
  bool read_ahead_thread = false;
};

// Opens on `engine`. Null on failure, with the engine's text in *error.
MovieHandle* EngineOpen(LibraryEngine& engine, const EngineOpenRequest& request,
                        std::string* error);
// Closes; null is ignored.
void EngineClose(MovieHandle* movie);

// The movie's figures; the caller adds what only the source knows.
void FillMovieInfo(const MovieHandle* movie, vexil_movie_info* info);
// Leading frames whose packets end within the first `bytes_present` bytes.
uint32_t CompleteFrames(const MovieHandle* movie, uint64_t bytes_present);
// False for an index out of range.
bool FillTrackInfo(const MovieHandle* movie, uint32_t index, vexil_track_info* info);
// The first file track with that id, or -1.
int64_t FindTrack(const MovieHandle* movie, uint32_t id);
bool IsKeyFrame(const MovieHandle* movie, uint32_t frame);
uint32_t FrameCount(const MovieHandle* movie);
uint32_t TrackCount(const MovieHandle* movie);

// The packet fetched last and its 1-based frame number.
struct Packet {
  const uint8_t* data;
  uint32_t bytes;
  uint32_t frame;
};
Packet CurrentPacket(const MovieHandle* movie);
// Whether reading the movie failed (sticky until PrepareSeek).
bool InputFailed(const MovieHandle* movie);
// Fetches packet `frame` (1-based); false when the input failed.
bool FetchPacket(MovieHandle* movie, uint32_t frame);
// The clock's step to the next frame (late-frame bookkeeping), then fetches
// its packet; false when the input failed. Not past the last frame.
bool FetchNextPacket(MovieHandle* movie);
// Lets a movie whose input failed try again, and makes the next decode run
// even when it is of the frame decoded last (a seek).
void PrepareSeek(MovieHandle* movie);
// Restarts the clock from the next frame decoded.
void RestartClock(MovieHandle* movie);

// Decodes the fetched packet's picture on the decode threads of `threads`
// (the movie's engine; one frame of its movies at a time), or on this thread
// when null; false when the movie stopped on an input failure.
bool DecodePicture(MovieHandle* movie, LibraryEngine* threads);

bool HasPictures(const MovieHandle* movie);
// The planes of the picture decoded last.
void FillPicture(const MovieHandle* movie, vexil_picture* picture);
// The same for decoded planes of `width` x `height` whose frame flags
// (OPEN_*: grayscale, alpha kept, chroma stored the other way) say which
// planes count.
void FillPicture(const FrameBufferRecord& frames, uint32_t width, uint32_t height,
                 uint32_t frame_flags, vexil_picture* picture);

// CopyToBuffer of the picture decoded last, through the movie's own
// conversion context.
void Convert(MovieHandle* movie, ConversionContext& conversion, void* destination, int32_t pitch,
             uint32_t rows, uint32_t width, uint32_t height, uint32_t copy_flags);

int ClockWait(MovieHandle* movie);
int ClockLate(MovieHandle* movie);
int ClockPause(MovieHandle* movie, int paused);
uint32_t ClockMs(const MovieHandle* movie);

// Packet `frame`'s position in the movie: its offset and size.
struct PacketPlace {
  uint32_t offset;
  uint32_t bytes;
  bool key;
};
PacketPlace PlaceOfPacket(const MovieHandle* movie, uint32_t frame);
// Reads n bytes of the movie at `offset` without changing what it decodes
// next; false when fewer came.
bool ReadMovieBytes(MovieHandle* movie, uint32_t offset, void* destination, uint32_t n);

}  // namespace vexil::api
