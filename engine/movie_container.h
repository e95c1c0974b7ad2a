// What the open read of a movie: the header's figures, the three track tables
// and the frame index, and what the open learnt from the index.
//
// Written by Open only and never changed afterwards: any thread may read it
// without a lock for as long as the movie is open.
#pragma once

#include <cstdint>

namespace vexil {

struct MovieContainer {
  char revision;       // the header's revision letter: 'f', 'g', 'h' or 'i'
  uint32_t file_size;  // header field: movie size minus 8
  uint32_t frame_count;
  uint32_t largest_frame;  // bytes of the largest packet
  uint32_t index_entries;  // entries in the index minus one
  uint32_t file_width;     // the header's picture size (the decoder's units)
  uint32_t file_height;
  uint32_t file_rate_num;  // the file's own frame rate
  uint32_t file_rate_den;
  uint32_t header_flags;
  uint32_t track_count;
  uint32_t first_packet_offset;
  uint32_t* frame_index;  // frame_count + 1 words, host order: the frames' entries and the end of
                          // the last
  uint32_t* track_max_sizes;  // per file track: its largest decoded packet
  uint32_t* track_formats;    // per file track: its format word (TRACK_*)
  uint32_t* track_ids;
  uint32_t peak_rate;       // bytes of the busiest second (at most 0xFFFFFFFF)
  uint32_t peak_frame;      // 0-based first frame of that second
  uint32_t all_key;         // 1 when every frame is a key frame
  uint32_t largest_packet;  // bytes of the largest packet the index holds
  uint32_t packets_end;     // movie offset just past the last packet
};

}  // namespace vexil
