// Damaged movies: files cut short anywhere, bits flipped in packets, empty
// packets, audio parts running past their packets, and an index whose last
// entries run past the file. A cut movie plays every frame that is wholly
// there and then stops cleanly (`stopped` set, no further decode, no hang);
// damaged packet data gives damaged pictures and sound, never a failure.
// Run under AddressSanitizer, these also prove that nothing reads outside
// the buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_decoder.h"
#include "audio/audio_packet.h"
#include "audio/driver_directsound.h"
#include "audio/sound_track.h"
#include "encoder/encoder_test_util.h"
#include "encoder/movie_encoder.h"
#include "engine/background_decode.h"
#include "engine/container.h"
#include "engine/copy_frame.h"
#include "engine/error_messages.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "test_engine.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

constexpr uint32_t kFrames = 16;
constexpr uint32_t kKeyInterval = 5;  // key frames 1, 6, 11, 16
constexpr uint32_t kAudioRate = 22050;

// A movie taken apart: the header and tables as they are, the packets raw.
struct Container {
  std::vector<uint8_t> header;  // the 44 header bytes
  std::vector<uint32_t> max_sizes, formats, ids;
  std::vector<bool> keys;
  std::vector<std::vector<uint8_t>> packets;

  static Container Split(const std::vector<uint8_t>& movie) {
    Container c;
    const ContainerHeader h = ParseHeader(movie.data());
    c.header.assign(movie.begin(), movie.begin() + kHeaderBytes);
    const uint8_t* p = movie.data() + kHeaderBytes;
    for (auto* table : {&c.max_sizes, &c.formats, &c.ids})
      for (uint32_t t = 0; t < h.track_count; ++t, p += 4) table->push_back(ReadLE32(p));
    std::vector<uint32_t> index;
    for (uint32_t i = 0; i <= h.index_entries; ++i, p += 4) index.push_back(ReadLE32(p));
    for (uint32_t i = 0; i < h.frame_count; ++i) {
      c.keys.push_back(index[i] & INDEX_KEY);
      c.packets.emplace_back(movie.begin() + IndexOffset(index[i]),
                             movie.begin() + IndexOffset(index[i + 1]));
    }
    return c;
  }

  // The movie again, with exactly frame count + 1 index entries and the size
  // fields computed from the packets.
  std::vector<uint8_t> Join() const {
    std::vector<uint8_t> out(header);
    const uint32_t tracks = static_cast<uint32_t>(formats.size());
    const uint32_t frames = static_cast<uint32_t>(packets.size());
    auto word = [&](uint32_t v) {
      const size_t at = out.size();
      out.resize(at + 4);
      WriteLE32(&out[at], v);
    };
    for (auto* table : {&max_sizes, &formats, &ids})
      for (uint32_t v : *table) word(v);
    uint32_t offset = kHeaderBytes + 12 * tracks + 4 * (frames + 1);
    uint32_t largest = 0;
    for (uint32_t i = 0; i < frames; ++i) {
      word(offset | (keys[i] ? INDEX_KEY : 0));
      offset += static_cast<uint32_t>(packets[i].size());
      largest = std::max(largest, static_cast<uint32_t>(packets[i].size()));
    }
    word(offset);
    for (const auto& packet : packets) out.insert(out.end(), packet.begin(), packet.end());
    WriteLE32(&out[4], static_cast<uint32_t>(out.size() - 8));
    WriteLE32(&out[8], frames);
    WriteLE32(&out[12], largest);
    WriteLE32(&out[16], frames);
    return out;
  }

  // Offset of packet i's first byte and of the byte after it.
  uint64_t PacketStart(uint32_t i) const {
    uint64_t at = kHeaderBytes + 12 * formats.size() + 4 * (packets.size() + 1);
    for (uint32_t k = 0; k < i; ++k) at += packets[k].size();
    return at;
  }
  uint64_t PacketEnd(uint32_t i) const { return PacketStart(i) + packets[i].size(); }
};

// A 48 x 32 movie with moving shapes and one DCT sound track (id 0).
const std::vector<uint8_t>& TestMovie() {
  static const std::vector<uint8_t> movie = [] {
    MovieEncoderOptions options;
    options.keyint = kKeyInterval;
    MovieFormat format;
    format.width = 48;
    format.height = 32;
    format.rate_num = 25;
    format.rate_den = 1;
    MovieEncoder encoder(options, format);
    WavAudio audio;
    audio.rate = kAudioRate;
    audio.channels = 1;
    audio.bits = 16;
    for (uint32_t i = 0; i < kAudioRate * kFrames / 25; ++i)
      audio.samples.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.07) + (i % 97) * 20));
    encoder.SetAudio(std::move(audio));
    std::string error;
    for (uint32_t t = 0; t < kFrames; ++t)
      encoder.AddFrame(test::MakePicture(test::Content::kMovingShapes, 48, 32, t), &error);
    std::vector<uint8_t> out;
    encoder.Finish(&out, &error);
    return out;
  }();
  return movie;
}

// The test movie with junk after each frame's planes (which the decoder never
// reaches), so that it is larger than one read-ahead piece and can stream.
const std::vector<uint8_t>& LargeTestMovie() {
  static const std::vector<uint8_t> movie = [] {
    Container c = Container::Split(TestMovie());
    std::mt19937 rng(3);
    for (auto& packet : c.packets)
      for (uint32_t i = 0; i < 14000; ++i) packet.push_back(static_cast<uint8_t>(rng()));
    return c.Join();
  }();
  return movie;
}

uint64_t PictureHash(const MovieHandle* m) {
  const FrameBufferRecord& f = *m->video.planes;
  const PlaneSet& set = f.sets[f.current_index.load() & 1];
  uint64_t hash = 1469598103934665603ull;
  auto add = [&](const PlaneEntry& e, uint32_t w, uint32_t h) {
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        hash = (hash ^ e.samples[size_t{y} * e.pitch + x]) * 1099511628211ull;
  };
  add(set.plane[PLANE_LUMA], m->container.file_width, m->container.file_height);
  add(set.plane[PLANE_CHROMA_A], (m->container.file_width + 1) / 2,
      (m->container.file_height + 1) / 2);
  add(set.plane[PLANE_CHROMA_B], (m->container.file_width + 1) / 2,
      (m->container.file_height + 1) / 2);
  return hash;
}

struct Played {
  std::vector<uint64_t> pictures;  // one per decoded frame
  uint32_t stopped = 0;
  bool copy_written = true;  // every copy left the destination's guard bytes alone
};

// Plays `rounds` frames as the player does: step, decode (on the decode
// threads when they run), copy into a 32-bit buffer with guard bytes.
Played Play(MovieHandle* m, uint32_t rounds) {
  Played played;
  const uint32_t pitch = m->width * 4;
  std::vector<uint8_t> destination(size_t{pitch} * m->height + 64, 0xA5);
  ConversionContext conversion;
  for (uint32_t k = 0; k < rounds; ++k) {
    if (k) Advance(m);
    const uint32_t shown = m->clock.frames_shown.load();
    if (StartBackgroundDecode(m)) {
      while (!WaitForBackgroundDecode(m)) {
      }
    }
    if (m->clock.frames_shown.load() != shown) played.pictures.push_back(PictureHash(m));
    CopyToBuffer(conversion, m, destination.data(), static_cast<int32_t>(pitch),
                 static_cast<int32_t>(m->height), m->width, m->height,
                 PIXFMT_32 | COPY_ALL | COPY_NO_SKIP);
    for (size_t i = size_t{pitch} * m->height; i < destination.size(); ++i)
      if (destination[i] != 0xA5) played.copy_written = false;
  }
  played.stopped = m->reader.stopped.load();
  return played;
}

// How a movie file is read.
struct Reading {
  const char* name;
  uint32_t flags;
  int32_t read_buffer;  // -1: the engine's choice (a file this small is preloaded)
};
constexpr Reading kReadings[] = {
    {"preloaded", 0, -1},
    {"streamed by the read service", OPEN_READ_BUFFER, 128 * 1024},
    {"streamed on the player thread", OPEN_READ_BUFFER | OPEN_NO_THREAD_READ, 128 * 1024},
    {"read directly", OPEN_READ_BUFFER | OPEN_NO_THREAD_READ, 0},
};

MovieHandle* OpenFile(const test::TempFile& file, const Reading& reading,
                      ErrorText* error = nullptr) {
  OpenOptions options;
  options.read_buffer_size = reading.read_buffer;
  return Open(test::TestEngine(), MovieSource::Name(file.c_str()), reading.flags, options, error);
}

class DamagedMovie : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    // The movies' sound plays through the headless DirectSound device.
    SetSoundSystem(&test::TestEngine().sound_system, DirectSoundProvider);
    ASSERT_EQ(test::TestEngine().decode_threads.Start(GetParam()), GetParam());
  }
  void TearDown() override { test::TestEngine().decode_threads.Stop(); }
};

TEST_P(DamagedMovie, CutAnywherePlaysUpToTheCutAndStops) {
  const std::vector<uint8_t>& movie = LargeTestMovie();
  const Container c = Container::Split(movie);
  std::vector<uint64_t> cuts = {0, 3, 43, 44, 50, c.PacketStart(0) - 1};
  for (uint32_t i = 0; i < kFrames; ++i) {
    const uint64_t start = c.PacketStart(i), end = c.PacketEnd(i);
    for (uint64_t at : {start, start + 1, start + 4, (start + end) / 2, end - 1})
      cuts.push_back(at);
  }
  test::TempFile file;
  for (const Reading& reading : kReadings) {
    file.Write(movie);
    MovieHandle* whole = OpenFile(file, reading);
    ASSERT_NE(whole, nullptr) << reading.name;
    const Played intact = Play(whole, kFrames);
    Close(whole);
    ASSERT_EQ(intact.pictures.size(), kFrames) << reading.name;
    ASSERT_EQ(intact.stopped, 0u);

    for (const uint64_t cut : cuts) {
      SCOPED_TRACE(std::string(reading.name) + ", cut at " + std::to_string(cut));
      file.Write(std::vector<uint8_t>(movie.begin(), movie.begin() + static_cast<ptrdiff_t>(cut)));
      ErrorText error;
      MovieHandle* m = OpenFile(file, reading, &error);
      if (cut < c.PacketStart(0)) {
        // Header or tables cut: refused at open with the nearest message.
        ASSERT_EQ(m, nullptr);
        EXPECT_STREQ(error.c_str(), cut < kHeaderBytes ? kErrNotVexil : kErrReadingHeader);
        continue;
      }
      ASSERT_NE(m, nullptr) << error.c_str();
      uint32_t whole_frames = 0;
      while (whole_frames < kFrames && c.PacketEnd(whole_frames) <= cut) ++whole_frames;
      // One pass and a few frames more: the movie stays stopped and nothing waits.
      const Played played = Play(m, kFrames + 3);
      EXPECT_EQ(played.pictures.size(), whole_frames);
      for (size_t i = 0; i < played.pictures.size() && i < whole_frames; ++i)
        EXPECT_EQ(played.pictures[i], intact.pictures[i]) << "frame " << i + 1;
      EXPECT_EQ(played.stopped, 1u);
      EXPECT_TRUE(played.copy_written);
      EXPECT_EQ(Wait(m), 0);  // a stopped movie has nothing to wait for
      EXPECT_EQ(StartBackgroundDecode(m), 0);
      Close(m);
    }
  }
}

TEST_P(DamagedMovie, IndexRunningPastTheFile) {
  // The last two packets moved past the file's end, the header's size field
  // and largest frame raised to match: the index checks cannot see that.
  const std::vector<uint8_t>& movie = TestMovie();
  const ContainerHeader h = ParseHeader(movie.data());
  std::vector<uint8_t> damaged = movie;
  uint8_t* index = damaged.data() + FirstPacketOffset(h) - 4 * (uint64_t{h.index_entries} + 1);
  const uint32_t end = static_cast<uint32_t>(movie.size());
  WriteLE32(index + 4 * (kFrames - 1),
            (end + 400) | (ReadLE32(index + 4 * (kFrames - 1)) & INDEX_KEY));
  WriteLE32(index + 4 * kFrames, end + 800);
  const uint32_t previous = IndexOffset(ReadLE32(index + 4 * (kFrames - 2)));
  WriteLE32(damaged.data() + 4, end + 800 - 8);
  WriteLE32(damaged.data() + 12, std::max(h.largest_frame, end + 400 - previous));

  test::TempFile file(damaged);
  for (const Reading& reading : kReadings) {
    SCOPED_TRACE(reading.name);
    ErrorText error;
    MovieHandle* m = OpenFile(file, reading, &error);
    ASSERT_NE(m, nullptr) << error.c_str();
    const Played played = Play(m, kFrames + 2);
    // Frame 15's packet now runs from inside the file to past its end.
    EXPECT_EQ(played.pictures.size(), kFrames - 2);
    EXPECT_EQ(played.stopped, 1u);
    Close(m);
  }
  // A movie in memory knows its size: refused at open.
  damaged.resize(damaged.size() + 1024, 0);
  ErrorText error;
  EXPECT_EQ(
      Open(test::TestEngine(), MovieSource::Memory(damaged.data(), end), OPEN_MEMORY, {}, &error),
      nullptr);
  EXPECT_STREQ(error.c_str(), kErrBadFrameSizes);
}

TEST_P(DamagedMovie, FlippedBitsNeverFail) {
  const std::vector<uint8_t>& movie = TestMovie();
  const Container c = Container::Split(movie);
  const uint64_t first = c.PacketStart(0);
  std::vector<uint8_t> padded = movie;
  padded.resize(movie.size() + 1024, 0);
  MovieHandle* whole =
      Open(test::TestEngine(), MovieSource::Memory(padded.data(), movie.size()), OPEN_MEMORY);
  ASSERT_NE(whole, nullptr);
  const Played intact = Play(whole, kFrames);
  Close(whole);

  std::mt19937 rng(GetParam() + 11);
  uint32_t damaged_rounds = 0;
  for (uint32_t round = 0; round < 120; ++round) {
    std::vector<uint8_t> bytes = padded;
    const uint32_t flips = 1 + round % 8;
    for (uint32_t i = 0; i < flips; ++i) {
      const uint64_t at = first + rng() % (movie.size() - first);
      bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
    }
    MovieHandle* m =
        Open(test::TestEngine(), MovieSource::Memory(bytes.data(), movie.size()), OPEN_MEMORY);
    ASSERT_NE(m, nullptr) << "round " << round;
    const Played played = Play(m, kFrames);
    ASSERT_EQ(played.pictures.size(), kFrames) << "round " << round;
    EXPECT_EQ(played.stopped, 0u);
    EXPECT_TRUE(played.copy_written);
    if (played.pictures != intact.pictures) ++damaged_rounds;
    Close(m);
  }
  // Most flips land in picture data: the pictures show it.
  EXPECT_GT(damaged_rounds, 60u);
}

TEST_P(DamagedMovie, EmptyPacketsAndPartsKeepThePicture) {
  const Container intact = Container::Split(TestMovie());
  std::vector<uint8_t> padded = TestMovie();
  padded.resize(padded.size() + 1024, 0);
  MovieHandle* intact_movie =
      Open(test::TestEngine(), MovieSource::Memory(padded.data(), TestMovie().size()), OPEN_MEMORY);
  ASSERT_NE(intact_movie, nullptr);
  const Played whole = Play(intact_movie, kFrames);
  Close(intact_movie);
  struct Case {
    const char* name;
    // Frame 5 (before key frame 6) replaced by: the audio part size field
    // and part as they are, then video from the intact packet or none.
    bool keep_size_field;
    bool keep_audio;
    bool keep_video;
  };
  const Case kCases[] = {
      {"no bytes at all", false, false, false},
      {"an audio size of 0 and no video", true, false, false},
      {"only the audio part", true, true, false},
      {"an audio part of size 0, then the video", true, false, true},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.name);
    Container c = intact;
    const std::vector<uint8_t>& packet = intact.packets[4];
    const uint32_t audio = ReadLE32(packet.data());
    std::vector<uint8_t> replaced;
    if (k.keep_size_field) {
      replaced.resize(4);
      WriteLE32(replaced.data(), k.keep_audio ? audio : 0);
      if (k.keep_audio)
        replaced.insert(replaced.end(), packet.begin() + 4, packet.begin() + 4 + audio);
      if (k.keep_video) replaced.insert(replaced.end(), packet.begin() + 4 + audio, packet.end());
    }
    c.packets[4] = replaced;
    std::vector<uint8_t> bytes = c.Join();
    const size_t size = bytes.size();
    bytes.resize(size + 1024, 0);
    ErrorText error;
    MovieHandle* m =
        Open(test::TestEngine(), MovieSource::Memory(bytes.data(), size), OPEN_MEMORY, {}, &error);
    ASSERT_NE(m, nullptr) << error.c_str();
    const Played played = Play(m, kFrames);
    ASSERT_EQ(played.pictures.size(), kFrames);
    EXPECT_EQ(played.stopped, 0u);
    // A frame without video still ends by switching to the other plane set,
    // as every frame does: it shows the picture of two frames before.
    if (!k.keep_video) {
      EXPECT_EQ(played.pictures[4], played.pictures[2]);
    }
    // Without its sound the frame still shows its own picture.
    if (k.keep_video) {
      EXPECT_EQ(played.pictures, whole.pictures);
    }
    Close(m);
  }
}

TEST_P(DamagedMovie, AudioPartLargerThanItsPacket) {
  const Container intact = Container::Split(TestMovie());
  Container c = intact;
  // Frame 1's part (it carries the sound ahead of the picture) claims a
  // thousand bytes more than the packet holds.
  std::vector<uint8_t>& packet = c.packets[0];
  WriteLE32(packet.data(), static_cast<uint32_t>(packet.size() - 4 + 1000));
  std::vector<uint8_t> bytes = c.Join();
  const size_t size = bytes.size();
  bytes.resize(size + 1024, 0);
  ErrorText error;
  MovieHandle* m =
      Open(test::TestEngine(), MovieSource::Memory(bytes.data(), size), OPEN_MEMORY, {}, &error);
  ASSERT_NE(m, nullptr) << error.c_str();
  const uint32_t play_tracks = m->sound.play_tracks;
  const Played played = Play(m, kFrames);
  Close(m);
  // The walk ends in the audio part: frame 1 has no video, the movie goes on.
  EXPECT_EQ(play_tracks, 1u);
  EXPECT_EQ(played.pictures.size(), kFrames);
  EXPECT_EQ(played.stopped, 0u);

  // The part, cut at the packet's end, still yields all of its sound: its
  // blocks come first, and its count limits what the rest gives.
  auto pcm = [](const std::vector<uint8_t>& p, uint32_t format) {
    AudioPart part{};
    EXPECT_TRUE(FindAudioPart(p.data(), static_cast<uint32_t>(p.size()), 1, 0, &part));
    AudioDecoder* decoder = AudioDecoderOpen(format & TRACK_RATE_MASK, 1, AUDIO_DCT);
    std::vector<uint8_t> out;
    AudioPartOutput output;
    output.context = &out;
    output.take = [](void* context, const uint8_t* bytes, uint32_t count) {
      auto* o = static_cast<std::vector<uint8_t>*>(context);
      o->insert(o->end(), bytes, bytes + count);
    };
    DecodeAudioPart(decoder, part, output);
    AudioDecoderClose(decoder);
    return out;
  };
  const std::vector<uint8_t> want = pcm(intact.packets[0], intact.formats[0]);
  EXPECT_FALSE(want.empty());
  EXPECT_EQ(pcm(packet, c.formats[0]), want);
}

INSTANTIATE_TEST_SUITE_P(DecodeThreads, DamagedMovie, ::testing::Values(0, 2),
                         [](const auto& info) { return "threads" + std::to_string(info.param); });

}  // namespace
}  // namespace vexil
