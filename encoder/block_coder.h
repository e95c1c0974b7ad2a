// The mode decision for one block: every block kind the plane may use is
// tried on the source and scored by rate-distortion cost (squared error +
// lambda x estimated bits), with the exact samples the decoder will write.
#pragma once

#include <cstdint>

#include "encoder/coefficient_encoder.h"
#include "encoder/encoder_kernels.h"
#include "encoder/forward_dct.h"
#include "encoder/plane_builder.h"
#include "encoder/rate_model.h"
#include "video/block_types.h"

namespace vexil {

// Block kinds the encoder may choose; tests narrow the set to reach each one.
constexpr uint32_t BLOCK_MODE_SKIP = 1u << 0;
constexpr uint32_t BLOCK_MODE_MOTION = 1u << 1;
constexpr uint32_t BLOCK_MODE_FILL = 1u << 2;
constexpr uint32_t BLOCK_MODE_PATTERN = 1u << 3;
constexpr uint32_t BLOCK_MODE_RAW = 1u << 4;
constexpr uint32_t BLOCK_MODE_RUN = 1u << 5;
constexpr uint32_t BLOCK_MODE_INTRA = 1u << 6;
constexpr uint32_t BLOCK_MODE_INTER = 1u << 7;
constexpr uint32_t BLOCK_MODE_RESIDUE = 1u << 8;
constexpr uint32_t BLOCK_MODE_SCALED = 1u << 9;  // scaled versions of the allowed intra kinds
constexpr uint32_t BLOCK_MODE_ALL = (1u << 10) - 1;
// Kinds that need no earlier picture.
constexpr uint32_t BLOCK_MODE_INTRA_KINDS = BLOCK_MODE_FILL | BLOCK_MODE_PATTERN | BLOCK_MODE_RAW |
                                            BLOCK_MODE_RUN | BLOCK_MODE_INTRA | BLOCK_MODE_SCALED;

struct MotionVector {
  int8_t dx = 0, dy = 0;
  bool operator==(const MotionVector&) const = default;
};

struct BlockChoice {
  uint8_t type = BLOCK_SKIP;  // a scaled block's content type (run, intra, fill, pattern, raw)
  bool scaled = false;
  MotionVector mv;
  uint8_t colour = 0;
  PatternBlockCode pattern;
  DctBlockCode dct;
  ResidueBlockCode residue;
  RunBlockCode run;
  uint8_t content[64] = {};  // the 8x8 samples written (scaled: before doubling); raw colours
  double distortion = 0, bits = 0, cost = 0;
};

struct BlockCoderSetup {
  const uint8_t* source = nullptr;     // width x height samples, rows `width` apart
  const uint8_t* reference = nullptr;  // the decoder's previous picture; null on key frames
  uint32_t width = 0, height = 0;      // multiples of 8
  double lambda = 1;                   // squared error per bit
  // Transform blocks try every quantizer from the finest to the coarsest.
  uint32_t finest_quantizer = 0;
  uint32_t coarsest_quantizer = 0;
  uint32_t residue_threshold = 0;  // residue values up to this are dropped
  uint32_t modes = BLOCK_MODE_ALL;
  bool old_revision = false;  // colours in sign-and-magnitude form: 0 cannot be sent
  const RateModel* rate = nullptr;
  const EncoderKernels* kernels = nullptr;
};

class BlockCoder {
 public:
  explicit BlockCoder(const BlockCoderSetup& setup);

  // The best 8x8 block at (x, y). `mv` is the motion search's vector; every
  // kind that needs the reference uses it (inter frames only).
  void Best(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* best);
  // The best scaled block for the 16x16 area at (x, y) (the area must lie in
  // the plane). False, with *best unspecified, when none costs less than `to_beat`.
  bool BestScaled(uint32_t x, uint32_t y, double to_beat, BlockChoice* best);
  // The block taken at the next position: DC values are coded as steps, so
  // the estimates follow the order blocks are taken in.
  void Commit(const BlockChoice& choice);

  // Cost of a motion vector's two offsets, in bits.
  double MotionBits(MotionVector mv) const { return s_.rate->Offsets(mv.dx, mv.dy); }

  // How a kind of transform block quantizes: its table, the rounding of the
  // other coefficients and the range of its DC.
  struct RowRules {
    DctTable table;
    float rounding;
    int32_t dc_low, dc_high;
  };

 private:
  struct Target;
  // Scores a candidate; it becomes *best (by swapping) when it costs less.
  double Consider(BlockChoice& candidate, BlockChoice* best) const;
  // One quantizer row's coefficients (in scan order, the DC first) and
  // their bits.
  struct RowTrial {
    uint32_t q;
    int16_t by_scan[64];
    uint32_t coefficient_bits;
    double estimate;  // predicted cost
  };
  // How many of the rows the block may use are coded exactly.
  static constexpr size_t kExactRows = 2;
  // The rows whose predicted cost (error from the transform coefficients,
  // `weight` per unit of their squared error, plus lambda x bits) is least,
  // at most kExactRows of them, cheapest first. `other_bits`: the type's and
  // vector's bits; the DC is a step from `last_dc`.
  size_t RankRows(const float f[64], const RowRules& rules, double weight, double other_bits,
                  int32_t last_dc, const BlockChoice& best, RowTrial* rows) const;
  // Zeroes the row's values of magnitude 1 (`ones`: their scan positions)
  // whose bits cost more than the error they save, and takes them out of
  // `shape`; `f` and `row` are the coefficients and tables in scan order.
  // Adds the error they leave to *error and returns the coefficient bits.
  uint32_t DropCostlyOnes(const float f[64], const DctRowByScan& row, const RowRules& rules,
                          RowTrial* r, uint64_t ones, CoefficientShape* shape, float* error) const;
  bool Hopeless(double least_bits, const BlockChoice& best) const {
    return s_.lambda * least_bits >= best.cost;
  }
  void TryIntraKinds(const Target& t, BlockChoice* scratch, BlockChoice* best);
  uint32_t Distortion(const Target& t, const uint8_t content[64]) const;
  uint8_t Colour(int32_t v) const;  // 0..255, never 0 in old revisions
  void TryFill(const Target& t, BlockChoice* scratch, BlockChoice* best);
  void TryPattern(const Target& t, BlockChoice* scratch, BlockChoice* best);
  void TryRaw(const Target& t, BlockChoice* scratch, BlockChoice* best);
  void TryRun(const Target& t, BlockChoice* scratch, BlockChoice* best);
  void TryIntra(const Target& t, BlockChoice* scratch, BlockChoice* best);
  void TryInter(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* scratch, BlockChoice* best);
  void TryResidue(uint32_t x, uint32_t y, MotionVector mv, BlockChoice* scratch, BlockChoice* best);
  double TypeBits(const Target& t, uint8_t type) const;

  BlockCoderSetup s_;
  int32_t last_intra_dc_ = 0, last_inter_dc_ = 0;
};

// Puts a chosen block into a plane builder at its next position.
void EmitBlock(PlaneBuilder& builder, const BlockChoice& choice);

// Counts the values a chosen block puts into the bundles (for the rate model).
void CountBlockValues(const BlockChoice& choice, ValueCounts* counts);

}  // namespace vexil
