// The conversion context: everything the copy's converters keep from one copy
// to the next. The SIMD kernels are chosen once, when the context is made,
// from the processor feature word it is given; the converter selection, the
// channel description with its derived values, the dither rows and the table
// path's lookup tables (with the key they were built for) change as copies
// select their converters.
//
// Threads: one thread at a time per context; copies through one context must
// not overlap. Different contexts may convert on different threads at once:
// the converters share nothing else but constant tables.
//
// Owners: the player has one (player thread), each movie of the public
// library has its own, and each tool, test or benchmark that copies makes
// its own. The dither rows carry their phase from one copy to the next within
// a context, so a sequence of copies repeated through a fresh context gives
// the same bytes again.
//
// Callers make a context and hand it to the copy; the fields belong to the
// selectors and converters of display/.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/cpu.h"

namespace vexil {

struct StripContext;
struct SimdKernels;

// Converts up to n pixels of the current row starting at source column x
// (at least one while n > 0), advancing the cursors past what it converted;
// returns the number left unconverted.
using RowConverter = uint32_t (*)(StripContext* ctx, uint32_t n, uint32_t x);

// Converts every row of a whole copy at once, `width` pixels each, from the
// cursors the row loop set up; the row loop moves the dither rows on.
using FrameConverter = void (*)(StripContext* ctx, uint32_t width);

// Moves the staged bytes [start, end) into the destination at `dest`; returns
// the destination position after them.
using PostStep = uint8_t* (*)(StripContext* ctx, uint8_t* dest, const uint8_t* start,
                              const uint8_t* end);

enum ConverterFamily : uint32_t { FAMILY_8 = 0, FAMILY_16 = 1, FAMILY_32 = 2 };

// What the selection chose for the copy flags of the latest copy.
struct ConverterSelection {
  RowConverter row_converter;
  RowConverter strip;    // the row converter, or the height-doubling wrapper
  FrameConverter frame;  // where set, whole copies go through it instead of the strip
  PostStep post;
  PostStep width_doubling_post;
  PostStep saved_post;  // inner post step of the height-doubling post step
  uint32_t bytes_per_pixel;
  uint32_t family;
  bool staging;
  uint32_t dest_bytes_per_pixel;  // bytes per pixel, doubled in modes 3, 4, 5
};

enum Channel { CH_ALPHA, CH_RED, CH_GREEN, CH_BLUE, CH_COUNT };

// Bit position of each channel's least significant bit and the bits dropped
// from its 8-bit value.
struct ChannelDescription {
  uint8_t pos[CH_COUNT];
  uint8_t dropped[CH_COUNT];
};

// Channels of the dither rows: red, green, blue.
constexpr int kDitherChannels = 3;

struct DitherRows {
  // SIMD path: bias plus dither, lanes 0 and 2 for even columns, 1 and 3 for
  // odd; [channel][0] is the current row, [channel][1] the other.
  int16_t simd[kDitherChannels][2][4];
  // Table path, 16-bit formats: added to the luma term; [row][column parity].
  int32_t table16[2][2];
  // Table path, 8-bit index: added to each channel value; [channel][row][parity].
  int32_t index8[kDitherChannels][2][2];
};

// The table path's channel tables, built for the channel description of the
// latest table selection.
struct ChannelTables {
  // Shared channel table (16/24/32-bit formats): 256 zeros, i >> s, 256 of 255 >> s.
  uint32_t channel[768];
  // Per-channel byte tables (8-bit index): red, green, blue.
  uint8_t index[3][768];
  uint32_t s;         // the largest dropped-bit count of red, green, blue
  uint32_t shift[4];  // 16-bit: the shared word's left shift per channel (position - dropped + s)
  // What the tables were last built for: shared or byte tables, s, and per
  // channel position - dropped + s (byte tables: also the dropped bits).
  bool built;
  uint32_t key[8];
};

struct ConversionContext {
  // `cpu_features` is a feature word as CpuFeatures() gives it (masked by
  // VEXIL_CPU_MASK); tests and benchmarks pass the word of the path they want.
  explicit ConversionContext(uint32_t cpu_features = CpuFeatures());

  uint32_t cpu;                // what the selectors test (CPU_MMX picks the SIMD members)
  const SimdKernels* kernels;  // the fastest group kernels `cpu` allows

  ConverterSelection selection{};
  ChannelDescription channels{};
  bool channels_valid = false;  // false until the first RGB selection
  uint32_t alpha_mask = 0;      // one 32-bit store: 0xFF000000, 0xF000F000 or 0x80008000
  int32_t alpha_shift = 0;      // alpha position minus its dropped bits
  DitherRows dither{};
  ChannelTables tables{};
};

}  // namespace vexil
