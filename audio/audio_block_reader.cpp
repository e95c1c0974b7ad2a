#include "audio/audio_block_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vexil {

const float kQuantizers[kQuantizerCount] = {
    0x1p+0f, 0x1.2a4a76p+0f, 0x1.5b9172p+0f, 0x1.94fc68p+0f, 0x1.d7e39ep+0f,
    0x1.12ec1cp+1f, 0x1.4056dp+1f, 0x1.75423cp+1f, 0x1.b2ebacp+1f, 0x1.fac4d8p+1f,
    0x1.273e46p+2f, 0x1.58045ep+2f, 0x1.90d926p+2f, 0x1.d3115ep+2f, 0x1.101d0ap+3f,
    0x1.3d10f4p+3f, 0x1.7171f6p+3f, 0x1.ae7a1ep+3f, 0x1.f5975ep+3f, 0x1.243a0cp+4f,
    0x1.548094p+4f, 0x1.8cc0b6p+4f, 0x1.ce4bbcp+4f, 0x1.0d555p+5f, 0x1.39d3a8p+5f,
    0x1.6dabaap+5f, 0x1.aa143p+5f, 0x1.f0777p+5f, 0x1.213db8p+6f, 0x1.5105fap+6f,
    0x1.88b2fep+6f, 0x1.c99294p+6f, 0x1.0a94dcp+7f, 0x1.369ed4p+7f, 0x1.69ef3cp+7f,
    0x1.a5b9c2p+7f, 0x1.eb64e8p+7f, 0x1.1e4932p+8f, 0x1.4d947ap+8f, 0x1.84afdep+8f,
    0x1.c4e5c8p+8f, 0x1.07db9cp+9f, 0x1.337262p+9f, 0x1.663c94p+9f, 0x1.a16ab8p+9f,
    0x1.e65fa6p+9f, 0x1.1b5c68p+10f, 0x1.4a2bfcp+10f, 0x1.80b73ep+10f, 0x1.c04536p+10f,
    0x1.05297ap+11f, 0x1.304e3ep+11f, 0x1.629398p+11f, 0x1.9d26f4p+11f, 0x1.e16784p+11f,
    0x1.187744p+12f, 0x1.46cc68p+12f, 0x1.7cc9p+12f, 0x1.bbb0bep+12f, 0x1.027e66p+13f,
    0x1.2d3252p+13f, 0x1.5ef43p+13f, 0x1.98ee56p+13f, 0x1.dc7c62p+13f, 0x1.1599b2p+14f,
    0x1.4375a8p+14f, 0x1.78e50ap+14f, 0x1.b7284p+14f, 0x1.ffb498p+14f, 0x1.2a1e88p+15f,
    0x1.5b5e4p+15f, 0x1.94c0c2p+15f, 0x1.d79e1cp+15f, 0x1.12c39ep+16f, 0x1.4027a2p+16f,
    0x1.750b42p+16f, 0x1.b2ab9ep+16f, 0x1.fa7a34p+16f, 0x1.2712cap+17f, 0x1.57d1b2p+17f,
    0x1.909e1cp+17f, 0x1.d2cc94p+17f, 0x1.0ff4f6p+18f, 0x1.3ce242p+18f, 0x1.713b8cp+18f,
    0x1.ae3ab8p+18f, 0x1.f54d7ep+18f, 0x1.240f02p+19f, 0x1.544e6cp+19f, 0x1.8c8646p+19f,
    0x1.ce07a6p+19f, 0x1.0d2da6p+20f, 0x1.39a56ep+20f, 0x1.6d75cep+20f, 0x1.a9d56ep+20f,
    0x1.f02e5p+20f,
};

namespace {

constexpr uint32_t kMaxQuantizerIndex = kQuantizerCount - 1;

// Takes bits least significant first from little-endian 32-bit words, loading
// a word only when a read needs one of its bits.
class BlockBitReader {
 public:
  BlockBitReader(const uint8_t* input, const uint8_t* end) : next_(input), end_(end) {}

  // False when the read needs a word at or beyond the end: the block stops there.
  bool Read(uint32_t bits, uint32_t* value) {
    if (count_ < bits) {
      if (next_ >= end_) return false;
      const size_t left = static_cast<size_t>(end_ - next_);
      uint32_t word;
      if (left >= 4) {
        word = uint32_t{next_[0]} | uint32_t{next_[1]} << 8 | uint32_t{next_[2]} << 16 |
               uint32_t{next_[3]} << 24;
        next_ += 4;
      } else {
        // The end cuts this word short: the missing bytes read as zero.
        word = 0;
        for (size_t i = 0; i < left; ++i) word |= uint32_t{next_[i]} << (8 * i);
        next_ = end_;
      }
      cache_ |= uint64_t{word} << count_;
      count_ += 32;
      ++words_;
    }
    *value = static_cast<uint32_t>(cache_ & ((uint64_t{1} << bits) - 1));
    cache_ >>= bits;
    count_ -= bits;
    return true;
  }

  size_t words() const { return words_; }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
  uint64_t cache_ = 0;
  uint32_t count_ = 0;  // bits in the cache, below 64
  size_t words_ = 0;
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
      for (; j < run_end; ++j) {
        if (j == edges[band] * 2) quantizer = band_quantizer[band++];
        uint32_t v, sign;
        if (!reader.Read(width, &v)) return false;
        if (v == 0) continue;
        if (!reader.Read(1, &sign)) return false;
        const float value = static_cast<float>(v) * quantizer;
        coefficients[j] = sign ? -value : value;
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
  return {4 * reader.words(), true};
}

}  // namespace vexil
