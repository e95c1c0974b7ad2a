// The encoder's YUV4MPEG2 reader fed raw bytes: the header, then frames until
// the stream ends or is refused; every picture it delivers has the sizes its
// header promised.
#include <cstddef>
#include <cstdint>

#include "encoder/byte_source.h"
#include "encoder/y4m_reader.h"

namespace {

using namespace vexil;

constexpr uint32_t kMaxFrames = 16;

bool Consistent(const Y4mHeader& h, const Picture& p) {
  const size_t luma = size_t{h.width} * h.height;
  const size_t chroma =
      h.layout == Y4mLayout::kMono ? 0 : size_t{p.chroma_width()} * p.chroma_height();
  return p.width == h.width && p.height == h.height && p.y.size() == luma &&
         p.cb.size() == chroma && p.cr.size() == chroma && p.alpha.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  Y4mReader reader(&source);
  if (!reader.ReadHeader()) {
    if (reader.error().empty()) __builtin_trap();  // a refusal says why
    return 0;
  }
  const Y4mHeader h = reader.header();
  if (h.width < 1 || h.width > 32767 || h.height < 1 || h.height > 32767 || !h.rate_num ||
      !h.rate_den)
    __builtin_trap();
  Picture picture;
  for (uint32_t n = 0; n < kMaxFrames && reader.ReadFrame(&picture); ++n) {
    if (!Consistent(h, picture)) __builtin_trap();
  }
  return 0;
}
