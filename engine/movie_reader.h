// How a movie's packets are read: the input record with its read-ahead lock,
// the memory the packets are read into (or the whole movie, preloaded), and
// the packet fetched last.
//
// Threads and locks: the player thread fetches packets; the current-packet
// fields are its own, and the decode threads read them while a decode of the
// packet runs. The read service works on `input` under `read_lock` (see
// engine/input.h for which input fields need the lock). `current_frame` is
// also written under the movie's sound mutex: the sound service reads it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/input.h"
#include "platform/files.h"

namespace vexil {

struct ServiceNode;

struct MovieReader {
  // Closes the input (under the read-ahead lock, which is still there) and
  // frees the buffers. Close, after the movie left the read service.
  ~MovieReader();

  OwnedInput input;  // never null once the open built the handle
  // The read-ahead lock: the input's lock operations take it, the read
  // service node borrows it.
  std::recursive_timed_mutex read_lock;
  ServiceNode* read_node;  // null: not on the read service
  uint8_t* read_buffer;    // packet buffer + ring memory when streaming
  // The read-ahead size asked of the input; after the open, the size granted.
  uint32_t read_buffer_request;
  uint8_t* preload_block;     // what preloading allocated (null for memory sources)
  uint8_t* preload_data;      // the first packet, when the whole movie is in memory
  const uint8_t* data_limit;  // end of the memory holding packets: no decoder loads past it
  platform::FileHandle borrowed_file;  // the caller's file, with OPEN_FILE_HANDLE

  // The current packet.
  uint8_t* frame_data;
  uint32_t frame_bytes;
  uint32_t frame_offset;
  uint32_t frame_is_key;
  int32_t current_frame;  // 1-based frame whose packet was fetched last (-1 before the first)
  int32_t previous_frame;
  std::atomic<uint32_t> stopped;  // the input failed: no further frames are decoded
};

}  // namespace vexil
