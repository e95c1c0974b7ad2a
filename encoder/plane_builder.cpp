#include "encoder/plane_builder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "encoder/bundle_encoder.h"
#include "encoder/coefficient_encoder.h"
#include "encoder/tree_encoder.h"
#include "video/bundles.h"
#include "video/idct.h"
#include "video/quantizer_tables.h"
#include "video/scan_tables.h"

namespace vexil {
namespace {

enum : int {
  K_TYPES = BUNDLE_BLOCK_TYPES,
  K_SUB = BUNDLE_SUB_BLOCK_TYPES,
  K_COLOURS = BUNDLE_COLOURS,
  K_PATTERNS = BUNDLE_PATTERNS,
  K_X = BUNDLE_X_OFFSETS,
  K_Y = BUNDLE_Y_OFFSETS,
  K_INTRA_DC = BUNDLE_INTRA_DC,
  K_INTER_DC = BUNDLE_INTER_DC,
  K_RUNS = BUNDLE_RUNS,
};

bool IsDc(int k) {
  return k == K_INTRA_DC || k == K_INTER_DC;
}

bool HasContent(uint8_t sub_type) {
  return sub_type == 3 || sub_type == 5 || sub_type == 6 || sub_type == 8 || sub_type == 9;
}

}  // namespace

PlaneBuilder::PlaneBuilder(const PlaneBuilderOptions& options, std::vector<uint8_t> reference,
                           std::vector<uint8_t> destination)
    : opt_(options) {
  if (!opt_.pitch) opt_.pitch = opt_.width;
  const size_t bytes = size_t{opt_.pitch} * opt_.height;
  reference_ = reference.empty() ? std::vector<uint8_t>(bytes, 0) : std::move(reference);
  recon_ = destination.empty() ? std::vector<uint8_t>(bytes, 0) : std::move(destination);
  reference_.resize(bytes);
  recon_.resize(bytes);
  uint32_t map_rows = 1;
  if (opt_.map_step == 1) {
    if (!opt_.map_stride) opt_.map_stride = (opt_.width + 15) / 16;
    map_rows = (opt_.height + 15) / 16;
  } else if (opt_.map_step == 2) {
    if (!opt_.map_stride) opt_.map_stride = opt_.width / 8;
    map_rows = opt_.height / 8;
  }
  map_.assign(size_t{std::max(opt_.map_stride, 1u)} * std::max(map_rows, 1u), 0);
  rows_.resize(opt_.height / 8);
}

bool PlaneBuilder::PastEnd() {
  if (!done()) return false;
  error_ = "blocks past the end of the plane";
  return true;
}

void PlaneBuilder::TakeType(uint8_t type) {
  row().v[K_TYPES].push_back(type);
}

void PlaneBuilder::Mark(uint32_t column) {
  if (!opt_.map_step) return;
  const uint32_t map_row = opt_.map_step == 1 ? y_ / 16 : y_ / 8;
  map_[size_t{map_row} * opt_.map_stride + column / 2] = 1;
}

void PlaneBuilder::Advance(uint32_t pixels) {
  x_ += pixels;
  map_column_ += pixels / 8 * opt_.map_step;
  if (x_ >= opt_.width) {
    x_ = 0;
    map_column_ = 0;
    y_ += 8;
  }
}

const uint8_t* PlaneBuilder::Source(int dx, int dy) {
  const int64_t offset = int64_t{y_} * opt_.pitch + x_ + int64_t{dy} * opt_.pitch + dx;
  const int64_t limit = int64_t{opt_.height - 8} * opt_.pitch + opt_.width - 8;
  if (offset < 0 || offset > limit) return nullptr;
  return reference_.data() + offset;
}

void PlaneBuilder::PutOffsets(int dx, int dy) {
  row().v[K_X].push_back(static_cast<uint8_t>(dx));
  row().v[K_Y].push_back(static_cast<uint8_t>(dy));
}

void PlaneBuilder::PutDc(int bundle, int32_t dc) {
  const uint16_t v = static_cast<uint16_t>(dc);
  row().v[bundle].push_back(static_cast<uint8_t>(v));
  row().v[bundle].push_back(static_cast<uint8_t>(v >> 8));
}

void PlaneBuilder::Put(const uint8_t in[64]) {
  uint8_t* dst = recon_.data() + size_t{y_} * opt_.pitch + x_;
  for (int r = 0; r < 8; ++r) std::memcpy(dst + r * opt_.pitch, in + 8 * r, 8);
}

void PlaneBuilder::PutDoubled(const uint8_t in[64]) {
  uint8_t* dst = recon_.data() + size_t{y_} * opt_.pitch + x_;
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c) dst[r * opt_.pitch + c] = in[8 * (r / 2) + c / 2];
}

void PlaneBuilder::Skip() {
  if (PastEnd()) return;
  TakeType(0);
  const uint32_t map_row = opt_.map_step == 1 ? y_ / 16 : y_ / 8;
  if (!opt_.map_step || !map_[size_t{map_row} * opt_.map_stride + map_column_ / 2]) ++skip_count_;
  const size_t at = size_t{y_} * opt_.pitch + x_;
  for (int r = 0; r < 8; ++r)
    std::memcpy(&recon_[at + r * opt_.pitch], &reference_[at + r * opt_.pitch], 8);
  Advance(8);
}

void PlaneBuilder::Pass(uint8_t code) {
  if (PastEnd()) return;
  TakeType(code);
  Advance(8);
}

void PlaneBuilder::Motion(int dx, int dy) {
  if (PastEnd()) return;
  TakeType(2);
  Mark(map_column_);
  PutOffsets(dx, dy);
  if (const uint8_t* src = Source(dx, dy)) {
    uint8_t block[64];
    for (int r = 0; r < 8; ++r) std::memcpy(block + 8 * r, src + r * opt_.pitch, 8);
    Put(block);
  }
  Advance(8);
}

void PlaneBuilder::BuildRun(const RunBlockCode& block, uint8_t out[64]) {
  Row& rw = row();
  rw.inline_bits.Put(block.scan & 15, 4);
  const uint8_t* scan = kRunScanPatterns[block.scan & 15];
  uint32_t filled = 0;
  bool stopped = false;
  for (const RunSegment& seg : block.segments) {
    if (filled >= 63 || stopped) {
      error_ = "run block: segments after the block is full";
      break;
    }
    const uint32_t length = seg.run + 1u;
    rw.v[K_RUNS].push_back(seg.run);
    if (length > 64 - filled) {
      stopped = true;
      continue;
    }
    rw.inline_bits.PutBit(seg.one_colour);
    if (seg.one_colour) {
      const uint8_t c = seg.colours.empty() ? 0 : seg.colours[0];
      rw.v[K_COLOURS].push_back(c);
      for (uint32_t i = 0; i < length; ++i) work_[scan[filled++]] = c;
    } else {
      if (seg.colours.size() != length) error_ = "run block: colour count differs from the run";
      for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = i < seg.colours.size() ? seg.colours[i] : 0;
        rw.v[K_COLOURS].push_back(c);
        work_[scan[filled++]] = c;
      }
    }
  }
  if (!stopped && filled < 63) error_ = "run block: runs end before 63 positions";
  if (filled == 63) {
    rw.v[K_COLOURS].push_back(block.last_colour);
    work_[scan[63]] = block.last_colour;
  }
  std::memcpy(out, work_, 64);
}

void PlaneBuilder::BuildIntra(const DctBlockCode& block, uint8_t out[64]) {
  PutDc(K_INTRA_DC, block.dc);
  if (!WriteCoefficients(row().inline_bits, block.by_scan)) error_ = "coefficient -32768";
  row().inline_bits.Put(block.quantizer & 15, 4);
  int16_t coefficients[64] = {};
  coefficients[0] = static_cast<int16_t>(block.dc);
  for (int k = 1; k < 64; ++k) coefficients[kCoefficientScan[k]] = block.by_scan[k];
  IdctReference(coefficients, kIntraQuant[block.quantizer & 15], out);
}

void PlaneBuilder::BuildPattern(const PatternBlockCode& block, uint8_t out[64]) {
  Row& rw = row();
  rw.v[K_COLOURS].push_back(block.c0);
  rw.v[K_COLOURS].push_back(block.c1);
  for (int r = 0; r < 8; ++r) {
    rw.v[K_PATTERNS].push_back(block.rows[r]);
    for (int c = 0; c < 8; ++c) out[8 * r + c] = (block.rows[r] >> c) & 1 ? block.c1 : block.c0;
  }
}

void PlaneBuilder::BuildRaw(const uint8_t colours[64], uint8_t out[64]) {
  row().v[K_COLOURS].insert(row().v[K_COLOURS].end(), colours, colours + 64);
  std::memcpy(out, colours, 64);
}

void PlaneBuilder::Run(const RunBlockCode& block) {
  if (PastEnd()) return;
  TakeType(3);
  Mark(map_column_);
  uint8_t out[64];
  BuildRun(block, out);
  Put(out);
  Advance(8);
}

void PlaneBuilder::Residue(int dx, int dy, const ResidueBlockCode& block) {
  if (PastEnd()) return;
  TakeType(4);
  Mark(map_column_);
  PutOffsets(dx, dy);
  if (const uint8_t* src = Source(dx, dy)) {
    row().inline_bits.Put(block.limit & 127, 7);
    int8_t decoded[64];
    WriteResidue(row().inline_bits, block.by_scan, block.limit & 127u, decoded);
    uint8_t out[64];
    for (int k = 0; k < 64; ++k) {
      const int p = kCoefficientScan[k];
      out[p] = static_cast<uint8_t>(src[(p / 8) * opt_.pitch + p % 8] + decoded[k]);
    }
    Put(out);
  }
  Advance(8);
}

void PlaneBuilder::Intra(const DctBlockCode& block) {
  if (PastEnd()) return;
  TakeType(5);
  Mark(map_column_);
  uint8_t out[64];
  BuildIntra(block, out);
  Put(out);
  Advance(8);
}

void PlaneBuilder::Fill(uint8_t colour) {
  if (PastEnd()) return;
  TakeType(6);
  Mark(map_column_);
  row().v[K_COLOURS].push_back(colour);
  uint8_t out[64];
  std::memset(out, colour, 64);
  Put(out);
  Advance(8);
}

void PlaneBuilder::Inter(int dx, int dy, const DctBlockCode& block) {
  if (PastEnd()) return;
  TakeType(7);
  Mark(map_column_);
  PutOffsets(dx, dy);
  if (const uint8_t* src = Source(dx, dy)) {
    PutDc(K_INTER_DC, block.dc);
    if (!WriteCoefficients(row().inline_bits, block.by_scan)) error_ = "coefficient -32768";
    row().inline_bits.Put(block.quantizer & 15, 4);
    int16_t coefficients[64] = {};
    coefficients[0] = static_cast<int16_t>(block.dc);
    for (int k = 1; k < 64; ++k) coefficients[kCoefficientScan[k]] = block.by_scan[k];
    uint8_t idct[64], out[64];
    IdctReference(coefficients, kInterQuant[block.quantizer & 15], idct);
    for (int p = 0; p < 64; ++p)
      out[p] = static_cast<uint8_t>(src[(p / 8) * opt_.pitch + p % 8] + idct[p]);
    Put(out);
  }
  Advance(8);
}

void PlaneBuilder::Pattern(const PatternBlockCode& block) {
  if (PastEnd()) return;
  TakeType(8);
  Mark(map_column_);
  uint8_t out[64];
  BuildPattern(block, out);
  Put(out);
  Advance(8);
}

void PlaneBuilder::Raw(const uint8_t colours[64]) {
  if (PastEnd()) return;
  TakeType(9);
  Mark(map_column_);
  uint8_t out[64];
  BuildRaw(colours, out);
  Put(out);
  Advance(8);
}

bool PlaneBuilder::ScaledStart(uint8_t sub_type) {
  if (PastEnd()) return false;
  TakeType(1);
  Mark(map_column_);
  if (remaining_width() < 16) {
    Advance(8);
    return false;
  }
  if (!odd_row()) {
    row().v[K_SUB].push_back(sub_type);
    if (HasContent(sub_type)) {
      if (opt_.height - y_ < 16) {
        Advance(8);
        return false;
      }
      return true;
    }
  }
  Mark(map_column_ + opt_.map_step);
  Advance(16);
  return false;
}

void PlaneBuilder::Scaled(uint8_t sub_type) {
  if (ScaledStart(sub_type)) error_ = "scaled block: content required";
}

#define VEXIL_SCALED_BODY(build)     \
  uint8_t out[64];                   \
  build;                             \
  PutDoubled(out);                   \
  Mark(map_column_ + opt_.map_step); \
  Advance(16);

void PlaneBuilder::ScaledRun(const RunBlockCode& block) {
  if (!ScaledStart(3)) return;
  VEXIL_SCALED_BODY(BuildRun(block, out))
}
void PlaneBuilder::ScaledIntra(const DctBlockCode& block) {
  if (!ScaledStart(5)) return;
  VEXIL_SCALED_BODY(BuildIntra(block, out))
}
void PlaneBuilder::ScaledFill(uint8_t colour) {
  if (!ScaledStart(6)) return;
  row().v[K_COLOURS].push_back(colour);
  VEXIL_SCALED_BODY(std::memset(out, colour, 64))
}
void PlaneBuilder::ScaledPattern(const PatternBlockCode& block) {
  if (!ScaledStart(8)) return;
  VEXIL_SCALED_BODY(BuildPattern(block, out))
}
void PlaneBuilder::ScaledRaw(const uint8_t colours[64]) {
  if (!ScaledStart(9)) return;
  VEXIL_SCALED_BODY(BuildRaw(colours, out))
}
#undef VEXIL_SCALED_BODY

// Trees of one plane, in the order their descriptors are written.
struct PlaneBuilder::PlaneTrees {
  TreeUse types, sub_types, high[16], low, patterns, x, y, runs;
};

bool PlaneBuilder::WriteAll(BitWriter& out, PlaneTrees& trees, bool counting) {
  if (!counting) {
    for (TreeUse* t : {&trees.types, &trees.sub_types}) t->Choose();
    for (TreeUse& t : trees.high) t.Choose();
    for (TreeUse* t : {&trees.low, &trees.patterns, &trees.x, &trees.y, &trees.runs}) t->Choose();
    WriteTreeDescriptor(out, trees.types.tree);
    WriteTreeDescriptor(out, trees.sub_types.tree);
    for (TreeUse& t : trees.high) WriteTreeDescriptor(out, t.tree);
    for (TreeUse* t : {&trees.low, &trees.patterns, &trees.x, &trees.y, &trees.runs})
      WriteTreeDescriptor(out, t->tree);
  }
  const BundleLayout layout = BundleLayoutForWidth(opt_.width);
  const size_t row_count = rows_.size();
  uint32_t remaining[9] = {};
  bool stopped[9] = {};
  uint32_t previous_high = 0;
  for (size_t r = 0; r < row_count; ++r) {
    for (int k = 0; k < 9; ++k) {
      auto count = [&](size_t row) {
        return static_cast<uint32_t>(rows_[row].v[k].size() / (IsDc(k) ? 2 : 1));
      };
      if (stopped[k]) {
        if (count(r)) {
          error_ = "bundle " + std::to_string(k) + " stopped before row " + std::to_string(r);
          return false;
        }
        continue;
      }
      if (remaining[k] == 0) {
        // A new chunk: as many whole rows as fit.
        uint32_t total = 0;
        size_t end = r;
        while (end < row_count && total + count(end) <= layout.capacity[k]) total += count(end++);
        std::vector<uint8_t> values;
        auto gather = [&](size_t last) {
          values.clear();
          for (size_t i = r; i < last; ++i)
            values.insert(values.end(), rows_[i].v[k].begin(), rows_[i].v[k].end());
        };
        gather(end);
        if ((k == K_TYPES || k == K_SUB) && end > r + 1) {
          // A mixed chunk cannot carry the codes 12..15: fall back to one row.
          bool mixed_high = false;
          for (uint8_t v : values) mixed_high |= v >= 12 && v != values[0];
          if (mixed_high) {
            end = r + 1;
            total = count(r);
            gather(end);
          }
        }
        if (end == r && count(r)) {
          error_ =
              "row " + std::to_string(r) + " exceeds the capacity of bundle " + std::to_string(k);
          return false;
        }
        const uint32_t bits = layout.length_bits[k];
        bool ok = true;
        switch (k) {
          case K_TYPES:
            ok = WriteTypeChunk(out, bits, trees.types, values.data(), total);
            break;
          case K_SUB:
            ok = WriteTypeChunk(out, bits, trees.sub_types, values.data(), total);
            break;
          case K_COLOURS:
            ok = WriteColourChunk(out, bits, trees.high, trees.low, &previous_high, values.data(),
                                  total, opt_.old_revision);
            break;
          case K_PATTERNS:
            WritePatternChunk(out, bits, trees.patterns, values.data(), total);
            break;
          case K_X:
            WriteOffsetChunk(out, bits, trees.x, reinterpret_cast<const int8_t*>(values.data()),
                             total);
            break;
          case K_Y:
            WriteOffsetChunk(out, bits, trees.y, reinterpret_cast<const int8_t*>(values.data()),
                             total);
            break;
          case K_INTRA_DC:
          case K_INTER_DC: {
            std::vector<uint16_t> dc(total);
            for (uint32_t i = 0; i < total; ++i)
              dc[i] = static_cast<uint16_t>(values[2 * i] | values[2 * i + 1] << 8);
            ok = WriteDcChunk(out, bits, k == K_INTER_DC, dc.data(), total);
            break;
          }
          case K_RUNS:
            WriteRunChunk(out, bits, trees.runs, values.data(), total);
            break;
        }
        if (!ok) {
          error_ = "bundle " + std::to_string(k) + ": values the coding cannot carry at row " +
                   std::to_string(r);
          return false;
        }
        if (total == 0) stopped[k] = true;
        remaining[k] = total;
      }
      remaining[k] -= count(r);
    }
    out.Append(rows_[r].inline_bits);
  }
  out.PadToWord();
  return true;
}

std::vector<uint8_t> PlaneBuilder::Finish() {
  if (!done()) error_ = "plane not covered";
  if (!error_.empty()) return {};
  auto trees = std::make_unique<PlaneTrees>();
  BitWriter scratch;
  if (!WriteAll(scratch, *trees, true)) return {};
  BitWriter out;
  if (!WriteAll(out, *trees, false)) return {};
  std::vector<uint8_t> bytes = out.bytes();
  if (bytes.empty()) bytes.assign(4, 0);
  return bytes;
}

}  // namespace vexil
