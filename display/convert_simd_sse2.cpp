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

// The chroma terms of red, green and blue for 8 chroma samples (one each per
// lane; the pixels of a pair take the same lane's terms).
struct ChromaTerms {
  __m128i r, g, b;
};

inline ChromaTerms Chroma(__m128i u16, __m128i v16) {
  const __m128i chroma_gain = _mm_set1_epi16(kSimdChromaGain);
  const __m128i u = _mm_mulhi_epi16(_mm_slli_epi16(u16, 4), chroma_gain);
  const __m128i v = _mm_mulhi_epi16(_mm_slli_epi16(v16, 5), chroma_gain);
  return {_mm_add_epi16(v, v), _mm_add_epi16(u, v), _mm_add_epi16(_mm_slli_epi16(u, 2), u)};
}

inline Lanes Combine(__m128i y16, __m128i red, __m128i green, __m128i blue, const Dither& d) {
  const __m128i yy = _mm_mulhi_epi16(_mm_slli_epi16(y16, 6), _mm_set1_epi16(kSimdLumaGain));
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(kSimdRangeOffset));
  return {_mm_subs_epu16(_mm_adds_epi16(_mm_add_epi16(yy, red), d.r), offset),
          _mm_subs_epu16(_mm_adds_epi16(_mm_sub_epi16(yy, green), d.g), offset),
          _mm_subs_epu16(_mm_adds_epi16(_mm_add_epi16(yy, blue), d.b), offset)};
}

inline Lanes Colour(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const Dither& d) {
  const __m128i zero = _mm_setzero_si128();
  __m128i u16 = _mm_unpacklo_epi8(Load4(cb), zero);
  __m128i v16 = _mm_unpacklo_epi8(Load4(cr), zero);
  const ChromaTerms c = Chroma(_mm_unpacklo_epi16(u16, u16), _mm_unpacklo_epi16(v16, v16));
  return Combine(_mm_unpacklo_epi8(Load8(y), zero), c.r, c.g, c.b, d);
}

// Two groups at once: the chroma terms of both are computed in one register
// and then doubled for the pixel pairs.
inline void Colour2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const Dither& d,
                    Lanes out[2]) {
  const __m128i zero = _mm_setzero_si128();
  const ChromaTerms c =
      Chroma(_mm_unpacklo_epi8(Load8(cb), zero), _mm_unpacklo_epi8(Load8(cr), zero));
  const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
  out[0] = Combine(_mm_unpacklo_epi8(luma, zero), _mm_unpacklo_epi16(c.r, c.r),
                   _mm_unpacklo_epi16(c.g, c.g), _mm_unpacklo_epi16(c.b, c.b), d);
  out[1] = Combine(_mm_unpackhi_epi8(luma, zero), _mm_unpackhi_epi16(c.r, c.r),
                   _mm_unpackhi_epi16(c.g, c.g), _mm_unpackhi_epi16(c.b, c.b), d);
}

// Calls emit(lanes, g) for groups 0 .. groups - 1, two at a time while it can.
template <typename Emit>
inline void EachGroup(const Dither& d, const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                      size_t groups, Emit emit) {
  size_t g = 0;
  for (; g + 2 <= groups; g += 2) {
    Lanes c[2];
    Colour2(y + 8 * g, cb + 4 * g, cr + 4 * g, d, c);
    emit(c[0], g);
    emit(c[1], g + 1);
  }
  if (g < groups) emit(Colour(y + 8 * g, cb + 4 * g, cr + 4 * g, d), g);
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
  const bool red_high = p.red_pos == 16;
  EachGroup(Dither(p), y, cb, cr, groups, [&](const Lanes& c, size_t g) {
    const PixelHalves h = Halves(c, red_high);
    __m128i high_alpha = h.high;
    if constexpr (kAlpha) {
      const __m128i a16 = _mm_unpacklo_epi8(_mm_setzero_si128(), Load8(a + 8 * g));
      high_alpha = _mm_or_si128(h.high, a16);
    }
    uint8_t* out = dest + 32 * g;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(h.low_green, high_alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_unpackhi_epi16(h.low_green, high_alpha));
  });
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
  // (movq stores make no alignment claim; a double store through a pointer
  // would, and d + 6 is seldom 8-byte aligned.)
  _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 6), _mm_unpackhi_epi64(v, v));
}

// The 6 bytes of each half of `v` as 12 bytes.
inline __m128i Join12(__m128i v) {
  return _mm_or_si128(_mm_move_epi64(v), _mm_slli_si128(_mm_srli_si128(v, 8), 6));
}

void Group24(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t*, size_t groups) {
  const bool red_high = p.red_pos == 16;
  EachGroup(Dither(p), y, cb, cr, groups, [&](const Lanes& c, size_t g) {
    const PixelHalves h = Halves(c, red_high);
    const __m128i first = Close24(_mm_unpacklo_epi16(h.low_green, h.high));   // pixels 0-3
    const __m128i second = Close24(_mm_unpackhi_epi16(h.low_green, h.high));  // pixels 4-7
    uint8_t* out = dest + 24 * g;
    if (g + 1 < groups) {
      // The bytes written past this group are the next group's, written after.
      Store6Pairs(out, first);
      Store6Pairs(out + 12, second);
    } else {
      const __m128i low = Join12(first), high = Join12(second);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                       _mm_or_si128(low, _mm_slli_si128(high, 12)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(high, 4));
    }
  });
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
  const __m128i alpha_shift = _mm_cvtsi32_si128(static_cast<int>(p.shift[0]));
  const __m128i alpha_pos = _mm_cvtsi32_si128(static_cast<int>(p.pos[0]));
  EachGroup(Dither(p), y, cb, cr, groups, [&](const Lanes& c, size_t g) {
    __m128i v = Fields(p, c);
    if constexpr (kAlpha) {
      const __m128i a16 = _mm_unpacklo_epi8(Load8(a + 8 * g), _mm_setzero_si128());
      v = _mm_or_si128(v, _mm_sll_epi16(_mm_srl_epi16(a16, alpha_shift), alpha_pos));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 16 * g), v);
  });
}

void GroupIndex8(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
                 const uint8_t* cr, const uint8_t*, size_t groups) {
  EachGroup(Dither(p), y, cb, cr, groups, [&](const Lanes& c, size_t g) {
    const __m128i v = Fields(p, c);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + 8 * g), _mm_packus_epi16(v, v));
  });
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
