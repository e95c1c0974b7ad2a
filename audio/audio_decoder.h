// The audio decoder of one track: turns compressed blocks into interleaved
// signed 16-bit PCM. Each block decodes a set of frequency coefficients per
// transform channel, runs one inverse transform per channel, converts to 16
// bits and cross-fades its start with the tail held back from the block before.
//
// Threads: a decoder is used by one thread at a time (the track's decode part).
#pragma once

#include <cstdint>

#include "audio/audio_layout.h"

namespace vexil {

// The record and all its areas are one allocation from the engine heap; each
// area is 16-byte aligned.
struct AudioDecoder {
  uint32_t transform_length;    // N
  float output_scale;           // 2 / sqrt(N)
  uint32_t block_bytes;         // frame length x channels x 2
  uint32_t overlap_bytes;       // block bytes / 16
  uint32_t transform_channels;  // channels with the DCT, 1 with the real FFT
  uint32_t first_block;         // set until the first block is out: no cross-fade
  uint32_t band_count;
  int16_t* output_block;         // block_bytes of interleaved PCM
  int16_t* overlap_save;         // the last overlap_bytes of the previous block
  int32_t* transform_index;      // the transforms' index area; [0] == 0: no tables yet
  float* transform_table;        // the transforms' table area
  uint32_t flags;                // AUDIO_DCT
  uint32_t output_block_offset;  // of output_block inside the allocation
  uint32_t band_edges[kMaxAudioBands + 1];
  uint32_t channels;  // 1 or 2: whole sample frames are channels x 2 bytes
};

// A decoder for a track of `rate` Hz and 1 or 2 channels; `flags` AUDIO_DCT.
// Null when memory runs out or the channel count is neither 1 nor 2.
AudioDecoder* AudioDecoderOpen(uint32_t rate, uint32_t channels, uint32_t flags);

// Decodes the block at `input` (nothing is read at or beyond `input_end`),
// cross-fades it and returns the PCM ready in the decoder's output block,
// valid until the next call. *pcm_bytes receives the bytes ready (block bytes
// - overlap bytes; 0 when a DCT block starts at the input end), *next_input
// where the next block starts: after the last 32-bit word the block used, and
// never past `input_end`.
const int16_t* AudioDecodeBlock(AudioDecoder* decoder, const uint8_t* input,
                                const uint8_t* input_end, uint32_t* pcm_bytes,
                                const uint8_t** next_input);

// Releases a decoder; null is ignored.
void AudioDecoderClose(AudioDecoder* decoder);

}  // namespace vexil
