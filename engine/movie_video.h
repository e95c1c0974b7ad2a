// A movie's video decode state: the decoded planes, the bundle buffers of the
// two decode parts, the changed-block maps and the changed area the copy
// reports, and the job slots of its background decode.
//
// Threads: the player thread starts and finishes the decodes and copies the
// frames. While a decode runs, its parts (on the decode threads) write only
// the destination planes, the map being filled, their own bundle buffers and
// running_changed_percent; the player keeps to the current planes and the
// map of the frame to be copied. The job slots are atomic: a reply read for
// one movie may clear a bit of another's.
#pragma once

#include <atomic>
#include <cstdint>

namespace vexil {

struct FrameBufferRecord;

constexpr int kBundleCount = 9;
// Decode parts that run at once (luma; audio, alpha and chroma): each has its
// own bundle buffers.
constexpr int kDecodeParts = 2;

struct MovieVideo {
  // Frees the planes and the maps. Close, after the movie's last decode finished.
  ~MovieVideo();

  FrameBufferRecord* planes;  // null when opened with OPEN_NO_PLANES
  uint32_t video_on;          // 0: no video is decoded and no map is cleared
  uint32_t bundle_sizes[kBundleCount];
  uint8_t* bundle_buffers[kDecodeParts];  // each holds the nine buffers, 16-byte aligned

  // The changed area: maps of one byte per 16x16 area of the picture as played.
  uint8_t* map_storage[2];
  uint8_t* map_filling;  // map being filled by the decode
  uint8_t* map_copy;     // map of the frame to be copied
  uint32_t map_stride;
  uint32_t map_size;
  uint32_t changed_percent;                       // of the frame to be copied
  std::atomic<uint32_t> running_changed_percent;  // of the frame being decoded
  int32_t changed_rect[4];                        // x, y, width, height
  int32_t changed_rect_count;
  uint32_t last_copy_flags;

  // Background decode: the thread index in the low bits, JOB_* while a job
  // is outstanding, 0 when idle.
  std::atomic<uint32_t> job_slot[2];
};

}  // namespace vexil
