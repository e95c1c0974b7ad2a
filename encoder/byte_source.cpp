#include "encoder/byte_source.h"

#include <algorithm>
#include <cstring>

namespace vexil {

FileSource::~FileSource() {
  if (file_ && owned_) std::fclose(file_);
}

bool FileSource::Open(const std::string& path) {
  if (path == "-") {
    file_ = stdin;
    owned_ = false;
    return true;
  }
  file_ = std::fopen(path.c_str(), "rb");
  owned_ = true;
  return file_ != nullptr;
}

size_t FileSource::Read(uint8_t* out, size_t n) {
  return file_ ? std::fread(out, 1, n, file_) : 0;
}

size_t MemorySource::Read(uint8_t* out, size_t n) {
  const size_t count = std::min(n, size_ - position_);
  if (count) std::memcpy(out, data_ + position_, count);
  position_ += count;
  return count;
}

}  // namespace vexil
