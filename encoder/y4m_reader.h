// Reading YUV4MPEG2 streams into 4:2:0 pictures. Accepted colour layouts:
// 4:2:0 (C420jpeg, C420paldv, C420mpeg2, C420, or none given), 4:2:2 and
// 4:4:4, whose colour planes are brought to 4:2:0 with a box filter (the mean
// of each 2x1 or 2x2 group, rounded; a lone last row or column is its own
// mean), and Cmono (luma only). Everything else is refused with a message.
// The input is untrusted: sizes are checked before anything is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/byte_source.h"
#include "encoder/picture.h"

namespace vexil {

enum class Y4mLayout { k420, k422, k444, kMono };

struct Y4mHeader {
  uint32_t width = 0, height = 0;  // 1 .. 32767
  uint32_t rate_num = 0, rate_den = 0;
  Y4mLayout layout = Y4mLayout::k420;
};

class Y4mReader {
 public:
  explicit Y4mReader(ByteSource* source) : source_(source) {}

  // Reads the stream header; false with error() when it is not one we take.
  bool ReadHeader();
  const Y4mHeader& header() const { return header_; }

  // Reads the next frame (colour planes empty for Cmono). False at the end of
  // the stream, with error() empty, or when the stream is damaged or cut
  // short, with error() saying so.
  bool ReadFrame(Picture* picture);
  const std::string& error() const { return error_; }
  uint32_t frames_read() const { return frames_; }

 private:
  // One line of at most `limit` bytes up to its '\n' (not included); false
  // at the end of the input (`*ended` when nothing at all was read).
  bool ReadLine(std::string* line, size_t limit, bool* ended);
  bool Fail(const std::string& message);

  ByteSource* source_;
  Y4mHeader header_;
  std::string error_;
  uint32_t frames_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace vexil
