// The intra and inter quantizer tables: 16 rows (quantizer index) of 64
// factors in block order. Each factor carries the inverse transform's scale
// for its position, so dequantization folds into the column pass:
// coefficient x factor (32-bit product) >> 11.
#pragma once

#include <cstdint>

namespace vexil {

extern const uint32_t kIntraQuant[16][64];
extern const uint32_t kInterQuant[16][64];

}  // namespace vexil
