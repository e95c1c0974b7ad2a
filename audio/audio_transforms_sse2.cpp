// SSE2 kernels of the inverse transforms: four lanes.
#include "audio/audio_transforms_kernels.h"

#if VEXIL_X86
#include <emmintrin.h>

#include "audio/audio_transforms_simd.h"
#include "audio/audio_transforms_sse2.h"

namespace vexil {
namespace {

const TransformKernels kSse2 = {
    "sse2",
    [](const TransformPlan& plan, float* a) {
      RealFftSimd<Sse2, Sse2>(plan, a, plan.groups4, TransformKernelsPortable());
    },
    [](const TransformPlan& plan, float* a) {
      DctSimd<Sse2, Sse2>(plan, a, plan.groups4, TransformKernelsPortable());
    }};

}  // namespace

const TransformKernels* TransformKernelsSse2() {
  return &kSse2;
}

}  // namespace vexil

#else

namespace vexil {
const TransformKernels* TransformKernelsSse2() {
  return nullptr;
}
}  // namespace vexil

#endif
