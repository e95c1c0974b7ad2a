// Conformance: every track of the shared vectors decoded as `vexil decode --wav`
// decodes it, against the other implementation's WAV files; and the tool itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_util.h"

namespace vexil {
namespace {

namespace fs = std::filesystem;

struct Vector {
  std::string movie;
  std::string wav;
  uint32_t track_id;
};

// Every MOVIE.trackID.wav beside its MOVIE.vxl.
std::vector<Vector> FindVectors() {
  std::vector<Vector> found;
  for (const char* folder : {"audio", "video"}) {
    const fs::path dir = fs::path(test::VectorsDir()) / folder;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      const size_t mark = name.find(".track");
      if (mark == std::string::npos || entry.path().extension() != ".wav") continue;
      const std::string id = name.substr(mark + 6, name.size() - mark - 6 - 4);
      found.push_back({(dir / (name.substr(0, mark) + ".vxl")).string(), entry.path().string(),
                       static_cast<uint32_t>(std::stoul(id))});
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Vector& a, const Vector& b) { return a.wav < b.wav; });
  return found;
}

// The decode path behind --wav: the whole file, header included.
std::vector<uint8_t> DecodeTrack(const std::string& path, uint32_t track_id, uint32_t flags = 0) {
  MovieHandle* movie =
      Open(MovieSource::Name(path.c_str()),
           flags | OPEN_NO_PLANES | OPEN_NO_THREAD_READ | OPEN_DISPLAY_OPTION_MASK);
  if (!movie) return {};
  uint32_t track = 0;
  while (track < movie->track_count && movie->track_ids[track] != track_id) ++track;
  if (track == movie->track_count) {
    Close(movie);
    return {};
  }
  const uint32_t format = movie->track_formats[track];
  const uint32_t rate = format & TRACK_RATE_MASK;
  const uint32_t channels = format & TRACK_STEREO ? 2 : 1;
  const bool dct = (format & TRACK_DCT) && !(format & TRACK_RDFT);
  AudioDecoder* decoder = AudioDecoderOpen(rate, channels, dct ? AUDIO_DCT : 0);
  std::vector<uint8_t> wav(44);
  AudioPartOutput output;
  output.context = &wav;
  output.take = [](void* context, const uint8_t* pcm, uint32_t bytes) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), pcm, pcm + bytes);
  };
  for (uint32_t n = 1; n <= movie->frame_count; ++n) {
    if (n > 1) FetchFrame(movie, n);
    AudioPart part;
    if (FindAudioPart(movie->frame_data, movie->frame_bytes, movie->track_count, track, &part))
      DecodeAudioPart(decoder, part, output);
  }
  AudioDecoderClose(decoder);
  Close(movie);
  const uint32_t data = static_cast<uint32_t>(wav.size() - 44);
  std::memcpy(wav.data(), "RIFF", 4);
  WriteLE32(&wav[4], 36 + data);
  std::memcpy(&wav[8], "WAVEfmt ", 8);
  WriteLE32(&wav[16], 16);
  WriteLE32(&wav[20], 1 | channels << 16);
  WriteLE32(&wav[24], rate);
  WriteLE32(&wav[28], rate * channels * 2);
  WriteLE32(&wav[32], channels * 2 | 16 << 16);
  std::memcpy(&wav[36], "data", 4);
  WriteLE32(&wav[40], data);
  return wav;
}

int16_t Sample(const std::vector<uint8_t>& wav, size_t i) {
  return static_cast<int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
}

TEST(AudioVectors, DecodedTracksMatch) {
  const std::vector<Vector> vectors = FindVectors();
  ASSERT_GE(vectors.size(), 19u) << "vectors missing in " << test::VectorsDir();
  size_t total_samples = 0, total_differing = 0;
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.wav);
    const std::vector<uint8_t> want = test::ReadFileBytes(v.wav);
    const std::vector<uint8_t> got = DecodeTrack(v.movie, v.track_id);
    ASSERT_EQ(got.size(), want.size());
    // The header (rate, channels, sizes) is exact.
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 44, want.begin()));
    const size_t samples = (got.size() - 44) / 2;
    size_t differing = 0;
    int largest = 0;
    for (size_t i = 0; i < samples; ++i) {
      const int diff = std::abs(Sample(got, i) - Sample(want, i));
      differing += diff != 0;
      largest = std::max(largest, diff);
    }
    std::cout << fs::path(v.wav).filename().string() << ": " << samples << " samples, " << differing
              << " differ, by at most " << largest << "\n";
    // Float rounding in the transforms moves a sample by one now and then; in
    // blocks driven far past full scale the transform's error reaches a few
    // units at quiet samples, whichever order the butterflies take.
    EXPECT_LE(largest, 3);
    EXPECT_LE(differing, 2 + samples / 1000);
    total_samples += samples;
    total_differing += differing;
  }
  std::cout << "all vectors: " << total_samples << " samples, " << total_differing << " differ\n";
  EXPECT_LE(total_differing * 5000, total_samples);  // at most 0.02 %
}

TEST(AudioVectors, ReadingModesGiveTheSameAudio) {
  const std::vector<Vector> vectors = FindVectors();
  ASSERT_FALSE(vectors.empty());
  for (const Vector& v : vectors) {
    const std::vector<uint8_t> streamed = DecodeTrack(v.movie, v.track_id);
    EXPECT_EQ(DecodeTrack(v.movie, v.track_id, OPEN_PRELOAD), streamed) << v.wav;
  }
}

// ---------------------------------------------------------------------------
// The tool itself.
// ---------------------------------------------------------------------------

const std::string kTool = test::BuiltProgram("tools/vexil");

struct RunResult {
  int code;
  std::string err;
};

RunResult RunTool(const std::string& arguments) {
  const test::ProgramOutcome outcome =
      test::RunProgram(kTool, test::SplitAtBlanks("decode " + arguments));
  return {outcome.exit_code, outcome.error_output};
}

TEST(DecodeTool, WavOutputIsTheDecodePath) {
  ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
  test::TempFile out("out.wav");
  for (const Vector& v : FindVectors()) {
    SCOPED_TRACE(v.wav);
    const std::vector<uint8_t> want = DecodeTrack(v.movie, v.track_id);
    for (const char* mode : {"", "--preload", "--read-buffer 4096", "--threads 2"}) {
      const RunResult r = RunTool(v.movie + " --wav " + out.path() + " --track " +
                                  std::to_string(v.track_id) + " --quiet " + mode);
      ASSERT_EQ(r.code, 0) << mode << ": " << r.err;
      EXPECT_EQ(test::ReadFileBytes(out.path()), want) << mode;
    }
  }
}

TEST(DecodeTool, FramesLimitTheAudio) {
  ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
  const std::string movie = test::VectorsDir() + "/audio/a5.vxl";
  test::TempFile all("all.wav"), some("some.wav");
  ASSERT_EQ(RunTool(movie + " --wav " + all.path() + " --track 5").code, 0);
  ASSERT_EQ(RunTool(movie + " --wav " + some.path() + " --track 5 --frames 7").code, 0);
  const std::vector<uint8_t> a = test::ReadFileBytes(all.path());
  const std::vector<uint8_t> s = test::ReadFileBytes(some.path());
  ASSERT_GT(s.size(), 44u);
  ASSERT_LT(s.size(), a.size());
  EXPECT_TRUE(std::equal(s.begin() + 44, s.end(), a.begin() + 44));
  EXPECT_EQ(ReadLE32(&s[40]), s.size() - 44);
}

TEST(DecodeTool, Refusals) {
  ASSERT_TRUE(fs::exists(kTool)) << kTool << " is not built";
  const std::string movie = test::VectorsDir() + "/audio/a1.vxl";
  test::TempFile out("out.wav");
  test::TempFile junk(std::vector<uint8_t>(100, 'x'), "junk.vxl");
  const struct {
    std::string arguments;
    int code;
    const char* message;
  } cases[] = {
      {movie + " --wav " + out.path() + " --track 99", 1, "no audio track with id 99"},
      {movie + " --wav " + out.path(), 1, "no audio track with id 0"},
      {movie + " --wav " + out.path() + " --track 12 --alpha " + out.path(), 1, "no alpha plane"},
      {junk.path() + " --wav " + out.path(), 1, "Not a Vexil file."},
      {"/nonexistent/movie.vxl --wav " + out.path(), 1, "Error opening file."},
      {movie, 2, "nothing to write"},
      {movie + " --wav", 2, "--wav needs a file name"},
      {movie + " --wav " + out.path() + " --threads 3", 2,
       "--threads needs a whole number from 0 to 2"},
      {movie + " --wav " + out.path() + " --frames 0", 2, "--frames needs"},
      {movie + " --wav " + out.path() + " --track -1", 2, "--track needs"},
      {movie + " --wav " + out.path() + " --preload --read-buffer 10", 2, "exclude each other"},
      {movie + " --wav " + out.path() + " --bogus", 2, "unknown option --bogus"},
      {"--wav " + out.path(), 2, "no movie given"},
  };
  for (const auto& c : cases) {
    const RunResult r = RunTool(c.arguments);
    EXPECT_EQ(r.code, c.code) << c.arguments;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << "\n" << r.err;
  }
}

}  // namespace
}  // namespace vexil
