// Converting decoded pictures into the sixteen pixel formats.
#include "api/library.h"
#include "display/pixel_formats.h"

using namespace vexil;
using namespace vexil::api;

namespace {

constexpr uint32_t kKnownConvertFlags = VEXIL_CONVERT_CHANGED_ONLY | VEXIL_CONVERT_SHOW_ALPHA |
                                        VEXIL_CONVERT_SWAP_CHROMA | VEXIL_CONVERT_GRAYSCALE;

// The copy flags of a conversion.
uint32_t CopyFlags(uint32_t format, uint32_t flags) {
  uint32_t copy = format;
  if (!(flags & VEXIL_CONVERT_CHANGED_ONLY)) copy |= COPY_ALL;
  if (flags & VEXIL_CONVERT_SHOW_ALPHA) copy |= COPY_SHOW_ALPHA;
  if (flags & VEXIL_CONVERT_SWAP_CHROMA) copy |= COPY_SWAP_CHROMA;
  if (flags & VEXIL_CONVERT_GRAYSCALE) copy |= COPY_GRAYSCALE;
  return copy;
}

}  // namespace

extern "C" {

uint32_t vexil_format_bytes(uint32_t format) {
  return format < PIXFMT_COUNT ? PixelFormatBytes(format) : 0;
}

vexil_result vexil_movie_convert(vexil_movie* movie, void* destination, int32_t pitch,
                                 uint32_t rows, uint32_t width, uint32_t height, uint32_t format,
                                 uint32_t flags) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    if (!HasPictures(movie->handle) || movie->frame == 0) return Fail(movie, VEXIL_ERROR_NO_VIDEO);
    vexil_movie_info info{};
    FillMovieInfo(movie->handle, &info);
    const uint64_t row_bytes = uint64_t{width} * vexil_format_bytes(format);
    const uint64_t pitch_bytes = pitch < 0 ? -int64_t{pitch} : pitch;
    if (!destination || format >= PIXFMT_COUNT || (flags & ~kKnownConvertFlags))
      return Fail(movie, VEXIL_ERROR_ARGUMENT, "No destination, or an unknown format or flag.");
    if (width > info.width || height > info.height)
      return Fail(movie, VEXIL_ERROR_ARGUMENT, "The region is larger than the movie's picture.");
    if (rows > INT32_MAX || pitch_bytes < row_bytes)
      return Fail(movie, VEXIL_ERROR_ARGUMENT, "The destination's rows cannot hold the region.");
    if (width && height && rows)
      Convert(movie->handle, movie->conversion, destination, pitch, rows, width, height,
              CopyFlags(format, flags));
    return VEXIL_OK;
  });
}

}  // extern "C"
