// The movie handle: one record per open movie, built by Open with all its
// arrays in one allocation and freed by Close. Every subsystem reads its
// fields by these names.
//
// Threads: the handle belongs to the player thread. The decode threads write
// the decode-part fields (frame planes, maps, running percentage, time
// totals, sound rings); the read service and the sound service reach it
// through their nodes and lock it with `read_lock` and `sound_mutex`. Fields
// that several threads touch without a lock are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/input.h"
#include "platform/files.h"

namespace vexil {

struct FrameBufferRecord;
struct SoundTrack;
struct ServiceNode;

// Open flags (the caller's; the open merges the header's bits in).
constexpr uint32_t OPEN_FRAME_NO_SWITCH = 0x00000100;  // frame decode: keep the current buffer
constexpr uint32_t OPEN_FRAME_NO_LUMA = 0x00000200;    // frame decode: skip the luma plane
constexpr uint32_t OPEN_NO_PLANES = 0x00000400;
constexpr uint32_t OPEN_RATE_OVERRIDE = 0x00001000;
constexpr uint32_t OPEN_PRELOAD = 0x00002000;
constexpr uint32_t OPEN_TRACK_LIST = 0x00004000;
constexpr uint32_t OPEN_OLD_REVISION = 0x00008000;  // revisions f, g, h
constexpr uint32_t OPEN_SWAP_CHROMA = 0x00010000;   // revisions f, g
constexpr uint32_t OPEN_GRAYSCALE = 0x00020000;
constexpr uint32_t OPEN_NEVER_SKIP = 0x00080000;
constexpr uint32_t OPEN_ALPHA = 0x00100000;
constexpr uint32_t OPEN_NO_FILL = 0x00200000;
constexpr uint32_t OPEN_SIMULATE_SPEED = 0x00400000;
constexpr uint32_t OPEN_FILE_HANDLE = 0x00800000;
constexpr uint32_t OPEN_READ_BUFFER = 0x01000000;
constexpr uint32_t OPEN_CUSTOM_INPUT = 0x02000000;
constexpr uint32_t OPEN_MEMORY = 0x04000000;
constexpr uint32_t OPEN_NO_THREAD_READ = 0x08000000;
constexpr uint32_t OPEN_DISPLAY_OPTION_MASK = 0x70000000;
constexpr int OPEN_DISPLAY_OPTION_SHIFT = 28;
constexpr uint32_t OpenDisplayOption(uint32_t flags) {
  return (flags & OPEN_DISPLAY_OPTION_MASK) >> OPEN_DISPLAY_OPTION_SHIFT;
}

// Display options (bits 28 to 30).
constexpr uint32_t DISPLAY_HEIGHT_DOUBLED = 1;
constexpr uint32_t DISPLAY_HEIGHT_INTERLACED = 2;
constexpr uint32_t DISPLAY_WIDTH_DOUBLED = 3;
constexpr uint32_t DISPLAY_BOTH_DOUBLED = 4;
constexpr uint32_t DISPLAY_BOTH_INTERLACED = 5;
constexpr uint32_t DISPLAY_HEIGHT_INTERLACED_NORMAL = 6;
constexpr uint32_t DISPLAY_NONE = 7;

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

constexpr int kBundleCount = 9;
// Decode parts that run at once (luma; audio, alpha and chroma): each has its
// own bundle buffers.
constexpr int kDecodeParts = 2;

// "Unset"/"after a decode" marker of first_copy_time.
constexpr uint32_t kCopyTimeAfterDecode = 0xFFFFFFFFu;

struct MovieHandle {
  uint32_t width;   // as played: the file's, doubled by the display option
  uint32_t height;
  uint32_t frame_count;
  int32_t current_frame;  // 1-based frame whose packet was fetched last (-1 before the first)
  int32_t previous_frame;
  uint32_t rate_num;  // rate in effect
  uint32_t rate_den;
  std::atomic<uint32_t> stopped;  // the input failed: no further frames are decoded
  uint32_t open_flags;
  uint32_t header_flags;
  uint32_t file_size;  // header field: movie size minus 8

  // --- changed-area group (frame decode, copy) ---
  uint32_t changed_percent;  // of the frame to be copied
  std::atomic<uint32_t> running_changed_percent;  // of the frame being decoded
  int32_t changed_rect[4];  // x, y, width, height
  int32_t changed_rect_count;
  uint8_t* map_storage[2];
  uint8_t* map_filling;  // map being filled by the decode
  uint8_t* map_copy;     // map of the frame to be copied
  uint32_t map_stride;
  uint32_t map_size;

  FrameBufferRecord* planes;  // null when opened with OPEN_NO_PLANES
  uint32_t largest_frame;
  uint32_t index_entries;
  uint32_t track_count;
  uint32_t peak_rate;
  uint32_t peak_frame;  // 0-based
  uint32_t paused;

  // --- decode-worker group ---
  std::atomic<uint32_t> job_slot[2];

  std::atomic<uint32_t> sound_on;
  uint8_t* frame_data;  // current packet
  const uint8_t* data_limit;  // end of the memory holding packets: no decoder loads past it
  uint32_t frame_bytes;
  uint32_t frame_offset;
  uint32_t frame_is_key;
  uint32_t skip_next;
  uint32_t play_tracks;
  SoundTrack* track_states;
  uint32_t* track_map;  // for each played track, its index in the file's tables

  // --- decoder group ---
  uint32_t video_on;
  uint32_t bundle_sizes[kBundleCount];
  uint8_t* bundle_buffers[kDecodeParts];  // each holds the nine buffers, 16-byte aligned

  uint8_t* preload_data;  // first packet, when the whole movie is in memory
  uint32_t* frame_index;  // frame_count + 1 words: the frames' entries and the end of the last

  InputRecord input;
  // The read-ahead lock (the lock operations of `input` use it) and the sound
  // mutex. The service nodes borrow them.
  std::recursive_timed_mutex read_lock;
  std::recursive_timed_mutex sound_mutex;
  ServiceNode* read_node;
  ServiceNode* sound_node;

  uint8_t* read_buffer;  // packet buffer + ring memory when streaming
  uint32_t read_buffer_request;
  uint8_t* preload_block;  // what preloading allocated (null for memory sources)
  platform::FileHandle borrowed_file;

  uint32_t file_width;
  uint32_t file_height;
  uint32_t* track_max_sizes;
  uint32_t* track_formats;
  uint32_t* track_ids;
  uint32_t first_packet_offset;
  char revision;  // the header's revision letter

  // --- frame clock group ---
  std::atomic<uint32_t> frames_shown;
  uint32_t play_start;
  uint32_t first_copy_time;
  uint32_t base_time;  // 0 = unset
  int32_t base_frame;
  uint32_t late_limit;

  // --- slowest-frame group ---
  uint32_t slowest_time;
  uint32_t slowest_frame;
  uint32_t second_time;
  uint32_t second_frame;

  uint64_t total_memory;
  std::atomic<uint32_t> video_time;
  std::atomic<uint32_t> audio_time;
  std::atomic<uint32_t> blit_time;
  uint32_t open_time;
  uint32_t file_rate_num;
  uint32_t file_rate_den;
  uint32_t history_len;
  uint32_t history_pos;
  uint32_t* history[HISTORY_RING_COUNT];
  uint32_t last_copy_flags;
  uint32_t decoded_frame;
  uint32_t last_done_time;
  uint32_t loop_time;
  uint32_t resync;
  uint32_t sound_skips;
  uint32_t skip_state;  // 0 undecided, 1 shown, 2 copy dropped
  uint32_t very_late;
  uint32_t skipped_blits;
  uint32_t skip_run;
  uint32_t pause_offset;
  uint32_t all_key;
};

// Where a movie comes from.
struct MovieSource {
  const char* name = nullptr;                   // a file name
  platform::FileHandle file = platform::kNoFile;  // with OPEN_FILE_HANDLE
  const void* data = nullptr;                   // with OPEN_MEMORY
  size_t size = 0;                              // bytes at `data`

  static MovieSource Name(const char* name) { return MovieSource{name}; }
  static MovieSource Handle(platform::FileHandle file) {
    MovieSource s;
    s.file = file;
    return s;
  }
  static MovieSource Memory(const void* data, size_t size) {
    MovieSource s;
    s.data = data;
    s.size = size;
    return s;
  }
};

// Opens a movie; null on failure with the message in LastError().
MovieHandle* Open(const MovieSource& source, uint32_t open_flags);
// Closes a movie; null is ignored.
void Close(MovieHandle* movie);

// --- per-open settings: consumed by the next Open ---
// Rate override (-1, -1 = none); used with OPEN_RATE_OVERRIDE.
void SetRateOverride(int32_t numerator, int32_t denominator);
// Read-ahead size in bytes (-1 = none); used with OPEN_READ_BUFFER.
void SetReadBufferSize(int32_t bytes);
// Simulated read speed in bytes per second (-1 = none); used with OPEN_SIMULATE_SPEED.
void SetSimulatedReadSpeed(int32_t bytes_per_second);
// Input open operation used with OPEN_CUSTOM_INPUT (reset by every open).
void SetInputOpen(InputOpenOperation operation);
// Called by every Close before anything is freed (the decode driver waits
// there for background decoding of the movie). Not reset by opens.
using CloseHook = int (*)(MovieHandle* movie);
void SetCloseHook(CloseHook hook);
CloseHook GetCloseHook();

}  // namespace vexil
