// Random but valid audio blocks for the audio tests, and what they must decode to.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "audio/audio_block_reader.h"
#include "audio/audio_layout.h"
#include "encoder/audio_block_writer.h"

namespace vexil::test {

// Channels with random quantizer indices (some above 95), runs of silence and
// values of every width, and leading coefficients of every exponent.
inline std::vector<AudioBlockChannel> RandomChannels(const AudioBlockShape& shape,
                                                     std::mt19937& rng) {
  std::vector<AudioBlockChannel> channels(shape.transform_channels);
  for (AudioBlockChannel& c : channels) {
    for (uint32_t& field : c.first) {
      const uint32_t exponent = rng() % 24, mantissa = rng() & 0x7FFFFF, sign = rng() & 1;
      field = exponent | mantissa << 5 | sign << 28;
    }
    c.band_indices.resize(shape.band_count);
    for (uint8_t& index : c.band_indices) index = static_cast<uint8_t>(rng());
    c.values.assign(shape.transform_length, 0);
    uint32_t j = 2;
    while (j < shape.transform_length) {
      // A stretch of one loudness: silent, quiet or anything up to 15 bits.
      const uint32_t length = 1 + rng() % 80;
      const uint32_t bits = rng() % 3 == 0 ? 0 : rng() % 16;
      for (uint32_t k = 0; k < length && j < shape.transform_length; ++k, ++j) {
        if (bits == 0 || rng() % 4 == 0) continue;
        const int32_t v = static_cast<int32_t>(rng() & ((1u << bits) - 1));
        c.values[j] = rng() & 1 ? -v : v;
      }
    }
  }
  return channels;
}

// The coefficients a block of these channels decodes to: the two leading
// fields, then each value times the quantizer of the band that holds it.
inline std::vector<float> ExpectedCoefficients(const AudioBlockShape& shape,
                                               const std::vector<AudioBlockChannel>& channels) {
  const uint32_t n = shape.transform_length;
  std::vector<float> out(size_t{n} * shape.transform_channels, 0.0f);
  for (uint32_t c = 0; c < shape.transform_channels; ++c) {
    float* o = out.data() + size_t{c} * n;
    o[0] = AudioCoefficientValue(channels[c].first[0]);
    o[1] = AudioCoefficientValue(channels[c].first[1]);
    for (uint32_t j = 2; j < n; ++j) {
      const int32_t v = channels[c].values[j];
      if (v == 0 || shape.band_count == 0) continue;
      uint32_t band = 0;
      while (band + 1 < shape.band_count && shape.band_edges[band + 1] * 2 <= j) ++band;
      const uint32_t index = std::min<uint32_t>(channels[c].band_indices[band], 95);
      const float value = static_cast<float>(std::abs(v)) * kQuantizers[index];
      o[j] = v < 0 ? -value : value;
    }
  }
  return out;
}

// A copy in a block of exactly its size, so that a read past it is caught.
inline std::vector<uint8_t> Exact(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  copy.shrink_to_fit();
  return copy;
}

}  // namespace vexil::test
