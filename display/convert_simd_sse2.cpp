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

template <bool kAlpha>
void Group32(const SimdParams& p, uint8_t* dest, const uint8_t* y, const uint8_t* cb,
             const uint8_t* cr, const uint8_t* a, size_t groups) {
  const Dither d(p);
  const bool red_high = p.red_pos == 16;
  const __m128i zero = _mm_setzero_si128();
  for (size_t g = 0; g < groups; ++g) {
    const Lanes c = Colour(y, cb, cr, d);
    const __m128i r = _mm_srli_epi16(c.r, 4);
    const __m128i gr = _mm_srli_epi16(c.g, 4);
    const __m128i b = _mm_srli_epi16(c.b, 4);
    const __m128i low = red_high ? b : r;
    const __m128i high = red_high ? r : b;
    const __m128i low_green = _mm_or_si128(low, _mm_slli_epi16(gr, 8));
    __m128i high_alpha = high;
    if constexpr (kAlpha) {
      high_alpha = _mm_or_si128(high, _mm_slli_epi16(_mm_unpacklo_epi8(Load8(a), zero), 8));
      a += 8;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_unpacklo_epi16(low_green, high_alpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + 16),
                     _mm_unpackhi_epi16(low_green, high_alpha));
    dest += 32, y += 8, cb += 4, cr += 4;
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
  for (size_t g = 0; g < groups; ++g) {
    const __m128i uv = _mm_unpacklo_epi8(Load4(cb), Load4(cr));
    const __m128i luma = Load8(y);
    const __m128i v = kUyvy ? _mm_unpacklo_epi8(uv, luma) : _mm_unpacklo_epi8(luma, uv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), v);
    dest += 16, y += 8, cb += 4, cr += 4;
  }
}

const SimdKernels kSse2 = {"sse2",
                           {Group32<false>, Group32<true>, Group16<false>, Group16<true>,
                            GroupIndex8, GroupPacked<false>, GroupPacked<true>}};

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
