// What the caller tells one open besides its flags: the per-open choices.
// Each choice is used only when its open flag asks for it, and only by the
// open it is handed to; a caller that wants the same choices for the next
// movie hands them over again.
#pragma once

#include <cstdint>

#include "engine/input.h"

namespace vexil {

// Sound track ids one open can be asked to play.
constexpr int kMaxTrackList = 8;

struct OpenOptions {
  // With OPEN_RATE_OVERRIDE, the rate to play at instead of the file's (0/0:
  // as fast as possible). -1 in either part: none.
  int32_t rate_num = -1;
  int32_t rate_den = -1;
  // With OPEN_READ_BUFFER, the read-ahead size in bytes; -1: none (the peak
  // one-second size).
  int32_t read_buffer_size = -1;
  // With OPEN_SIMULATE_SPEED, the read speed in bytes per second; -1 or 0: none.
  int32_t read_speed = -1;
  // With OPEN_CUSTOM_INPUT, the input open operation (null: the built-in file
  // input) and what it is given as its context.
  InputOpenOperation input_open = nullptr;
  void* input_context = nullptr;
  // With OPEN_TRACK_LIST, the ids of the sound tracks to play, in order (at
  // most kMaxTrackList are used); without it, the track with id 0.
  int track_count = 1;
  uint32_t track_ids[kMaxTrackList] = {};
};

}  // namespace vexil
