// SSE2 kernels of the plane decoder: the doubled put (doubled_put_x86.h); the
// inverse transform and the 8x8 copy stay the portable ones.
#include "video/video_kernels.h"

#if VEXIL_X86
#include "video/doubled_put_x86.h"
#include "video/idct.h"

namespace vexil {
namespace {

const VideoKernels kSse2 = {"sse2", IdctReference, Copy8x8Reference, PutDoubled};

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
