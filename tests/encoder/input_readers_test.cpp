// The Y4M and WAV readers: the layouts they take (with the box filter that
// brings 4:2:2 and 4:4:4 colour to 4:2:0), a clear message for everything
// else, and no harm from damaged or hostile bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "encoder/byte_source.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m_reader.h"

namespace vexil {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
  out.insert(out.end(), more.begin(), more.end());
}

// A stream with `frames` frames whose samples count up from `first` per plane.
std::vector<uint8_t> Y4m(const std::string& header, size_t frame_bytes, int frames) {
  std::vector<uint8_t> out = Bytes(header + "\n");
  for (int f = 0; f < frames; ++f) {
    Append(out, Bytes("FRAME\n"));
    for (size_t i = 0; i < frame_bytes; ++i) out.push_back(static_cast<uint8_t>(i * 7 + f));
  }
  return out;
}

struct Y4mRead {
  bool header_ok = false;
  std::vector<Picture> frames;
  std::string error;
};

Y4mRead ReadAll(const std::vector<uint8_t>& bytes) {
  MemorySource source(bytes.data(), bytes.size());
  Y4mReader reader(&source);
  Y4mRead r;
  r.header_ok = reader.ReadHeader();
  Picture p;
  while (r.header_ok && reader.ReadFrame(&p)) r.frames.push_back(p);
  r.error = reader.error();
  return r;
}

TEST(Y4mReader, ReadsEveryLayoutAsFourTwoZero) {
  // 5x3 pictures: luma 15 samples, 4:2:0 colour 3x2.
  {
    const Y4mRead r =
        ReadAll(Y4m("YUV4MPEG2 W5 H3 F30000:1001 Ip A1:1 C420jpeg XYSCSS=420JPEG", 15 + 12, 2));
    ASSERT_TRUE(r.error.empty()) << r.error;
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1].y[0], 1);
    EXPECT_EQ(r.frames[1].cb.size(), 6u);
    EXPECT_EQ(r.frames[1].cb[0], static_cast<uint8_t>(15 * 7 + 1));
    EXPECT_EQ(r.frames[1].cr[0], static_cast<uint8_t>(21 * 7 + 1));
  }
  {
    // No C tag: 4:2:0.
    const Y4mRead r = ReadAll(Y4m("YUV4MPEG2 W2 H2 F25:1", 4 + 2, 1));
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0].cb.size(), 1u);
  }
  {
    // 4:4:4, 3x3: each 4:2:0 sample is the rounded mean of its 2x2 group; the
    // last column and row are groups of their own.
    std::vector<uint8_t> s = Bytes("YUV4MPEG2 W3 H3 F1:1 C444\nFRAME\n");
    Append(s, std::vector<uint8_t>(9, 50));
    Append(s, {10, 20, 30, 40, 51, 60, 70, 80, 90});  // U
    Append(s, {0, 0, 255, 0, 1, 255, 100, 100, 7});   // V
    const Y4mRead r = ReadAll(s);
    ASSERT_EQ(r.frames.size(), 1u) << r.error;
    EXPECT_EQ(r.frames[0].cb, (std::vector<uint8_t>{30, 45, 75, 90}));  // (10+20+40+51+2)/4 = 30
    EXPECT_EQ(r.frames[0].cr, (std::vector<uint8_t>{0, 255, 100, 7}));
  }
  {
    // 4:2:2, 4x3: vertical pairs.
    std::vector<uint8_t> s = Bytes("YUV4MPEG2 W4 H3 F1:1 C422\nFRAME\n");
    Append(s, std::vector<uint8_t>(12, 50));
    Append(s, {1, 2, 4, 7, 9, 9});  // U 2x3
    Append(s, {0, 255, 0, 255, 3, 3});
    const Y4mRead r = ReadAll(s);
    ASSERT_EQ(r.frames.size(), 1u) << r.error;
    EXPECT_EQ(r.frames[0].cb, (std::vector<uint8_t>{3, 5, 9, 9}));  // (1+4+1)/2 = 3, (2+7+1)/2 = 5
    EXPECT_EQ(r.frames[0].cr, (std::vector<uint8_t>{0, 255, 3, 3}));
  }
  {
    const Y4mRead r = ReadAll(Y4m("YUV4MPEG2 W4 H2 F10:1 Cmono", 8, 3));
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_TRUE(r.frames[2].cb.empty());
    EXPECT_EQ(r.frames[2].y.size(), 8u);
  }
}

TEST(Y4mReader, RefusesWhatItCannotTakeWithAClearMessage) {
  struct Bad {
    std::vector<uint8_t> bytes;
    const char* message;  // a part of the error
  };
  std::vector<uint8_t> long_line = Bytes("YUV4MPEG2 ");
  long_line.resize(10000, 'X');
  const Bad cases[] = {
      {{}, "empty"},
      {Bytes("RIFF....WAVE\n"), "not a YUV4MPEG2 stream"},
      {Bytes("YUV4MPEG2X W2 H2 F1:1\n"), "not a YUV4MPEG2 stream"},
      {long_line, "no header line"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1"), "cut short"},
      {Bytes("YUV4MPEG2 H2 F1:1\n"), "no width"},
      {Bytes("YUV4MPEG2 W2 F1:1\n"), "height"},
      {Bytes("YUV4MPEG2 W2 H2\n"), "frame rate"},
      {Bytes("YUV4MPEG2 W0 H2 F1:1\n"), "width (W0)"},
      {Bytes("YUV4MPEG2 W32768 H2 F1:1\n"), "1 to 32767"},
      {Bytes("YUV4MPEG2 W2 H-2 F1:1\n"), "height (H-2)"},
      {Bytes("YUV4MPEG2 W2 H2 F25\n"), "frame rate (F25)"},
      {Bytes("YUV4MPEG2 W2 H2 F25:0\n"), "frame rate"},
      {Bytes("YUV4MPEG2 W2 H2 F99999999999:1\n"), "frame rate"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1 C420p10\n"), "C420p10 is not supported"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1 C411\n"), "C411 is not supported"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1 Ix\n"), "interlace"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1\nFRAME\n\x01\x02"), "frame 1 is cut short"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1\nFRAMES\n"), "expected a FRAME line"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1\nFRAME\n123456FRA"), "damaged or cut short"},
      {Bytes("YUV4MPEG2 W2 H2 F1:1\nFRAME\n123456GARBAGE\n"), "frame 2: expected a FRAME line"},
      // A huge picture claimed by a tiny file costs no huge memory.
      {Bytes("YUV4MPEG2 W32767 H32767 F1:1 C444\nFRAME\nabc"), "frame 1 is cut short"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(
        std::string(c.bytes.begin(), c.bytes.begin() + std::min<size_t>(c.bytes.size(), 40)));
    const Y4mRead r = ReadAll(c.bytes);
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
}

std::vector<uint8_t> Le(uint32_t v, int bytes) {
  std::vector<uint8_t> out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out = Bytes(id);
  Append(out, Le(static_cast<uint32_t>(body.size()), 4));
  Append(out, body);
  if (body.size() & 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                         int align_delta = 0) {
  std::vector<uint8_t> f = Le(tag, 2);
  Append(f, Le(channels, 2));
  Append(f, Le(rate, 4));
  Append(f, Le(rate * channels * bits / 8, 4));
  Append(f, Le(channels * bits / 8 + align_delta, 2));
  Append(f, Le(bits, 2));
  return f;
}

std::vector<uint8_t> Wav(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body = Bytes("WAVE");
  for (const auto& c : chunks) Append(body, c);
  std::vector<uint8_t> out = Bytes("RIFF");
  Append(out, Le(static_cast<uint32_t>(body.size()), 4));
  Append(out, body);
  return out;
}

TEST(WavReader, ReadsPcmOfEightAndSixteenBits) {
  WavAudio a;
  std::string error;
  {
    // Stereo 16-bit after an odd-sized chunk of another kind.
    const std::vector<uint8_t> w =
        Wav({Chunk("LIST", {1, 2, 3}), Chunk("fmt ", Fmt(1, 2, 44100, 16)),
             Chunk("data", {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F})});
    MemorySource s(w.data(), w.size());
    ASSERT_TRUE(ReadWav(&s, &a, &error)) << error;
    EXPECT_EQ(a.rate, 44100u);
    EXPECT_EQ(a.channels, 2u);
    EXPECT_EQ(a.bits, 16u);
    EXPECT_EQ(a.samples, (std::vector<int16_t>{1, -1, -32768, 32767}));
    EXPECT_EQ(a.frames(), 2u);
  }
  {
    // Mono 8-bit: unsigned samples around 128, widened to 16 bits.
    const std::vector<uint8_t> w =
        Wav({Chunk("fmt ", Fmt(1, 1, 8000, 8)), Chunk("data", {128, 0, 255})});
    MemorySource s(w.data(), w.size());
    ASSERT_TRUE(ReadWav(&s, &a, &error)) << error;
    EXPECT_EQ(a.samples, (std::vector<int16_t>{0, -32768, 127 * 256}));
  }
  {
    // The extensible form with a PCM sub-format.
    std::vector<uint8_t> f = Fmt(0xFFFE, 1, 22050, 16);
    Append(f, Le(22, 2));
    Append(f, Le(16, 2));
    Append(f, Le(4, 4));
    Append(f, Le(1, 2));
    Append(f, std::vector<uint8_t>(14, 0));
    const std::vector<uint8_t> w = Wav({Chunk("fmt ", f), Chunk("data", {5, 0})});
    MemorySource s(w.data(), w.size());
    ASSERT_TRUE(ReadWav(&s, &a, &error)) << error;
    EXPECT_EQ(a.samples, (std::vector<int16_t>{5}));
  }
  {
    // A data chunk claiming more than the file holds is read as far as it goes.
    std::vector<uint8_t> w = Wav({Chunk("fmt ", Fmt(1, 2, 11025, 16))});
    Append(w, Bytes("data"));
    Append(w, Le(1000000, 4));
    Append(w, {1, 0, 2, 0, 3, 0, 4, 0, 5});
    MemorySource s(w.data(), w.size());
    ASSERT_TRUE(ReadWav(&s, &a, &error)) << error;
    EXPECT_EQ(a.samples, (std::vector<int16_t>{1, 2, 3, 4}));  // whole sample frames only
  }
}

TEST(WavReader, RefusesWhatItCannotTakeWithAClearMessage) {
  const std::vector<uint8_t> fmt = Chunk("fmt ", Fmt(1, 1, 8000, 16));
  const std::vector<uint8_t> data = Chunk("data", {0, 0});
  struct Bad {
    std::vector<uint8_t> bytes;
    const char* message;
  };
  std::vector<uint8_t> short_fmt = Chunk("fmt ", std::vector<uint8_t>(10, 0));
  const Bad cases[] = {
      {{}, "empty"},
      {Bytes("RIFF"), "not a WAV file"},
      {Bytes("RIFX\x04\x00\x00\x00WAVE"), "not a WAV file"},
      {Bytes("RIFF\x04\x00\x00\x00AVI "), "not a WAV file"},
      {Wav({}), "no fmt chunk"},
      {Wav({data}), "before its fmt chunk"},
      {Wav({fmt}), "no data chunk"},
      {Wav({short_fmt, data}), "bad size"},
      {Wav({fmt, fmt, data}), "two fmt chunks"},
      {Wav({Chunk("fmt ", Fmt(3, 1, 8000, 32)), data}), "not PCM (format 3)"},
      {Wav({Chunk("fmt ", Fmt(1, 1, 8000, 24)), data}), "24-bit samples"},
      {Wav({Chunk("fmt ", Fmt(1, 3, 8000, 16)), data}), "3 channels"},
      {Wav({Chunk("fmt ", Fmt(1, 0, 8000, 16)), data}), "0 channels"},
      {Wav({Chunk("fmt ", Fmt(1, 1, 0, 16)), data}), "rate of 0 Hz"},
      {Wav({Chunk("fmt ", Fmt(1, 2, 96000, 16)), data}), "96000 Hz"},
      {Wav({Chunk("fmt ", Fmt(1, 1, 8000, 16, 2)), data}), "block size"},
      {Wav({fmt, Chunk("data", {})}), "no samples"},
      {Wav({fmt, Chunk("data", {7})}), "no samples"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.message);
    MemorySource s(c.bytes.data(), c.bytes.size());
    WavAudio a;
    std::string error;
    EXPECT_FALSE(ReadWav(&s, &a, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(InputReaders, DamagedBytesDoNoHarm) {
  // Valid files cut and flipped at random: the readers stop with a message or
  // read what they can, and never touch memory they do not own (the sanitizer
  // build checks that).
  std::vector<uint8_t> y4m = Y4m("YUV4MPEG2 W6 H4 F25:1 C444", 72, 3);
  std::vector<uint8_t> wav =
      Wav({Chunk("fmt ", Fmt(1, 2, 8000, 16)), Chunk("data", std::vector<uint8_t>(64, 9))});
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    for (int kind = 0; kind < 2; ++kind) {
      std::vector<uint8_t> bytes = kind ? wav : y4m;
      const int flips = rng() % 4;
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      if (rng() % 2) bytes.resize(rng() % (bytes.size() + 1));
      MemorySource source(bytes.data(), bytes.size());
      if (kind) {
        WavAudio a;
        std::string error;
        if (ReadWav(&source, &a, &error)) {
          EXPECT_GT(a.samples.size(), 0u);
          EXPECT_EQ(a.samples.size() % a.channels, 0u);
        } else {
          EXPECT_FALSE(error.empty());
        }
      } else {
        Y4mReader reader(&source);
        if (!reader.ReadHeader()) {
          EXPECT_FALSE(reader.error().empty());
          continue;
        }
        Picture p;
        while (reader.ReadFrame(&p)) EXPECT_EQ(p.y.size(), size_t{p.width} * p.height);
      }
    }
  }
}

}  // namespace
}  // namespace vexil
