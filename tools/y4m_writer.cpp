#include "tools/y4m_writer.h"

#include <algorithm>
#include <vector>

#include "engine/movie.h"
#include "video/frame_buffers.h"

namespace vexil::tools {

bool Y4mWriter::Open(const std::string& name, uint32_t width, uint32_t height, uint32_t rate_num,
                     uint32_t rate_den, Kind kind) {
  width_ = width;
  height_ = height;
  kind_ = kind;
  return out_.Open(name) &&
         out_.Print("YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " F" +
                    std::to_string(rate_num) + ":" + std::to_string(rate_den) + " Ip A1:1 " +
                    (kind == Kind::kAlpha ? "Cmono" : "C420jpeg") + "\n");
}

bool Y4mWriter::Open(const std::string& name, const MovieHandle* movie, Kind kind) {
  return Open(name, movie->file_width, movie->file_height, movie->file_rate_num,
              movie->file_rate_den, kind);
}

bool Y4mWriter::Plane(const uint8_t* samples, size_t pitch, uint32_t width, uint32_t height) {
  // An empty plane may have no memory at all.
  if (width == 0) return out_.ok();
  for (uint32_t y = 0; y < height && out_.ok(); ++y) out_.Write(samples + y * pitch, width);
  return out_.ok();
}

bool Y4mWriter::Fill(uint64_t bytes, uint8_t value) {
  const std::vector<uint8_t> run(static_cast<size_t>(std::min<uint64_t>(bytes, 1 << 16)), value);
  for (uint64_t left = bytes; left > 0 && out_.ok(); left -= std::min<uint64_t>(left, run.size()))
    out_.Write(run.data(), static_cast<size_t>(std::min<uint64_t>(left, run.size())));
  return out_.ok();
}

bool Y4mWriter::Packed(const std::vector<uint8_t>& plane, uint32_t width, uint32_t height,
                       uint8_t fill) {
  const uint64_t bytes = uint64_t{width} * height;
  return plane.size() == bytes ? out_.Write(plane.data(), plane.size()) : Fill(bytes, fill);
}

bool Y4mWriter::Write(const Picture& p) {
  if (!out_.Print("FRAME\n")) return false;
  if (kind_ == Kind::kAlpha) return Packed(p.alpha, p.width, p.height, 255);
  return Packed(p.y, p.width, p.height, 0) &&
         Packed(p.cb, p.chroma_width(), p.chroma_height(), 128) &&
         Packed(p.cr, p.chroma_width(), p.chroma_height(), 128);
}

bool Y4mWriter::WriteFrame(const MovieHandle* movie) {
  if (!movie->planes) return false;
  const FrameBufferRecord& f = *movie->planes;
  const PlaneSet& set = f.sets[f.current_index.load()];
  const uint32_t w = width_, h = height_;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  if (!out_.Print("FRAME\n")) return false;
  if (kind_ == Kind::kAlpha) {
    const PlaneEntry& alpha = set.plane[PLANE_ALPHA];
    return alpha.present ? Plane(alpha.samples, alpha.pitch, w, h) : Fill(uint64_t{w} * h, 128);
  }
  const PlaneEntry& luma = set.plane[PLANE_LUMA];
  if (!Plane(luma.samples, luma.pitch, w, h)) return false;
  if (movie->open_flags & OPEN_GRAYSCALE) return Fill(uint64_t{cw} * ch * 2, 128);
  // Chroma A carries Cr and chroma B Cb; revisions f and g store them the other way round.
  const bool swap = movie->open_flags & OPEN_SWAP_CHROMA;
  const PlaneEntry& cb = set.plane[swap ? PLANE_CHROMA_A : PLANE_CHROMA_B];
  const PlaneEntry& cr = set.plane[swap ? PLANE_CHROMA_B : PLANE_CHROMA_A];
  return Plane(cb.samples, cb.pitch, cw, ch) && Plane(cr.samples, cr.pitch, cw, ch);
}

bool Y4mWriter::Finish() {
  return out_.Finish();
}

}  // namespace vexil::tools
