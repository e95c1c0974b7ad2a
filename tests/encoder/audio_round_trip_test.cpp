// The audio encoder: its forward transforms invert the decoder's, and the
// engine decodes its tracks into exactly the PCM it expects, for both codecs,
// mono and stereo, 8 and 16 bits and rates from low to the highest; the
// parts keep pace with the picture and fit the player's ring.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "audio/audio_transforms.h"
#include "encoder/audio_encoder.h"
#include "encoder/audio_forward.h"
#include "encoder/movie_writer.h"
#include "encoder_test_util.h"

namespace vexil {
namespace {

TEST(AudioForward, TransformsInvertTheDecodersInverses) {
  std::mt19937 rng(5);
  for (bool dct : {true, false}) {
    for (uint32_t n : {16u, 512u, 1024u, 2048u, 4096u}) {
      if (dct && n > 2048) continue;
      SCOPED_TRACE(std::string(dct ? "dct " : "rdft ") + std::to_string(n));
      std::vector<float> samples(n), data(n);
      for (float& s : samples) s = static_cast<float>(int(rng() % 60001) - 30000);
      std::vector<double> coefficients(n);
      if (dct)
        ForwardAudioDct(n, samples.data(), coefficients.data());
      else
        ForwardAudioRealFft(n, samples.data(), coefficients.data());
      for (uint32_t i = 0; i < n; ++i) data[i] = static_cast<float>(coefficients[i]);
      std::vector<int32_t> index(TransformIndexInts(n));
      std::vector<float> table(dct ? DctTableFloats(n) : RealFftTableFloats(n));
      if (dct)
        InverseDct(n, data.data(), index.data(), table.data());
      else
        InverseRealFft(n, data.data(), index.data(), table.data());
      const float scale = static_cast<float>(2 / std::sqrt(double(n)));
      for (uint32_t i = 0; i < n; ++i) ASSERT_NEAR(data[i] * scale, samples[i], 0.5) << i;
    }
  }
}

// Tones, a slide and bursts of noise, at about a third of full scale.
std::vector<int16_t> Music(uint32_t rate, uint32_t channels, size_t frames, bool eight_bit) {
  std::vector<int16_t> out(frames * channels);
  std::mt19937 rng(9);
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    for (uint32_t c = 0; c < channels; ++c) {
      double v = 6000 * std::sin(2 * std::numbers::pi * 220 * (1 + c * 0.5) * t) +
                 3000 * std::sin(2 * std::numbers::pi * (600 + 400 * t) * t) +
                 (std::fmod(t, 0.25) < 0.02 ? int(rng() % 8001) - 4000 : 0);
      if (eight_bit) v = std::round(v / 256) * 256;  // what an 8-bit WAV holds
      out[i * channels + c] = static_cast<int16_t>(v);
    }
  }
  return out;
}

struct TrackCase {
  uint32_t rate, channels;
  bool eight_bit, rdft;
  double seconds;
  uint32_t fps_num, fps_den;
  uint32_t quality;
  double snr_floor;
};

TEST(AudioRoundTrip, EngineDecodesWhatTheEncoderExpects) {
  const TrackCase cases[] = {
      {44100, 2, false, false, 2.0, 25, 1, 75, 26},
      {44100, 2, false, true, 2.0, 25, 1, 75, 26},
      {22050, 1, false, false, 1.5, 30000, 1001, 75, 26},
      {22050, 2, false, true, 1.5, 15, 1, 75, 26},
      {11025, 1, true, false, 1.0, 10, 1, 75, 26},
      {8000, 2, true, true, 1.0, 12, 1, 90, 31},
      {48000, 1, false, false, 1.0, 24, 1, 100, 33},
      {65535, 2, false, true, 0.5, 50, 1, 75, 26},
      {32000, 1, false, false, 1.0, 25, 1, 10, 8},
  };
  for (const TrackCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channels, " +
                 (c.rdft ? "rdft" : "dct") + (c.eight_bit ? ", 8-bit" : ""));
    const size_t frames = static_cast<size_t>(c.seconds * c.rate);
    const std::vector<int16_t> pcm = Music(c.rate, c.channels, frames, c.eight_bit);
    AudioInput in;
    in.rate = c.rate;
    in.channels = c.channels;
    in.eight_bit = c.eight_bit;
    in.samples = pcm.data();
    in.frames = frames;
    AudioEncodeOptions options;
    options.rdft = c.rdft;
    options.quality = c.quality;
    // Enough frames for the whole sound.
    const uint32_t video_frames =
        static_cast<uint32_t>(std::ceil(c.seconds * c.fps_num / c.fps_den)) + 1;
    AudioTrack track;
    std::string error;
    ASSERT_TRUE(EncodeAudioTrack(in, options, video_frames, c.fps_num, c.fps_den, &track, &error))
        << error;
    EXPECT_EQ(track.coded_frames, frames);
    EXPECT_EQ(track.decoded.size(), frames * c.channels);
    EXPECT_GE(track.snr_db, c.snr_floor);
    EXPECT_TRUE(track.warning.empty()) << track.warning;

    MovieWriter writer('i', 8, 8, c.fps_num, c.fps_den);
    writer.AddTrack(track.format, 0);
    for (uint32_t f = 0; f < video_frames; ++f)
      writer.AddFrame(f == 0, {track.parts[f]}, std::vector<uint8_t>(8));
    const std::vector<uint8_t> movie = writer.Finish();
    EXPECT_TRUE(test::DecodeTrack(movie) == track.decoded);
    test::MemoryMovie opened(movie);
    ASSERT_NE(opened.handle, nullptr);
    EXPECT_EQ(opened.handle->container.track_max_sizes[0], track.largest_part);

    // Each frame's part keeps the sound at least as far as the picture and
    // at most the lead (three quarters of a second) and a block ahead.
    const uint64_t frame_bytes = c.channels * 2;
    const uint64_t bytes_per_second = uint64_t{c.rate} * frame_bytes;
    uint64_t delivered = 0;
    for (uint32_t f = 0; f < video_frames; ++f) {
      if (!track.parts[f].empty()) delivered += ReadLE32(track.parts[f].data());
      const double picture_seconds = double(f + 1) * c.fps_den / c.fps_num;
      const uint64_t shown = static_cast<uint64_t>(picture_seconds * bytes_per_second);
      EXPECT_GE(delivered, std::min<uint64_t>(shown, frames * frame_bytes)) << "frame " << f;
      EXPECT_LE(delivered, shown + bytes_per_second * 3 / 4 + 2048 * frame_bytes + 16)
          << "frame " << f;
    }
    // The player's ring (5/4 of the largest part, rounded to 256) holds at
    // most two seconds at the track's own sample size.
    const uint64_t ring = (uint64_t{track.largest_part} * 5 / 4 + 255) / 256 * 256;
    EXPECT_LE(ring, uint64_t{c.channels} * (c.eight_bit ? 1 : 2) * c.rate * 2);
    EXPECT_EQ(track.format & TRACK_RATE_MASK, c.rate);
    EXPECT_EQ(!!(track.format & TRACK_STEREO), c.channels == 2);
    EXPECT_EQ(!!(track.format & TRACK_16BIT), !c.eight_bit);
    EXPECT_EQ(!!(track.format & TRACK_RDFT), c.rdft);
    EXPECT_EQ(!!(track.format & TRACK_DCT), !c.rdft);
  }
}

TEST(AudioRoundTrip, SoundIsCutToThePictureAndLowFrameRatesAreFlagged) {
  const uint32_t rate = 22050;
  const std::vector<int16_t> pcm = Music(rate, 1, rate * 3, false);
  AudioInput in;
  in.rate = rate;
  in.channels = 1;
  in.samples = pcm.data();
  in.frames = rate * 3;
  AudioTrack track;
  std::string error;
  // One second of pictures: the sound stops there.
  ASSERT_TRUE(EncodeAudioTrack(in, {}, 10, 10, 1, &track, &error)) << error;
  EXPECT_EQ(track.coded_frames, rate);
  EXPECT_EQ(track.decoded.size(), size_t{rate});
  EXPECT_FALSE(track.warning.empty());
  // Frames of two seconds each carry more than a ring holds.
  ASSERT_TRUE(EncodeAudioTrack(in, {}, 2, 1, 2, &track, &error)) << error;
  EXPECT_NE(track.warning.find("players"), std::string::npos);
  // Nothing to code without a rate.
  in.rate = 0;
  EXPECT_FALSE(EncodeAudioTrack(in, {}, 2, 25, 1, &track, &error));
}

TEST(AudioRoundTrip, HigherQualityCostsMoreAndSoundsBetter) {
  const uint32_t rate = 44100;
  const std::vector<int16_t> pcm = Music(rate, 2, rate, false);
  AudioInput in;
  in.rate = rate;
  in.channels = 2;
  in.samples = pcm.data();
  in.frames = rate;
  size_t previous_bytes = 0;
  double previous_snr = 0;
  for (uint32_t quality : {20u, 50u, 75u, 95u}) {
    AudioEncodeOptions options;
    options.quality = quality;
    AudioTrack track;
    std::string error;
    ASSERT_TRUE(EncodeAudioTrack(in, options, 26, 25, 1, &track, &error));
    size_t bytes = 0;
    for (const auto& part : track.parts) bytes += part.size();
    EXPECT_GT(bytes, previous_bytes) << quality;
    EXPECT_GT(track.snr_db, previous_snr) << quality;
    previous_bytes = bytes;
    previous_snr = track.snr_db;
  }
}

}  // namespace
}  // namespace vexil
