// Encoder side of the bundles: one chunk (length field and values) in each of
// the bundle codings. Fills (one value for the whole chunk) are used whenever
// every value is the same. A chunk of length 0 stops the bundle.
#pragma once

#include <cstdint>

#include "encoder/bit_writer.h"
#include "encoder/tree_encoder.h"

namespace vexil {

// Block and sub-block types. Values 12..15 can only be sent by a fill (through
// the tree they are run codes); false when a mixed chunk holds one.
bool WriteTypeChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                    uint32_t n);

// Colours as they are to be stored. `high` are the 16 high-nibble trees,
// `previous_high` carries over between chunks. Old revisions store
// sign-and-magnitude values as offset 128, which cannot give 0: false then.
bool WriteColourChunk(BitWriter& w, uint32_t length_bits, TreeUse high[16], TreeUse& low,
                      uint32_t* previous_high, const uint8_t* values, uint32_t n,
                      bool old_revision);

void WritePatternChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                       uint32_t n);

// Offsets in -15..15.
void WriteOffsetChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const int8_t* values,
                      uint32_t n);

// DC values (16-bit, wrapping). The first must fit the start field (intra:
// 0..2047; inter: -1023..1023); each step to the next value must lie within
// +-32767. False otherwise.
bool WriteDcChunk(BitWriter& w, uint32_t length_bits, bool is_signed, const uint16_t* values,
                  uint32_t n);

// Run values 0..15.
void WriteRunChunk(BitWriter& w, uint32_t length_bits, TreeUse& tree, const uint8_t* values,
                   uint32_t n);

// The stored colour for a decoded value in old revisions, and the value to
// send for a stored colour (false for 0).
uint8_t OldRevisionColour(uint32_t sent);
bool OldRevisionValue(uint8_t stored, uint32_t* sent);

}  // namespace vexil
