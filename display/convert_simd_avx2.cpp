// AVX2 group kernels of the SIMD path: two groups (16 pixels) per step, the
// same integer steps as the portable kernels; a last single group goes to the
// SSE2 kernel.
#include "display/convert_simd.h"

#if VEXIL_X86
#include <immintrin.h>

namespace vexil {
namespace {

struct Lanes {
  __m256i r, g, b;  // 0..4095 each
};

struct Dither {
  __m256i r, g, b;
  static __m256i Load(const int16_t* lanes) {
    return _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lanes)));
  }
  explicit Dither(const SimdParams& p)
      : r(Load(p.dither[0])), g(Load(p.dither[1])), b(Load(p.dither[2])) {}
};

inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Eight chroma samples, each doubled for its pixel pair, times the gain.
inline __m256i ChromaTerm(const uint8_t* c, int shift) {
  const __m128i bytes = Load8(c);
  const __m256i c16 = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(bytes, bytes));
  return _mm256_mulhi_epi16(_mm256_sll_epi16(c16, _mm_cvtsi32_si128(shift)),
                            _mm256_set1_epi16(kSimdChromaGain));
}

inline Lanes Colour(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const Dither& d) {
  const __m256i y16 = _mm256_cvtepu8_epi16(Load16(y));
  const __m256i yy =
      _mm256_mulhi_epi16(_mm256_slli_epi16(y16, 6), _mm256_set1_epi16(kSimdLumaGain));
  const __m256i u = ChromaTerm(cb, 4);
  const __m256i v = ChromaTerm(cr, 5);
  const __m256i red = _mm256_add_epi16(yy, _mm256_add_epi16(v, v));
  const __m256i green = _mm256_sub_epi16(yy, _mm256_add_epi16(u, v));
  const __m256i blue = _mm256_add_epi16(yy, _mm256_add_epi16(_mm256_slli_epi16(u, 2), u));
  const __m256i offset = _mm256_set1_epi16(static_cast<int16_t>(kSimdRangeOffset));
  return {_mm256_subs_epu16(_mm256_adds_epi16(red, d.r), offset),
          _mm256_subs_epu16(_mm256_adds_epi16(green, d.g), offset),
          _mm256_subs_epu16(_mm256_adds_epi16(blue, d.b), offset)};
}

// The same arithmetic with the pixels in the lane order [0-3, 8-11 | 4-7,
// 12-15], so that interleaving within each half yields pixels 0-7 and 8-15.
// Samples are placed in the high byte of their lane by one shuffle, so the
// products are taken unsigned and shifted back: floor(floor(256 a / 65536) /
// 2^k) is floor(2^(8-k) a / 65536), which is the product the steps define.
inline __m256i Shuffle(__m256i v, const int8_t (&pattern)[32]) {
  return _mm256_shuffle_epi8(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pattern)));
}
constexpr int8_t kLumaHigh[32] = {-1, 0, -1, 1, -1, 2, -1, 3, -1, 8,  -1, 9,  -1, 10, -1, 11,
                                  -1, 4, -1, 5, -1, 6, -1, 7, -1, 12, -1, 13, -1, 14, -1, 15};
constexpr int8_t kChromaHigh[32] = {-1, 0, -1, 0, -1, 1, -1, 1, -1, 4, -1, 4, -1, 5, -1, 5,
                                    -1, 2, -1, 2, -1, 3, -1, 3, -1, 6, -1, 6, -1, 7, -1, 7};

inline __m256i Broadcast16(const uint8_t* p) {
  return _mm256_broadcastsi128_si256(Load16(p));
}
inline __m256i Broadcast8(const uint8_t* p) {
  return _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

inline Lanes ColourQuads(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const Dither& d) {
  const __m256i yy = _mm256_srli_epi16(
      _mm256_mulhi_epu16(Shuffle(Broadcast16(y), kLumaHigh), _mm256_set1_epi16(kSimdLumaGain)), 2);
  const __m256i gain = _mm256_set1_epi16(kSimdChromaGain);
  const __m256i u =
      _mm256_srli_epi16(_mm256_mulhi_epu16(Shuffle(Broadcast8(cb), kChromaHigh), gain), 4);
  const __m256i v =
      _mm256_srli_epi16(_mm256_mulhi_epu16(Shuffle(Broadcast8(cr), kChromaHigh), gain), 3);
  const __m256i red = _mm256_add_epi16(yy, _mm256_add_epi16(v, v));
  const __m256i green = _mm256_sub_epi16(yy, _mm256_add_epi16(u, v));
  const __m256i blue = _mm256_add_epi16(yy, _mm256_add_epi16(_mm256_slli_epi16(u, 2), u));
  const __m256i offset = _mm256_set1_epi16(static_cast<int16_t>(kSimdRangeOffset));
  return {_mm256_subs_epu16(_mm256_adds_epi16(red, d.r), offset),
          _mm256_subs_epu16(_mm256_adds_epi16(green, d.g), offset),
          _mm256_subs_epu16(_mm256_adds_epi16(blue, d.b), offset)};
}

inline void Store(uint8_t* d, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v);
}

// A last odd group is left to the SSE2 kernel of the same member.
inline void Rest(int member, const SimdParams& p, uint8_t* dest, const uint8_t* y,
                 const uint8_t* cb, const uint8_t* cr, const uint8_t* a, size_t groups) {
  if (groups) SimdKernelsSse2()->group[member](p, dest, y, cb, cr, a, groups);
}

// The two 16-bit halves of each 32-bit pixel: the low byte channel with green
// above it, and the high byte channel (alpha above it is the caller's).
struct PixelHalves {
  __m256i low_green, high;
};

inline PixelHalves Halves(const Lanes& c, bool red_high) {
  const __m256i r = _mm256_srli_epi16(c.r, 4);
  const __m256i b = _mm256_srli_epi16(c.b, 4);
  return {_mm256_or_si256(red_high ? b : r, _mm256_slli_epi16(_mm256_srli_epi16(c.g, 4), 8)),
          red_high ? r : b};
}

template <bool kAlpha>
void Group32(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const bool red_high = p.red_pos == 16;
  for (; groups >= 2; groups -= 2) {
    const PixelHalves h = Halves(ColourQuads(y, cb, cr, d), red_high);
    __m256i high_alpha = h.high;
    if constexpr (kAlpha) {
      high_alpha = _mm256_or_si256(high_alpha, Shuffle(Broadcast16(a), kLumaHigh));
      a += 16;
    }
    Store(dest, _mm256_unpacklo_epi16(h.low_green, high_alpha));       // pixels 0-7
    Store(dest + 32, _mm256_unpackhi_epi16(h.low_green, high_alpha));  // pixels 8-15
    dest += 64, y += 16, cb += 8, cr += 8;
  }
  Rest(kAlpha ? SIMD_32_ALPHA : SIMD_32, p, dest, y, cb, cr, a, groups);
}

// Eight 32-bit pixels with a zero top byte into their low 24 bytes: each
// 128-bit half drops its top bytes, then the halves close up.
constexpr int8_t kClose24[32] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};
inline __m256i Close24(__m256i v) {
  return _mm256_permutevar8x32_epi32(Shuffle(v, kClose24),
                                     _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

void Group24(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const bool red_high = p.red_pos == 16;
  for (; groups >= 2; groups -= 2) {
    const PixelHalves h = Halves(ColourQuads(y, cb, cr, d), red_high);
    const __m256i first = Close24(_mm256_unpacklo_epi16(h.low_green, h.high));   // pixels 0-7
    const __m256i second = Close24(_mm256_unpackhi_epi16(h.low_green, h.high));  // pixels 8-15
    // The first store's last 8 bytes are the second's first 8.
    Store(dest, first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 24), _mm256_castsi256_si128(second));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + 40), _mm256_extracti128_si256(second, 1));
    dest += 48, y += 16, cb += 8, cr += 8;
  }
  Rest(SIMD_24, p, dest, y, cb, cr, a, groups);
}

inline __m256i Fields(const SimdParams& p, const Lanes& c) {
  auto field = [](__m256i v, uint32_t shift, uint32_t pos) {
    return _mm256_sll_epi16(_mm256_srl_epi16(v, _mm_cvtsi32_si128(static_cast<int>(shift))),
                            _mm_cvtsi32_si128(static_cast<int>(pos)));
  };
  return _mm256_or_si256(
      _mm256_or_si256(field(c.r, p.shift[1], p.pos[1]), field(c.g, p.shift[2], p.pos[2])),
      field(c.b, p.shift[3], p.pos[3]));
}

template <bool kAlpha>
void Group16(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const __m128i alpha_shift = _mm_cvtsi32_si128(static_cast<int>(p.shift[0]));
  const __m128i alpha_pos = _mm_cvtsi32_si128(static_cast<int>(p.pos[0]));
  for (; groups >= 2; groups -= 2) {
    __m256i v = Fields(p, Colour(y, cb, cr, d));
    if constexpr (kAlpha) {
      const __m256i a16 = _mm256_cvtepu8_epi16(Load16(a));
      v = _mm256_or_si256(v, _mm256_sll_epi16(_mm256_srl_epi16(a16, alpha_shift), alpha_pos));
      a += 16;
    }
    Store(dest, v);
    dest += 32, y += 16, cb += 8, cr += 8;
  }
  Rest(kAlpha ? SIMD_16_ALPHA : SIMD_16, p, dest, y, cb, cr, a, groups);
}

void GroupIndex8(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  for (; groups >= 2; groups -= 2) {
    const __m256i v = Fields(p, Colour(y, cb, cr, d));
    const __m128i bytes =
        _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), bytes);
    dest += 16, y += 16, cb += 8, cr += 8;
  }
  Rest(SIMD_INDEX8, p, dest, y, cb, cr, a, groups);
}

template <bool kUyvy>
void GroupPacked(const SimdParams&, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, const uint8_t*, size_t groups) {
  // Four groups (32 pixels) per step: the chroma pairs of pixels 0-15 and
  // 16-31 in the two halves, so interleaving within each half gives pixels
  // 0-7 and 16-23 (low), 8-15 and 24-31 (high).
  for (; groups >= 4; groups -= 4) {
    const __m128i cb16 = Load16(cb), cr16 = Load16(cr);
    const __m256i uv =
        _mm256_set_m128i(_mm_unpackhi_epi8(cb16, cr16), _mm_unpacklo_epi8(cb16, cr16));
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i lo = kUyvy ? _mm256_unpacklo_epi8(uv, luma) : _mm256_unpacklo_epi8(luma, uv);
    const __m256i hi = kUyvy ? _mm256_unpackhi_epi8(uv, luma) : _mm256_unpackhi_epi8(luma, uv);
    Store(dest, _mm256_permute2x128_si256(lo, hi, 0x20));
    Store(dest + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
    dest += 64, y += 32, cb += 16, cr += 16;
  }
  for (; groups >= 2; groups -= 2) {
    const __m128i uv = _mm_unpacklo_epi8(Load8(cb), Load8(cr));
    const __m128i luma = Load16(y);
    const __m128i lo = kUyvy ? _mm_unpacklo_epi8(uv, luma) : _mm_unpacklo_epi8(luma, uv);
    const __m128i hi = kUyvy ? _mm_unpackhi_epi8(uv, luma) : _mm_unpackhi_epi8(luma, uv);
    Store(dest, _mm256_set_m128i(hi, lo));
    dest += 32, y += 16, cb += 8, cr += 8;
  }
  if (groups) {      // here rather than in the SSE2 kernel: no call, no stack frame
    int32_t u4, v4;  // the group's 4 chroma samples of each plane
    std::memcpy(&u4, cb, 4);
    std::memcpy(&v4, cr, 4);
    const __m128i uv = _mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), _mm_cvtsi32_si128(v4));
    const __m128i v = kUyvy ? _mm_unpacklo_epi8(uv, Load8(y)) : _mm_unpacklo_epi8(Load8(y), uv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), v);
  }
}

const SimdKernels kAvx2 = {"avx2",
                           {Group32<false>, Group32<true>, Group16<false>, Group16<true>,
                            GroupIndex8, GroupPacked<false>, GroupPacked<true>, Group24}};

}  // namespace

const SimdKernels* SimdKernelsAvx2() {
  return SimdKernelsSse2() ? &kAvx2 : nullptr;
}

}  // namespace vexil

#else

namespace vexil {
const SimdKernels* SimdKernelsAvx2() {
  return nullptr;
}
}  // namespace vexil

#endif
