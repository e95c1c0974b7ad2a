#include "engine/heap.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vexil {
namespace {

TEST(Heap, AllocIsAlignedWithShiftAndOriginMark) {
  for (size_t size : {1u, 7u, 32u, 33u, 1000u, 65536u}) {
    auto* p = static_cast<uint8_t*>(Alloc(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    EXPECT_GE(p[-1], 33);  // at least 33 bytes into the raw block
    EXPECT_LE(p[-1], 64);
    EXPECT_EQ(p[-2], 0);   // origin mark
    p[size - 1] = 0xAB;    // the whole size is usable
    Free(p);
  }
}

TEST(Heap, ZeroAndMinusOneGiveNull) {
  EXPECT_EQ(Alloc(0), nullptr);
  EXPECT_EQ(Alloc(0xFFFFFFFFu), nullptr);
  Free(nullptr);  // ignored
}

TEST(Heap, ReservedPiecesAreStaggered) {
  uint8_t* a = nullptr;
  uint8_t* b = nullptr;
  uint8_t* c = nullptr;
  // total 0, 100 bytes: 128 + ((0 - 4 + 1) mod 32) * 32 = 128 + 928
  Reserve(&a, 100);
  EXPECT_EQ(ReservedTotal(), 1056u);
  // total 1056 (33 slots), 64 bytes: 64 + ((33 - 2 + 1) mod 32) * 32 = 64
  Reserve(&b, 64);
  EXPECT_EQ(ReservedTotal(), 1120u);
  // total 1120 (35 slots), 1 byte: 32 + ((35 - 1 + 1) mod 32) * 32 = 32 + 96
  Reserve(&c, 1);
  EXPECT_EQ(ReservedTotal(), 1248u);

  uint64_t allocated = 0;
  auto* object = static_cast<uint8_t*>(AllocWithReserved(40, &allocated));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(allocated, 64u + 1248u);
  EXPECT_EQ(a, object + 64);
  EXPECT_EQ(b, object + 64 + 1056);
  EXPECT_EQ(c, object + 64 + 1120);
  for (uint8_t* p : {a, b, c}) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
  EXPECT_EQ(ReservedTotal(), 0u);
  Free(object);
}

TEST(Heap, PendingListGrowsAndIsClearedOnFailure) {
  void* fields[100] = {};
  for (auto& f : fields) Reserve(&f, 16);  // beyond the first 32 slots
  void* object = AllocWithReserved(8);
  ASSERT_NE(object, nullptr);
  for (int i = 1; i < 100; ++i) EXPECT_GT(fields[i], fields[i - 1]);
  Free(object);

  // More than the address space holds: 2^50 bytes, or in a 32-bit build 3
  // GiB and a piece of 4 GiB + 64 bytes (which must not count as 64 bytes).
  constexpr bool k64 = sizeof(size_t) == 8;
  for (const uint64_t size : {k64 ? uint64_t{1} << 50 : uint64_t{3} << 30,
                              k64 ? uint64_t{1} << 50 : (uint64_t{1} << 32) + 64}) {
    void* huge = nullptr;
    Reserve(&huge, size);
    EXPECT_EQ(AllocWithReserved(8), nullptr) << size;
    EXPECT_EQ(huge, nullptr);
    EXPECT_EQ(ReservedTotal(), 0u);
  }
}

}  // namespace
}  // namespace vexil
