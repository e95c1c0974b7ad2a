// Writing pictures and sound as files: YUV4MPEG2 in the same form `vexil
// decode` writes (so the two can be compared byte for byte) and 16-bit PCM WAV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "encoder/picture.h"

namespace vexil::tools {

class PictureFile {
 public:
  enum class Kind { kPicture, kAlpha };
  PictureFile() = default;
  ~PictureFile() { Close(); }
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  // "C420jpeg" pictures (a picture without colour planes is written with
  // 128 in them) or "Cmono" alpha planes. False when the file cannot be made.
  bool Open(const std::string& path, uint32_t width, uint32_t height, uint32_t rate_num,
            uint32_t rate_den, Kind kind);
  bool Write(const Picture& picture);
  bool Close();  // false when anything failed to write

 private:
  bool Put(const std::vector<uint8_t>& bytes, size_t count, uint8_t fill);
  FILE* file_ = nullptr;
  Kind kind_ = Kind::kPicture;
  bool ok_ = true;
};

// A 16-bit PCM WAV file of interleaved samples.
bool WriteWavFile(const std::string& path, uint32_t rate, uint32_t channels,
                  const std::vector<int16_t>& samples);

}  // namespace vexil::tools
