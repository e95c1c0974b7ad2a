// The picture decoder without a container: frame buffers and bundle buffers
// of its own, fed one packet's video data at a time.
#include <cstring>
#include <memory>

#include "api/library.h"
#include "engine/container.h"
#include "engine/movie.h"
#include "platform/heap.h"
#include "video/bundle_sizes.h"
#include "video/frame_buffers.h"
#include "video/frame_decode.h"

using namespace vexil;
using namespace vexil::api;

struct vexil_video_decoder {
  FrameBufferRecord* frames = nullptr;
  uint8_t* bundles = nullptr;
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

  ~vexil_video_decoder() {
    FreeFrameBuffers(frames);
    Free(bundles);
    Free(map);
  }
};

namespace {

bool ParamsValid(const vexil_video_params& p) {
  const bool revision = p.revision >= 'f' && p.revision <= 'i';
  const uint32_t known = VEXIL_MOVIE_ALPHA | VEXIL_MOVIE_GRAYSCALE;
  return revision && p.width <= kMaxDimension && p.height <= kMaxDimension && !(p.flags & ~known);
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
    created->bundles = static_cast<uint8_t*>(Alloc(BundleBuffersTotal(created->bundle_sizes)));
    created->map_stride = ((p.width + 15) / 16 + 15) / 16 * 16;
    created->map_bytes = uint64_t{created->map_stride} * ((p.height + 15) / 16) + 16;
    created->map = static_cast<uint8_t*>(Alloc(created->map_bytes));
    if (!created->frames || !created->bundles || !created->map) return VEXIL_ERROR_OUT_OF_MEMORY;
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
    const auto* start = static_cast<const uint8_t*>(video);
    FrameDecodeArgs a{};
    a.bundle_sizes = decoder->bundle_sizes;
    a.bundle_buffers = decoder->bundles;
    a.frames = decoder->frames;
    a.map = decoder->map;
    a.map_stride = decoder->map_stride;
    a.data_start = start;
    // As for a packet in a movie: the planes may end up to a word past the data.
    a.data_end = start + size + 4;
    a.readable_end = start + size;
    a.frame_flags = decoder->frame_flags;
    a.movie_flags = decoder->header_flags;
    decoder->changed_percent = FrameDecode(a);
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
