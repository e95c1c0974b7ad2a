#include "encoder/movie_encoder.h"

#include <algorithm>

#include "encoder/movie_writer.h"
#include "engine/container.h"

namespace vexil {
namespace {

VideoEncoderOptions VideoOptions(const MovieEncoderOptions& o, const MovieFormat& f) {
  VideoEncoderOptions v;
  v.width = f.width;
  v.height = f.height;
  v.grayscale = f.grayscale;
  v.alpha = f.alpha;
  v.revision = o.revision;
  v.quality = o.quality;
  v.modes = o.block_modes;
  v.threads = o.threads;
  return v;
}

}  // namespace

uint32_t DefaultKeyInterval(uint32_t rate_num, uint32_t rate_den) {
  return 4 * WholeFramesPerSecond(rate_num, rate_den);
}

MovieEncoder::MovieEncoder(const MovieEncoderOptions& options, const MovieFormat& format)
    : options_(options), format_(format), video_(VideoOptions(options, format)) {
  if (!options_.keyint && format.rate_den)
    options_.keyint = DefaultKeyInterval(format.rate_num, format.rate_den);
}

bool MovieEncoder::Check(std::string* error) const {
  if (format_.width < 1 || format_.width > kMaxDimension || format_.height < 1 ||
      format_.height > kMaxDimension) {
    *error = "the picture must be 1 to 32767 samples wide and high";
    return false;
  }
  if (!format_.rate_num || !format_.rate_den) {
    *error = "the frame rate must not be 0";
    return false;
  }
  if (options_.revision < 'f' || options_.revision > 'i') {
    *error = "the revision must be f, g, h or i";
    return false;
  }
  if (options_.quality > 100) {
    *error = "the quality must be 0 to 100";
    return false;
  }
  return true;
}

bool MovieEncoder::AddFrame(const Picture& picture, std::string* error) {
  if (frames_.size() >= kMaxIndexEntries) {
    *error = "a movie holds at most 1000000 frames";
    return false;
  }
  const bool key = frames_.size() % std::max(options_.keyint, 1u) == 0;
  std::vector<uint8_t> video;
  if (!video_.EncodeFrame(picture, key, &video, &last_, error)) return false;
  summary_.video_bytes += video.size();
  summary_.key_frames += last_.key;
  for (int p = 0; p < ENCODER_PLANE_COUNT; ++p) {
    if (!last_.present[p]) continue;
    summary_.present[p] = true;
    psnr_sum_[p] += last_.Psnr(static_cast<EncoderPlane>(p));
  }
  for (int t = 0; t < BLOCK_TYPE_COUNT; ++t) {
    summary_.blocks[t] += last_.blocks[t];
    summary_.scaled_blocks[t] += last_.scaled_blocks[t];
  }
  frames_.push_back(std::move(video));
  keys_.push_back(last_.key);
  return true;
}

bool MovieEncoder::Finish(std::vector<uint8_t>* movie, std::string* error) {
  const uint32_t count = static_cast<uint32_t>(frames_.size());
  if (count == 0) {
    *error = "the video input holds no frames";
    return false;
  }
  summary_.frames = count;
  for (int p = 0; p < ENCODER_PLANE_COUNT; ++p) summary_.psnr[p] = psnr_sum_[p] / count;

  const uint32_t flags =
      (format_.grayscale ? HEADER_GRAYSCALE : 0) | (format_.alpha ? HEADER_ALPHA : 0);
  MovieWriter writer(options_.revision, format_.width, format_.height, format_.rate_num,
                     format_.rate_den, flags);
  if (have_audio_) {
    AudioInput in;
    in.rate = audio_.rate;
    in.channels = audio_.channels;
    in.eight_bit = audio_.bits == 8;
    in.samples = audio_.samples.data();
    in.frames = audio_.frames();
    AudioEncodeOptions ao;
    ao.rdft = options_.rdft_audio;
    ao.quality = options_.quality;
    if (!EncodeAudioTrack(in, ao, count, format_.rate_num, format_.rate_den, &track_, error))
      return false;
    writer.AddTrack(track_.format, options_.track_id);
    summary_.audio = true;
    summary_.audio_snr_db = track_.snr_db;
    summary_.audio_warning = track_.warning;
  }
  // Offsets in the index are 32-bit.
  uint64_t total = 44 + 12ull * (have_audio_ ? 1 : 0) + 4ull * (count + 1);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t audio = have_audio_ ? 4 + track_.parts[i].size() : 0;
    total += (audio + frames_[i].size() + 3) / 4 * 4;
    summary_.audio_bytes += audio;
  }
  if (total > 0xFFFFFFF0ull) {
    *error = "the movie would be larger than 4 GiB";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (have_audio_)
      writer.AddFrame(keys_[i], {track_.parts[i]}, frames_[i]);
    else
      writer.AddFrame(keys_[i], frames_[i]);
    std::vector<uint8_t>().swap(frames_[i]);  // the writer has its own copy
  }
  frames_.clear();
  *movie = writer.Finish();
  summary_.movie_bytes = movie->size();
  return true;
}

}  // namespace vexil
