// Pulled audio: the chosen tracks' PCM queued as frames decode; the packet
// layout and the audio decoder for callers with demuxers of their own.
#include <algorithm>
#include <cstring>
#include <memory>

#include "api/library.h"
#include "audio/audio_decoder.h"
#include "audio/audio_layout.h"
#include "audio/audio_packet.h"
#include "engine/container.h"

using namespace vexil;
using namespace vexil::api;

struct vexil_audio_decoder {
  AudioDecoder* decoder = nullptr;
  uint32_t channels = 1;
  ~vexil_audio_decoder() { AudioDecoderClose(decoder); }
};

namespace {

AudioQueue* FindQueue(const vexil_movie* movie, uint32_t id) {
  for (const AudioQueue& queue : movie->audio) {
    if (queue.id == id) return const_cast<AudioQueue*>(&queue);
  }
  return nullptr;
}

// Forgets the overlap with the block before: the next block starts afresh.
void Restart(AudioDecoder* decoder) {
  decoder->first_block = 1;
}

// Where a packet walk found a track's part, or the video after the parts.
struct PartPlace {
  bool found;
  size_t offset;
  size_t size;
};

PartPlace FindPart(const void* packet, size_t size, uint32_t track_count, uint32_t track) {
  // Packets are at most 32-bit sized; a longer buffer is walked as far as that reaches.
  const auto bytes = static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
  const auto* start = static_cast<const uint8_t*>(packet);
  AudioPart part{};
  if (!start || !FindAudioPart(start, bytes, track_count, track, &part)) return {false, 0, 0};
  return {true, static_cast<size_t>(part.data - start), part.size};
}

}  // namespace

namespace vexil::api {

void QueueAudio(vexil_movie* movie) {
  const Packet packet = CurrentPacket(movie->handle);
  const uint32_t track_count = TrackCount(movie->handle);
  for (AudioQueue& queue : movie->audio) {
    AudioPart part{};
    if (!FindAudioPart(packet.data, packet.bytes, track_count, queue.track, &part)) continue;
    // Taken samples are dropped before the queue grows.
    if (queue.head > 0 && queue.head * 2 >= queue.samples.size()) {
      queue.samples.erase(queue.samples.begin(),
                          queue.samples.begin() + static_cast<ptrdiff_t>(queue.head));
      queue.head = 0;
    }
    AudioPartOutput output;
    output.context = &queue;
    output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
      auto* q = static_cast<AudioQueue*>(context);
      const auto* samples = reinterpret_cast<const int16_t*>(pcm);
      q->samples.insert(q->samples.end(), samples, samples + bytes / 2);
    };
    DecodeAudioPart(queue.decoder, part, output);
  }
}

void ResetAudio(vexil_movie* movie) {
  for (AudioQueue& queue : movie->audio) {
    queue.samples.clear();
    queue.head = 0;
    Restart(queue.decoder);
  }
}

}  // namespace vexil::api

extern "C" {

int64_t vexil_movie_read_audio(vexil_movie* movie, uint32_t track_id, int16_t* samples,
                               size_t max_frames) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  movie->error.clear();
  AudioQueue* queue = FindQueue(movie, track_id);
  if (!queue) return Fail(movie, VEXIL_ERROR_NO_TRACK);
  if (max_frames && !samples) return Fail(movie, VEXIL_ERROR_ARGUMENT);
  const size_t queued = (queue->samples.size() - queue->head) / queue->channels;
  const size_t frames = std::min(queued, max_frames);
  if (frames) {
    std::memcpy(samples, queue->samples.data() + queue->head, frames * queue->channels * 2);
    queue->head += frames * queue->channels;
  }
  return static_cast<int64_t>(frames);
}

uint64_t vexil_movie_audio_queued(const vexil_movie* movie, uint32_t track_id) {
  const AudioQueue* queue = movie ? FindQueue(movie, track_id) : nullptr;
  return queue ? (queue->samples.size() - queue->head) / queue->channels : 0;
}

vexil_result vexil_packet_audio_part(const void* packet, size_t size, uint32_t track_count,
                                     uint32_t track, size_t* offset, size_t* part_size) {
  if (!offset || !part_size || (!packet && size) || track >= track_count)
    return VEXIL_ERROR_ARGUMENT;
  const PartPlace place = FindPart(packet, size, track_count, track);
  *offset = place.offset;
  *part_size = place.size;
  return place.found ? VEXIL_OK : VEXIL_END;
}

vexil_result vexil_packet_video(const void* packet, size_t size, uint32_t track_count,
                                size_t* offset, size_t* video_size) {
  if (!offset || !video_size || (!packet && size)) return VEXIL_ERROR_ARGUMENT;
  *offset = 0;
  *video_size = 0;
  size_t end = 0;
  if (track_count > 0) {
    const PartPlace last = FindPart(packet, size, track_count, track_count - 1);
    // The last part must lie wholly inside the packet for video to follow it.
    if (!last.found) return VEXIL_END;
    const auto* bytes = static_cast<const uint8_t*>(packet);
    if (ReadLE32(bytes + last.offset - 4) > last.size) return VEXIL_END;
    end = last.offset + last.size;
  }
  if (end >= size) return VEXIL_END;
  *offset = end;
  *video_size = size - end;
  return VEXIL_OK;
}

vexil_result vexil_movie_read_packet(vexil_movie* movie, uint32_t frame, void* buffer,
                                     size_t capacity, size_t* size, int* key) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    if (!size || (capacity && !buffer) || frame < 1 || frame > FrameCount(movie->handle))
      return Fail(movie, VEXIL_ERROR_ARGUMENT);
    const PacketPlace place = PlaceOfPacket(movie->handle, frame);
    *size = place.bytes;
    if (key) *key = place.key ? 1 : 0;
    if (capacity == 0) return VEXIL_OK;
    const auto n = static_cast<uint32_t>(std::min<size_t>(capacity, place.bytes));
    if (uint64_t{place.offset} + place.bytes > movie->bytes_present ||
        !ReadMovieBytes(movie->handle, place.offset, buffer, n))
      return Fail(movie, VEXIL_ERROR_READ);
    return VEXIL_OK;
  });
}

vexil_result vexil_audio_decoder_create(uint32_t rate, uint32_t channels, uint32_t codec,
                                        vexil_audio_decoder** decoder) {
  if (!decoder) return VEXIL_ERROR_ARGUMENT;
  *decoder = nullptr;
  if ((channels != 1 && channels != 2) || (codec != VEXIL_CODEC_DCT && codec != VEXIL_CODEC_RDFT))
    return VEXIL_ERROR_ARGUMENT;
  return Guard(nullptr, [&]() -> vexil_result {
    auto created = std::make_unique<vexil_audio_decoder>();
    created->channels = channels;
    created->decoder = AudioDecoderOpen(rate, channels, codec == VEXIL_CODEC_DCT ? AUDIO_DCT : 0);
    if (!created->decoder) return VEXIL_ERROR_OUT_OF_MEMORY;
    *decoder = created.release();
    return VEXIL_OK;
  });
}

uint64_t vexil_audio_part_frames(const void* part, size_t size, uint32_t channels) {
  if (!part || size < 4 || (channels != 1 && channels != 2)) return 0;
  return ReadLE32(part) / (channels * 2);
}

vexil_result vexil_audio_decoder_decode(vexil_audio_decoder* decoder, const void* part, size_t size,
                                        int16_t* samples, size_t max_frames, size_t* frames) {
  if (!decoder || !frames || (!part && size) || (!samples && max_frames))
    return VEXIL_ERROR_ARGUMENT;
  *frames = 0;
  struct Output {
    int16_t* samples;
    uint64_t room;  // bytes
    uint64_t written;
  } out{samples, uint64_t{max_frames} * decoder->channels * 2, 0};
  AudioPartOutput output;
  output.context = &out;
  output.allowed = [](void* context) {
    auto* o = static_cast<Output*>(context);
    return static_cast<uint32_t>(std::min<uint64_t>(o->room - o->written, UINT32_MAX));
  };
  output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
    auto* o = static_cast<Output*>(context);
    std::memcpy(reinterpret_cast<uint8_t*>(o->samples) + o->written, pcm, bytes);
    o->written += bytes;
  };
  const auto bytes = static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
  DecodeAudioPart(decoder->decoder, {static_cast<const uint8_t*>(part), bytes}, output);
  *frames = static_cast<size_t>(out.written / (decoder->channels * 2));
  return VEXIL_OK;
}

void vexil_audio_decoder_reset(vexil_audio_decoder* decoder) {
  if (decoder) Restart(decoder->decoder);
}

void vexil_audio_decoder_destroy(vexil_audio_decoder* decoder) {
  delete decoder;
}

}  // extern "C"
