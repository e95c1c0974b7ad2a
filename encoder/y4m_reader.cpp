#include "encoder/y4m_reader.h"

#include <algorithm>
#include <charconv>

namespace vexil {
namespace {

constexpr size_t kLineLimit = 4096;
constexpr uint32_t kLargestSide = 32767;

bool ParseUnsigned(const std::string& text, uint32_t min, uint32_t max, uint32_t* out) {
  uint32_t v = 0;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || text.empty() || v < min || v > max) return false;
  *out = v;
  return true;
}

// A colour plane of w x h samples brought down by (sx, sy) = 1 or 2 in each
// direction with the box mean.
std::vector<uint8_t> Reduce(const uint8_t* src, uint32_t w, uint32_t h, uint32_t sx, uint32_t sy) {
  const uint32_t ow = (w + sx - 1) / sx, oh = (h + sy - 1) / sy;
  std::vector<uint8_t> out(size_t{ow} * oh);
  for (uint32_t y = 0; y < oh; ++y) {
    for (uint32_t x = 0; x < ow; ++x) {
      uint32_t sum = 0, count = 0;
      for (uint32_t dy = 0; dy < sy && y * sy + dy < h; ++dy) {
        for (uint32_t dx = 0; dx < sx && x * sx + dx < w; ++dx) {
          sum += src[size_t{y * sy + dy} * w + x * sx + dx];
          ++count;
        }
      }
      out[size_t{y} * ow + x] = static_cast<uint8_t>((sum + count / 2) / count);
    }
  }
  return out;
}

}  // namespace

bool Y4mReader::Fail(const std::string& message) {
  error_ = message;
  return false;
}

bool Y4mReader::ReadLine(std::string* line, size_t limit, bool* ended) {
  line->clear();
  *ended = false;
  for (;;) {
    uint8_t c;
    if (source_->Read(&c, 1) != 1) {
      *ended = line->empty();
      return false;
    }
    if (c == '\n') return true;
    if (line->size() >= limit) return false;
    line->push_back(static_cast<char>(c));
  }
}

bool Y4mReader::ReadHeader() {
  std::string line;
  bool ended;
  if (!ReadLine(&line, kLineLimit, &ended)) {
    if (ended) return Fail("the video input is empty");
    if (line.size() >= kLineLimit) return Fail("not a YUV4MPEG2 stream (no header line)");
    return Fail("the YUV4MPEG2 header is cut short");
  }
  if (line.compare(0, 9, "YUV4MPEG2") != 0 || (line.size() > 9 && line[9] != ' '))
    return Fail("not a YUV4MPEG2 stream (it must start with \"YUV4MPEG2 \")");
  bool have_w = false, have_h = false, have_f = false;
  size_t at = 9;
  while (at < line.size()) {
    const size_t end = std::min(line.find(' ', at), line.size());
    const std::string token = line.substr(at, end - at);
    at = end + 1;
    if (token.empty()) continue;
    const std::string value = token.substr(1);
    switch (token[0]) {
      case 'W':
        if (!ParseUnsigned(value, 1, kLargestSide, &header_.width))
          return Fail("the width (W" + value + ") must be 1 to 32767");
        have_w = true;
        break;
      case 'H':
        if (!ParseUnsigned(value, 1, kLargestSide, &header_.height))
          return Fail("the height (H" + value + ") must be 1 to 32767");
        have_h = true;
        break;
      case 'F': {
        const size_t colon = value.find(':');
        if (colon == std::string::npos ||
            !ParseUnsigned(value.substr(0, colon), 1, UINT32_MAX, &header_.rate_num) ||
            !ParseUnsigned(value.substr(colon + 1), 1, UINT32_MAX, &header_.rate_den))
          return Fail("the frame rate (F" + value +
                      ") must be two numbers 1 to 4294967295, as F25:1");
        have_f = true;
        break;
      }
      case 'C':
        if (value == "420jpeg" || value == "420paldv" || value == "420mpeg2" || value == "420") {
          header_.layout = Y4mLayout::k420;
        } else if (value == "422") {
          header_.layout = Y4mLayout::k422;
        } else if (value == "444") {
          header_.layout = Y4mLayout::k444;
        } else if (value == "mono") {
          header_.layout = Y4mLayout::kMono;
        } else {
          return Fail(
              "the colour layout C" + value +
              " is not supported (8-bit 420, 420jpeg, 420paldv, 420mpeg2, 422, 444 or mono)");
        }
        break;
      case 'I':
        // Interlaced pictures are coded as whole frames.
        if (value != "p" && value != "t" && value != "b" && value != "m" && value != "?")
          return Fail("the interlace field I" + value + " is not one of p, t, b, m, ?");
        break;
      default:
        break;  // aspect ratio, comments and extensions do not matter here
    }
  }
  if (!have_w || !have_h) return Fail("the YUV4MPEG2 header gives no width (W) or height (H)");
  if (!have_f) return Fail("the YUV4MPEG2 header gives no frame rate (F)");
  return true;
}

bool Y4mReader::ReadFrame(Picture* picture) {
  if (!error_.empty()) return false;
  std::string line;
  bool ended;
  if (!ReadLine(&line, kLineLimit, &ended)) {
    if (ended) return false;  // the end of the stream
    return Fail("frame " + std::to_string(frames_ + 1) +
                ": the FRAME line is damaged or cut short");
  }
  if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' '))
    return Fail("frame " + std::to_string(frames_ + 1) + ": expected a FRAME line");

  const uint32_t w = header_.width, h = header_.height;
  const uint64_t luma = uint64_t{w} * h;
  uint32_t cw = 0, ch = 0;
  switch (header_.layout) {
    case Y4mLayout::k420:
      cw = (w + 1) / 2;
      ch = (h + 1) / 2;
      break;
    case Y4mLayout::k422:
      cw = (w + 1) / 2;
      ch = h;
      break;
    case Y4mLayout::k444:
      cw = w;
      ch = h;
      break;
    case Y4mLayout::kMono:
      break;
  }
  const uint64_t chroma = uint64_t{cw} * ch;
  const uint64_t bytes = luma + 2 * chroma;
  // Grown as the bytes arrive, so a header that claims a huge picture costs
  // no more memory than the input really holds.
  buffer_.clear();
  while (buffer_.size() < bytes) {
    const size_t have = buffer_.size();
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(bytes - have, 1 << 20));
    buffer_.resize(have + piece);
    if (source_->Read(buffer_.data() + have, piece) != piece)
      return Fail("frame " + std::to_string(frames_ + 1) + " is cut short");
  }

  picture->width = w;
  picture->height = h;
  picture->y.assign(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(luma));
  picture->alpha.clear();
  const uint8_t* u = buffer_.data() + luma;
  const uint8_t* v = u + chroma;
  switch (header_.layout) {
    case Y4mLayout::k420:
      picture->cb.assign(u, u + chroma);
      picture->cr.assign(v, v + chroma);
      break;
    case Y4mLayout::k422:
      picture->cb = Reduce(u, cw, ch, 1, 2);
      picture->cr = Reduce(v, cw, ch, 1, 2);
      break;
    case Y4mLayout::k444:
      picture->cb = Reduce(u, cw, ch, 2, 2);
      picture->cr = Reduce(v, cw, ch, 2, 2);
      break;
    case Y4mLayout::kMono:
      picture->cb.clear();
      picture->cr.clear();
      break;
  }
  ++frames_;
  return true;
}

}  // namespace vexil
