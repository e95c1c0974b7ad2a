// The forward transforms of the audio encoder: the coefficients that the
// decoder's inverse transform (and its output scale 2 / sqrt(n)) turns back
// into the given samples, in the decoder's array layout. Double precision;
// n is a power of two from 4 to 4096.
#pragma once

#include <cstdint>

namespace vexil {

// DCT tracks: coefficient j of n samples of one channel.
void ForwardAudioDct(uint32_t n, const float* samples, double* coefficients);

// RDFT tracks: n samples (the channels interleaved) to [R0, R(n/2), R1, I1,
// R2, I2, ...].
void ForwardAudioRealFft(uint32_t n, const float* samples, double* coefficients);

}  // namespace vexil
