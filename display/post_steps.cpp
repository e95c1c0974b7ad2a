// Post steps that move a staged run into the destination: a plain copy,
// width doubling for 1-, 2-, 3- and 4-byte pixels, and 24-bit packing.
#include <cstring>

#include "display/converter.h"

namespace vexil {
namespace {

template <size_t kBytes>
uint8_t* Double(uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  for (const uint8_t* s = start; s + kBytes <= end; s += kBytes, dest += 2 * kBytes) {
    std::memcpy(dest, s, kBytes);
    std::memcpy(dest + kBytes, s, kBytes);
  }
  return dest;
}

// The low three bytes of each staged 4-byte pixel, `kTimes` times.
template <int kTimes>
uint8_t* Pack24(uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  const uint8_t* s = start;
  if constexpr (kTimes == 1) {
    // Four pixels at a time: 16 staged bytes into 12.
    for (; end - s >= 16; s += 16, dest += 12) {
      uint64_t a, b;
      std::memcpy(&a, s, 8);
      std::memcpy(&b, s + 8, 8);
      const uint64_t low = (a & 0xFFFFFF) | ((a >> 8) & 0xFFFFFF000000) | (b << 48);
      const auto high = static_cast<uint32_t>(((b >> 16) & 0xFF) | ((b >> 32) & 0xFFFFFF) << 8);
      std::memcpy(dest, &low, 8);
      std::memcpy(dest + 8, &high, 4);
    }
  }
  for (; end - s >= 4; s += 4) {
    for (int t = 0; t < kTimes; ++t, dest += 3) std::memcpy(dest, s, 3);
  }
  return dest;
}

}  // namespace

uint8_t* PostCopy(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  const size_t n = static_cast<size_t>(end - start);
  if (n) std::memcpy(dest, start, n);
  return dest + n;
}
uint8_t* PostDouble8(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Double<1>(dest, start, end);
}
uint8_t* PostDouble16(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Double<2>(dest, start, end);
}
uint8_t* PostDouble24(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Double<3>(dest, start, end);
}
uint8_t* PostDouble32(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Double<4>(dest, start, end);
}
uint8_t* PostPack24(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Pack24<1>(dest, start, end);
}
uint8_t* PostPack24Double(StripContext*, uint8_t* dest, const uint8_t* start, const uint8_t* end) {
  return Pack24<2>(dest, start, end);
}

}  // namespace vexil
