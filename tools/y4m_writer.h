// Writing decoded planes as YUV4MPEG2: 4:2:0 pictures (luma, Cb, Cr) or
// single-plane monochrome (the alpha plane).
#pragma once

#include <cstdint>
#include <cstdio>

namespace vexil {

struct MovieHandle;

namespace tools {

class Y4mWriter {
 public:
  enum class Kind { kPicture, kAlpha };
  Y4mWriter() = default;
  ~Y4mWriter() { Close(); }
  Y4mWriter(const Y4mWriter&) = delete;
  Y4mWriter& operator=(const Y4mWriter&) = delete;

  // Opens the file and writes the stream header from the movie's file size and
  // file rate. False when the file cannot be created.
  bool Open(const char* path, const MovieHandle* movie, Kind kind);
  // Writes the visible area of the movie's current plane set as one frame.
  bool WriteFrame(const MovieHandle* movie);
  // Flushes and closes; false when anything failed to write.
  bool Close();

 private:
  bool WritePlane(const uint8_t* samples, uint32_t pitch, uint32_t width, uint32_t height);
  bool WriteGray(uint32_t bytes);
  FILE* file_ = nullptr;
  Kind kind_ = Kind::kPicture;
  bool ok_ = true;
};

}  // namespace tools
}  // namespace vexil
