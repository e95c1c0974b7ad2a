#include "encoder/audio_block_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "audio/audio_block_reader.h"
#include "engine/container.h"

namespace vexil {
namespace {

constexpr int32_t kMaxValue = 32767;  // 15 bits: the widest run width
constexpr uint32_t kGroup = 8;        // run lengths count groups of 8 coefficients
constexpr uint32_t kLongestRun = 64;  // groups

// Collects bits least significant first into little-endian 32-bit words.
class BlockBitWriter {
 public:
  void Put(uint32_t value, uint32_t bits) {
    cache_ |= uint64_t{value & ((uint64_t{1} << bits) - 1)} << count_;
    count_ += bits;
    total_ += bits;
    while (count_ >= 32) {
      Flush32();
    }
  }
  std::vector<uint8_t> Finish() {
    if (count_ > 0) Flush32();
    return std::move(bytes_);
  }
  uint32_t total() const { return total_; }

 private:
  void Flush32() {
    uint8_t word[4];
    WriteLE32(word, static_cast<uint32_t>(cache_));
    bytes_.insert(bytes_.end(), word, word + 4);
    cache_ >>= 32;
    count_ = count_ >= 32 ? count_ - 32 : 0;
  }
  std::vector<uint8_t> bytes_;
  uint64_t cache_ = 0;
  uint32_t count_ = 0;
  uint32_t total_ = 0;
};

uint32_t Magnitude(int32_t v) {
  return static_cast<uint32_t>(std::min(std::abs(v), kMaxValue));
}

// The run code for a run of `groups` groups: -1 for the short run (one group),
// else the 4-bit code; `groups` may exceed what is left, the decoder cuts the run.
int RunCode(uint32_t groups) {
  if (groups == 1) return -1;
  for (int r = 0; r < 16; ++r) {
    if (kRunLengths[r] >= groups) return r;
  }
  return 15;
}

struct Run {
  uint32_t groups;  // as coded (before the cut at the end)
  uint32_t width;
};

// Chooses the runs over coefficients 2 .. n-1 with the fewest bits: a
// shortest-path search over group boundaries.
std::vector<Run> ChooseRuns(const std::vector<int32_t>& values, uint32_t n) {
  const uint32_t groups = (n - 2 + kGroup - 1) / kGroup;
  std::vector<uint32_t> group_max(groups, 0), group_nonzero(groups, 0), group_size(groups, 0);
  for (uint32_t j = 2; j < n; ++j) {
    const uint32_t g = (j - 2) / kGroup;
    const uint32_t m = Magnitude(values[j]);
    group_max[g] = std::max(group_max[g], m);
    group_nonzero[g] += m != 0;
    ++group_size[g];
  }
  constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();
  std::vector<uint64_t> best(groups + 1, kNone);
  std::vector<Run> choice(groups);
  best[groups] = 0;
  for (uint32_t g = groups; g-- > 0;) {
    uint32_t max = 0, nonzero = 0, size = 0;
    for (uint32_t len = 1; len <= kLongestRun && g + len <= groups; ++len) {
      const uint32_t last = g + len - 1;
      max = std::max(max, group_max[last]);
      nonzero += group_nonzero[last];
      size += group_size[last];
      const uint32_t width = static_cast<uint32_t>(std::bit_width(max));
      const uint64_t body = width ? uint64_t{size} * width + nonzero : 0;
      // A run that reaches the end may be coded with any longer length.
      const bool to_end = g + len == groups;
      const int code = RunCode(len);
      const bool codable =
          len == 1 || kRunLengths[code] == len || (to_end && kRunLengths[code] >= len);
      if (!codable) continue;
      const uint64_t cost = 1 + (len == 1 ? 0 : 4) + 4 + body + best[g + len];
      if (cost < best[g]) {
        best[g] = cost;
        choice[g] = {len == 1 ? 1u : kRunLengths[code], width};
      }
    }
  }
  std::vector<Run> runs;
  for (uint32_t g = 0; g < groups;) {
    runs.push_back(choice[g]);
    g += choice[g].groups;
  }
  return runs;
}

void WriteChannel(const AudioBlockShape& shape, const AudioBlockChannel& channel,
                  BlockBitWriter& out) {
  const uint32_t n = shape.transform_length;
  out.Put(channel.first[0], kCoefficientFieldBits);
  out.Put(channel.first[1], kCoefficientFieldBits);
  for (uint32_t b = 0; b < shape.band_count; ++b)
    out.Put(b < channel.band_indices.size() ? channel.band_indices[b] : 0, 8);
  std::vector<int32_t> values(n, 0);
  std::copy_n(channel.values.begin(), std::min<size_t>(n, channel.values.size()), values.begin());
  uint32_t j = 2;
  for (const Run& run : ChooseRuns(values, n)) {
    const int code = RunCode(run.groups);
    if (code < 0) {
      out.Put(0, 1);
    } else {
      out.Put(1, 1);
      out.Put(static_cast<uint32_t>(code), 4);
    }
    out.Put(run.width, 4);
    const uint32_t end = std::min(j + kGroup * run.groups, n);
    if (run.width > 0) {
      for (; j < end; ++j) {
        const uint32_t m = Magnitude(values[j]);
        out.Put(m, run.width);
        if (m != 0) out.Put(values[j] < 0 ? 1 : 0, 1);
      }
    }
    j = end;
  }
}

}  // namespace

std::vector<uint8_t> WriteAudioBlock(const AudioBlockShape& shape,
                                     const AudioBlockChannel* channels, uint32_t* bits) {
  BlockBitWriter out;
  if (shape.dct) out.Put(0, 2);
  for (uint32_t c = 0; c < shape.transform_channels; ++c) WriteChannel(shape, channels[c], out);
  if (bits) *bits = out.total();
  return out.Finish();
}

uint32_t AudioCoefficientField(float value) {
  const uint32_t sign = std::signbit(value) ? 1u << 28 : 0;
  const double magnitude = std::fabs(double(value));
  constexpr uint32_t kMantissaLimit = 1u << 23;
  if (!(magnitude > 0)) return sign;
  int exponent = 0;
  std::frexp(magnitude, &exponent);  // magnitude < 2^exponent
  uint32_t e = static_cast<uint32_t>(std::max(exponent, 0));
  if (e > 23) return sign | (kMantissaLimit - 1) << 5 | 23;
  double m = std::nearbyint(std::ldexp(magnitude, 23 - static_cast<int>(e)));
  if (m >= kMantissaLimit) {
    if (e == 23) return sign | (kMantissaLimit - 1) << 5 | 23;
    ++e;
    m = std::nearbyint(std::ldexp(magnitude, 23 - static_cast<int>(e)));
  }
  return sign | static_cast<uint32_t>(m) << 5 | e;
}

std::vector<uint8_t> AudioPartBytes(uint32_t count,
                                    const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> part(4);
  WriteLE32(part.data(), count);
  for (const auto& block : blocks) part.insert(part.end(), block.begin(), block.end());
  return part;
}

}  // namespace vexil
