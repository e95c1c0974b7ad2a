// Opening movies: header validation with its messages, the frame-index scan,
// the merged flags, the three kinds of source and the per-open settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "audio/sound_track.h"
#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "engine/frame_clock.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "engine/timer.h"
#include "test_util.h"
#include "video/frame_buffers.h"

namespace vexil {
namespace {

using test::TempFile;

// A small valid movie: `frames` frames of `packet` video bytes each (rounded up to 4).
std::vector<uint8_t> SmallMovie(uint32_t frames = 3, char revision = 'i', uint32_t packet = 16,
                                uint32_t flags = 0, uint32_t rate_num = 25, uint32_t rate_den = 1,
                                uint32_t width = 32, uint32_t height = 16) {
  MovieWriter writer(revision, width, height, rate_num, rate_den, flags);
  for (uint32_t i = 0; i < frames; ++i)
    writer.AddFrame(i == 0, std::vector<uint8_t>(packet, static_cast<uint8_t>(i)));
  return writer.Finish();
}

void Put(std::vector<uint8_t>& movie, size_t offset, uint32_t value) {
  WriteLE32(movie.data() + offset, value);
}

// Opens from memory; returns the error text ("" on success).
std::string OpenMessage(const std::vector<uint8_t>& movie, uint32_t flags = 0) {
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), flags | OPEN_MEMORY);
  std::string message = m ? "" : LastError();
  Close(m);
  return message;
}

// The same through a file, so the input layer's reads are checked too.
std::string OpenFileMessage(const std::vector<uint8_t>& movie, uint32_t flags = 0) {
  TempFile file(movie);
  MovieHandle* m = Open(MovieSource::Name(file.c_str()), flags);
  std::string message = m ? "" : LastError();
  Close(m);
  return message;
}

TEST(OpenValidation, MagicAndShortFiles) {
  std::vector<uint8_t> movie = SmallMovie();
  for (const char* magic : {"VXLe", "VXLj", "XXLi", "vxli"}) {
    std::vector<uint8_t> bad = movie;
    std::memcpy(bad.data(), magic, 4);
    EXPECT_EQ(OpenMessage(bad), kErrNotVexil) << magic;
    EXPECT_EQ(OpenFileMessage(bad), kErrNotVexil) << magic;
  }
  std::vector<uint8_t> short_file(movie.begin(), movie.begin() + 43);
  EXPECT_EQ(OpenMessage(short_file), kErrNotVexil);
  EXPECT_EQ(OpenFileMessage(short_file), kErrNotVexil);
}

TEST(OpenValidation, NoFramesComesBeforeCorruptHeader) {
  std::vector<uint8_t> movie = SmallMovie();
  Put(movie, 8, 0);
  EXPECT_EQ(OpenMessage(movie), kErrNoFrames);
  Put(movie, 28, 0);  // also a zero rate: the frame count is tested first
  EXPECT_EQ(OpenMessage(movie), kErrNoFrames);
}

struct HeaderCase {
  const char* name;
  size_t offset;
  uint32_t value;
  bool accepted;
};

TEST(OpenValidation, CorruptHeaderFields) {
  const std::vector<uint8_t> movie = SmallMovie(3);
  const uint32_t file_size = ReadLE32(movie.data() + 4);
  const HeaderCase cases[] = {
      {"index entries below frame count", 16, 2, false},
      {"index entries equal to frame count", 16, 3, true},
      {"index entries above 1000000", 16, 1000001, false},
      {"largest frame above file size", 12, file_size + 1, false},
      {"largest frame equal to file size", 12, file_size, true},
      {"track count 257", 40, 257, false},
      {"width 32768", 20, 32768, false},
      {"width 32767", 20, 32767, true},
      {"height 32768", 24, 32768, false},
      {"rate numerator 0", 28, 0, false},
      {"rate denominator 0", 32, 0, false},
      {"file size below the tables", 4, 3 * 4 - 1, false},
  };
  for (const HeaderCase& c : cases) {
    std::vector<uint8_t> bad = movie;
    Put(bad, c.offset, c.value);
    EXPECT_EQ(OpenMessage(bad, OPEN_NO_PLANES), c.accepted ? "" : kErrCorruptHeader) << c.name;
  }
}

TEST(OpenValidation, TrackCountLimit) {
  MovieWriter writer('i', 8, 8, 25, 1);
  for (int t = 0; t < 256; ++t) writer.AddTrack(TRACK_DCT | 22050, t);
  writer.AddFrame(true, std::vector<uint8_t>(8));
  std::vector<uint8_t> movie = writer.Finish();
  EXPECT_EQ(OpenMessage(movie), "");
  EXPECT_EQ(OpenFileMessage(movie), "");
}

TEST(OpenValidation, TruncatedTablesFailToRead) {
  std::vector<uint8_t> movie = SmallMovie(3);
  movie.resize(44 + 8);  // inside the frame index
  EXPECT_EQ(OpenFileMessage(movie), kErrReadingHeader);
  EXPECT_EQ(OpenMessage(movie), kErrReadingHeader);
}

TEST(OpenValidation, BadFrameIndex) {
  const std::vector<uint8_t> movie = SmallMovie(3, 'i', 16);
  const size_t index = 44;  // no tracks
  const uint32_t first = ReadLE32(movie.data() + index);
  struct IndexCase {
    const char* name;
    size_t entry;
    uint32_t value;
  } cases[] = {
      {"two frames at the same offset", 1, first},
      {"decreasing", 2, first + 2},
      {"first packet inside the index", 0, first - 4},
      {"end past the movie", 3, static_cast<uint32_t>(movie.size()) + 4},
  };
  for (const IndexCase& c : cases) {
    std::vector<uint8_t> bad = movie;
    Put(bad, index + 4 * c.entry, c.value);
    EXPECT_EQ(OpenMessage(bad), kErrBadFrameSizes) << c.name;
    EXPECT_EQ(OpenFileMessage(bad), kErrBadFrameSizes) << c.name;
  }
  // A packet larger than the header's largest frame would overflow the packet buffer.
  std::vector<uint8_t> bad = movie;
  Put(bad, 12, 15);
  EXPECT_EQ(OpenFileMessage(bad), kErrBadFrameSizes);
  // Key bits count in the comparison: an entry equal apart from its key bit is greater.
  std::vector<uint8_t> keyed = movie;
  Put(keyed, index + 4, ReadLE32(movie.data() + index + 4) | 1);
  EXPECT_EQ(OpenMessage(keyed), "");
}

TEST(OpenValidation, OneFrameMovieWithoutTracks) {
  MovieWriter writer('i', 16, 16, 10, 1);
  writer.AddFrame(true, std::vector<uint8_t>(12, 7));
  std::vector<uint8_t> movie = writer.Finish();
  EXPECT_EQ(ReadLE32(movie.data() + 44) & ~1u, 52u);
  TempFile file(movie);
  MovieHandle* m = Open(MovieSource::Name(file.c_str()), 0);
  ASSERT_NE(m, nullptr) << LastError();
  EXPECT_EQ(m->frame_offset, 52u);
  EXPECT_EQ(m->frame_bytes, 12u);
  EXPECT_EQ(m->frame_data[0], 7);
  ASSERT_NE(m->planes, nullptr);
  EXPECT_EQ(m->planes->buffer_count, 1u);
  Close(m);
}

TEST(OpenValidation, EveryRevisionOpensWithItsBits) {
  struct {
    char revision;
    uint32_t bits;
  } cases[] = {{'f', 0x18000}, {'g', 0x18000}, {'h', 0x8000}, {'i', 0}};
  for (auto c : cases) {
    std::vector<uint8_t> movie = SmallMovie(2, c.revision);
    TempFile file(movie);
    MovieHandle* m = Open(MovieSource::Name(file.c_str()), 0);
    ASSERT_NE(m, nullptr) << c.revision << ": " << LastError();
    EXPECT_EQ(m->open_flags & 0x18000, c.bits) << c.revision;
    EXPECT_EQ(m->revision, c.revision);
    Close(m);
  }
}

TEST(FrameIndexScan, PeakWindowFirstMaximumWins) {
  // 10 frames per second, 25 frames: packets of 4 bytes except frames 5..7 (40
  // bytes) and 15..17 (40 bytes): the busiest second starts at the first
  // window holding 5..7, j = 0.
  MovieWriter writer('i', 8, 8, 10, 1);
  for (int i = 0; i < 25; ++i) {
    bool big = (i >= 5 && i <= 7) || (i >= 15 && i <= 17);
    writer.AddFrame(i % 5 == 0, std::vector<uint8_t>(big ? 40 : 4));
  }
  std::vector<uint8_t> movie = writer.Finish();
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr);
  // Window 10: j = 0 covers frames 0..9: 7 x 4 + 3 x 40 = 148; so do j = 1..5
  // (frames 5..7 stay inside); j = 6 drops frame 5. Raw entries: key bits of
  // frames j and j + 10 are equal here, so the raw difference equals the bytes.
  EXPECT_EQ(m->peak_rate, 148u);
  EXPECT_EQ(m->peak_frame, 0u);
  EXPECT_EQ(m->all_key, 0u);
  Close(m);
}

TEST(FrameIndexScan, LaterPeakAndRawEntries) {
  // 5 fps, 12 frames of 8 bytes; frame 7 is 100 bytes. Windows j = 0..6 (the
  // window ending at the last entry is not examined): j = 3..6 contain frame 7.
  MovieWriter writer('i', 8, 8, 5, 1);
  for (int i = 0; i < 12; ++i) writer.AddFrame(true, std::vector<uint8_t>(i == 7 ? 100 : 8));
  std::vector<uint8_t> movie = writer.Finish();
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->peak_rate, 4u * 8 + 100);
  EXPECT_EQ(m->peak_frame, 3u);
  EXPECT_EQ(m->all_key, 1u);
  Close(m);
}

TEST(FrameIndexScan, AverageWhenFramesFitTheWindow) {
  // 10 frames at 25 fps: (end - start) x 25 / 10, on raw entries (frame 0's
  // key bit makes the start one greater).
  std::vector<uint8_t> movie = SmallMovie(10, 'i', 20);
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->peak_rate, (200u - 1) * 25 / 10);
  EXPECT_EQ(m->peak_frame, 0u);
  Close(m);
}

// Header figures that a damaged or hostile file can set to anything must not
// make the open reserve more than playing the movie can use: the statistics
// rings (one second of frames by the rate, but never more than the movie's
// frames), the packet buffer (the header's largest frame), the preload (the
// header's movie size) and the index (entries past the last frame).
TEST(OpenMemory, HostileFiguresReserveOnlyWhatPlayingUses) {
  struct Case {
    const char* name;
    uint32_t rate_num, rate_den;
    bool huge_sizes;  // movie size and largest frame fields near 4 GiB
    uint32_t extra_entries;
    uint32_t history_len;
    uint32_t late_limit;  // two frame periods in milliseconds, saturated
  };
  const Case cases[] = {
      {"25 frames per second", 25, 1, false, 0, 3, 80},
      {"the largest rate", 0xFFFFFFFFu, 1, false, 0, 3, 0},
      {"the largest rate over 3", 0xFFFFFFFFu, 3, false, 0, 3, 0},
      {"one frame in 136 years", 1, 0xFFFFFFFFu, false, 0, 1, UINT32_MAX},
      {"size fields near 4 GiB", 25, 1, true, 0, 3, 80},
      {"all of it", 0xFFFFFFFFu, 1, true, 0, 3, 0},
      {"a million index entries", 25, 1, false, kMaxIndexEntries - 3, 3, 80},
  };
  struct Reading {
    const char* name;
    uint32_t flags;
  };
  const Reading readings[] = {{"memory", OPEN_MEMORY},
                              {"file", 0},
                              {"file, smallest read buffer", OPEN_READ_BUFFER},
                              {"file, no planes", OPEN_NO_PLANES}};
  for (const Case& c : cases) {
    MovieWriter writer('i', 32, 16, c.rate_num, c.rate_den);
    for (uint32_t i = 0; i < 3; ++i)
      writer.AddFrame(i == 0, std::vector<uint8_t>(40, static_cast<uint8_t>(i)));
    writer.SetExtraIndexEntries(c.extra_entries);
    std::vector<uint8_t> movie = writer.Finish();
    if (c.huge_sizes) {
      Put(movie, 4, 0xFFFFFFF0u);
      Put(movie, 12, 0xFFFFFFF0u);
    }
    TempFile file(movie);
    movie.resize(movie.size() + 1024, 0);
    for (const Reading& r : readings) {
      SCOPED_TRACE(std::string(c.name) + ", " + r.name);
      if (r.flags & OPEN_READ_BUFFER) SetReadBufferSize(1);
      MovieHandle* m = (r.flags & OPEN_MEMORY)
                           ? Open(MovieSource::Memory(movie.data(), movie.size() - 1024), r.flags)
                           : Open(MovieSource::Name(file.c_str()), r.flags);
      if (!m) {
        ADD_FAILURE() << LastError();
        continue;
      }
      EXPECT_EQ(m->history_len, c.history_len);
      EXPECT_EQ(m->late_limit, c.late_limit);
      // The handle, its arrays, the planes of a 32 x 16 picture and at most
      // the smallest read-ahead ring.
      EXPECT_LT(m->total_memory, 512u * 1024);
      // Every frame and the wrap to frame 1: each packet arrives whole, and
      // the rings take one entry per decode.
      for (uint32_t n = 1; n <= 4; ++n) {
        FetchFrame(m, n);
        EXPECT_EQ(m->frame_bytes, 40u);
        EXPECT_EQ(m->frame_data[0], static_cast<uint8_t>((n - 1) % 3));
        FrameDone(m, Timer());
      }
      EXPECT_EQ(m->input.input_error.load(), 0u);
      Close(m);
    }
  }
}

// A file cut inside the index entries that follow the last frame's is still
// refused: they are part of the tables even though playing never reads them.
TEST(OpenValidation, IndexCutAfterTheLastFramesEntries) {
  MovieWriter writer('i', 8, 8, 25, 1);
  writer.AddFrame(true, std::vector<uint8_t>(8));
  writer.SetExtraIndexEntries(10);
  const std::vector<uint8_t> movie = writer.Finish();
  const size_t first_packet = kHeaderBytes + 4 * 12;
  EXPECT_EQ(OpenFileMessage(std::vector<uint8_t>(movie.begin(), movie.begin() + first_packet - 2)),
            kErrReadingHeader);
  EXPECT_EQ(OpenFileMessage(std::vector<uint8_t>(movie.begin(), movie.begin() + first_packet)), "");
}

TEST(OpenFlags, DisplayOptions) {
  struct {
    uint32_t header_option, caller_option, merged_option, width, height;
  } cases[] = {
      {0, 0, 0, 32, 16},  {1, 0, 1, 32, 32},  {2, 0, 2, 32, 32}, {2, 7, 0, 32, 16},
      {0, 3, 3, 64, 16},  {2, 4, 4, 64, 32},  {0, 5, 5, 64, 32}, {0, 6, 6, 32, 16},
  };
  for (auto c : cases) {
    std::vector<uint8_t> movie = SmallMovie(2, 'i', 16, c.header_option << 28);
    MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()),
                          OPEN_MEMORY | (c.caller_option << 28));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(OpenDisplayOption(m->open_flags), c.merged_option);
    EXPECT_EQ(m->width, c.width);
    EXPECT_EQ(m->height, c.height);
    EXPECT_EQ(m->file_width, 32u);
    Close(m);
  }
}

TEST(OpenFlags, GrayscaleAndAlphaBits) {
  std::vector<uint8_t> plain = SmallMovie(2);
  MovieHandle* m = Open(MovieSource::Memory(plain.data(), plain.size()), OPEN_MEMORY | OPEN_ALPHA);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->open_flags & (OPEN_ALPHA | OPEN_GRAYSCALE), 0u);
  EXPECT_EQ(m->planes->sets[0].plane[PLANE_ALPHA].present, 0u);
  Close(m);

  std::vector<uint8_t> both = SmallMovie(2, 'i', 16, HEADER_ALPHA | HEADER_GRAYSCALE);
  m = Open(MovieSource::Memory(both.data(), both.size()), OPEN_MEMORY | OPEN_ALPHA);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->open_flags & (OPEN_ALPHA | OPEN_GRAYSCALE), OPEN_ALPHA | OPEN_GRAYSCALE);
  EXPECT_EQ(m->planes->sets[1].plane[PLANE_ALPHA].present, 1u);
  EXPECT_EQ(m->planes->sets[1].plane[PLANE_ALPHA].pitch, 32u);
  Close(m);
}

TEST(OpenFlags, PlaneSizes) {
  std::vector<uint8_t> movie = SmallMovie(2, 'i', 16, 0, 25, 1, 33, 17);
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr);
  const FrameBufferRecord& f = *m->planes;
  EXPECT_EQ(f.luma_width, 40u);
  EXPECT_EQ(f.luma_height, 24u);
  EXPECT_EQ(f.chroma_width, 24u);   // (33 + 1) / 2 = 17 -> 24
  EXPECT_EQ(f.chroma_height, 16u);  // 9 -> 16
  EXPECT_EQ(f.sets[0].plane[PLANE_CHROMA_A].pitch, 32u);
  EXPECT_EQ(f.sets[0].plane[PLANE_LUMA].pitch, 40u);
  for (const PlaneSet& set : f.sets)
    for (int p = 0; p < 3; ++p)
      EXPECT_EQ(reinterpret_cast<uintptr_t>(set.plane[p].samples) % 32, 0u);
  Close(m);
}

TEST(OpenSources, FromAnOffsetInsideAnotherFile) {
  std::vector<uint8_t> movie = SmallMovie(4, 'i', 24);
  const size_t offset = 9731;
  std::vector<uint8_t> carrier(offset + movie.size() + 100, 0x55);  // something after the movie
  std::fill(carrier.begin(), carrier.begin() + offset, 0xEE);
  std::copy(movie.begin(), movie.end(), carrier.begin() + offset);
  TempFile file(carrier, "carrier.bin");

  platform::FileHandle handle = platform::FileOpenRead(file.c_str());
  ASSERT_NE(handle, platform::kNoFile);
  ASSERT_TRUE(platform::FileSeek(handle, offset));
  MovieHandle* m = Open(MovieSource::Handle(handle), OPEN_FILE_HANDLE);
  ASSERT_NE(m, nullptr) << LastError();
  EXPECT_EQ(m->input.base_offset, static_cast<int64_t>(offset));
  EXPECT_EQ(m->frame_bytes, 24u);
  EXPECT_EQ(m->frame_data[0], 0);
  Close(m);
  // The borrowed handle stays open.
  EXPECT_TRUE(platform::FileSeek(handle, 0));
  platform::FileClose(handle);
}

TEST(OpenSources, MemoryBlockAtAnyAlignment) {
  std::vector<uint8_t> movie = SmallMovie(3, 'h', 20);
  std::vector<uint8_t> shifted(movie.size() + 1);
  std::memcpy(shifted.data() + 1, movie.data(), movie.size());
  MovieHandle* m = Open(MovieSource::Memory(shifted.data() + 1, movie.size()), OPEN_MEMORY);
  ASSERT_NE(m, nullptr) << LastError();
  EXPECT_EQ(m->frame_count, 3u);
  EXPECT_EQ(m->frame_bytes, 20u);
  EXPECT_EQ(m->frame_data, shifted.data() + 1 + m->frame_offset);
  EXPECT_TRUE(m->open_flags & OPEN_PRELOAD);
  Close(m);
  // A block shorter than its movie: the index end lies past the block.
  EXPECT_EQ(OpenMessage(std::vector<uint8_t>(movie.begin(), movie.end() - 4)), kErrBadFrameSizes);
}

TEST(OpenSources, MissingFile) {
  EXPECT_EQ(Open(MovieSource::Name("/nonexistent/movie.vxl"), 0), nullptr);
  EXPECT_STREQ(LastError(), kErrOpeningFile);
}

int CustomOpenFails(InputRecord*, const char*, platform::FileHandle, uint32_t) {
  SetLastErrorText("The custom input refused.");
  return 0;
}

TEST(OpenSources, CustomInputOpenIsUsedOnceAndKeepsItsMessage) {
  std::vector<uint8_t> movie = SmallMovie();
  TempFile file(movie);
  SetInputOpen(CustomOpenFails);
  EXPECT_EQ(Open(MovieSource::Name(file.c_str()), OPEN_CUSTOM_INPUT), nullptr);
  EXPECT_STREQ(LastError(), "The custom input refused.");
  // Forgotten by that open: the next open reads the file itself.
  MovieHandle* m = Open(MovieSource::Name(file.c_str()), OPEN_CUSTOM_INPUT);
  EXPECT_NE(m, nullptr);
  EXPECT_STREQ(LastError(), "");
  Close(m);
}

TEST(OpenSettings, RateOverrideIsConsumed) {
  std::vector<uint8_t> movie = SmallMovie(40, 'i', 16, 0, 30000, 1001);
  SetRateOverride(50, 1);
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()),
                        OPEN_MEMORY | OPEN_RATE_OVERRIDE);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_num, 50u);
  EXPECT_EQ(m->rate_den, 1u);
  EXPECT_EQ(m->file_rate_num, 30000u);
  EXPECT_EQ(m->history_len, 30u);
  EXPECT_EQ(m->late_limit, 40u);
  Close(m);
  m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY | OPEN_RATE_OVERRIDE);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_num, 30000u);
  EXPECT_EQ(m->late_limit, 2000u * 1001 / 30000);
  Close(m);
  // "As fast as possible": 0/0.
  SetRateOverride(0, 0);
  m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY | OPEN_RATE_OVERRIDE);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->rate_num, 0u);
  EXPECT_EQ(m->late_limit, 2000u);
  Close(m);
}

TEST(OpenSettings, GrantedBufferDecidesPreloading) {
  // A movie of about 1 MB: a 1 MB read buffer is at least 9/10 of it.
  std::vector<uint8_t> movie = SmallMovie(20, 'i', 50000);
  TempFile file(movie);
  SetReadBufferSize(1000000);
  MovieHandle* m = Open(MovieSource::Name(file.c_str()), OPEN_READ_BUFFER);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->open_flags & OPEN_PRELOAD);
  EXPECT_NE(m->preload_data, nullptr);
  Close(m);
  // The setting was consumed: the peak rate (25 frames > 20: average) wins again.
  m = Open(MovieSource::Name(file.c_str()), 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->read_buffer_request, 1310720u + 4096);  // 20 x 50000 x 25 / 20, in 128 KiB + 4 KiB
  EXPECT_TRUE(m->open_flags & OPEN_PRELOAD);  // 1314816 >= 9/10 of the file
  Close(m);
  SetReadBufferSize(300000);
  m = Open(MovieSource::Name(file.c_str()), OPEN_READ_BUFFER);
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(m->open_flags & OPEN_PRELOAD);
  EXPECT_EQ(m->read_buffer_request, 397312u);
  EXPECT_EQ(m->frame_bytes, 50000u);
  EXPECT_EQ(m->frame_data[100], 0);
  Close(m);
}

TEST(OpenSettings, TrackListResetsAfterEveryOpen) {
  MovieWriter writer('i', 8, 8, 25, 1);
  writer.AddTrack(TRACK_DCT | TRACK_16BIT | 22050, 5);
  writer.AddFrame(true, std::vector<uint8_t>(8));
  std::vector<uint8_t> movie = writer.Finish();
  uint32_t ids[] = {9};
  SetSoundTrack(1, ids);
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()),
                        OPEN_MEMORY | OPEN_TRACK_LIST);
  ASSERT_NE(m, nullptr);  // no such track: plays silent, still opens
  EXPECT_EQ(m->play_tracks, 0u);
  Close(m);
  EXPECT_EQ(SoundTrackListCount(), 1);
  EXPECT_EQ(SoundTrackListIds()[0], 0u);
}

TEST(LastError, HoldsAtMost254Characters) {
  std::string long_text(400, 'x');
  SetLastErrorText(long_text.c_str());
  EXPECT_EQ(std::strlen(LastError()), 254u);
  std::vector<uint8_t> movie = SmallMovie();
  MovieHandle* m = Open(MovieSource::Memory(movie.data(), movie.size()), OPEN_MEMORY);
  EXPECT_STREQ(LastError(), "");  // cleared by every open
  Close(m);
}

}  // namespace
}  // namespace vexil
