// Decoding a movie's frames in the background: the jobs of the current packet
// go to the engine's decode threads (luma on one, audio, alpha and chroma on
// the other when there are two), and the player collects the replies before
// it copies the frame. Without decode threads the frame is decoded and
// finished at once on the calling thread.
//
// Player thread (the movie's owner), except RunFrameDecodeJob, which the
// decode threads run.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// Job slot states in the movie handle (low bits: the thread index).
constexpr uint32_t JOB_REPLY_PENDING = 0x100;
constexpr uint32_t JOB_ISSUED = 0x200;

// The engine's decode job: the frame decode part `parts` of the movie at
// `target`. Returns 1.
uint32_t RunFrameDecodeJob(void* target, uint32_t parts);

// Decodes and finishes the current packet on the calling thread, whether or
// not the engine's decode threads run (for callers that own no thread). 1
// when it decoded, 0 when no decode should start.
int DecodeOnCallingThread(MovieHandle* movie);

// Queues the jobs of the current packet; 1 when a job was queued (or, with no
// decode thread, the frame was decoded here). 0 while a job of the movie is
// outstanding or when no decode should start.
int StartBackgroundDecode(MovieHandle* movie);

// 1 when no job of the movie is outstanding any more (the frame is then
// finished), 0 while a reply is still missing. Waits for the first reply of
// each pending slot's thread, then takes only what is there.
int WaitForBackgroundDecode(MovieHandle* movie);

// Decodes and finishes the current packet for a caller that waits for the
// frame anyway (the library's decode calls). With a second decode thread
// running, that thread decodes audio, alpha and chroma while the caller
// decodes the luma itself: one thread to wake per frame instead of three
// (both decode threads and the caller, each a scheduling delay), and the
// caller sleeps only while the other part still runs. Otherwise as
// StartBackgroundDecode followed by FinishBackgroundDecode. 1 when it decoded,
// 0 while a job of the movie is outstanding or when no decode should start.
int DecodeBesideThreads(MovieHandle* movie);

// Blocks until every outstanding job of the movie has answered, then finishes
// the frame (nothing when none is outstanding). Close runs it before anything
// of the movie is freed.
void FinishBackgroundDecode(MovieHandle* movie);

}  // namespace vexil
