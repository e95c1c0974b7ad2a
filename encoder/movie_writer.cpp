#include "encoder/movie_writer.h"

#include <algorithm>
#include <cstdio>

#include "engine/container.h"

namespace vexil {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

}  // namespace

MovieWriter::MovieWriter(char revision, uint32_t width, uint32_t height, uint32_t rate_num,
                         uint32_t rate_den, uint32_t header_flags)
    : revision_(revision),
      width_(width),
      height_(height),
      rate_num_(rate_num),
      rate_den_(rate_den),
      header_flags_(header_flags) {}

int MovieWriter::AddTrack(uint32_t format, uint32_t id, uint32_t largest_decoded) {
  tracks_.push_back({format, id, largest_decoded, largest_decoded != 0});
  return static_cast<int>(tracks_.size()) - 1;
}

void MovieWriter::SetLargestDecoded(int track, uint32_t bytes) {
  tracks_.at(track).largest_decoded = bytes;
  tracks_.at(track).fixed_largest = true;
}

void MovieWriter::AddFrame(bool key, const std::vector<std::vector<uint8_t>>& audio,
                           const std::vector<uint8_t>& video) {
  std::vector<uint8_t> packet;
  for (size_t t = 0; t < tracks_.size(); ++t) {
    const std::vector<uint8_t>* part = t < audio.size() ? &audio[t] : nullptr;
    uint32_t length = part ? static_cast<uint32_t>(part->size()) : 0;
    Put32(packet, length);
    if (length) {
      packet.insert(packet.end(), part->begin(), part->end());
      if (!tracks_[t].fixed_largest && length >= 4)
        tracks_[t].largest_decoded = std::max(tracks_[t].largest_decoded, ReadLE32(part->data()));
    }
  }
  packet.insert(packet.end(), video.begin(), video.end());
  while (packet.size() % 4) packet.push_back(0);
  packets_.push_back(std::move(packet));
  keys_.push_back(key);
}

std::vector<uint8_t> MovieWriter::Finish() const {
  const uint32_t frames = frame_count();
  const uint32_t track_count = static_cast<uint32_t>(tracks_.size());
  const uint32_t index_entries = frames + extra_entries_;
  uint64_t offset = uint64_t{kHeaderBytes} + 12ull * track_count + 4ull * (index_entries + 1);
  std::vector<uint32_t> index;
  uint32_t largest = 0;
  for (uint32_t i = 0; i < frames; ++i) {
    index.push_back(static_cast<uint32_t>(offset) | (keys_[i] ? INDEX_KEY : 0));
    offset += packets_[i].size();
    largest = std::max(largest, static_cast<uint32_t>(packets_[i].size()));
  }
  // The entry after the last frame marks the end; extra entries repeat it.
  for (uint32_t i = 0; i <= extra_entries_; ++i) index.push_back(static_cast<uint32_t>(offset));

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(offset));
  out.push_back('V');
  out.push_back('X');
  out.push_back('L');
  out.push_back(static_cast<uint8_t>(revision_));
  Put32(out, static_cast<uint32_t>(offset - 8));
  Put32(out, frames);
  Put32(out, largest);
  Put32(out, index_entries);
  Put32(out, width_);
  Put32(out, height_);
  Put32(out, rate_num_);
  Put32(out, rate_den_);
  Put32(out, header_flags_);
  Put32(out, track_count);
  for (const Track& t : tracks_) Put32(out, t.largest_decoded);
  for (const Track& t : tracks_) Put32(out, t.format);
  for (const Track& t : tracks_) Put32(out, t.id);
  for (uint32_t entry : index) Put32(out, entry);
  for (const auto& packet : packets_) out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

bool MovieWriter::WriteFile(const std::string& path) const {
  std::vector<uint8_t> bytes = Finish();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace vexil
