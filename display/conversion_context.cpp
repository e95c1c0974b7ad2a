#include "display/conversion_context.h"

#include "display/convert_simd.h"

namespace vexil {

ConversionContext::ConversionContext(uint32_t cpu_features)
    : cpu(cpu_features), kernels(&SelectSimdKernels(cpu_features)) {}

}  // namespace vexil
