// The built-in file input: direct reads from the movie file.
// The read-ahead ring (set_buffer, service and the ring side of read) lives in
// read_ring.cpp; this file holds the record, the open and the direct reads that
// both paths use.
#include <algorithm>

#include "engine/input.h"
#include "engine/input_internal.h"
#include "platform/time.h"
#include "platform/timer.h"

namespace vexil {

void InputRecord::Clear() {
  read_at = nullptr;
  read = nullptr;
  buffer_size = nullptr;
  set_buffer = nullptr;
  service = nullptr;
  close = nullptr;
  suspend = nullptr;
  movie = nullptr;
  context = nullptr;
  input_error = 0;
  reading_now = 0;
  bytes_read = 0;
  movie_busy = 0;
  read_time = 0;
  read_call_time = 0;
  idle_read_time = 0;
  background_read_time = 0;
  buffer_bytes = 0;
  highest_buffered = 0;
  target_fill = 0;
  buffered = 0;
  suspended = 0;
  file = platform::kNoFile;
  stream = nullptr;
  file_position = 0;
  consumer_position = 0;
  consumer_pointer = nullptr;
  free_bytes = 0;
  ring_start = nullptr;
  ring_end = nullptr;
  fill_pointer = nullptr;
  borrowed_handle = 0;
  base_offset = 0;
  movie_size = 0;
  simulated_speed = 0;
  speed_debt = 0;
  lock_wait = nullptr;
  lock_try = nullptr;
  lock_release = nullptr;
  lock_yield = nullptr;
}

void CloseInput(InputRecord* in) {
  if (!in || !in->close) return;
  in->close(in);
  in->close = nullptr;
}

void InputCloser::operator()(InputRecord* in) const {
  CloseInput(in);
  delete in;
}

namespace input_detail {

uint32_t Now() {
  return Timer();
}

void LockWait(InputRecord* in) {
  if (in->lock_wait) in->lock_wait(in);
}
bool LockTry(InputRecord* in) {
  return !in->lock_try || in->lock_try(in);
}
void LockRelease(InputRecord* in) {
  if (in->lock_release) in->lock_release(in);
}

uint32_t ReadAvailable(InputRecord* in, void* destination, uint32_t n) {
  if (n == 0) return 0;
  if (!in->stream) {
    int64_t got = platform::FileRead(in->file, destination, n);
    return got > 0 ? static_cast<uint32_t>(got) : 0;
  }
  // A stream may deliver less than asked before its end: read on until it
  // gives nothing more.
  auto* bytes = static_cast<uint8_t*>(destination);
  uint32_t done = 0;
  while (done < n) {
    const int64_t got = in->stream->read(in->stream->user, bytes + done, n - done);
    if (got <= 0 || got > n - done) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

uint32_t ReadRaw(InputRecord* in, void* destination, uint32_t n) {
  uint32_t done = ReadAvailable(in, destination, n);
  if (done < n) in->input_error = 1;
  return done;
}

uint32_t ReadFile(InputRecord* in, void* destination, uint32_t n) {
  if (n == 0) return 0;
  uint32_t t0 = Now();
  uint32_t done = ReadRaw(in, destination, n);
  in->bytes_read.fetch_add(done, std::memory_order_relaxed);
  in->file_position += done;
  ApplySimulatedSpeed(in, done, t0);
  in->read_time.fetch_add(Now() - t0, std::memory_order_relaxed);
  return done;
}

bool SeekFile(InputRecord* in, uint32_t movie_offset) {
  const int64_t position = in->base_offset + movie_offset;
  const bool moved = in->stream ? in->stream->seek(in->stream->user, position)
                                : platform::FileSeek(in->file, position);
  if (!moved) {
    in->input_error = 1;
    return false;
  }
  in->file_position = movie_offset;
  return true;
}

void UpdateTargetFill(InputRecord* in, uint32_t position) {
  uint32_t rest = in->movie_size > position ? in->movie_size - position : 0;
  in->target_fill.store(std::min(in->buffer_bytes, rest), std::memory_order_release);
}

// debt += bytes x 1000 / speed - (now - t0); while it is positive, wait until
// the time since the last look reaches it and take that time off. What is
// left (zero or less) carries over to the next read. The wait sleeps for what
// is still owed rather than spinning on yields: the same timing, without a
// processor kept busy for seconds.
void ApplySimulatedSpeed(InputRecord* in, uint32_t bytes, uint32_t t0) {
  if (in->simulated_speed == 0) return;
  const int64_t owed = int64_t{bytes} * 1000 / in->simulated_speed;
  int64_t debt = int64_t{in->speed_debt} + owed - int64_t{Now() - t0};
  if (debt > 0) {
    const uint32_t last = Now();
    uint32_t passed = 0;
    do {
      platform::Sleep(static_cast<uint32_t>(std::min<int64_t>(debt - passed, 1000)));
      passed = Now() - last;
    } while (int64_t{passed} < debt);
    debt -= passed;
  }
  in->speed_debt = static_cast<int32_t>(std::max<int64_t>(debt, INT32_MIN));
}

}  // namespace input_detail

using namespace input_detail;

namespace {

uint32_t ReadAt(InputRecord* in, int64_t offset, void* destination, uint32_t n) {
  LockWait(in);
  uint32_t done = 0;
  if (!in->input_error) {
    bool ok = true;
    if (offset != kNoOffset && static_cast<uint32_t>(offset) != in->file_position)
      ok = SeekFile(in, static_cast<uint32_t>(offset));
    if (ok) done = ReadFile(in, destination, n);
    in->consumer_position = in->file_position;
    // The ring's data no longer follows the consumer position: forget it.
    if (in->ring_start) {
      in->free_bytes.store(in->buffer_bytes, std::memory_order_relaxed);
      in->buffered.store(0, std::memory_order_release);
      in->consumer_pointer = in->ring_start;
      in->fill_pointer = in->ring_start;
    }
    UpdateTargetFill(in, in->file_position);
  }
  LockRelease(in);
  return done;
}

void Close(InputRecord* in) {
  LockWait(in);
  if (!in->borrowed_handle && !in->stream && in->file != platform::kNoFile)
    platform::FileClose(in->file);
  in->file = platform::kNoFile;
  LockRelease(in);
}

void InstallOperations(InputRecord* in) {
  in->read_at = ReadAt;
  in->read = RingRead;
  in->buffer_size = RingBufferSize;
  in->set_buffer = RingSetBuffer;
  in->service = RingService;
  in->close = Close;
  in->suspend = RingSuspend;
}

}  // namespace

int OpenFileInput(InputRecord* in, const char* name, platform::FileHandle file, uint32_t open_flags,
                  void*, ErrorText*) {
  in->Clear();
  constexpr uint32_t kOpenFileHandle = 0x800000;
  if (open_flags & kOpenFileHandle) {
    if (file == platform::kNoFile) return 0;
    int64_t position = platform::FileTell(file);
    if (position < 0) return 0;
    in->file = file;
    in->borrowed_handle = 1;
    in->base_offset = position;
  } else {
    in->file = platform::FileOpenRead(name);
    if (in->file == platform::kNoFile) return 0;
  }
  InstallOperations(in);
  return 1;
}

int OpenStreamInput(InputRecord* in, const InputStream* stream) {
  in->Clear();
  if (!stream || !stream->read || !stream->seek) return 0;
  in->stream = stream;
  InstallOperations(in);
  return 1;
}

}  // namespace vexil
