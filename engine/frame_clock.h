// The frame clock: when the next frame is due, late frames, stepping to the
// next packet, pause, and the per-frame bookkeeping for the statistics.
//
// Player thread, except FrameDone, which the decode driver's finish calls.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieHandle;

// 1 when the next frame is not yet due (the caller should idle; the idle time
// reads ahead), 0 when it is due or there is nothing to wait for.
int Wait(MovieHandle* movie);

// Finishes the current frame (late-frame decision, sound-skip recovery) and
// fetches the next packet, wrapping to frame 1 after the last. Nothing while a
// background decode of the movie is outstanding.
void Advance(MovieHandle* movie);

// Whether the current frame is late enough for its copy to be dropped.
// `uncounted` asks only whether it is late (the frame is copied anyway).
int SkipDecision(MovieHandle* movie, int uncounted);

// Pauses (1) or resumes (0); returns the paused state.
int Pause(MovieHandle* movie, int paused);

// Fetches packet n (1-based; 0 is taken as 1) into frame_data.
void FetchFrame(MovieHandle* movie, uint32_t n);

// Bookkeeping when a decode finishes at `time` (engine timer).
void FrameDone(MovieHandle* movie, uint32_t time);

// The clock's part of starting a decode: false when no decode should start
// (the frame is decoded already, or the movie stopped on an input error).
bool ClockDecodeStart(MovieHandle* movie);

// Adds the copy time of the current frame to blit_time, once.
void AccountCopyTime(MovieHandle* movie);

// Sets the clock origin if it is unset.
void StartClock(MovieHandle* movie);

// Milliseconds of movie time from base_frame to frames_shown, scaled by the
// first track's timing scale.
uint32_t ClockElapsed(const MovieHandle* movie);

}  // namespace vexil
