#include "tools/media_files.h"

#include <cstring>

#include "engine/container.h"

namespace vexil::tools {

bool PictureFile::Open(const std::string& path, uint32_t width, uint32_t height, uint32_t rate_num,
                       uint32_t rate_den, Kind kind) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  kind_ = kind;
  ok_ = std::fprintf(file_, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 %s\n", width, height, rate_num,
                     rate_den, kind == Kind::kAlpha ? "Cmono" : "C420jpeg") > 0;
  return ok_;
}

bool PictureFile::Put(const std::vector<uint8_t>& bytes, size_t count, uint8_t fill) {
  if (!ok_) return false;
  if (bytes.size() == count) {
    ok_ = std::fwrite(bytes.data(), 1, count, file_) == count;
  } else {
    const std::vector<uint8_t> plain(count, fill);
    ok_ = std::fwrite(plain.data(), 1, count, file_) == count;
  }
  return ok_;
}

bool PictureFile::Write(const Picture& p) {
  if (!file_) return false;
  ok_ = ok_ && std::fputs("FRAME\n", file_) >= 0;
  const size_t luma = size_t{p.width} * p.height;
  if (kind_ == Kind::kAlpha) return Put(p.alpha, luma, 255);
  const size_t chroma = size_t{p.chroma_width()} * p.chroma_height();
  return Put(p.y, luma, 0) && Put(p.cb, chroma, 128) && Put(p.cr, chroma, 128);
}

bool PictureFile::Close() {
  if (!file_) return ok_;
  ok_ = std::fclose(file_) == 0 && ok_;
  file_ = nullptr;
  return ok_;
}

bool WriteWavFile(const std::string& path, uint32_t rate, uint32_t channels,
                  const std::vector<int16_t>& samples) {
  const uint64_t data = uint64_t{samples.size()} * 2;
  if (data > 0xFFFFFFFFull - 36) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  WriteLE32(h + 4, static_cast<uint32_t>(36 + data));
  std::memcpy(h + 8, "WAVEfmt ", 8);
  WriteLE32(h + 16, 16);
  WriteLE32(h + 20, 1 | channels << 16);
  WriteLE32(h + 24, rate);
  WriteLE32(h + 28, rate * channels * 2);
  WriteLE32(h + 32, (channels * 2) | 16 << 16);
  std::memcpy(h + 36, "data", 4);
  WriteLE32(h + 40, static_cast<uint32_t>(data));
  bool ok = std::fwrite(h, 1, sizeof(h), f) == sizeof(h);
  std::vector<uint8_t> bytes(static_cast<size_t>(data));
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint16_t v = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<uint8_t>(v);
    bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace vexil::tools
