#include "encoder/video_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "encoder/plane_encoder.h"
#include "encoder/quality.h"
#include "engine/container.h"
#include "platform/cpu.h"

namespace vexil {
namespace {

uint32_t RoundUp8(uint32_t v) {
  return (v + 7) / 8 * 8;
}

// The visible plane widened to whole blocks by repeating its last column and row.
std::vector<uint8_t> Padded(const std::vector<uint8_t>& plane, uint32_t w, uint32_t h, uint32_t pw,
                            uint32_t ph) {
  std::vector<uint8_t> out(size_t{pw} * ph);
  if (w == 0 || h == 0) return out;
  for (uint32_t y = 0; y < ph; ++y) {
    const uint8_t* src = plane.data() + size_t{std::min(y, h - 1)} * w;
    uint8_t* dst = out.data() + size_t{y} * pw;
    std::memcpy(dst, src, w);
    std::memset(dst + w, src[w - 1], pw - w);
  }
  return out;
}

uint64_t VisibleSse(const std::vector<uint8_t>& a, uint32_t pitch, const std::vector<uint8_t>& b,
                    uint32_t w, uint32_t h) {
  uint64_t sum = 0;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t d = a[size_t{y} * pitch + x] - b[size_t{y} * w + x];
      sum += static_cast<uint64_t>(d * d);
    }
  }
  return sum;
}

void PutWord(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

}  // namespace

double VideoFrameStats::Psnr(EncoderPlane plane) const {
  if (!samples[plane]) return 0;
  if (!sse[plane]) return 100;
  return std::min(100.0,
                  10 * std::log10(255.0 * 255.0 * double(samples[plane]) / double(sse[plane])));
}

VideoEncoder::VideoEncoder(const VideoEncoderOptions& options)
    : options_(options), kernels_(&SelectEncoderKernels(CpuFeatures() & options.cpu_features)) {}

bool VideoEncoder::HasPlane(EncoderPlane plane) const {
  if (plane == ENCODER_ALPHA) return options_.alpha;
  if (plane == ENCODER_CB || plane == ENCODER_CR) return !options_.grayscale;
  return true;
}

uint32_t VideoEncoder::PlaneWidth(EncoderPlane plane) const {
  const bool chroma = plane == ENCODER_CB || plane == ENCODER_CR;
  return RoundUp8(chroma ? (options_.width + 1) / 2 : options_.width);
}

uint32_t VideoEncoder::PlaneHeight(EncoderPlane plane) const {
  const bool chroma = plane == ENCODER_CB || plane == ENCODER_CR;
  return RoundUp8(chroma ? (options_.height + 1) / 2 : options_.height);
}

bool VideoEncoder::EncodeFrame(const Picture& picture, bool key, std::vector<uint8_t>* video,
                               VideoFrameStats* stats, std::string* error) {
  const uint32_t w = options_.width, h = options_.height;
  const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  if (picture.width != w || picture.height != h || picture.y.size() != size_t{w} * h ||
      (!options_.grayscale &&
       (picture.cb.size() != size_t{cw} * ch || picture.cr.size() != size_t{cw} * ch)) ||
      (options_.alpha && picture.alpha.size() != size_t{w} * h)) {
    *error = "the picture does not match the movie's size and planes";
    return false;
  }
  key = key || !have_reference_;
  *stats = VideoFrameStats{};
  stats->key = key;
  const QualitySettings q = SettingsForQuality(options_.quality);
  const bool old_revision = options_.revision != 'i';

  PlaneEncodeResult results[ENCODER_PLANE_COUNT];
  std::vector<uint8_t> sources[ENCODER_PLANE_COUNT];
  auto encode = [&](EncoderPlane plane, uint32_t threads) {
    const std::vector<uint8_t>& visible = plane == ENCODER_Y    ? picture.y
                                          : plane == ENCODER_CB ? picture.cb
                                          : plane == ENCODER_CR ? picture.cr
                                                                : picture.alpha;
    const bool chroma = plane == ENCODER_CB || plane == ENCODER_CR;
    const uint32_t vw = chroma ? cw : w, vh = chroma ? ch : h;
    const uint32_t pw = PlaneWidth(plane), ph = PlaneHeight(plane);
    sources[plane] = Padded(visible, vw, vh, pw, ph);

    PlaneEncodeJob job;
    job.source = sources[plane].data();
    job.reference = key ? nullptr : recon_[plane].data();
    job.width = pw;
    job.height = ph;
    job.lambda = q.lambda;
    job.finest_quantizer = q.finest_quantizer;
    job.coarsest_quantizer = q.coarsest_quantizer;
    job.residue_threshold = q.residue_threshold;
    job.modes = options_.modes;
    job.old_revision = old_revision;
    job.rate = &rate_[plane];
    job.kernels = kernels_;
    job.previous = &vectors_[plane];
    job.threads = threads;
    if (plane != ENCODER_Y) {
      job.guide = &results[ENCODER_Y].vectors;
      job.guide_blocks_wide = PlaneWidth(ENCODER_Y) / 8;
      job.guide_blocks_high = PlaneHeight(ENCODER_Y) / 8;
      job.guide_shift = chroma ? 1 : 0;
    }
    if (!EncodePlane(job, &results[plane])) return;
    stats->sse[plane] = VisibleSse(results[plane].recon, pw, visible, vw, vh);
    stats->samples[plane] = uint64_t{vw} * vh;
  };
  // Luma first: its vectors guide the other planes' searches. The chroma
  // planes are independent of each other: with threads to spare each takes
  // half of them, so that their serial parts (the bundles, the check of the
  // decoder's picture) overlap. Each plane's result is the same either way.
  const uint32_t threads = std::max(options_.threads, 1u);
  encode(ENCODER_Y, threads);
  if (results[ENCODER_Y].error.empty() && HasPlane(ENCODER_CB)) {
    if (threads >= 2) {
      std::thread other([&] { encode(ENCODER_CR, threads - threads / 2); });
      encode(ENCODER_CB, threads / 2);
      other.join();
    } else {
      encode(ENCODER_CB, threads);
      encode(ENCODER_CR, threads);
    }
  }
  if (HasPlane(ENCODER_ALPHA)) encode(ENCODER_ALPHA, threads);
  for (EncoderPlane plane : {ENCODER_Y, ENCODER_CB, ENCODER_CR, ENCODER_ALPHA}) {
    if (!HasPlane(plane)) continue;
    if (!results[plane].error.empty()) {
      *error = results[plane].error;
      return false;
    }
    stats->present[plane] = true;
    for (int t = 0; t < BLOCK_TYPE_COUNT; ++t) {
      stats->blocks[t] += results[plane].blocks[t];
      stats->scaled_blocks[t] += results[plane].scaled_blocks[t];
    }
  }

  // The frame's video data: alpha (with its byte count), then luma with the
  // offset of the first chroma plane (new revision only), then the chroma
  // planes: V before U, except in revisions f and g.
  video->clear();
  if (options_.alpha) {
    PutWord(*video, static_cast<uint32_t>(4 + results[ENCODER_ALPHA].bytes.size()));
    video->insert(video->end(), results[ENCODER_ALPHA].bytes.begin(),
                  results[ENCODER_ALPHA].bytes.end());
  }
  const std::vector<uint8_t>& luma = results[ENCODER_Y].bytes;
  if (!old_revision) PutWord(*video, static_cast<uint32_t>(4 + luma.size()));
  video->insert(video->end(), luma.begin(), luma.end());
  if (!options_.grayscale) {
    const bool u_first = options_.revision == 'f' || options_.revision == 'g';
    for (EncoderPlane plane :
         {u_first ? ENCODER_CB : ENCODER_CR, u_first ? ENCODER_CR : ENCODER_CB})
      video->insert(video->end(), results[plane].bytes.begin(), results[plane].bytes.end());
  }
  stats->bytes = video->size();

  for (EncoderPlane plane : {ENCODER_Y, ENCODER_CB, ENCODER_CR, ENCODER_ALPHA}) {
    if (!HasPlane(plane)) continue;
    recon_[plane] = std::move(results[plane].recon);
    vectors_[plane] = std::move(results[plane].vectors);
  }
  have_reference_ = true;
  return true;
}

Picture ReconstructedPicture(const VideoEncoder& encoder, uint32_t width, uint32_t height) {
  Picture p;
  p.width = width;
  p.height = height;
  auto visible = [&](EncoderPlane plane, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(size_t{w} * h);
    const std::vector<uint8_t>& recon = encoder.Recon(plane);
    const uint32_t pitch = encoder.PlaneWidth(plane);
    if (recon.empty()) return std::vector<uint8_t>{};
    for (uint32_t y = 0; y < h; ++y)
      std::memcpy(out.data() + size_t{y} * w, recon.data() + size_t{y} * pitch, w);
    return out;
  };
  p.y = visible(ENCODER_Y, width, height);
  if (encoder.HasPlane(ENCODER_CB)) {
    p.cb = visible(ENCODER_CB, p.chroma_width(), p.chroma_height());
    p.cr = visible(ENCODER_CR, p.chroma_width(), p.chroma_height());
  }
  if (encoder.HasPlane(ENCODER_ALPHA)) p.alpha = visible(ENCODER_ALPHA, width, height);
  return p;
}

}  // namespace vexil
