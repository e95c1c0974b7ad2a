// Reading a movie ahead inside the engine: joining the read service at open,
// the read node's query and rounds, the foreground reading rules, a short read
// that stops the movie, and streamed packets that must match preloaded ones
// whatever the access pattern, also while the service thread reads (run these
// under ThreadSanitizer too).
#include "engine/read_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "encoder/movie_writer.h"
#include "engine/container.h"
#include "engine/foreground_read.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "engine/service_thread.h"
#include "platform/heap.h"
#include "test_engine.h"
#include "test_util.h"

namespace vexil {
namespace {

using test::TempFile;

constexpr uint32_t kPiece = kReadPiece;

// `frames` frames at 25 per second; packet sizes from `size(i)`, contents
// that differ per frame and position.
template <typename SizeOf>
std::vector<uint8_t> MakeMovie(uint32_t frames, SizeOf size) {
  MovieWriter writer('i', 32, 16, 25, 1);
  for (uint32_t i = 0; i < frames; ++i) {
    std::vector<uint8_t> video(size(i));
    for (size_t b = 0; b < video.size(); ++b)
      video[b] = static_cast<uint8_t>(i * 7 + b * 13 + (b >> 8));
    writer.AddFrame(i % 10 == 0, video);
  }
  return writer.Finish();
}

// 4 MB of 20000-byte frames: a peak second of 500000 bytes.
const std::vector<uint8_t>& EvenMovie() {
  static const std::vector<uint8_t> movie = MakeMovie(200, [](uint32_t) { return 20000u; });
  return movie;
}

MovieHandle* OpenStreamed(const char* path, uint32_t flags, int32_t read_buffer) {
  OpenOptions options;
  options.read_buffer_size = read_buffer;
  ErrorText error;
  MovieHandle* m =
      Open(test::TestEngine(), MovieSource::Name(path), flags | OPEN_READ_BUFFER, options, &error);
  EXPECT_NE(m, nullptr) << error.c_str();
  if (m) {
    EXPECT_FALSE(m->open_flags & OPEN_PRELOAD);
  }
  return m;
}

TEST(ReadService, OpenJoinsAndFillsUnlessPreloadedOrAskedNotTo) {
  TempFile file(EvenMovie());
  ASSERT_EQ(test::TestEngine().services.ThreadCount(), 0);
  for (auto [flags, joins] :
       {std::pair<uint32_t, bool>{0, true}, {OPEN_NO_THREAD_READ, false}, {OPEN_PRELOAD, false}}) {
    MovieHandle* m = Open(test::TestEngine(), MovieSource::Name(file.c_str()), flags);
    ASSERT_NE(m, nullptr) << flags;
    EXPECT_EQ(m->reader.read_node != nullptr, joins) << flags;
    EXPECT_EQ(test::TestEngine().services.ThreadCount(), joins ? 1 : 0) << flags;
    Close(m);
    EXPECT_EQ(test::TestEngine().services.ThreadCount(), 0) << flags;
  }
  // Two streaming movies share the one read service thread.
  MovieHandle* a = Open(test::TestEngine(), MovieSource::Name(file.c_str()), 0);
  MovieHandle* b = Open(test::TestEngine(), MovieSource::Name(file.c_str()), 0);
  EXPECT_EQ(a->reader.read_node->thread, b->reader.read_node->thread);
  Close(a);
  EXPECT_EQ(test::TestEngine().services.ThreadCount(), 1);
  Close(b);
  EXPECT_EQ(test::TestEngine().services.ThreadCount(), 0);
  // The open fills the ring (from the skew after frame 1 on) unless told not to.
  MovieHandle* m = OpenStreamed(file.c_str(), OPEN_NO_THREAD_READ, 1 << 20);
  EXPECT_EQ(m->reader.input->buffered.load(),
            8 * kPiece - (m->reader.input->consumer_position % kPiece));
  Close(m);
  m = OpenStreamed(file.c_str(), OPEN_NO_THREAD_READ | OPEN_NO_FILL, 1 << 20);
  EXPECT_EQ(m->reader.input->buffered.load(), 0u);
  Close(m);
}

TEST(ReadService, QueryRanksUrgentRefillsAboveTheTickOrder) {
  Reservation reservation;
  std::unique_ptr<MovieHandle> movie(new (reservation, nullptr) MovieHandle{});
  ASSERT_NE(movie, nullptr);
  movie->reader.input.reset(new InputRecord{});
  ServiceNode node{};
  node.context = movie.get();
  InputRecord& in = *movie->reader.input;
  const struct {
    const char* name;
    uint32_t error, suspended, buffered, target, last_tick, tick, answer;
  } cases[] = {
      {"empty", 0, 0, 0, 1000000, 0, 2, ~0u},
      {"49 percent", 0, 0, 499999, 1000000, 0, 2, ~49u},
      {"half full, last served at tick 7", 0, 0, 500000, 1000000, 7, 9, 0x80000000u - 7},
      {"half full, never served", 0, 0, 999999, 1000000, 0, 2, 0x80000000u},
      {"served in this tick", 0, 0, 1000000, 1000000, 9, 9, 0},
      {"nothing to hold", 0, 0, 0, 0, 3, 4, 0x80000000u - 3},
      {"large figures do not overflow", 0, 0, 0xFFFFFFF0u, 0xFFFFFFFFu, 1, 2, 0x7FFFFFFFu},
      {"input error", 1, 0, 0, 1000000, 0, 2, 0},
      {"suspended", 0, 1, 0, 1000000, 0, 2, 0},
  };
  for (const auto& c : cases) {
    in.input_error = c.error;
    in.suspended = c.suspended;
    in.buffered = c.buffered;
    in.target_fill = c.target;
    node.last_tick = c.last_tick;
    EXPECT_EQ(ReadNodeQuery(&node, c.tick), c.answer) << c.name;
  }
}

TEST(ReadService, BelowHalfRefillsWithinOneTickAboveHalfOnePiecePerTick) {
  // A movie without the service thread, with a node the test runs rounds on.
  TempFile file(MakeMovie(400, [](uint32_t) { return 20000u; }));
  MovieHandle* m = OpenStreamed(file.c_str(), OPEN_NO_THREAD_READ | OPEN_NO_FILL, 1 << 20);
  InputRecord& in = *m->reader.input;
  ASSERT_EQ(in.target_fill.load(), 8 * kPiece);
  const uint32_t skew = in.file_position % kPiece;
  ASSERT_NE(skew, 0u);
  ServiceNode node{};
  node.mutex = &m->reader.read_lock;
  node.query = ReadNodeQuery;
  node.work = ReadNodeWork;
  node.context = m;
  std::atomic<uint32_t> running{SERVICE_RUNNING};
  uint32_t tick = 2;
  // Empty: five pieces in one tick (four would leave it just below half).
  EXPECT_EQ(service_detail::RunRound(&node, tick++, running), 5u);
  EXPECT_EQ(in.buffered.load(), 5 * kPiece - skew);
  // Above half: one piece per tick until the ring is full, then one empty call per tick.
  for (uint32_t pieces = 6; pieces <= 8; ++pieces) {
    EXPECT_EQ(service_detail::RunRound(&node, tick++, running), 1u);
    EXPECT_EQ(in.buffered.load(), pieces * kPiece - skew);
  }
  EXPECT_EQ(service_detail::RunRound(&node, tick++, running), 1u);
  EXPECT_EQ(in.buffered.load(), 8 * kPiece - skew);
  // Played down to below a quarter: refilled to half within the next tick again.
  while (uint64_t{in.buffered.load()} * 4 >= in.target_fill.load())
    FetchFrame(m, static_cast<uint32_t>(m->reader.current_frame) + 1);
  const uint32_t low = in.buffered.load();
  const uint64_t target = in.target_fill.load();
  const uint32_t calls = service_detail::RunRound(&node, tick++, running);
  EXPECT_GE(calls, 2u);
  EXPECT_EQ(in.buffered.load(), low + calls * kPiece);
  EXPECT_GE((uint64_t{in.buffered.load()} + 1) * 100 / (target + 1), 50u);
  EXPECT_LT((uint64_t{in.buffered.load()} - kPiece + 1) * 100 / (target + 1), 50u);
  Close(m);
}

// Pieces read by one call of a foreground rule.
template <typename Rule>
uint32_t PiecesRead(MovieHandle* m, Rule rule) {
  const uint32_t before = m->reader.input->bytes_read.load();
  rule();
  return (m->reader.input->bytes_read.load() - before + kPiece - 1) / kPiece;
}

TEST(ReadService, ForegroundRules) {
  TempFile file(EvenMovie());
  MovieHandle* m = OpenStreamed(file.c_str(), OPEN_NO_THREAD_READ | OPEN_NO_FILL, 1 << 20);
  InputRecord& in = *m->reader.input;
  // min(peak second, target fill) = 500000: half is 250000, three quarters 375000.
  ASSERT_NEAR(m->container.peak_rate, 500000u, 1u);
  auto wait = [&] { ReadWhileWaiting(m); };
  auto copied = [&](uint32_t flags) { return [&, flags] { ReadAfterCopy(m, flags); }; };
  // Without the read service: a piece at every wait, however full.
  EXPECT_EQ(PiecesRead(m, wait), 1u);
  EXPECT_EQ(PiecesRead(m, wait), 1u);
  EXPECT_EQ(PiecesRead(m, wait), 1u);  // now above half
  // With it (a stand-in node): only below half.
  ServiceNode stand_in{};
  m->reader.read_node = &stand_in;
  EXPECT_EQ(PiecesRead(m, wait), 0u);
  // After a copy: below three quarters only, and not when told not to.
  EXPECT_EQ(PiecesRead(m, copied(COPY_NO_READ)), 0u);
  in.reading_now = 1;  // the service is reading a piece
  EXPECT_EQ(PiecesRead(m, copied(0)), 0u);
  in.reading_now = 0;
  EXPECT_EQ(PiecesRead(m, copied(0)), 1u);  // 512K - skew >= 375000 now
  EXPECT_EQ(PiecesRead(m, copied(0)), 0u);
  // Never waits for a busy lock.
  {
    std::atomic<bool> locked{false}, done{false};
    std::thread holder([&] {
      std::lock_guard<std::recursive_timed_mutex> hold(m->reader.read_lock);
      locked = true;
      while (!done) std::this_thread::yield();
    });
    while (!locked) std::this_thread::yield();
    m->reader.read_node = nullptr;
    EXPECT_EQ(PiecesRead(m, wait), 0u);
    done = true;
    holder.join();
  }
  // Sound-skip recovery: up to 29/32 of the target fill.
  {
    std::scoped_lock both(m->reader.read_lock, m->sound.sound_mutex);
    ReadForRecovery(m);
  }
  EXPECT_GE(uint64_t{in.buffered.load()} * 32, uint64_t{in.target_fill.load()} * 29);
  EXPECT_LT(uint64_t{in.buffered.load() - kPiece} * 32, uint64_t{in.target_fill.load()} * 29);
  m->reader.read_node = nullptr;
  Close(m);
}

TEST(ReadService, ShortReadStopsTheMovie) {
  // The header promises more than the file holds.
  std::vector<uint8_t> movie = EvenMovie();
  movie.resize(movie.size() - 700000);
  TempFile file(movie);
  MovieHandle* m = OpenStreamed(file.c_str(), 0, 1 << 20);
  for (uint32_t n = 2; !m->reader.input->input_error && n <= m->container.frame_count; ++n)
    FetchFrame(m, n);
  EXPECT_EQ(m->reader.input->input_error.load(), 1u);
  EXPECT_EQ(m->reader.input->service(m->reader.input.get()), 0);
  ServiceNode node{};
  node.context = m;
  EXPECT_EQ(ReadNodeQuery(&node, 5), 0u);
  FetchFrame(m, 3);
  EXPECT_EQ(m->reader.frame_bytes, 0u);
  EXPECT_FALSE(ClockDecodeStart(m));
  EXPECT_EQ(m->reader.stopped.load(), 1u);
  Close(m);
}

// Random packet sizes, a few larger than a small ring.
const std::vector<uint8_t>& RaggedMovie() {
  static const std::vector<uint8_t> movie = [] {
    std::mt19937 random(1234);
    std::vector<uint32_t> sizes(300);
    for (uint32_t& s : sizes)
      s = random() % 16 == 0 ? 200000 + random() % 200000 : 1 + random() % 40000;
    return MakeMovie(300, [&](uint32_t i) { return sizes[i]; });
  }();
  return movie;
}

TEST(ReadService, StreamedPacketsMatchPreloadedOnes) {
  const std::vector<uint8_t>& bytes = RaggedMovie();
  const uint32_t carrier_offset = 12345;
  std::vector<uint8_t> carrier(carrier_offset + bytes.size() + 5000, 0xCD);
  std::fill(carrier.begin(), carrier.begin() + carrier_offset, 0xAB);
  std::copy(bytes.begin(), bytes.end(), carrier.begin() + carrier_offset);
  TempFile file(bytes);
  TempFile carrier_file(carrier, "carrier.bin");

  MovieHandle* preloaded = Open(test::TestEngine(), MovieSource::Name(file.c_str()), OPEN_PRELOAD);
  ASSERT_NE(preloaded, nullptr);
  const uint32_t frames = preloaded->container.frame_count;
  std::vector<std::vector<uint8_t>> expected(frames + 1);
  for (uint32_t n = 1; n <= frames; ++n) {
    FetchFrame(preloaded, n);
    expected[n].assign(preloaded->reader.frame_data,
                       preloaded->reader.frame_data + preloaded->reader.frame_bytes);
  }
  Close(preloaded);

  const struct {
    const char* name;
    uint32_t flags;
    int32_t read_buffer;
    bool carrier, paced;
  } cases[] = {
      {"foreground reading, smallest ring", OPEN_NO_THREAD_READ, 1, false, false},
      {"read service, smallest ring", 0, 1, false, false},
      {"read service, no fill at open", OPEN_NO_FILL, 1, false, false},
      {"read service, 1 MiB ring, movie inside another file", OPEN_FILE_HANDLE, 1 << 20, true,
       false},
      // Packets taken from the ring as the service thread delivers them,
      // without the read-ahead lock.
      {"read service, paced by the ring", OPEN_NO_FILL, 1 << 20, false, true},
  };
  for (const auto& c : cases) {
    for (uint32_t seed : {1u, 2u}) {
      SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
      platform::FileHandle handle = platform::kNoFile;
      if (c.carrier) {
        handle = platform::FileOpenRead(carrier_file.c_str());
        ASSERT_TRUE(platform::FileSeek(handle, carrier_offset));
      }
      OpenOptions options;
      options.read_buffer_size = c.read_buffer;
      ErrorText error;
      MovieHandle* m =
          Open(test::TestEngine(),
               c.carrier ? MovieSource::Handle(handle) : MovieSource::Name(file.c_str()),
               c.flags | OPEN_READ_BUFFER, options, &error);
      ASSERT_NE(m, nullptr) << error.c_str();
      ASSERT_FALSE(m->open_flags & OPEN_PRELOAD);
      std::mt19937 random(seed);
      uint32_t n = 1;
      for (int step = 0; step < (c.paced ? 300 : 1500); ++step) {
        ASSERT_EQ(m->reader.current_frame, static_cast<int32_t>(n));
        ASSERT_EQ(m->reader.frame_bytes, expected[n].size()) << "frame " << n;
        ASSERT_EQ(0, std::memcmp(m->reader.frame_data, expected[n].data(), expected[n].size()))
            << "frame " << n;
        const uint32_t r = random() % 100;
        if (r < 60) {
          n = n < frames ? n + 1 : 1;  // play on, wrapping
        } else if (r < 75) {
          n = std::min<uint32_t>(frames, n + 2 + random() % 4);  // skip a few
        } else if (r < 85) {
          n = n > 4 ? n - 1 - random() % 3 : 1;  // step back
        } else {
          n = 1 + random() % frames;  // jump anywhere
        }
        const uint32_t need = static_cast<uint32_t>(expected[n].size());
        for (int spin = 0; c.paced &&
                           m->reader.frame_offset + m->reader.frame_bytes ==
                               IndexOffset(m->container.frame_index[n - 1]) &&
                           m->reader.input->buffered.load(std::memory_order_relaxed) < need;
             ++spin) {
          ASSERT_LT(spin, 50000000) << "the service thread stopped reading";
          std::this_thread::yield();
        }
        m->reader.input->movie_busy = 1;
        FetchFrame(m, n);
        m->reader.input->movie_busy = 0;
        if (r % 3 == 0) ReadWhileWaiting(m);
        if (r % 5 == 0) ReadAfterCopy(m, 0);
      }
      EXPECT_EQ(m->reader.input->input_error.load(), 0u);
      Close(m);
      if (handle != platform::kNoFile) platform::FileClose(handle);
    }
  }
  EXPECT_EQ(test::TestEngine().services.ThreadCount(), 0);
}

}  // namespace
}  // namespace vexil
