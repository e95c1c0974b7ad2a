// The movie container: a 44-byte header, three per-track tables, the frame
// index, then the frame packets (each: an audio part per track, then video).
// All numbers are little-endian 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vexil {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kMaxTracks = 256;
constexpr uint32_t kMaxIndexEntries = 1000000;
constexpr uint32_t kMaxDimension = 32767;

// Header flag bits.
constexpr uint32_t HEADER_GRAYSCALE = 0x20000;
constexpr uint32_t HEADER_ALPHA = 0x100000;
constexpr uint32_t HEADER_DISPLAY_OPTION_MASK = 0x70000000;
constexpr int HEADER_DISPLAY_OPTION_SHIFT = 28;

// Track format word bits.
constexpr uint32_t TRACK_RATE_MASK = 0xFFFF;
constexpr uint32_t TRACK_DCT = 0x10000000;
constexpr uint32_t TRACK_STEREO = 0x20000000;
constexpr uint32_t TRACK_16BIT = 0x40000000;
constexpr uint32_t TRACK_RDFT = 0x80000000;

// Frame index entries: bit 0 marks a key frame, the rest is the packet offset.
constexpr uint32_t INDEX_KEY = 1;
constexpr uint32_t IndexOffset(uint32_t entry) { return entry & ~INDEX_KEY; }

inline uint32_t ReadLE32(const void* p) {
  const auto* b = static_cast<const uint8_t*>(p);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}
inline void WriteLE32(void* p, uint32_t v) {
  auto* b = static_cast<uint8_t*>(p);
  b[0] = static_cast<uint8_t>(v);
  b[1] = static_cast<uint8_t>(v >> 8);
  b[2] = static_cast<uint8_t>(v >> 16);
  b[3] = static_cast<uint8_t>(v >> 24);
}

struct ContainerHeader {
  char revision;  // 'f', 'g', 'h' or 'i'; 0 when the magic is not ours
  uint32_t file_size;  // movie size minus 8
  uint32_t frame_count;
  uint32_t largest_frame;
  uint32_t index_entries;  // entries in the index minus one
  uint32_t width;
  uint32_t height;
  uint32_t rate_num;
  uint32_t rate_den;
  uint32_t header_flags;
  uint32_t track_count;
};

// Decodes the 44 header bytes (no checks beyond the magic).
ContainerHeader ParseHeader(const uint8_t bytes[kHeaderBytes]);

// Checks a header in the fixed order; null when it is acceptable, else the
// message for the last-error text. `read_ok` is false when the header bytes
// could not be read.
const char* ValidateHeader(const ContainerHeader& header, bool read_ok);

// Offset of the first packet: after the header, the three track tables and
// the index.
inline uint64_t FirstPacketOffset(const ContainerHeader& h) {
  return uint64_t{kHeaderBytes} + 12ull * h.track_count + 4ull * (uint64_t{h.index_entries} + 1);
}

// Bytes the header, tables and index occupy (the same as the first packet's offset).
inline uint64_t TablesEnd(const ContainerHeader& h) { return FirstPacketOffset(h); }

// What the frame-index scan learns.
struct IndexFigures {
  uint32_t peak_rate;       // bytes of the busiest second (at most 0xFFFFFFFF)
  uint32_t peak_frame;      // 0-based first frame of that second
  uint32_t all_key;         // 1 when every frame is a key frame
  uint32_t largest_packet;  // bytes of the largest packet the index holds
  uint32_t packets_end;     // movie offset just past the last packet
};

// Scans the first frame_count + 1 entries of `index` (host-order words).
// Besides the strict increase of the entries, it refuses an index whose first
// packet starts before the end of the tables, whose end lies past `movie_size`,
// or whose packets exceed the header's largest frame: any of these would make
// later reads leave their buffers. Returns false for "bad frame size data".
bool ScanFrameIndex(const uint32_t* index, const ContainerHeader& header, uint64_t movie_size,
                    IndexFigures* figures);

// Frames per second rounded to whole frames, at least 1: the peak window, and
// the statistics history length of a movie of at least that many frames.
uint32_t WholeFramesPerSecond(uint32_t rate_num, uint32_t rate_den);

}  // namespace vexil
