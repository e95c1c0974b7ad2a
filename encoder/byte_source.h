// Where the encoder's inputs come from: a file, standard input or a block of
// memory (tests, fuzzing). The readers trust nothing they get from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vexil {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes; fewer only at the end of the input or on an error.
  virtual size_t Read(uint8_t* out, size_t n) = 0;
};

class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  // "-" is standard input. False when the file cannot be opened.
  bool Open(const std::string& path);
  size_t Read(uint8_t* out, size_t n) override;

 private:
  FILE* file_ = nullptr;
  bool owned_ = false;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(uint8_t* out, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace vexil
