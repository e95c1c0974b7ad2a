// The picture decoder without a container: frame buffers and bundle buffers
// of its own, fed one packet's video data at a time, optionally with a decode
// thread of its own for the luma plane.
#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "api/library.h"
#include "engine/container.h"
#include "engine/frame_decode_driver.h"
#include "engine/movie.h"
#include "platform/heap.h"
#include "video/bundle_sizes.h"
#include "video/decode_threads.h"
#include "video/frame_buffers.h"
#include "video/frame_decode.h"

using namespace vexil;
using namespace vexil::api;

namespace {
uint32_t RunDecodePart(void* decoder, uint32_t parts);
}  // namespace

struct vexil_video_decoder {
  FrameBufferRecord* frames = nullptr;
  // One set of bundle buffers per decode part: [0] luma (or the whole
  // picture), [1] alpha and chroma.
  uint8_t* bundles[2] = {};
  // The changed-block map (a byte per 16x16 area), cleared before each
  // decode: with it, changed_percent counts areas as a movie's decode does.
  uint8_t* map = nullptr;
  uint32_t map_stride = 0;
  uint64_t map_bytes = 0;
  uint32_t bundle_sizes[BUNDLE_KIND_COUNT] = {};
  uint32_t width = 0, height = 0;
  uint32_t frame_flags = 0;   // OPEN_* bits as the open would merge them
  uint32_t header_flags = 0;  // HEADER_* bits
  uint32_t decoded = 0;
  uint32_t changed_percent = 0;
  // The video data being decoded: written by the calling thread before a job
  // is sent; the command ring's semaphore publishes it to the decode thread,
  // which reads it until its reply.
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  // Thread 0 decodes the luma part when the picture is split; null: none.
  std::unique_ptr<DecodeThreadPool> luma_thread;

  ~vexil_video_decoder() {
    luma_thread.reset();  // joined before the buffers it decodes into go
    FreeFrameBuffers(frames);
    Free(bundles[0]);
    Free(bundles[1]);
    Free(map);
  }
};

namespace {

bool ParamsValid(const vexil_video_params& p) {
  const bool revision = p.revision >= 'f' && p.revision <= 'i';
  const uint32_t known = VEXIL_MOVIE_ALPHA | VEXIL_MOVIE_GRAYSCALE;
  const bool threads = p.decode_threads <= 2 || p.decode_threads == VEXIL_THREADS_AUTO;
  return revision && threads && p.width <= kMaxDimension && p.height <= kMaxDimension &&
         !(p.flags & ~known);
}

// Decodes `parts` of the current video data; returns the changed percentage.
// The luma part leaves alpha and chroma alone and the other part luma, so the
// two may run at once; the planes switch after both (FRAME_NO_SWITCH).
uint32_t DecodeParts(vexil_video_decoder* d, uint32_t parts) {
  uint32_t flags = PartFlags(d->frame_flags, parts);
  if (parts != PART_ALL) flags |= OPEN_FRAME_NO_SWITCH;
  FrameDecodeArgs a{};
  a.bundle_sizes = d->bundle_sizes;
  a.bundle_buffers = d->bundles[parts == PART_OTHER ? 1 : 0];
  a.frames = d->frames;
  a.map = d->map;
  a.map_stride = d->map_stride;
  a.data_start = d->data;
  // As for a packet in a movie: the planes may end up to a word past the data.
  a.data_end = d->data + d->size + 4;
  a.readable_end = d->data + d->size;
  a.frame_flags = flags;
  a.movie_flags = d->header_flags;
  return FrameDecode(a);
}

uint32_t RunDecodePart(void* decoder, uint32_t parts) {
  return DecodeParts(static_cast<vexil_video_decoder*>(decoder), parts);
}

// The luma plane on the decode thread, the rest here, then the switch to the
// new planes. False when the job could not be sent (nothing was decoded).
bool DecodeSplit(vexil_video_decoder* d) {
  if (!d->luma_thread->Send(0, MakeJob(d, 0, PART_LUMA))) return false;
  const uint32_t other = DecodeParts(d, PART_OTHER);
  uintptr_t job = 0;
  uint32_t luma = 0;
  // The thread answers every job it takes; it ends only when destroyed.
  d->luma_thread->TakeReply(0, -1, &job, &luma);
  d->changed_percent = std::max(other, luma);
  FrameBufferRecord& f = *d->frames;
  if (f.buffer_count == 2) f.current_index = f.current_index.load() ^ 1;
  return true;
}

}  // namespace

extern "C" {

void vexil_video_params_init(vexil_video_params* params) {
  if (!params) return;
  *params = {};
  params->struct_size = sizeof(*params);
  params->revision = 'i';
}

vexil_result vexil_video_decoder_create(const vexil_video_params* given,
                                        vexil_video_decoder** decoder) {
  if (!decoder || !given) return VEXIL_ERROR_ARGUMENT;
  *decoder = nullptr;
  vexil_video_params p;
  vexil_video_params_init(&p);
  if (!ReadVersioned(given, &p) || !ParamsValid(p)) return VEXIL_ERROR_ARGUMENT;
  return Guard(nullptr, [&]() -> vexil_result {
    auto created = std::make_unique<vexil_video_decoder>();
    created->width = p.width;
    created->height = p.height;
    const bool alpha = p.flags & VEXIL_MOVIE_ALPHA;
    if (alpha) created->header_flags |= HEADER_ALPHA;
    if (p.flags & VEXIL_MOVIE_GRAYSCALE) created->header_flags |= HEADER_GRAYSCALE;
    uint32_t& flags = created->frame_flags;
    if (p.flags & VEXIL_MOVIE_GRAYSCALE) flags |= OPEN_GRAYSCALE;
    if (alpha && p.decode_alpha) flags |= OPEN_ALPHA;
    if (p.revision != 'i') flags |= OPEN_OLD_REVISION;
    if (p.revision == 'f' || p.revision == 'g') flags |= OPEN_SWAP_CHROMA;
    uint64_t allocated = 0;
    created->frames =
        CreateFrameBuffers({p.width, p.height, alpha, p.single_frame ? 1u : 2u}, &allocated);
    BundleBufferSizes(p.width, created->bundle_sizes);
    const size_t bundle_bytes = BundleBuffersTotal(created->bundle_sizes);
    created->bundles[0] = static_cast<uint8_t*>(Alloc(bundle_bytes));
    created->map_stride = ((p.width + 15) / 16 + 15) / 16 * 16;
    created->map_bytes = uint64_t{created->map_stride} * ((p.height + 15) / 16) + 16;
    created->map = static_cast<uint8_t*>(Alloc(created->map_bytes));
    if (!created->frames || !created->bundles[0] || !created->map) return VEXIL_ERROR_OUT_OF_MEMORY;
    const uint32_t threads = p.decode_threads == VEXIL_THREADS_AUTO
                                 ? (std::thread::hardware_concurrency() > 1 ? 2 : 1)
                                 : p.decode_threads;
    // Older revisions have no offset to the chroma data: nothing to split.
    if (threads == 2 && p.revision == 'i') {
      created->bundles[1] = static_cast<uint8_t*>(Alloc(bundle_bytes));
      if (!created->bundles[1]) return VEXIL_ERROR_OUT_OF_MEMORY;
      created->luma_thread = std::make_unique<DecodeThreadPool>(RunDecodePart);
      if (created->luma_thread->CreateThread(0) != 1) return VEXIL_ERROR_THREADS;
    }
    *decoder = created.release();
    return VEXIL_OK;
  });
}

vexil_result vexil_video_decoder_decode(vexil_video_decoder* decoder, const void* video,
                                        size_t size) {
  if (!decoder || (!video && size) || size > UINT32_MAX) return VEXIL_ERROR_ARGUMENT;
  std::memset(decoder->map, 0, decoder->map_bytes);
  decoder->changed_percent = 0;
  // An empty packet has no data to point into (`video` may be null).
  if (size) {
    decoder->data = static_cast<const uint8_t*>(video);
    decoder->size = static_cast<uint32_t>(size);
    if (!decoder->luma_thread || !DecodeSplit(decoder))
      decoder->changed_percent = DecodeParts(decoder, PART_ALL);
  }
  ++decoder->decoded;
  return VEXIL_OK;
}

vexil_result vexil_video_decoder_get_picture(const vexil_video_decoder* decoder,
                                             vexil_picture* picture) {
  if (!decoder) return VEXIL_ERROR_ARGUMENT;
  if (decoder->decoded == 0) return VEXIL_ERROR_NO_VIDEO;
  vexil_picture filled{};
  filled.struct_size = sizeof(filled);
  FillPicture(*decoder->frames, decoder->width, decoder->height, decoder->frame_flags, &filled);
  filled.frame = decoder->decoded;
  filled.changed_percent = decoder->changed_percent;
  return WriteVersioned(filled, picture) ? VEXIL_OK : VEXIL_ERROR_ARGUMENT;
}

void vexil_video_decoder_destroy(vexil_video_decoder* decoder) {
  delete decoder;
}

}  // extern "C"
