// Writing pictures as YUV4MPEG2: 4:2:0 pictures (luma, Cb, Cr; a picture
// without colour planes gets 128 in them) or single-plane monochrome (the
// alpha plane). The decoder's planes and the encoder's pictures go through
// the same writer, so `vexil decode` and `vexil encode --recon` can be
// compared byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include <vexil/vexil.h>

#include "encoder/picture.h"
#include "tools/stream_files.h"

namespace vexil::tools {

class Y4mWriter {
 public:
  enum class Kind { kPicture, kAlpha };

  // Creates the output ("-": standard output) and writes the stream header.
  // False with error() when it cannot.
  bool Open(const std::string& name, uint32_t width, uint32_t height, uint32_t rate_num,
            uint32_t rate_den, Kind kind);
  // One frame: an encoder picture (planes packed at its size).
  bool Write(const Picture& picture);
  // One frame: the visible area of a decoded picture (no colour planes: 128;
  // no alpha plane: 128).
  bool WriteFrame(const vexil_picture& picture);
  // Flushes and closes; false with error() when anything failed to write.
  bool Finish();

  bool is_open() const { return out_.is_open(); }
  const std::string& error() const { return out_.error(); }

 private:
  bool Plane(const uint8_t* samples, size_t pitch, uint32_t width, uint32_t height);
  bool Packed(const std::vector<uint8_t>& plane, uint32_t width, uint32_t height, uint8_t fill);
  bool Fill(uint64_t bytes, uint8_t value);

  OutputFile out_;
  uint32_t width_ = 0, height_ = 0;
  Kind kind_ = Kind::kPicture;
};

}  // namespace vexil::tools
