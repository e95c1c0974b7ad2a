#include "encoder/audio_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audio_block_reader.h"
#include "audio/audio_decoder.h"
#include "audio/audio_layout.h"
#include "audio/audio_packet.h"
#include "encoder/audio_block_writer.h"
#include "encoder/audio_forward.h"
#include "encoder/quality.h"
#include "engine/container.h"

namespace vexil {
namespace {

constexpr double kLeadSeconds = 0.75;  // the sound ring's preroll
constexpr int32_t kLargestValue = 32767;

// Quantized values of one transform channel's coefficients.
AudioBlockChannel Quantize(const AudioLayout& layout, const double* c, const QualitySettings& q) {
  const uint32_t n = layout.transform_length;
  AudioBlockChannel channel;
  channel.first[0] = AudioCoefficientField(static_cast<float>(c[0]));
  channel.first[1] = AudioCoefficientField(static_cast<float>(c[1]));
  channel.band_indices.assign(layout.band_count, 0);
  channel.values.assign(n, 0);

  // Band b covers coefficients from twice its edge (but at least 2) to twice the next edge.
  std::vector<double> power(layout.band_count, 0), peak(layout.band_count, 0);
  double loudest = 0;
  for (uint32_t b = 0; b < layout.band_count; ++b) {
    const uint32_t start = std::max(2u, layout.band_edges[b] * 2);
    const uint32_t end = std::min(n, layout.band_edges[b + 1] * 2);
    double sum = 0;
    for (uint32_t j = start; j < end; ++j) {
      sum += c[j] * c[j];
      peak[b] = std::max(peak[b], std::fabs(c[j]));
    }
    power[b] = end > start ? sum / (end - start) : 0;
    loudest = std::max(loudest, power[b]);
  }
  const double own = std::pow(10.0, -q.audio_snr_db / 10);
  const double masked = std::pow(10.0, -q.audio_mask_db / 10);
  for (uint32_t b = 0; b < layout.band_count; ++b) {
    const double noise = std::max(power[b] * own, loudest * masked);
    // Uniform quantizer noise is step^2 / 12.
    const double step = std::sqrt(12 * noise);
    uint32_t index = 0;
    while (index + 1 < kQuantizerCount && kQuantizers[index + 1] <= step) ++index;
    while (index + 1 < kQuantizerCount && peak[b] / kQuantizers[index] > kLargestValue) ++index;
    channel.band_indices[b] = static_cast<uint8_t>(index);
    const double quantizer = kQuantizers[index];
    const uint32_t start = std::max(2u, layout.band_edges[b] * 2);
    const uint32_t end = std::min(n, layout.band_edges[b + 1] * 2);
    for (uint32_t j = start; j < end; ++j) {
      // A slight dead zone: values that barely reach a step cost more than they give.
      const double m = std::floor(std::fabs(c[j]) / quantizer + 0.42);
      const int32_t v = static_cast<int32_t>(std::min<double>(m, kLargestValue));
      channel.values[j] = c[j] < 0 ? -v : v;
    }
  }
  return channel;
}

// ceil(a x b / c) for a below 2^40 without a wider type, saturating far
// beyond any sample count: a x b is split at bit 20 of a.
uint64_t MulDivUp(uint64_t a, uint32_t b, uint32_t c) {
  const uint64_t high = (a >> 20) * b, low = (a & 0xFFFFF) * b;
  const uint64_t q1 = high / c, r1 = high % c;
  if (q1 >= (uint64_t{1} << 43)) return uint64_t{1} << 62;
  const uint64_t rest = (r1 << 20) + low;
  return (q1 << 20) + rest / c + (rest % c != 0);
}

// Sample frames that play during the video's first `frames` frames, rounded up.
uint64_t VideoSamples(uint64_t frames, uint32_t rate, uint32_t rate_num, uint32_t rate_den) {
  return MulDivUp(frames * rate, rate_den, rate_num);
}

}  // namespace

bool EncodeAudioTrack(const AudioInput& in, const AudioEncodeOptions& options,
                      uint32_t video_frames, uint32_t rate_num, uint32_t rate_den,
                      AudioTrack* track, std::string* error) {
  if (in.rate == 0 || in.rate > TRACK_RATE_MASK || (in.channels != 1 && in.channels != 2)) {
    *error = "audio: the rate must be 1 to 65535 Hz and the channels 1 or 2";
    return false;
  }
  if (rate_num == 0 || rate_den == 0) {
    *error = "audio: the frame rate is 0";
    return false;
  }
  *track = AudioTrack{};
  const uint32_t ch = in.channels;
  const uint32_t flags = options.rdft ? 0 : AUDIO_DCT;
  track->format = in.rate | (options.rdft ? TRACK_RDFT : TRACK_DCT) | (ch == 2 ? TRACK_STEREO : 0) |
                  (in.eight_bit ? 0 : TRACK_16BIT);
  track->parts.assign(video_frames, {});

  const AudioLayout layout = AudioLayoutFor(in.rate, ch, flags);
  const AudioBlockShape shape = layout.Shape();
  const uint32_t block_frames = layout.frame_length;
  const uint32_t hop = block_frames - block_frames / 16;  // sample frames a block yields
  const uint32_t frame_bytes = ch * 2;

  // The sound is cut where the picture ends.
  const uint64_t video_end = VideoSamples(video_frames, in.rate, rate_num, rate_den);
  const uint64_t total = std::min<uint64_t>(in.frames, video_end);
  track->coded_frames = static_cast<size_t>(total);
  if (in.frames > video_end) track->warning = "the sound is longer than the picture and was cut";

  // The player skips a track whose ring would hold more than two seconds at
  // its own sample size; the ring is 5/4 of the largest part plus up to 255.
  const uint64_t ring_limit = uint64_t{ch} * (in.eight_bit ? 1 : 2) * in.rate * 2;
  const uint64_t largest_allowed = ring_limit > 255 ? (ring_limit - 255) * 4 / 5 / frame_bytes : 0;
  const uint64_t per_frame = VideoSamples(1, in.rate, rate_num, rate_den) + hop;
  uint64_t lead = static_cast<uint64_t>(kLeadSeconds * in.rate);
  if (lead + per_frame > largest_allowed)
    lead = largest_allowed > per_frame ? largest_allowed - per_frame : 0;
  if (per_frame > largest_allowed)
    track->warning =
        "a frame carries more sound than a player's ring takes: players will not play it";

  // Code the blocks.
  const QualitySettings q = SettingsForQuality(options.quality);
  const uint32_t n = layout.transform_length;
  const uint64_t block_count = (total + hop - 1) / hop;
  std::vector<std::vector<uint8_t>> blocks(block_count);
  std::vector<float> samples(n);
  std::vector<double> coefficients(n);
  std::vector<AudioBlockChannel> channels(layout.transform_channels);
  for (uint64_t b = 0; b < block_count; ++b) {
    const uint64_t start = b * hop;
    for (uint32_t c = 0; c < layout.transform_channels; ++c) {
      // DCT: one channel per transform; RDFT: both channels interleaved in one.
      for (uint32_t k = 0; k < n; ++k) {
        const uint64_t frame = start + (options.rdft ? k / ch : k);
        const uint32_t channel = options.rdft ? k % ch : c;
        samples[k] = frame < total ? in.samples[frame * ch + channel] : 0.0f;
      }
      if (options.rdft)
        ForwardAudioRealFft(n, samples.data(), coefficients.data());
      else
        ForwardAudioDct(n, samples.data(), coefficients.data());
      channels[c] = Quantize(layout, coefficients.data(), q);
    }
    blocks[b] = WriteAudioBlock(shape, channels.data());
  }
  track->blocks = static_cast<uint32_t>(block_count);

  // Deal the blocks out to the frames, each part's count being its blocks' yield.
  uint64_t next_block = 0, yielded = 0;
  for (uint32_t f = 0; f < video_frames && next_block < block_count; ++f) {
    const uint64_t target =
        std::min(total, lead + VideoSamples(f + 1, in.rate, rate_num, rate_den));
    std::vector<std::vector<uint8_t>> part_blocks;
    uint64_t count = 0;
    while (yielded < target && next_block < block_count) {
      const uint64_t yield = std::min<uint64_t>(hop, total - yielded);
      count += yield;
      yielded += yield;
      part_blocks.push_back(std::move(blocks[next_block++]));
    }
    if (part_blocks.empty()) continue;
    const uint32_t bytes = static_cast<uint32_t>(count * frame_bytes);
    track->parts[f] = AudioPartBytes(bytes, part_blocks);
    track->largest_part = std::max(track->largest_part, bytes);
  }

  // What a decoder makes of the parts: the engine's own part walk.
  AudioDecoder* decoder = AudioDecoderOpen(in.rate, ch, flags);
  if (!decoder) {
    *error = "audio: out of memory for the decoder";
    return false;
  }
  track->decoded.reserve(static_cast<size_t>(total * ch));
  for (const std::vector<uint8_t>& part : track->parts) {
    if (part.empty()) continue;
    AudioPartOutput output;
    output.context = &track->decoded;
    output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
      auto* out = static_cast<std::vector<int16_t>*>(context);
      const size_t at = out->size();
      out->resize(at + bytes / 2);
      std::memcpy(out->data() + at, pcm, bytes);
    };
    DecodeAudioPart(decoder, {part.data(), static_cast<uint32_t>(part.size())}, output);
  }
  AudioDecoderClose(decoder);

  double signal = 0, noise = 0;
  const size_t values = std::min(track->decoded.size(), static_cast<size_t>(total * ch));
  for (size_t i = 0; i < values; ++i) {
    const double s = in.samples[i], d = track->decoded[i];
    signal += s * s;
    noise += (s - d) * (s - d);
  }
  track->snr_db = noise > 0 ? 10 * std::log10(std::max(signal, 1.0) / noise) : 100;
  return true;
}

}  // namespace vexil
