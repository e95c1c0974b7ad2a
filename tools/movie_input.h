// A movie the tool reads: a file by name, or standard input ("-"), read whole
// and opened from memory. Knows whether the file is shorter than its header
// says and which frames it still holds whole, so that a cut movie is never
// reported as read to the end.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vexil {

struct MovieHandle;

namespace tools {

class MovieInput {
 public:
  MovieInput() = default;
  ~MovieInput();
  MovieInput(const MovieInput&) = delete;
  MovieInput& operator=(const MovieInput&) = delete;

  // Opens the movie with the engine. False after printing why
  // ("vexil: NAME: <the engine's text>").
  bool Open(const std::string& name, uint32_t open_flags);

  MovieHandle* movie() const { return movie_; }
  MovieHandle* operator->() const { return movie_; }
  // The name messages use ("standard input" for "-").
  const std::string& name() const { return shown_name_; }

  // What standard input gave, byte for byte (empty for a named file).
  std::span<const uint8_t> standard_input() const { return {memory_.get(), read_}; }

  // The bytes there are and the bytes the header gives the movie.
  uint64_t present_bytes() const { return present_; }
  uint64_t expected_bytes() const { return expected_; }
  bool truncated() const { return present_ < expected_; }
  // Frames from frame 1 on whose packets lie wholly in the bytes there are.
  uint32_t complete_frames() const { return complete_frames_; }

  // Whether the packet of frame n (fetched last) was read whole. After false,
  // UnreadableFrame(n) says why.
  bool FrameRead(uint32_t n) const;
  // "cannot read frame N: the file is truncated after frame K (P of E bytes)",
  // or without the reason when the file is whole and reading failed anyway.
  std::string UnreadableFrame(uint32_t n) const;

 private:
  struct FreeBlock {
    void operator()(uint8_t* block) const;
  };
  MovieHandle* movie_ = nullptr;
  std::unique_ptr<uint8_t, FreeBlock> memory_;  // standard input's bytes
  size_t read_ = 0;
  std::string shown_name_;
  uint64_t present_ = 0, expected_ = 0;
  uint32_t complete_frames_ = 0;
};

}  // namespace tools
}  // namespace vexil
