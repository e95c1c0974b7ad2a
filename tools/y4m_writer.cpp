#include "tools/y4m_writer.h"

#include <algorithm>
#include <vector>


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

bool Y4mWriter::WriteFrame(const vexil_picture& p) {
  const uint32_t w = width_, h = height_;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  if (!out_.Print("FRAME\n")) return false;
  if (kind_ == Kind::kAlpha)
    return p.alpha ? Plane(p.alpha, p.alpha_pitch, w, h) : Fill(uint64_t{w} * h, 128);
  if (!Plane(p.y, p.y_pitch, w, h)) return false;
  if (!p.cb || !p.cr) return Fill(uint64_t{cw} * ch * 2, 128);
  return Plane(p.cb, p.cb_pitch, cw, ch) && Plane(p.cr, p.cr_pitch, cw, ch);
}

bool Y4mWriter::Finish() {
  return out_.Finish();
}

}  // namespace vexil::tools
