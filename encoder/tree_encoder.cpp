#include "encoder/tree_encoder.h"

#include <algorithm>

#include "video/code_tables.h"

namespace vexil {
namespace {

// Length of the explicit list (1..8) that yields `map`, or 0 when none does.
uint32_t ExplicitLength(const uint8_t map[16]) {
  for (uint32_t n = 1; n <= 8; ++n) {
    uint32_t seen = 0;
    for (uint32_t i = 0; i < n; ++i) seen |= 1u << map[i];
    uint32_t i = n;
    bool ok = true;
    for (uint32_t v = 0; v < 16 && i < 16; ++v) {
      if (seen & (1u << v)) continue;
      if (map[i++] != v) {
        ok = false;
        break;
      }
    }
    if (ok) return n;
  }
  return 0;
}

bool MergeReachable(const uint8_t map[16], uint32_t depth) {
  const uint32_t group = 2u << depth;
  for (uint32_t i = 0; i < 16; ++i)
    if (map[i] / group != i / group) return false;
  return true;
}

// The merge bits that sort each group by target position (rank).
void MergeBits(BitWriter& w, const uint8_t map[16], uint32_t depth) {
  uint8_t rank[16];
  for (uint32_t i = 0; i < 16; ++i) rank[map[i]] = static_cast<uint8_t>(i);
  uint8_t list[16], merged[16];
  for (uint32_t i = 0; i < 16; ++i) list[i] = static_cast<uint8_t>(i);
  for (uint32_t k = 0; k <= depth; ++k) {
    const uint32_t run = 1u << k;
    for (uint32_t base = 0; base < 16; base += 2 * run) {
      uint32_t a = base, a_end = base + run, b = a_end, b_end = b + run, out = base;
      while (a < a_end && b < b_end) {
        const bool take_b = rank[list[b]] < rank[list[a]];
        w.PutBit(take_b);
        merged[out++] = take_b ? list[b++] : list[a++];
      }
      while (a < a_end) merged[out++] = list[a++];
      while (b < b_end) merged[out++] = list[b++];
    }
    std::copy(merged, merged + 16, list);
  }
}

bool IsIdentity(const uint8_t map[16]) {
  for (uint32_t i = 0; i < 16; ++i)
    if (map[i] != i) return false;
  return true;
}

}  // namespace

bool WriteTreeDescriptor(BitWriter& w, const TreeCode& tree, TreeForm form, uint32_t merge_depth) {
  if (tree.table == 0) {
    if (!IsIdentity(tree.map)) return false;
    w.Put(0, 4);
    return true;
  }
  const uint32_t n = ExplicitLength(tree.map);
  if (form == TreeForm::AUTO) {
    BitWriter merge;
    MergeBits(merge, tree.map, 3);
    form = n && 3 + 4 * n <= 2 + merge.bit_count() ? TreeForm::EXPLICIT : TreeForm::MERGE;
    merge_depth = 3;
  }
  if (form == TreeForm::EXPLICIT) {
    if (!n) return false;
    w.Put(tree.table, 4);
    w.PutBit(1);
    w.Put(n - 1, 3);
    for (uint32_t i = 0; i < n; ++i) w.Put(tree.map[i], 4);
    return true;
  }
  if (merge_depth > 3 || !MergeReachable(tree.map, merge_depth)) return false;
  w.Put(tree.table, 4);
  w.PutBit(0);
  w.Put(merge_depth, 2);
  MergeBits(w, tree.map, merge_depth);
  return true;
}

uint32_t TreeDescriptorBits(const TreeCode& tree) {
  BitWriter w;
  WriteTreeDescriptor(w, tree);
  return static_cast<uint32_t>(w.bit_count());
}

bool WriteTreeValue(BitWriter& w, const TreeCode& tree, uint32_t value) {
  for (uint32_t s = 0; s < 16; ++s) {
    if (tree.map[s] == value) {
      w.Put(kCodeValues[tree.table][s], kCodeLengths[tree.table][s]);
      return true;
    }
  }
  return false;
}

TreeCode ChooseTree(const uint32_t histogram[16]) {
  // Most frequent values on the shortest codes (every table's lengths grow
  // with the symbol index); unused values last, ascending.
  uint8_t order[16];
  for (uint32_t i = 0; i < 16; ++i) order[i] = static_cast<uint8_t>(i);
  std::stable_sort(order, order + 16,
                   [&](uint8_t a, uint8_t b) { return histogram[a] > histogram[b]; });
  TreeCode best;  // table 0, identity
  uint64_t best_bits = 4;
  for (uint32_t v = 0; v < 16; ++v) best_bits += uint64_t{histogram[v]} * 4;
  for (uint8_t t = 1; t < kCodeTableCount; ++t) {
    TreeCode candidate;
    candidate.table = t;
    std::copy(order, order + 16, candidate.map);
    uint64_t bits = TreeDescriptorBits(candidate);
    for (uint32_t s = 0; s < 16; ++s) bits += uint64_t{histogram[order[s]]} * kCodeLengths[t][s];
    if (bits < best_bits) {
      best_bits = bits;
      best = candidate;
    }
  }
  return best;
}

}  // namespace vexil
