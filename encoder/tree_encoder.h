// Encoder side of the code tables: choosing a table and symbol map for a
// bundle's values, writing its tree descriptor and writing values with it.
#pragma once

#include <cstdint>

#include "encoder/bit_writer.h"

namespace vexil {

struct TreeCode {
  uint8_t table = 0;
  uint8_t map[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};  // symbol -> value
};

enum class TreeForm { AUTO, EXPLICIT, MERGE };

// Writes a descriptor that makes the reader build `tree`. AUTO takes the
// shortest form that can express the map. Returns false when the requested
// form cannot (table 0 needs the identity map; an explicit list needs the
// entries after its first eight or fewer to be the remaining values in
// ascending order; a merge of depth d needs every aligned group of 2^(d+1)
// entries to hold that group's own values).
bool WriteTreeDescriptor(BitWriter& w, const TreeCode& tree, TreeForm form = TreeForm::AUTO,
                         uint32_t merge_depth = 3);

// Bits the descriptor takes in the form AUTO would choose.
uint32_t TreeDescriptorBits(const TreeCode& tree);

// Writes the code of `value` (the first symbol that maps to it). Returns false
// when no symbol maps to it.
bool WriteTreeValue(BitWriter& w, const TreeCode& tree, uint32_t value);

// The table and map that code values with these counts in the fewest bits,
// descriptor included.
TreeCode ChooseTree(const uint32_t histogram[16]);

// A tree user that either counts values (first pass) or writes them.
struct TreeUse {
  TreeCode tree;
  uint32_t histogram[16] = {};
  bool counting = true;

  bool Put(BitWriter& w, uint32_t value) {
    if (counting) {
      ++histogram[value & 15];
      return true;
    }
    return WriteTreeValue(w, tree, value);
  }
  // Ends the counting pass: chooses the tree from the counts.
  void Choose() {
    tree = ChooseTree(histogram);
    counting = false;
  }
};

}  // namespace vexil
