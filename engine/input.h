// The input layer: a record with a table of operations through which the open
// reads the header and tables and the frame reader reads packets. The built-in
// file input stands behind it; a caller may install its own open operation.
//
// Threads: the player thread and the read service thread both call into the
// record; they exclude each other through the read-ahead lock (the lock
// operations below), except that `read` consumes the ring without the lock,
// changing `buffered` and `free_bytes` atomically on both sides.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/error_text.h"
#include "platform/files.h"

namespace vexil {

struct MovieHandle;
struct InputRecord;

// Movie offset argument meaning "continue where the last read ended".
constexpr int64_t kNoOffset = -1;

// Background pieces are this big and aligned to this boundary of the movie.
constexpr uint32_t kReadPiece = 128 * 1024;

// `suspend` flag bits.
constexpr uint32_t SUSPEND_PAUSE = 1;
constexpr uint32_t SUSPEND_RESUME = 2;
constexpr uint32_t SUSPEND_WAIT = 0x80000000u;

// A caller's byte source read in place of a file (a movie inside a game
// archive). Offsets are movie offsets plus the record's base offset.
struct InputStream {
  void* user;
  // Reads up to n bytes at the current position: the count (fewer only at the
  // end), or -1 on an error.
  int64_t (*read)(void* user, void* destination, uint32_t n);
  // Moves the current position; false when the source cannot go there.
  bool (*seek)(void* user, int64_t position);
};

struct InputRecord {
  // --- operation table ---
  // Reads directly from the file at a movie offset (or kNoOffset); returns the bytes read.
  uint32_t (*read_at)(InputRecord* input, int64_t offset, void* destination, uint32_t n);
  // Delivers bytes from the ring, reading the rest directly; returns the bytes delivered.
  uint32_t (*read)(InputRecord* input, uint32_t frame, int64_t offset, void* destination,
                   uint32_t n);
  // Memory to hand to set_buffer for a ring of `wanted` bytes.
  uint32_t (*buffer_size)(InputRecord* input, uint32_t wanted);
  void (*set_buffer)(InputRecord* input, void* memory, uint32_t memory_size, uint32_t movie_size,
                     uint32_t simulated_speed);
  // Reads one background piece: the bytes read, 0 when there was nothing to
  // read, -1 when the lock was busy.
  int32_t (*service)(InputRecord* input);
  void (*close)(InputRecord* input);
  // SUSPEND_* flags; returns the suspended state.
  uint32_t (*suspend)(InputRecord* input, uint32_t flags);

  MovieHandle* movie;  // set by the open
  void* context;       // a custom input's own state; null for the built-in file input

  std::atomic<uint32_t> input_error;  // a read came back short; every later read returns 0
  std::atomic<uint32_t> reading_now;  // a background piece is being read
  std::atomic<uint32_t> bytes_read;
  std::atomic<uint32_t> movie_busy;  // the engine is decoding or copying a frame
  std::atomic<uint32_t> read_time;
  std::atomic<uint32_t> read_call_time;
  std::atomic<uint32_t> idle_read_time;
  std::atomic<uint32_t> background_read_time;
  uint32_t buffer_bytes;  // ring size, a multiple of 128 KiB (0 = no ring); set_buffer, lock
  std::atomic<uint32_t> highest_buffered;
  std::atomic<uint32_t> target_fill;
  std::atomic<uint32_t> buffered;
  std::atomic<uint32_t> suspended;
  platform::FileHandle file;   // lock
  const InputStream* stream;   // read instead of `file` when set; the caller's, never closed
  uint32_t file_position;      // movie offset of the next byte the file delivers; lock
  uint32_t consumer_position;  // movie offset of the next byte `read` delivers; the reader's
  // Where that byte lies in the ring: the reader's, except that `service`
  // moves it by a skew (lock held, ring empty) and publishes that by the
  // release-add to `buffered`.
  uint8_t* consumer_pointer;
  std::atomic<uint32_t> free_bytes;
  uint8_t* ring_start;  // set_buffer, lock
  uint8_t* ring_end;
  uint8_t* fill_pointer;     // start of the slot the next piece goes into; lock
  uint32_t borrowed_handle;  // the caller's handle: not closed by `close`
  int64_t base_offset;       // file offset of the movie's first byte
  // Where the movie ends: set_buffer's size, or, once a background piece or a
  // preload came back short, where the file ended (the service thread moves it).
  std::atomic<uint32_t> movie_size;
  uint32_t simulated_speed;  // bytes per second, 0 = off
  int32_t speed_debt;        // milliseconds still owed to the simulated speed; lock

  // --- lock operations, installed by the movie open ---
  void (*lock_wait)(InputRecord* input);
  bool (*lock_try)(InputRecord* input);
  void (*lock_release)(InputRecord* input);
  void (*lock_yield)(InputRecord* input);

  // Zeroes every field (the open operation's first step).
  void Clear();
};

// An input open operation: fills the record's operation table and opens the
// source (a name, or with open flag 0x800000 a borrowed file handle positioned
// at the movie). `context` is what the caller of the movie open handed over
// with the operation (a custom input keeps it in the record's `context`).
// Returns 1 on success, 0 on failure; a failing operation may leave its own
// message in *error (null when the caller wants none), else the open reports
// "Error opening file.".
using InputOpenOperation = int (*)(InputRecord* input, const char* name, platform::FileHandle file,
                                   uint32_t open_flags, void* context, ErrorText* error);

// The built-in file input (no context, no message of its own).
int OpenFileInput(InputRecord* input, const char* name, platform::FileHandle file,
                  uint32_t open_flags, void* context, ErrorText* error);

// Closes an input whose open succeeded, once: its close operation is dropped
// after it ran. An input without one (never opened, or closed) is left alone.
// The thread that owns the input; the close takes the read-ahead lock.
void CloseInput(InputRecord* input);

// An input record with its owner: dropping it closes the input (CloseInput)
// and frees the record. The open allocates it before the movie exists; the
// movie's reader then takes it over.
struct InputCloser {
  void operator()(InputRecord* input) const;
};
using OwnedInput = std::unique_ptr<InputRecord, InputCloser>;

// The built-in input over a caller's stream instead of a file: the same ring
// and direct reads. The stream must outlive the record.
int OpenStreamInput(InputRecord* input, const InputStream* stream);

}  // namespace vexil
