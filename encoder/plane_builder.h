// Builds the bit stream of one plane from a description of its blocks, in
// decode order, and keeps the picture a decoder must produce from it (and the
// changed-block map and skip count). Chunks are cut at block-row boundaries,
// as many whole rows per chunk as the capacity allows; trees are chosen from
// the plane's value counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/bit_writer.h"

namespace vexil {

// One step of a run block: run value r (length r + 1) and either one colour
// for the whole run or one colour per position. A run longer than the
// positions left ends the block (only its value is sent).
struct RunSegment {
  uint8_t run = 0;
  bool one_colour = true;
  std::vector<uint8_t> colours;
};

struct RunBlockCode {
  uint8_t scan = 0;
  std::vector<RunSegment> segments;
  uint8_t last_colour = 0;  // sent when the runs fill exactly 63 positions
};

struct DctBlockCode {
  int32_t dc = 0;            // intra: 0..2047 first in a chunk; inter: signed
  int16_t by_scan[64] = {};  // coefficients by scan index; [0] unused
  uint8_t quantizer = 0;
};

struct PatternBlockCode {
  uint8_t c0 = 0, c1 = 0;
  uint8_t rows[8] = {};
};

struct ResidueBlockCode {
  int16_t by_scan[64] = {};  // magnitudes up to 255
  uint8_t limit = 127;
};

struct PlaneBuilderOptions {
  uint32_t width = 0, height = 0;  // multiples of 8
  uint32_t pitch = 0;              // 0: the width
  bool old_revision = false;
  uint32_t map_step = 1;    // for the expected map and skip count
  uint32_t map_stride = 0;  // 0: enough for the plane
};

class PlaneBuilder {
 public:
  // `reference` and `destination` (pitch x height bytes; empty = all zero)
  // are the reference plane and what the destination holds before decoding.
  PlaneBuilder(const PlaneBuilderOptions& options, std::vector<uint8_t> reference = {},
               std::vector<uint8_t> destination = {});

  // Blocks at the next position, in decode order.
  void Skip();
  void Pass(uint8_t code);  // 10..15
  void Motion(int dx, int dy);
  void Run(const RunBlockCode& block);
  void Residue(int dx, int dy, const ResidueBlockCode& block);
  void Intra(const DctBlockCode& block);
  void Fill(uint8_t colour);
  void Inter(int dx, int dy, const DctBlockCode& block);
  void Pattern(const PatternBlockCode& block);
  void Raw(const uint8_t colours[64]);
  // Scaled blocks. Scaled() alone is the code with no content: odd rows,
  // fewer than 16 columns left, or a sub-type without content (`sub_type`).
  void Scaled(uint8_t sub_type = 0);
  void ScaledRun(const RunBlockCode& block);
  void ScaledIntra(const DctBlockCode& block);
  void ScaledFill(uint8_t colour);
  void ScaledPattern(const PatternBlockCode& block);
  void ScaledRaw(const uint8_t colours[64]);

  // Position of the next block; done() once the plane is covered.
  uint32_t x() const { return x_; }
  uint32_t y() const { return y_; }
  bool done() const { return y_ >= opt_.height || opt_.width == 0; }
  bool odd_row() const { return y_ % 16 == 8; }
  uint32_t remaining_width() const { return opt_.width - x_; }

  // The plane's bytes, padded to a whole word. Empty when some value cannot be
  // coded (see error()).
  std::vector<uint8_t> Finish();
  const std::string& error() const { return error_; }

  // What the decoder must produce.
  const std::vector<uint8_t>& expected() const { return recon_; }
  const std::vector<uint8_t>& expected_map() const { return map_; }
  uint32_t expected_skip_count() const { return skip_count_; }
  uint32_t map_stride() const { return opt_.map_stride; }

 private:
  struct Row {
    std::vector<uint8_t> v[9];  // bundle values; DC bundles as 16-bit pairs
    BitWriter inline_bits;
  };
  Row& row() { return rows_[y_ / 8]; }
  bool PastEnd();  // true (and an error) once the plane is covered
  void TakeType(uint8_t type);
  void Mark(uint32_t column);
  void Advance(uint32_t pixels);
  const uint8_t* Source(int dx, int dy);  // null when out of range
  void PutOffsets(int dx, int dy);
  void PutDc(int bundle, int32_t dc);
  void BuildRun(const RunBlockCode& block, uint8_t out[64]);
  void BuildIntra(const DctBlockCode& block, uint8_t out[64]);
  void BuildPattern(const PatternBlockCode& block, uint8_t out[64]);
  void BuildRaw(const uint8_t colours[64], uint8_t out[64]);
  void Put(const uint8_t in[64]);
  void PutDoubled(const uint8_t in[64]);
  bool ScaledStart(uint8_t sub_type);  // true when content is to be built
  struct PlaneTrees;
  bool WriteAll(BitWriter& out, PlaneTrees& trees, bool counting);

  PlaneBuilderOptions opt_;
  std::vector<uint8_t> reference_, recon_, map_;
  std::vector<Row> rows_;
  uint32_t x_ = 0, y_ = 0, map_column_ = 0, map_row_ = 0, skip_count_ = 0;
  uint8_t work_[64] = {};
  std::string error_;
};

}  // namespace vexil
