// Writing 16-bit PCM sound as a RIFF WAV file, or to standard output. The
// sizes in the header are known only at the end: a file gets its header
// rewritten then; a stream that cannot go back (a pipe) gets the whole file
// at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/stream_files.h"

namespace vexil::tools {

class WavWriter {
 public:
  // False with error() when the output cannot be made.
  bool Open(const std::string& name, uint32_t rate, uint32_t channels);
  // Interleaved samples in the machine's own byte order.
  bool Append(const void* samples, size_t bytes);
  bool Append(const std::vector<int16_t>& samples) {
    return Append(samples.data(), samples.size() * sizeof(int16_t));
  }
  // Completes the header and closes; false with error().
  bool Finish();
  const std::string& error() const { return error_; }

 private:
  bool WriteHeader(bool rewrite);
  bool Check();

  OutputFile out_;
  bool streaming_ = false;
  std::vector<uint8_t> held_;  // the samples, when the output cannot go back
  uint32_t rate_ = 0, channels_ = 0;
  uint64_t data_bytes_ = 0;
  std::string error_;
};

// A whole WAV file at once.
bool WriteWavFile(const std::string& name, uint32_t rate, uint32_t channels,
                  const std::vector<int16_t>& samples, std::string* error);

}  // namespace vexil::tools
