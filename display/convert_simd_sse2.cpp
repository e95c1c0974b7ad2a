// SSE2 group kernels of the SIMD path: 8 pixels per step in eight 16-bit
// lanes, the same integer steps as the portable kernels.
#include "display/convert_simd.h"

#if VEXIL_X86
#include <emmintrin.h>

namespace vexil {
namespace {

struct Lanes {
  __m128i r, g, b;  // 0..4095 each
};

inline __m128i LoadDither(const int16_t* lanes) {
  const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lanes));
  return _mm_unpacklo_epi64(v, v);
}

inline __m128i Load4(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

inline __m128i Load8(const uint8_t* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

struct Dither {
  __m128i r, g, b;
  explicit Dither(const SimdParams& p)
      : r(LoadDither(p.dither[0])), g(LoadDither(p.dither[1])), b(LoadDither(p.dither[2])) {}
};

inline Lanes Colour(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const Dither& d) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y16 = _mm_unpacklo_epi8(Load8(y), zero);
  __m128i u16 = _mm_unpacklo_epi8(Load4(cb), zero);
  __m128i v16 = _mm_unpacklo_epi8(Load4(cr), zero);
  u16 = _mm_unpacklo_epi16(u16, u16);
  v16 = _mm_unpacklo_epi16(v16, v16);
  const __m128i chroma_gain = _mm_set1_epi16(kSimdChromaGain);
  const __m128i yy = _mm_mulhi_epi16(_mm_slli_epi16(y16, 6), _mm_set1_epi16(kSimdLumaGain));
  const __m128i u = _mm_mulhi_epi16(_mm_slli_epi16(u16, 4), chroma_gain);
  const __m128i v = _mm_mulhi_epi16(_mm_slli_epi16(v16, 5), chroma_gain);
  const __m128i red = _mm_add_epi16(yy, _mm_add_epi16(v, v));
  const __m128i green = _mm_sub_epi16(yy, _mm_add_epi16(u, v));
  const __m128i blue = _mm_add_epi16(yy, _mm_add_epi16(_mm_slli_epi16(u, 2), u));
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(kSimdRangeOffset));
  return {_mm_subs_epu16(_mm_adds_epi16(red, d.r), offset),
          _mm_subs_epu16(_mm_adds_epi16(green, d.g), offset),
          _mm_subs_epu16(_mm_adds_epi16(blue, d.b), offset)};
}

// The two 16-bit halves of each 32-bit pixel: the low byte channel with green
// above it, and the high byte channel (alpha above it is the caller's).
struct PixelHalves {
  __m128i low_green, high;
};

inline PixelHalves Halves(const Lanes& c, bool red_high) {
  const __m128i r = _mm_srli_epi16(c.r, 4);
  const __m128i b = _mm_srli_epi16(c.b, 4);
  return {_mm_or_si128(red_high ? b : r, _mm_slli_epi16(_mm_srli_epi16(c.g, 4), 8)),
          red_high ? r : b};
}

template <bool kAlpha>
void Group32(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const bool red_high = p.red_pos == 16;
  const __m128i zero = _mm_setzero_si128();
  for (size_t g = 0; g < groups; ++g) {
    const PixelHalves h = Halves(Colour(y, cb, cr, d), red_high);
    __m128i high_alpha = h.high;
    if constexpr (kAlpha) {
      high_alpha = _mm_or_si128(h.high, _mm_slli_epi16(_mm_unpacklo_epi8(Load8(a), zero), 8));
      a += 8;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi16(h.low_green, high_alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 16),
                     _mm_unpackhi_epi16(h.low_green, high_alpha));
    dest += 32, y += 8, cb += 4, cr += 4;
  }
}

// Two 32-bit pixels with a zero top byte in each 64-bit half into the half's
// low 6 bytes.
inline __m128i Close24(__m128i v) {
  const __m128i first = _mm_and_si128(v, _mm_set1_epi64x(0xFFFFFF));
  const __m128i second = _mm_and_si128(_mm_srli_epi64(v, 8), _mm_set1_epi64x(0xFFFFFF000000));
  return _mm_or_si128(first, second);
}

// The 6 bytes of each half of `v` at d and d + 6; each 8-byte store writes 2
// bytes past its pixels.
inline void Store6Pairs(uint8_t* d, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d), v);
  _mm_storeh_pd(reinterpret_cast<double*>(d + 6), _mm_castsi128_pd(v));
}

// The 6 bytes of each half of `v` as 12 bytes.
inline __m128i Join12(__m128i v) {
  return _mm_or_si128(_mm_move_epi64(v), _mm_slli_si128(_mm_srli_si128(v, 8), 6));
}

void Group24(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t*, size_t groups) {
  const Dither d(p);
  const bool red_high = p.red_pos == 16;
  for (size_t g = 0; g < groups; ++g) {
    const PixelHalves h = Halves(Colour(y, cb, cr, d), red_high);
    const __m128i first = Close24(_mm_unpacklo_epi16(h.low_green, h.high));   // pixels 0-3
    const __m128i second = Close24(_mm_unpackhi_epi16(h.low_green, h.high));  // pixels 4-7
    if (g + 1 < groups) {
      // The bytes written past this group are the next group's, written after.
      Store6Pairs(dest, first);
      Store6Pairs(dest + 12, second);
    } else {
      const __m128i low = Join12(first), high = Join12(second);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dest),
                       _mm_or_si128(low, _mm_slli_si128(high, 12)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + 16), _mm_srli_si128(high, 4));
    }
    dest += 24, y += 8, cb += 4, cr += 4;
  }
}

inline __m128i Fields(const SimdParams& p, const Lanes& c) {
  const __m128i r =
      _mm_sll_epi16(_mm_srl_epi16(c.r, _mm_cvtsi32_si128(static_cast<int>(p.shift[1]))),
                    _mm_cvtsi32_si128(static_cast<int>(p.pos[1])));
  const __m128i g =
      _mm_sll_epi16(_mm_srl_epi16(c.g, _mm_cvtsi32_si128(static_cast<int>(p.shift[2]))),
                    _mm_cvtsi32_si128(static_cast<int>(p.pos[2])));
  const __m128i b =
      _mm_sll_epi16(_mm_srl_epi16(c.b, _mm_cvtsi32_si128(static_cast<int>(p.shift[3]))),
                    _mm_cvtsi32_si128(static_cast<int>(p.pos[3])));
  return _mm_or_si128(_mm_or_si128(r, g), b);
}

template <bool kAlpha>
void Group16(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const __m128i zero = _mm_setzero_si128();
  const __m128i alpha_shift = _mm_cvtsi32_si128(static_cast<int>(p.shift[0]));
  const __m128i alpha_pos = _mm_cvtsi32_si128(static_cast<int>(p.pos[0]));
  for (size_t g = 0; g < groups; ++g) {
    __m128i v = Fields(p, Colour(y, cb, cr, d));
    if constexpr (kAlpha) {
      const __m128i a16 = _mm_unpacklo_epi8(Load8(a), zero);
      v = _mm_or_si128(v, _mm_sll_epi16(_mm_srl_epi16(a16, alpha_shift), alpha_pos));
      a += 8;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), v);
    dest += 16, y += 8, cb += 4, cr += 4;
  }
}

void GroupIndex8(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, const uint8_t*, size_t groups) {
  const Dither d(p);
  for (size_t g = 0; g < groups; ++g) {
    const __m128i v = Fields(p, Colour(y, cb, cr, d));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(v, v));
    dest += 8, y += 8, cb += 4, cr += 4;
  }
}

template <bool kUyvy>
void GroupPacked(const SimdParams&, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, const uint8_t*, size_t groups) {
  // Two groups (16 pixels) per step.
  for (; groups >= 2; groups -= 2) {
    const __m128i uv = _mm_unpacklo_epi8(Load8(cb), Load8(cr));
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i lo = kUyvy ? _mm_unpacklo_epi8(uv, luma) : _mm_unpacklo_epi8(luma, uv);
    const __m128i hi = kUyvy ? _mm_unpackhi_epi8(uv, luma) : _mm_unpackhi_epi8(luma, uv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 16), hi);
    dest += 32, y += 16, cb += 8, cr += 8;
  }
  if (groups) {
    const __m128i uv = _mm_unpacklo_epi8(Load4(cb), Load4(cr));
    const __m128i luma = Load8(y);
    const __m128i v = kUyvy ? _mm_unpacklo_epi8(uv, luma) : _mm_unpacklo_epi8(luma, uv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), v);
  }
}

const SimdKernels kSse2 = {"sse2",
                           {Group32<false>, Group32<true>, Group16<false>, Group16<true>,
                            GroupIndex8, GroupPacked<false>, GroupPacked<true>, Group24}};

}  // namespace

const SimdKernels* SimdKernelsSse2() {
  return &kSse2;
}

}  // namespace vexil

#else

namespace vexil {
const SimdKernels* SimdKernelsSse2() {
  return nullptr;
}
}  // namespace vexil

#endif
