#include "encoder/bundle_encoder.h"

#include <cstdlib>

namespace vexil {
namespace {

template <typename T>
bool AllSame(const T* v, uint32_t n) {
  for (uint32_t i = 1; i < n; ++i)
    if (v[i] != v[0]) return false;
  return true;
}

// Writes the length; true when values follow (n > 0).
bool StartChunk(BitWriter& w, uint32_t length_bits, uint32_t n) {
  w.Put(n, length_bits);
  return n != 0;
}

}  // namespace

bool WriteTypeChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                    uint32_t n) {
  if (!StartChunk(w, length_bits, n)) return true;
  if (AllSame(values, n)) {
    w.PutBit(1);
    w.Put(values[0], 4);
    return true;
  }
  w.PutBit(0);
  uint32_t last = 0;
  for (uint32_t i = 0; i < n;) {
    uint32_t same = 0;
    while (i + same < n && values[i + same] == last) ++same;
    if (same >= 4) {
      static constexpr uint32_t kRuns[4] = {32, 12, 8, 4};
      static constexpr uint32_t kCodes[4] = {15, 14, 13, 12};
      int k = 0;
      while (kRuns[k] > same) ++k;
      if (!tree.Put(w, kCodes[k])) return false;
      i += kRuns[k];
      continue;
    }
    if (values[i] >= 12) return false;
    if (!tree.Put(w, values[i])) return false;
    last = values[i++];
  }
  return true;
}

uint8_t OldRevisionColour(uint32_t sent) {
  const uint32_t m = sent & 127;
  return static_cast<uint8_t>((sent & 128) ? 128 - m : 128 + m);
}

bool OldRevisionValue(uint8_t stored, uint32_t* sent) {
  if (stored >= 128) {
    *sent = stored - 128u;
    return true;
  }
  if (stored == 0) return false;
  *sent = 128u | (128u - stored);
  return true;
}

bool WriteColourChunk(BitWriter& w, uint32_t length_bits, TreeUse high[16], TreeUse& low,
                      uint32_t* previous_high, const uint8_t* values, uint32_t n,
                      bool old_revision) {
  if (!StartChunk(w, length_bits, n)) return true;
  const bool fill = AllSame(values, n);
  w.PutBit(fill);
  const uint32_t count = fill ? 1 : n;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t v = values[i];
    if (old_revision && !OldRevisionValue(values[i], &v)) return false;
    const uint32_t h = v >> 4;
    if (!high[*previous_high].Put(w, h) || !low.Put(w, v & 15)) return false;
    *previous_high = h;
  }
  return true;
}

void WritePatternChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                       uint32_t n) {
  if (!StartChunk(w, length_bits, n)) return;
  for (uint32_t i = 0; i < n; ++i) {
    tree.Put(w, values[i] & 15);
    tree.Put(w, values[i] >> 4);
  }
}

void WriteOffsetChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const int8_t* values,
                      uint32_t n) {
  if (!StartChunk(w, length_bits, n)) return;
  if (AllSame(values, n)) {
    w.PutBit(1);
    w.Put(static_cast<uint32_t>(std::abs(values[0])), 4);
    if (values[0]) w.PutBit(values[0] < 0);
    return;
  }
  w.PutBit(0);
  for (uint32_t i = 0; i < n; ++i) {
    tree.Put(w, static_cast<uint32_t>(std::abs(values[i])));
    if (values[i]) w.PutBit(values[i] < 0);
  }
}

bool WriteDcChunk(BitWriter& w, uint32_t length_bits, bool is_signed, const uint16_t* values,
                  uint32_t n) {
  if (!StartChunk(w, length_bits, n)) return true;
  if (is_signed) {
    const int32_t v = static_cast<int16_t>(values[0]);
    if (v < -1023 || v > 1023) return false;
    w.Put(static_cast<uint32_t>(std::abs(v)), 10);
    if (v) w.PutBit(v < 0);
  } else {
    if (values[0] > 2047) return false;
    w.Put(values[0], 11);
  }
  for (uint32_t i = 1; i < n; i += 8) {
    const uint32_t end = i + 8 < n ? i + 8 : n;
    uint32_t bits = 0;
    for (uint32_t j = i; j < end; ++j) {
      const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(values[j] - values[j - 1]));
      if (d == -32768) return false;
      uint32_t m = static_cast<uint32_t>(std::abs(d)), len = 0;
      while (m >> len) ++len;
      if (len > bits) bits = len;
    }
    w.Put(bits, 4);
    if (!bits) continue;
    for (uint32_t j = i; j < end; ++j) {
      const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(values[j] - values[j - 1]));
      w.Put(static_cast<uint32_t>(std::abs(d)), bits);
      if (d) w.PutBit(d < 0);
    }
  }
  return true;
}

void WriteRunChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                   uint32_t n) {
  if (!StartChunk(w, length_bits, n)) return;
  if (AllSame(values, n)) {
    w.PutBit(1);
    w.Put(values[0], 4);
    return;
  }
  w.PutBit(0);
  for (uint32_t i = 0; i < n; ++i) tree.Put(w, values[i]);
}

}  // namespace vexil
