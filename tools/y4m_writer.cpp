#include "tools/y4m_writer.h"

#include <vector>

#include "engine/movie.h"
#include "video/frame_buffers.h"

namespace vexil::tools {

bool Y4mWriter::Open(const char* path, const MovieHandle* movie, Kind kind) {
  Close();
  file_ = std::fopen(path, "wb");
  if (!file_) return false;
  kind_ = kind;
  ok_ =
      std::fprintf(file_, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 %s\n", movie->container.file_width,
                   movie->container.file_height, movie->container.file_rate_num,
                   movie->container.file_rate_den, kind == Kind::kAlpha ? "Cmono" : "C420jpeg") > 0;
  return ok_;
}

bool Y4mWriter::WritePlane(const uint8_t* samples, uint32_t pitch, uint32_t width,
                           uint32_t height) {
  for (uint32_t y = 0; y < height && ok_; ++y)
    ok_ = std::fwrite(samples + uint64_t{y} * pitch, 1, width, file_) == width;
  return ok_;
}

bool Y4mWriter::WriteGray(uint32_t bytes) {
  std::vector<uint8_t> gray(bytes, 128);
  ok_ = ok_ && std::fwrite(gray.data(), 1, bytes, file_) == bytes;
  return ok_;
}

bool Y4mWriter::WriteFrame(const MovieHandle* movie) {
  if (!file_ || !movie->video.planes) return false;
  const FrameBufferRecord& f = *movie->video.planes;
  const PlaneSet& set = f.sets[f.current_index.load()];
  const uint32_t w = movie->container.file_width, h = movie->container.file_height;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  ok_ = ok_ && std::fputs("FRAME\n", file_) >= 0;
  if (kind_ == Kind::kAlpha) {
    const PlaneEntry& alpha = set.plane[PLANE_ALPHA];
    return alpha.present ? WritePlane(alpha.samples, alpha.pitch, w, h) : WriteGray(w * h);
  }
  const PlaneEntry& luma = set.plane[PLANE_LUMA];
  WritePlane(luma.samples, luma.pitch, w, h);
  if (movie->open_flags & OPEN_GRAYSCALE) return WriteGray(cw * ch * 2);
  // Chroma A carries Cr and chroma B Cb; revisions f and g store them the other way round.
  const bool swap = movie->open_flags & OPEN_SWAP_CHROMA;
  const PlaneEntry& cb = set.plane[swap ? PLANE_CHROMA_A : PLANE_CHROMA_B];
  const PlaneEntry& cr = set.plane[swap ? PLANE_CHROMA_B : PLANE_CHROMA_A];
  WritePlane(cb.samples, cb.pitch, cw, ch);
  return WritePlane(cr.samples, cr.pitch, cw, ch);
}

bool Y4mWriter::Close() {
  if (!file_) return ok_;
  ok_ = std::fclose(file_) == 0 && ok_;
  file_ = nullptr;
  return ok_;
}

}  // namespace vexil::tools
