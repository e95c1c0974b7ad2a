#include "audio/audio_block_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace vexil {

const float kQuantizers[kQuantizerCount] = {
    0x1p+0f,         0x1.2a4a76p+0f,  0x1.5b9172p+0f,  0x1.94fc68p+0f,  0x1.d7e39ep+0f,
    0x1.12ec1cp+1f,  0x1.4056dp+1f,   0x1.75423cp+1f,  0x1.b2ebacp+1f,  0x1.fac4d8p+1f,
    0x1.273e46p+2f,  0x1.58045ep+2f,  0x1.90d926p+2f,  0x1.d3115ep+2f,  0x1.101d0ap+3f,
    0x1.3d10f4p+3f,  0x1.7171f6p+3f,  0x1.ae7a1ep+3f,  0x1.f5975ep+3f,  0x1.243a0cp+4f,
    0x1.548094p+4f,  0x1.8cc0b6p+4f,  0x1.ce4bbcp+4f,  0x1.0d555p+5f,   0x1.39d3a8p+5f,
    0x1.6dabaap+5f,  0x1.aa143p+5f,   0x1.f0777p+5f,   0x1.213db8p+6f,  0x1.5105fap+6f,
    0x1.88b2fep+6f,  0x1.c99294p+6f,  0x1.0a94dcp+7f,  0x1.369ed4p+7f,  0x1.69ef3cp+7f,
    0x1.a5b9c2p+7f,  0x1.eb64e8p+7f,  0x1.1e4932p+8f,  0x1.4d947ap+8f,  0x1.84afdep+8f,
    0x1.c4e5c8p+8f,  0x1.07db9cp+9f,  0x1.337262p+9f,  0x1.663c94p+9f,  0x1.a16ab8p+9f,
    0x1.e65fa6p+9f,  0x1.1b5c68p+10f, 0x1.4a2bfcp+10f, 0x1.80b73ep+10f, 0x1.c04536p+10f,
    0x1.05297ap+11f, 0x1.304e3ep+11f, 0x1.629398p+11f, 0x1.9d26f4p+11f, 0x1.e16784p+11f,
    0x1.187744p+12f, 0x1.46cc68p+12f, 0x1.7cc9p+12f,   0x1.bbb0bep+12f, 0x1.027e66p+13f,
    0x1.2d3252p+13f, 0x1.5ef43p+13f,  0x1.98ee56p+13f, 0x1.dc7c62p+13f, 0x1.1599b2p+14f,
    0x1.4375a8p+14f, 0x1.78e50ap+14f, 0x1.b7284p+14f,  0x1.ffb498p+14f, 0x1.2a1e88p+15f,
    0x1.5b5e4p+15f,  0x1.94c0c2p+15f, 0x1.d79e1cp+15f, 0x1.12c39ep+16f, 0x1.4027a2p+16f,
    0x1.750b42p+16f, 0x1.b2ab9ep+16f, 0x1.fa7a34p+16f, 0x1.2712cap+17f, 0x1.57d1b2p+17f,
    0x1.909e1cp+17f, 0x1.d2cc94p+17f, 0x1.0ff4f6p+18f, 0x1.3ce242p+18f, 0x1.713b8cp+18f,
    0x1.ae3ab8p+18f, 0x1.f54d7ep+18f, 0x1.240f02p+19f, 0x1.544e6cp+19f, 0x1.8c8646p+19f,
    0x1.ce07a6p+19f, 0x1.0d2da6p+20f, 0x1.39a56ep+20f, 0x1.6d75cep+20f, 0x1.a9d56ep+20f,
    0x1.f02e5p+20f,
};

namespace {

constexpr uint32_t kMaxQuantizerIndex = kQuantizerCount - 1;

// Takes bits least significant first from little-endian 32-bit words. A word
// counts as loaded once a read needs one of its bits, so after a complete
// block the words loaded are the bits read rounded up to whole words; a read
// that needs a word at or beyond the end fails, and by then every word before
// the end has been loaded.
class BlockBitReader {
 public:
  BlockBitReader(const uint8_t* input, const uint8_t* end)
      : input_(input), size_(input < end ? static_cast<size_t>(end - input) : 0) {}

  // Reads 1 to 32 bits; false when they reach a word at or beyond the end.
  bool Read(uint32_t bits, uint32_t* value) {
    uint64_t window;
    if (!Peek(bits, &window)) return false;
    *value = static_cast<uint32_t>(window & ((uint64_t{1} << bits) - 1));
    position_ += bits;
    return true;
  }

  // The next bits (at least 1, at most 57) without taking them.
  bool Peek(uint32_t bits, uint64_t* window) const {
    const size_t byte = static_cast<size_t>(position_ >> 3);
    uint64_t v;
    if (byte + 8 <= size_) {
      // Whole bytes up to 7 past the last bit needed lie inside the input.
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, input_ + byte, 8);
      } else {
        v = 0;
        for (size_t i = 0; i < 8; ++i) v |= uint64_t{input_[byte + i]} << (8 * i);
      }
    } else {
      const uint64_t last_word = (position_ + bits - 1) >> 5;
      if (last_word * 4 >= size_) return false;
      // Near the end: only the bytes that exist, the rest of a cut word reads 0.
      v = 0;
      for (size_t i = 0; i < 8 && byte + i < size_; ++i) v |= uint64_t{input_[byte + i]} << (8 * i);
    }
    *window = v >> (position_ & 7);
    return true;
  }

  void Skip(uint32_t bits) { position_ += bits; }

  // True when the next `bits` bits can be taken with PeekUnchecked, each peek
  // still loading 8 whole bytes inside the input.
  bool HasBits(uint64_t bits) const { return (position_ >> 3) + (bits >> 3) + 9 <= size_; }
  // At least 57 bits; only after HasBits covered them.
  uint64_t PeekUnchecked() const {
    const size_t byte = static_cast<size_t>(position_ >> 3);
    uint64_t v;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&v, input_ + byte, 8);
    } else {
      v = 0;
      for (size_t i = 0; i < 8; ++i) v |= uint64_t{input_[byte + i]} << (8 * i);
    }
    return v >> (position_ & 7);
  }

  // 4 x the words loaded.
  size_t consumed(bool complete) const {
    const size_t words = complete ? static_cast<size_t>((position_ + 31) >> 5) : (size_ + 3) / 4;
    return 4 * words;
  }

 private:
  const uint8_t* input_;
  size_t size_;
  uint64_t position_ = 0;  // bits read
};

// Reads one transform channel; false when the input ran out.
bool ReadChannel(const AudioBlockShape& shape, BlockBitReader& reader, float* coefficients) {
  const uint32_t n = shape.transform_length;
  const uint32_t* edges = shape.band_edges;
  uint32_t field;
  for (int i = 0; i < 2; ++i) {
    if (!reader.Read(kCoefficientFieldBits, &field)) return false;
    coefficients[i] = AudioCoefficientValue(field);
  }
  float band_quantizer[kMaxAudioBands];
  for (uint32_t b = 0; b < shape.band_count; ++b) {
    uint32_t index;
    if (!reader.Read(8, &index)) return false;
    band_quantizer[b] = kQuantizers[std::min(index, kMaxQuantizerIndex)];
  }
  float quantizer = 0;
  uint32_t band = 0;
  uint32_t j = 2;
  while (j < n) {
    uint32_t flag, code, width;
    if (!reader.Read(1, &flag)) return false;
    uint32_t run_end = j + 8;
    if (flag) {
      if (!reader.Read(4, &code)) return false;
      run_end = j + 8 * uint32_t{kRunLengths[code]};
    }
    run_end = std::min(run_end, n);
    if (!reader.Read(4, &width)) return false;
    if (width == 0) {
      // The coefficients stay 0; the quantizer moves to the band holding the run end.
      if (edges[band] * 2 < run_end) {
        while (edges[band] * 2 < run_end) ++band;  // edges[band_count] * 2 == n stops it
        quantizer = band_quantizer[band - 1];
      }
    } else {
      // Most runs lie well inside the input: read them from a 64-bit window
      // without bounds checks or branches on the values.
      if (reader.HasBits(uint64_t{run_end - j} * (width + 1))) {
        const uint32_t mask = (1u << width) - 1;
        while (j < run_end) {
          uint64_t window = reader.PeekUnchecked();  // at least 57 bits
          uint32_t used = 0;
          for (; j < run_end && used + width + 1 <= 57; ++j) {
            if (j == edges[band] * 2) quantizer = band_quantizer[band++];
            const auto v = static_cast<int32_t>(static_cast<uint32_t>(window) & mask);
            const int32_t nonzero = v != 0;
            const int32_t negative = nonzero & static_cast<int32_t>(window >> width);
            const auto taken = static_cast<uint32_t>(static_cast<int32_t>(width) + nonzero);
            window >>= taken;
            used += taken;
            // -(v q) is (-v) q exactly; negating the integer keeps this free of branches.
            const int32_t signed_v = (v ^ -negative) + negative;
            coefficients[j] = static_cast<float>(signed_v) * quantizer;
          }
          reader.Skip(used);
        }
      }
      for (; j < run_end; ++j) {
        if (j == edges[band] * 2) quantizer = band_quantizer[band++];
        // The value and, when it is not 0, its sign bit.
        uint64_t window;
        if (!reader.Peek(width, &window)) return false;
        const auto v = static_cast<uint32_t>(window & ((1u << width) - 1));
        if (v == 0) {
          reader.Skip(width);
          continue;
        }
        if (!reader.Peek(width + 1, &window)) return false;
        reader.Skip(width + 1);
        const float value = static_cast<float>(v) * quantizer;
        coefficients[j] = (window >> width) & 1 ? -value : value;
      }
    }
    j = run_end;
  }
  return true;
}

}  // namespace

float AudioCoefficientValue(uint32_t field) {
  const int exponent = static_cast<int>(field & 31);
  const uint32_t mantissa = (field >> 5) & 0x7FFFFF;
  // Exact: a 23-bit mantissa times a power of two. Exponents above 23 do not
  // occur in valid data; they continue the same formula.
  const float value = std::ldexp(static_cast<float>(mantissa), exponent - 23);
  return (field >> 28) & 1 ? -value : value;
}

AudioBlockRead ReadAudioBlock(const AudioBlockShape& shape, const uint8_t* input,
                              const uint8_t* end, float* coefficients) {
  std::memset(coefficients, 0,
              sizeof(float) * size_t{shape.transform_length} * shape.transform_channels);
  if (shape.dct && input >= end) return {0, false};
  BlockBitReader reader(input, end);
  bool ok = true;
  if (shape.dct) {
    uint32_t skipped;
    ok = reader.Read(2, &skipped);
  }
  for (uint32_t c = 0; ok && c < shape.transform_channels; ++c)
    ok = ReadChannel(shape, reader, coefficients + size_t{c} * shape.transform_length);
  return {reader.consumed(ok), true};
}

}  // namespace vexil
