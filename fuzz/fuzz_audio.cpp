// The audio decoder fed raw blocks: the rate, channel count and codec come
// from the first three bytes; the rest is a sequence of pieces, each decoded either
// as one block (AudioDecodeBlock) or as a frame packet's audio part
// (DecodeAudioPart, with a receiver that takes only some of the PCM). One
// decoder serves all pieces, so the cross-fade carries state between them.
// Every piece sits alone in a buffer of its exact size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"

namespace {

using namespace vexil;

struct Receiver {
  uint32_t frame_bytes;
  uint32_t allowance;  // bytes it takes per block
  uint64_t taken = 0;
};

uint32_t Allowed(void* context) {
  const auto* r = static_cast<Receiver*>(context);
  return r->allowance / r->frame_bytes * r->frame_bytes;
}

void Take(void* context, const uint8_t* pcm, uint32_t bytes) {
  auto* r = static_cast<Receiver*>(context);
  // Whole sample frames, never nothing, never more than allowed; and the
  // bytes must be readable.
  if (bytes == 0 || bytes % r->frame_bytes || bytes > Allowed(r)) __builtin_trap();
  volatile uint8_t sink = 0;
  for (uint32_t i = 0; i < bytes; i += 64) sink = sink + pcm[i];
  sink = sink + pcm[bytes - 1];
  r->taken += bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Three bytes of set-up: the rate as a track's format word holds it (16
  // bits; 0 and odd rates too), then channels (bits 0-1) and the codec (bit 2).
  if (size < 3) return 0;
  const uint32_t rate = data[0] | uint32_t{data[1]} << 8;
  const uint32_t channels = data[2] & 3;
  const uint32_t flags = (data[2] & 4) ? AUDIO_DCT : 0;
  AudioDecoder* decoder = AudioDecoderOpen(rate, channels, flags);
  if (!decoder) {
    if (channels == 1 || channels == 2) __builtin_trap();  // only bad channel counts are refused
    return 0;
  }
  const uint32_t frame_bytes = channels * 2;
  // Then pieces: a mode byte (bit 0: a packet's audio part, else raw blocks),
  // the bytes the receiver takes per block (16 bits, all ones: no limit), the
  // piece's length (16 bits), its bytes.
  size_t at = 3;
  for (int pieces = 0; pieces < 24 && at + 5 <= size; ++pieces) {
    const bool as_part = data[at] & 1;
    const uint32_t allowance = data[at + 1] | uint32_t{data[at + 2]} << 8;
    const size_t length = std::min<size_t>(data[at + 3] | size_t{data[at + 4]} << 8, size - at - 5);
    const std::vector<uint8_t> piece(data + at + 5, data + at + 5 + length);
    at += 5 + length;
    const uint8_t* begin = piece.data();
    const uint8_t* end = begin + piece.size();
    if (as_part) {
      Receiver receiver{frame_bytes, allowance == 0xFFFF ? UINT32_MAX : allowance};
      AudioPartOutput output;
      output.context = &receiver;
      output.allowed = allowance == 0xFFFF ? nullptr : Allowed;
      output.take = Take;
      const uint64_t taken =
          DecodeAudioPart(decoder, AudioPart{begin, static_cast<uint32_t>(piece.size())}, output);
      if (taken != receiver.taken) __builtin_trap();
    } else {
      // Whole blocks one after the other, as far as the piece goes.
      const uint8_t* block = begin;
      for (int blocks = 0; blocks < 4; ++blocks) {
        uint32_t pcm_bytes = 0;
        const uint8_t* next = nullptr;
        const int16_t* pcm = AudioDecodeBlock(decoder, block, end, &pcm_bytes, &next);
        if (!pcm || pcm_bytes > decoder->block_bytes || next < block || next > end)
          __builtin_trap();
        if (pcm_bytes) {
          volatile int16_t sink = pcm[0];
          sink = sink + pcm[pcm_bytes / 2 - 1];
        }
        if (next == block) break;
        block = next;
      }
    }
  }
  AudioDecoderClose(decoder);
  return 0;
}
