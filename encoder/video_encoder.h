// Codes the video of whole frames: each plane of the picture through the
// plane encoder, laid out as the frame decode reads them for the movie's
// revision. The encoder keeps the decoder's picture of every plane: it is the
// reference of the next frame and what a decoder must reproduce exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/block_coder.h"
#include "encoder/encoder_kernels.h"
#include "encoder/picture.h"
#include "encoder/rate_model.h"

namespace vexil {

enum EncoderPlane { ENCODER_Y, ENCODER_CB, ENCODER_CR, ENCODER_ALPHA, ENCODER_PLANE_COUNT };

struct VideoEncoderOptions {
  uint32_t width = 0, height = 0;  // visible size, 1 .. 32767
  bool grayscale = false;          // luma only
  bool alpha = false;
  char revision = 'i';  // 'f', 'g', 'h' or 'i'
  uint32_t quality = 75;
  uint32_t modes = BLOCK_MODE_ALL;
  uint32_t cpu_features = 0xFFFFFFFFu;  // ANDed with the processor's (tests force the references)
  uint32_t threads = 1;  // for the search and the decisions; the result is the same for any number
};

struct VideoFrameStats {
  bool key = false;
  size_t bytes = 0;
  bool present[ENCODER_PLANE_COUNT] = {};
  uint64_t sse[ENCODER_PLANE_COUNT] = {};      // over the visible samples
  uint64_t samples[ENCODER_PLANE_COUNT] = {};  // visible samples per plane
  uint32_t blocks[BLOCK_TYPE_COUNT] = {};      // 8x8 positions by type, all planes
  uint32_t scaled_blocks[BLOCK_TYPE_COUNT] = {};

  // Peak signal to noise ratio of a plane in dB (100 for an exact picture).
  double Psnr(EncoderPlane plane) const;
};

class VideoEncoder {
 public:
  explicit VideoEncoder(const VideoEncoderOptions& options);

  // Codes one frame (the picture's size must be the options' size, with the
  // planes they ask for). A key frame uses no earlier picture; the first
  // frame is always one. False with *error when the picture does not fit or
  // a value could not be coded.
  bool EncodeFrame(const Picture& picture, bool key, std::vector<uint8_t>* video,
                   VideoFrameStats* stats, std::string* error);

  // The decoder's plane after the last frame, padded to whole blocks: rows of
  // PlaneWidth samples. Chroma planes are empty for grayscale movies.
  const std::vector<uint8_t>& Recon(EncoderPlane plane) const { return recon_[plane]; }
  uint32_t PlaneWidth(EncoderPlane plane) const;
  uint32_t PlaneHeight(EncoderPlane plane) const;
  bool HasPlane(EncoderPlane plane) const;

 private:
  VideoEncoderOptions options_;
  const EncoderKernels* kernels_;
  RateModel rate_[ENCODER_PLANE_COUNT];
  std::vector<uint8_t> recon_[ENCODER_PLANE_COUNT];
  std::vector<MotionVector> vectors_[ENCODER_PLANE_COUNT];
  bool have_reference_ = false;
};

// The planes of the picture a decoder shows, at the visible size, from an
// encoder's reconstruction (chroma planes empty for grayscale movies).
Picture ReconstructedPicture(const VideoEncoder& encoder, uint32_t width, uint32_t height);

}  // namespace vexil
