#include "engine/container.h"

#include <algorithm>

#include "engine/last_error.h"

namespace vexil {

ContainerHeader ParseHeader(const uint8_t bytes[kHeaderBytes]) {
  ContainerHeader h{};
  if (bytes[0] == 'V' && bytes[1] == 'X' && bytes[2] == 'L' && bytes[3] >= 'f' && bytes[3] <= 'i')
    h.revision = static_cast<char>(bytes[3]);
  h.file_size = ReadLE32(bytes + 4);
  h.frame_count = ReadLE32(bytes + 8);
  h.largest_frame = ReadLE32(bytes + 12);
  h.index_entries = ReadLE32(bytes + 16);
  h.width = ReadLE32(bytes + 20);
  h.height = ReadLE32(bytes + 24);
  h.rate_num = ReadLE32(bytes + 28);
  h.rate_den = ReadLE32(bytes + 32);
  h.header_flags = ReadLE32(bytes + 36);
  h.track_count = ReadLE32(bytes + 40);
  return h;
}

const char* ValidateHeader(const ContainerHeader& h, bool read_ok) {
  if (!read_ok || h.revision == 0) return kErrNotVexil;
  if (h.frame_count == 0) return kErrNoFrames;
  // The size test is computed in 32 bits, as stored files were checked.
  uint32_t table_words = (h.track_count + 1) * h.index_entries * 4;
  if (h.index_entries < h.frame_count || h.index_entries > kMaxIndexEntries ||
      h.largest_frame > h.file_size || h.track_count > kMaxTracks || h.file_size < table_words ||
      h.width > kMaxDimension || h.height > kMaxDimension || h.rate_num == 0 || h.rate_den == 0)
    return kErrCorruptHeader;
  return nullptr;
}

uint32_t WholeFramesPerSecond(uint32_t rate_num, uint32_t rate_den) {
  if (rate_den == 0) return 1;
  uint32_t w = static_cast<uint32_t>((uint64_t{rate_num} + rate_den / 2) / rate_den);
  return w ? w : 1;
}

bool ScanFrameIndex(const uint32_t* index, const ContainerHeader& h, uint64_t movie_size,
                    IndexFigures* figures) {
  const uint32_t frames = h.frame_count;
  uint32_t largest = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    if (index[i] >= index[i + 1]) return false;
    const uint32_t bytes = IndexOffset(index[i + 1]) - IndexOffset(index[i]);
    if (bytes > h.largest_frame) return false;
    largest = std::max(largest, bytes);
  }
  if (IndexOffset(index[0]) < FirstPacketOffset(h)) return false;
  if (IndexOffset(index[frames]) > movie_size) return false;

  const uint32_t window = WholeFramesPerSecond(h.rate_num, h.rate_den);
  uint32_t peak = 0, peak_frame = 0;
  if (frames > window) {
    for (uint32_t j = 0; j + window + 1 <= frames; ++j) {
      uint32_t bytes = index[j + window] - index[j];
      if (bytes > peak) {
        peak = bytes;
        peak_frame = j;
      }
    }
  }
  if (frames <= window || peak == 0) {
    // A movie shorter than a second at a rate of billions of frames per
    // second would make more than 32 bits of this: it saturates.
    const uint64_t average = uint64_t{index[frames] - index[0]} * window / frames;
    peak = static_cast<uint32_t>(std::min<uint64_t>(average, UINT32_MAX));
    peak_frame = 0;
  }
  uint32_t all_key = 1;
  for (uint32_t i = 0; i < frames; ++i) {
    if (!(index[i] & INDEX_KEY)) {
      all_key = 0;
      break;
    }
  }
  figures->peak_rate = peak;
  figures->peak_frame = peak_frame;
  figures->all_key = all_key;
  figures->largest_packet = largest;
  figures->packets_end = IndexOffset(index[frames]);
  return true;
}

}  // namespace vexil
