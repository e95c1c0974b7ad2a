// A movie's frame clock and statistics: the rate in effect, when the next
// frame is due, late frames and pauses, the per-frame times and counts, and
// the one-second history rings the statistics line reads.
//
// Threads: the player thread's, except the time totals, which the decode
// parts add to (atomic), and frames_shown, which the sound service reads
// (atomic).
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

// The seven one-second statistics rings, each the running total at that frame.
enum HistoryRing {
  HISTORY_DONE_TIME,
  HISTORY_AUDIO_TIME,
  HISTORY_VIDEO_TIME,
  HISTORY_BLIT_TIME,
  HISTORY_READ_TIME,
  HISTORY_IDLE_READ_TIME,
  HISTORY_BACKGROUND_READ_TIME,
  HISTORY_RING_COUNT
};

// "Unset"/"after a decode" marker of first_copy_time.
constexpr uint32_t kCopyTimeAfterDecode = 0xFFFFFFFFu;

struct MovieClock {
  uint32_t rate_num;  // rate in effect
  uint32_t rate_den;
  uint32_t paused;
  std::atomic<uint32_t> frames_shown;
  uint32_t play_start;
  uint32_t first_copy_time;
  uint32_t base_time;  // 0 = unset
  int32_t base_frame;
  uint32_t late_limit;
  uint32_t decoded_frame;  // frame of the last completed decode
  uint32_t last_done_time;
  uint32_t loop_time;
  uint32_t resync;
  uint32_t skip_next;   // set by the skip decision, cleared by the copy
  uint32_t skip_state;  // 0 undecided, 1 shown, 2 copy dropped
  uint32_t very_late;
  uint32_t skip_run;
  uint32_t pause_offset;

  // Statistics.
  uint32_t sound_skips;
  uint32_t skipped_blits;
  uint32_t slowest_time;
  uint32_t slowest_frame;
  uint32_t second_time;
  uint32_t second_frame;
  std::atomic<uint32_t> video_time;
  std::atomic<uint32_t> audio_time;
  std::atomic<uint32_t> blit_time;
  uint32_t open_time;
  uint32_t history_len;
  uint32_t history_pos;
  uint32_t* history[HISTORY_RING_COUNT];
};

}  // namespace vexil
