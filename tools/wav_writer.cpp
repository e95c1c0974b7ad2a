#include "tools/wav_writer.h"

#include <bit>
#include <cstring>

#include "engine/container.h"

namespace vexil::tools {
namespace {

// The RIFF size field counts 36 header bytes besides the data.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

}  // namespace

bool WavWriter::Open(const std::string& name, uint32_t rate, uint32_t channels) {
  rate_ = rate;
  channels_ = channels;
  data_bytes_ = 0;
  held_.clear();
  error_.clear();
  if (!out_.Open(name)) return Check();
  streaming_ = out_.CanRewrite();
  return !streaming_ || WriteHeader(false);
}

bool WavWriter::Check() {
  if (error_.empty() && !out_.ok()) error_ = out_.error();
  return error_.empty();
}

bool WavWriter::Append(const void* samples, size_t bytes) {
  if (!error_.empty()) return false;
  if (data_bytes_ + bytes > kMaxDataBytes) {
    error_ = "the sound is too long for a WAV file";
    return false;
  }
  data_bytes_ += bytes;
  const auto* p = static_cast<const uint8_t*>(samples);
  std::vector<uint8_t> swapped;
  if constexpr (std::endian::native != std::endian::little) {
    swapped.assign(p, p + bytes);
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    p = swapped.data();
  }
  if (streaming_) {
    out_.Write(p, bytes);
  } else if (bytes) {
    held_.insert(held_.end(), p, p + bytes);
  }
  return Check();
}

bool WavWriter::WriteHeader(bool rewrite) {
  uint8_t h[44];
  const auto data = static_cast<uint32_t>(data_bytes_);
  std::memcpy(h, "RIFF", 4);
  WriteLE32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  WriteLE32(h + 16, 16);
  WriteLE32(h + 20, 1 | channels_ << 16);  // PCM format, channel count
  WriteLE32(h + 24, rate_);
  WriteLE32(h + 28, rate_ * channels_ * 2);       // bytes per second
  WriteLE32(h + 32, (channels_ * 2) | 16 << 16);  // bytes per sample frame, bits
  std::memcpy(h + 36, "data", 4);
  WriteLE32(h + 40, data);
  if (rewrite)
    out_.Rewrite(0, h, sizeof h);
  else
    out_.Write(h, sizeof h);
  return Check();
}

bool WavWriter::Finish() {
  if (!error_.empty()) return false;
  if (streaming_) {
    WriteHeader(true);
  } else {
    WriteHeader(false);
    out_.Write(held_.data(), held_.size());
  }
  if (error_.empty()) out_.Finish();
  return Check();
}

bool WriteWavFile(const std::string& name, uint32_t rate, uint32_t channels,
                  const std::vector<int16_t>& samples, std::string* error) {
  WavWriter wav;
  const bool ok = wav.Open(name, rate, channels) && wav.Append(samples) && wav.Finish();
  if (!ok) *error = wav.error();
  return ok;
}

}  // namespace vexil::tools
