// The files the tool reads and writes, where "-" stands for standard input or
// standard output (switched to binary on systems that translate line ends).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vexil::tools {

// An output file. A named file that is not finished (or whose finishing
// fails) is removed when the object goes, so a failed command leaves no
// partial file behind. Writes of nothing touch no library call.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file (or takes standard output for "-"); false with error().
  bool Open(const std::string& name);
  bool Write(const void* data, size_t bytes);
  bool Print(const std::string& text) { return Write(text.data(), text.size()); }
  // Whether the output can go back to fill in a header (a regular file).
  bool CanRewrite();
  // Writes at `offset`, then carries on at the end; for headers whose sizes are known last.
  bool Rewrite(uint64_t offset, const void* data, size_t bytes);
  // For writers that take a stream: the stream, and whether what they wrote went through.
  FILE* stream() const { return file_; }
  bool Wrote(bool ok);
  // Flushes and closes, keeping the file; false with error() when anything failed.
  bool Finish();

  bool is_open() const { return file_ != nullptr; }
  bool ok() const { return error_.empty(); }
  // "cannot write: <reason>"; "" when all went well.
  const std::string& error() const { return error_; }
  const std::string& name() const { return name_; }

 private:
  void Fail(const char* what);
  void Discard();

  FILE* file_ = nullptr;
  std::string name_;
  std::string error_;
  bool standard_ = false;
};

// Reads a whole file, or standard input for "-"; false with *error.
bool ReadWholeInput(const std::string& name, std::vector<uint8_t>* bytes, std::string* error);

// Standard input read as bytes, not text.
void UseBinaryStandardInput();

}  // namespace vexil::tools
