// SSE2 kernels of the plane decoder: the block copies (block_copies_x86.h);
// the inverse transform stays the portable one.
#include "video/video_kernels.h"

#if VEXIL_X86
#include "video/block_copies_x86.h"
#include "video/idct.h"

namespace vexil {
namespace {

const VideoKernels kSse2 = {"sse2", IdctReference, Copy8x8, PutDoubled, AddBlock8x8};

}  // namespace

const VideoKernels* VideoKernelsSse2() {
  return &kSse2;
}

}  // namespace vexil

#else

namespace vexil {
const VideoKernels* VideoKernelsSse2() {
  return nullptr;
}
}  // namespace vexil

#endif
