// The decode threads: up to eight process-wide threads, each fed jobs through
// a 256-byte command ring and answering through a reply ring. A job word is a
// movie handle address with the result slot in bit 0 and the decode parts in
// bits 1..2; 0 asks the thread to end. A reply is the job word without its
// parts, then the 32-bit result.
//
// Each ring has one writer and one reader thread; its positions are atomic and
// the semaphore release after the copy publishes the bytes to the reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <semaphore>

namespace vexil {

struct MovieHandle;

constexpr int kMaxDecodeThreads = 8;

// Job slot states in the movie handle (low bits: the thread index).
constexpr uint32_t JOB_REPLY_PENDING = 0x100;
constexpr uint32_t JOB_ISSUED = 0x200;

struct DecodeRing {
  // Counts written messages. With at most one job per thread outstanding it
  // never passes the number of threads.
  std::counting_semaphore<256> ready{0};
  std::atomic<uint32_t> read_position{0};
  std::atomic<uint32_t> write_position{0};
  uint8_t bytes[256] = {};
};

// Copies n bytes in; 0 (nothing written) unless at least n + 4 positions are free.
int RingWrite(DecodeRing* ring, const void* bytes, uint32_t n);
// Waits for the semaphore (wait_us < 0: forever; else (wait_us + 999) / 1000
// milliseconds) and copies up to n bytes out; returns the bytes read.
uint32_t RingRead(int64_t wait_us, DecodeRing* ring, void* out, uint32_t n);

// Starts decode thread `index`; returns 1 on success.
int CreateDecodeThread(int index);
// Start-up: thread 0, and thread 1 when there is more than one processor
// (or as many as `count` asks, at most 2). Returns the number running.
int StartDecodeThreads(int count);
// Sends every running thread the ending job and joins it.
void StopDecodeThreads();
// Bit i set once thread i was started.
uint32_t DecodeThreadsRunning();

// Decodes and finishes the current packet on the calling thread, whether or
// not decode threads run (for callers that own no thread). 1 when it
// decoded, 0 when no decode should start.
int DecodeOnCallingThread(MovieHandle* movie);

// Queues the jobs of the current packet; 1 when a job was queued. With no
// decode thread the frame is decoded and finished on the calling thread.
int StartBackgroundDecode(MovieHandle* movie);
// 1 when no job of the movie is outstanding any more (the frame is then
// finished), 0 while a reply is still missing. Installed as the close hook.
int WaitForBackgroundDecode(MovieHandle* movie);

}  // namespace vexil
