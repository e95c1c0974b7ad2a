#include "video/plane_decoder.h"

#include <atomic>
#include <cstring>

#include "video/block_types.h"
#include "video/bundles.h"
#include "video/coefficient_reader.h"
#include "video/frame_flags.h"
#include "video/idct.h"
#include "video/quantizer_tables.h"
#include "video/scan_tables.h"
#include "video/video_kernels.h"

namespace vexil {
namespace {

struct PlaneState {
  PlaneBundles pb;
  const VideoKernels* kernels;
  const uint8_t* reference;
  int64_t motion_limit;  // last source offset where an 8x8 block still fits
  uint32_t pitch;
  alignas(16) uint8_t work[64];  // run blocks fill it; unfilled positions keep old values
};

// Once per block: a bundle at or past its end hands out its stale bytes from
// byte 4 on (a block may then read on past the chunk, into the slack).
inline uint8_t* Values(Bundle& b) {
  if (b.pos >= b.end) b.pos = b.buffer + 4;
  return b.pos;
}

inline uint16_t TakeDc(Bundle& b) {
  uint8_t* p = Values(b);
  uint16_t v;
  std::memcpy(&v, p, 2);
  b.pos = p + 2;
  return v;
}

// The motion source of the block at `offset` (from the plane's first sample),
// or null when it lies outside the linear range where an 8x8 block fits. The
// y and x offsets are taken at the same index, only the y offsets' end checked.
inline const uint8_t* MotionSource(PlaneState& s, int64_t offset) {
  Bundle& y = s.pb.b[BUNDLE_Y_OFFSETS];
  Bundle& x = s.pb.b[BUNDLE_X_OFFSETS];
  const ptrdiff_t index = Values(y) - y.buffer;
  const int32_t dy = static_cast<int8_t>(y.buffer[index]);
  const int32_t dx = static_cast<int8_t>(x.buffer[index]);
  y.pos = y.buffer + index + 1;
  x.pos = x.buffer + index + 1;
  const int64_t source = offset + int64_t{dy} * s.pitch + dx;
  if (source < 0 || source > s.motion_limit) return nullptr;
  return s.reference + source;
}

// Run block content: 4 bits of scan pattern, then runs of one colour or of
// single colours along it until 63 or more positions are filled.
//
// The runs go in scan order into `line`, then to their positions. A run is 1
// to 16 long, so it is written as 16 bytes either way, chosen without a branch
// on its flag bit (the bytes past it are overwritten or never placed). A block
// starts inside the colour chunk and takes at most 64 colours, so the 16
// loaded at its last run stay inside the buffer's slack.
void BuildRun(PlaneState& s, BitReader& r) {
  const uint8_t* scan = kRunScanPatterns[r.Read(4)];
  uint8_t* runs = Values(s.pb.b[BUNDLE_RUNS]);
  uint8_t* colours = Values(s.pb.b[BUNDLE_COLOURS]);
  uint8_t line[64 + 16];
  uint32_t filled = 0;
  while (filled < 63) {
    const uint32_t length = *runs++ + 1u;
    if (length > 64 - filled) break;
    const uint64_t one = uint64_t{r.ReadBit()};
    uint64_t copy[2];
    std::memcpy(copy, colours, 16);
    const uint64_t fill = colours[0] * uint64_t{0x0101010101010101};
    const uint64_t pick_fill = 0 - one;
    const uint64_t run[2] = {(fill & pick_fill) | (copy[0] & ~pick_fill),
                             (fill & pick_fill) | (copy[1] & ~pick_fill)};
    std::memcpy(line + filled, run, 16);
    colours += one ? 1 : length;
    filled += length;
  }
  if (filled == 63) line[filled++] = *colours++;
  for (uint32_t k = 0; k < filled; ++k) s.work[scan[k]] = line[k];
  s.pb.b[BUNDLE_RUNS].pos = runs;
  s.pb.b[BUNDLE_COLOURS].pos = colours;
}

void BuildIntra(PlaneState& s, BitReader& r, uint8_t out[64]) {
  alignas(32) int16_t block[64] = {};
  block[0] = static_cast<int16_t>(TakeDc(s.pb.b[BUNDLE_INTRA_DC]));
  ReadCoefficients(r, block);
  s.kernels->idct(block, kIntraQuant[r.Read(4)], out);
}

inline void BuildFill(PlaneState& s, uint8_t out[64]) {
  Bundle& b = s.pb.b[BUNDLE_COLOURS];
  uint8_t* p = Values(b);
  std::memset(out, *p, 64);
  b.pos = p + 1;
}

void BuildPattern(PlaneState& s, uint8_t out[64]) {
  Bundle& cb = s.pb.b[BUNDLE_COLOURS];
  Bundle& pb = s.pb.b[BUNDLE_PATTERNS];
  uint8_t* c = Values(cb);
  uint8_t* p = Values(pb);
  const uint8_t c0 = c[0], c1 = c[1];
  cb.pos = c + 2;
  for (int row = 0; row < 8; ++row) {
    const uint32_t bits = p[row];
    for (int k = 0; k < 8; ++k) out[8 * row + k] = (bits >> k) & 1 ? c1 : c0;
  }
  pb.pos = p + 8;
}

inline void BuildRaw(PlaneState& s, uint8_t out[64]) {
  Bundle& b = s.pb.b[BUNDLE_COLOURS];
  uint8_t* p = Values(b);
  std::memcpy(out, p, 64);
  b.pos = p + 64;
}

// Builds the 8x8 content of a scaled block's sub-type; false for sub-types that
// have none.
inline bool IsScaledSubType(uint32_t t) {
  return t == BLOCK_RUN || t == BLOCK_INTRA || t == BLOCK_FILL || t == BLOCK_PATTERN ||
         t == BLOCK_RAW;
}

}  // namespace

// The two decode parts of a frame mark the same map at once (luma on one
// thread, alpha and chroma on the other): the bytes are accessed atomically.
inline void MarkMap(uint8_t* cell) { std::atomic_ref<uint8_t>(*cell).store(1, std::memory_order_relaxed); }
inline bool MapMarked(uint8_t* cell) {
  return std::atomic_ref<uint8_t>(*cell).load(std::memory_order_relaxed) != 0;
}

const uint8_t* DecodePlane(const PlaneDecodeArgs& args, uint32_t* skip_count) {
  *skip_count = 0;
  PlaneState s;
  const bool old_revision = args.frame_flags & FRAME_OLD_REVISION;
  if (!SetUpBundles(&s.pb, args.width, args.bundle_buffers, args.bundle_sizes, old_revision))
    return args.data_start;
  s.kernels = &SelectVideoKernels(args.cpu_features);
  s.reference = args.reference;
  s.pitch = args.pitch;
  s.motion_limit = args.height >= 8 && args.width >= 8
                       ? int64_t{args.height - 8} * args.pitch + args.width - 8
                       : -1;
  std::memset(s.work, 0, sizeof s.work);

  BitReader r;
  r.Start(args.data_start, args.readable_end);
  const uintptr_t data_end = reinterpret_cast<uintptr_t>(args.data_end);
  ReadBundleTrees(r, &s.pb);

  // Without a map, marks go to a scratch byte and every skip block counts.
  uint8_t scratch[4] = {};
  const bool has_map = args.map_step != 0 && args.map != nullptr;
  uint8_t* map_row = has_map ? args.map : scratch;
  const uint32_t map_stride = has_map ? args.map_stride : 0;
  const uint32_t map_step = has_map ? args.map_step : 0;

  Bundle& types = s.pb.b[BUNDLE_BLOCK_TYPES];
  Bundle& sub_types = s.pb.b[BUNDLE_SUB_BLOCK_TYPES];
  const uint32_t pitch = args.pitch;
  uint32_t skipped = 0;
  alignas(32) uint8_t content[64];

  for (uint32_t y = 0; y < args.height; y += 8) {
    RefillBundles(r, &s.pb, data_end);
    const bool odd_row = y % 16 == 8;
    const int64_t row_offset = int64_t{y} * pitch;
    uint32_t x = 0, map_column = 0;
    while (x < args.width) {
      const uint32_t remaining = args.width - x;
      const int64_t offset = row_offset + x;
      uint8_t* dst = args.destination + offset;
      const uint8_t* ref = args.reference + offset;
      uint32_t advance = 8;
      if (r.word < data_end && types.pos < types.end) {
        const uint8_t type = *types.pos++;
        if (type != BLOCK_SKIP && type < BLOCK_TYPE_COUNT) MarkMap(map_row + map_column / 2);
        switch (type) {
          case BLOCK_SKIP:
            if (!map_stride || !MapMarked(map_row + map_column / 2)) ++skipped;
            if (ref != dst) s.kernels->copy8x8(ref, dst, pitch);
            break;
          case BLOCK_SCALED: {
            if (remaining < 16) break;
            bool covers_16 = true;
            if (!odd_row && sub_types.pos < sub_types.end) {
              const uint8_t sub = *sub_types.pos++;
              if (IsScaledSubType(sub)) {
                if (args.height - y < 16) {
                  covers_16 = false;
                } else {
                  switch (sub) {
                    case BLOCK_RUN:
                      BuildRun(s, r);
                      std::memcpy(content, s.work, 64);
                      break;
                    case BLOCK_INTRA:
                      BuildIntra(s, r, content);
                      break;
                    case BLOCK_FILL:
                      BuildFill(s, content);
                      break;
                    case BLOCK_PATTERN:
                      BuildPattern(s, content);
                      break;
                    default:
                      BuildRaw(s, content);
                      break;
                  }
                  s.kernels->put_doubled(content, dst, pitch);
                }
              }
            }
            if (covers_16) {
              MarkMap(map_row + (map_column + map_step) / 2);
              advance = 16;
            }
            break;
          }
          case BLOCK_MOTION:
            if (const uint8_t* src = MotionSource(s, offset)) s.kernels->copy8x8(src, dst, pitch);
            break;
          case BLOCK_RUN:
            BuildRun(s, r);
            PutBlock(s.work, dst, pitch);
            break;
          case BLOCK_RESIDUE:
            if (const uint8_t* src = MotionSource(s, offset)) {
              const uint32_t limit = r.Read(7);
              alignas(16) int8_t residue[64] = {};
              ReadResidue(r, residue, limit);
              for (int k = 0; k < 64; ++k)
                content[kCoefficientScan[k]] = static_cast<uint8_t>(residue[k]);
              AddBlock(content, src, dst, pitch);
            }
            break;
          case BLOCK_INTRA:
            BuildIntra(s, r, content);
            PutBlock(content, dst, pitch);
            break;
          case BLOCK_FILL:
            BuildFill(s, content);
            PutBlock(content, dst, pitch);
            break;
          case BLOCK_INTER:
            if (const uint8_t* src = MotionSource(s, offset)) {
              alignas(32) int16_t block[64] = {};
              block[0] = static_cast<int16_t>(TakeDc(s.pb.b[BUNDLE_INTER_DC]));
              ReadCoefficients(r, block);
              s.kernels->idct(block, kInterQuant[r.Read(4)], content);
              AddBlock(content, src, dst, pitch);
            }
            break;
          case BLOCK_PATTERN:
            BuildPattern(s, content);
            PutBlock(content, dst, pitch);
            break;
          case BLOCK_RAW:
            BuildRaw(s, content);
            PutBlock(content, dst, pitch);
            break;
          default:  // 10..15: passed over
            break;
        }
      }
      x += advance;
      map_column += advance == 16 ? 2 * map_step : map_step;
    }
    if (map_step != 1 || odd_row) map_row += map_stride;
  }
  *skip_count = skipped;
  return reinterpret_cast<const uint8_t*>(r.word < data_end ? r.word : data_end);
}

}  // namespace vexil
