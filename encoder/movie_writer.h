// Builds movie files from finished packets: the header, the track tables, the
// frame index and the packets, with the size fields filled in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexil {

class MovieWriter {
 public:
  // `revision` is 'f', 'g', 'h' or 'i'; `header_flags` as stored in the header
  // (grayscale, alpha, default display option).
  MovieWriter(char revision, uint32_t width, uint32_t height, uint32_t rate_num,
              uint32_t rate_den, uint32_t header_flags = 0);

  // Adds an audio track; returns its index. `format` is the track format word
  // (rate and TRACK_* bits). The largest decoded size is tracked from the
  // frames' audio parts unless set explicitly.
  int AddTrack(uint32_t format, uint32_t id, uint32_t largest_decoded = 0);
  void SetLargestDecoded(int track, uint32_t bytes);

  // Adds a frame. `audio` holds one part per track (empty = length 0); a
  // non-empty part starts with its 32-bit decoded-byte count. Packets are
  // padded with zero bytes to a multiple of 4 so every packet starts on a word.
  void AddFrame(bool key, const std::vector<std::vector<uint8_t>>& audio,
                const std::vector<uint8_t>& video);
  void AddFrame(bool key, const std::vector<uint8_t>& video) { AddFrame(key, {}, video); }

  // Index entries beyond the frames (the header's count may exceed the frame count).
  void SetExtraIndexEntries(uint32_t n) { extra_entries_ = n; }

  uint32_t frame_count() const { return static_cast<uint32_t>(packets_.size()); }

  // The whole movie.
  std::vector<uint8_t> Finish() const;
  // Writes the movie; false when the file cannot be written.
  bool WriteFile(const std::string& path) const;

 private:
  struct Track {
    uint32_t format;
    uint32_t id;
    uint32_t largest_decoded;
    bool fixed_largest;
  };
  char revision_;
  uint32_t width_, height_, rate_num_, rate_den_, header_flags_;
  uint32_t extra_entries_ = 0;
  std::vector<Track> tracks_;
  std::vector<std::vector<uint8_t>> packets_;
  std::vector<bool> keys_;
};

}  // namespace vexil
