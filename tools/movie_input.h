// A movie the tool reads through the public library: a file by name, or
// standard input ("-"), read whole and handed to the library as a stream of
// that length. Knows whether the file is shorter than its header says and
// which frames it still holds whole, so that a cut movie is never reported
// as read to the end.
#pragma once

#include <vexil/vexil.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vexil::tools {

class MovieInput {
 public:
  MovieInput() = default;
  ~MovieInput();
  MovieInput(const MovieInput&) = delete;
  MovieInput& operator=(const MovieInput&) = delete;

  // Opens the movie. False after printing why ("vexil: NAME: <the library's text>").
  bool Open(const std::string& name, const vexil_open_options& options);

  vexil_movie* get() const { return movie_; }
  const vexil_movie_info& info() const { return info_; }
  // The name messages use ("standard input" for "-").
  const std::string& name() const { return shown_name_; }

  // What standard input gave, byte for byte (empty for a named file).
  std::span<const uint8_t> standard_input() const { return stream_.bytes; }

  bool truncated() const { return (info_.flags & VEXIL_MOVIE_TRUNCATED) != 0; }
  // "cannot read frame N: the file is truncated after frame K (P of E bytes)",
  // or without the reason when the file is whole and reading failed anyway.
  std::string UnreadableFrame(uint32_t n) const;

 private:
  // Standard input's bytes as the library's stream.
  struct MemoryStream {
    std::vector<uint8_t> bytes;
    size_t position = 0;
  };
  static int64_t StreamRead(void* user, void* buffer, size_t n);
  static int StreamSeek(void* user, uint64_t offset);
  static int64_t StreamSize(void* user);

  vexil_movie* movie_ = nullptr;
  vexil_movie_info info_{};
  MemoryStream stream_;
  std::string shown_name_;
};

}  // namespace vexil::tools
