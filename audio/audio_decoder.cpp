#include "audio/audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "audio/audio_block_reader.h"
#include "audio/audio_pcm.h"
#include "audio/audio_transforms.h"
#include "platform/heap.h"

namespace vexil {
namespace {

constexpr size_t kAreaAlign = 16;
constexpr size_t Align(size_t n) {
  return (n + kAreaAlign - 1) & ~(kAreaAlign - 1);
}

AudioBlockShape ShapeOf(const AudioDecoder& d) {
  return {d.transform_length, d.transform_channels, d.band_count, (d.flags & AUDIO_DCT) != 0,
          d.band_edges};
}

}  // namespace

AudioDecoder* AudioDecoderOpen(uint32_t rate, uint32_t channels, uint32_t flags) {
  if (channels != 1 && channels != 2) return nullptr;
  const AudioLayout layout = AudioLayoutFor(rate, channels, flags);
  const uint32_t n = layout.transform_length;
  const size_t table_floats =
      (layout.flags & AUDIO_DCT) ? DctTableFloats(n) : RealFftTableFloats(n);
  const size_t save_offset = Align(sizeof(AudioDecoder));
  const size_t index_offset = save_offset + Align(layout.overlap_bytes);
  const size_t table_offset = index_offset + Align(sizeof(int32_t) * TransformIndexInts(n));
  const size_t output_offset = table_offset + Align(sizeof(float) * table_floats);
  const size_t total = output_offset + Align(layout.block_bytes);
  auto* base = static_cast<uint8_t*>(Alloc(total));
  if (!base) return nullptr;
  std::memset(base, 0, total);

  auto* d = new (base) AudioDecoder{};
  d->transform_length = n;
  d->output_scale = static_cast<float>(2.0 / std::sqrt(double(n)));
  d->block_bytes = layout.block_bytes;
  d->overlap_bytes = layout.overlap_bytes;
  d->transform_channels = layout.transform_channels;
  d->first_block = 1;
  d->band_count = layout.band_count;
  d->overlap_save = reinterpret_cast<int16_t*>(base + save_offset);
  d->transform_index = reinterpret_cast<int32_t*>(base + index_offset);
  d->transform_table = reinterpret_cast<float*>(base + table_offset);
  d->output_block = reinterpret_cast<int16_t*>(base + output_offset);
  d->flags = layout.flags;
  d->output_block_offset = static_cast<uint32_t>(output_offset);
  std::copy_n(layout.band_edges, layout.band_count + 1, d->band_edges);
  d->channels = channels;
  d->transform_index[0] = 0;
  return d;
}

void AudioDecoderClose(AudioDecoder* decoder) {
  Free(decoder);
}

const int16_t* AudioDecodeBlock(AudioDecoder* d, const uint8_t* input, const uint8_t* input_end,
                                uint32_t* pcm_bytes, const uint8_t** next_input) {
  alignas(16) float coefficients[kMaxTransformLength];
  const AudioBlockRead read = ReadAudioBlock(ShapeOf(*d), input, input_end, coefficients);
  if (!read.decoded) {
    *pcm_bytes = 0;
    *next_input = input;
    return d->output_block;
  }
  const uint32_t n = d->transform_length;
  for (uint32_t c = 0; c < d->transform_channels; ++c) {
    float* values = coefficients + size_t{c} * n;
    if (d->flags & AUDIO_DCT)
      InverseDct(n, values, d->transform_index, d->transform_table);
    else
      InverseRealFft(n, values, d->transform_index, d->transform_table);
  }
  AudioConvertToPcm(coefficients, n, d->transform_channels, d->output_scale, d->output_block);

  const uint32_t overlap_values = d->overlap_bytes / 2;
  if (d->first_block)
    d->first_block = 0;
  else
    AudioCrossFade(d->overlap_save, d->output_block, overlap_values);
  const uint32_t ready = d->block_bytes - d->overlap_bytes;
  std::memcpy(d->overlap_save, reinterpret_cast<uint8_t*>(d->output_block) + ready,
              d->overlap_bytes);
  *pcm_bytes = ready;
  const size_t available = static_cast<size_t>(input_end - input);
  *next_input = input + std::min(read.consumed, available);
  return d->output_block;
}

}  // namespace vexil
