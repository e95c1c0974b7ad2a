// A whole movie: the picture frames as they come (key frames every `keyint`
// frames), one optional sound track coded when the frame count is known, and
// the container around them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/audio_encoder.h"
#include "encoder/block_coder.h"
#include "encoder/picture.h"
#include "encoder/quality.h"
#include "encoder/video_encoder.h"
#include "encoder/wav_reader.h"

namespace vexil {

struct MovieEncoderOptions {
  uint32_t quality = kDefaultQuality;  // 0 .. 100
  uint32_t keyint = 0;                 // frames from key frame to key frame; 0: four seconds' worth
  char revision = 'i';                 // 'f', 'g', 'h' or 'i'
  bool rdft_audio = false;             // else the DCT audio codec
  uint32_t track_id = 0;
  uint32_t block_modes = BLOCK_MODE_ALL;
  uint32_t threads = 1;  // the movie is the same for any number
};

struct MovieFormat {
  uint32_t width = 0, height = 0;  // 1 .. 32767
  uint32_t rate_num = 0, rate_den = 0;
  bool grayscale = false;
  bool alpha = false;
};

struct MovieSummary {
  uint32_t frames = 0, key_frames = 0;
  uint64_t movie_bytes = 0, video_bytes = 0, audio_bytes = 0;
  bool present[ENCODER_PLANE_COUNT] = {};
  double psnr[ENCODER_PLANE_COUNT] = {};  // mean over the frames, dB
  uint64_t blocks[BLOCK_TYPE_COUNT] = {};
  uint64_t scaled_blocks[BLOCK_TYPE_COUNT] = {};
  bool audio = false;
  double audio_snr_db = 0;
  std::string audio_warning;
};

// Frames per key frame when none is asked for: four seconds' worth.
uint32_t DefaultKeyInterval(uint32_t rate_num, uint32_t rate_den);

class MovieEncoder {
 public:
  MovieEncoder(const MovieEncoderOptions& options, const MovieFormat& format);

  // False with *error when the options or the format cannot make a movie.
  bool Check(std::string* error) const;

  // Codes the next frame.
  bool AddFrame(const Picture& picture, std::string* error);
  // The sound of the movie (taken by Finish, cut to the picture's length).
  void SetAudio(WavAudio audio) {
    audio_ = std::move(audio);
    have_audio_ = true;
  }
  // The movie; false with *error when it cannot be made (no frames, too large).
  bool Finish(std::vector<uint8_t>* movie, std::string* error);

  const VideoEncoder& video() const { return video_; }
  const VideoFrameStats& last_frame() const { return last_; }
  const AudioTrack& audio_track() const { return track_; }
  const MovieSummary& summary() const { return summary_; }

 private:
  MovieEncoderOptions options_;
  MovieFormat format_;
  VideoEncoder video_;
  std::vector<std::vector<uint8_t>> frames_;
  std::vector<bool> keys_;
  VideoFrameStats last_;
  double psnr_sum_[ENCODER_PLANE_COUNT] = {};
  WavAudio audio_;
  bool have_audio_ = false;
  AudioTrack track_;
  MovieSummary summary_;
};

}  // namespace vexil
