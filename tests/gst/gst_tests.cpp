// The GStreamer plugin in real pipelines: every conformance vector decoded
// through it (pull mode, push mode from a pipe, uridecodebin and playbin)
// equals what `vexil decode` writes; seeks land on the frames `vexil frame`
// shows; the discoverer reports the movie; the encoder element makes the
// movie `vexil encode` makes; a movie converts to WebM and plays back; damaged
// movies end their pipelines without a crash.
#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vexil/vexil.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using vexil::test::BuiltProgram;
using vexil::test::ReadFileBytes;
using vexil::test::RunProgram;
using vexil::test::SplitAtBlanks;
using vexil::test::TempFile;
using vexil::test::VectorsDir;
using vexil::test::WriteFileBytes;

const std::string kTool = BuiltProgram("tools/vexil");

// GStreamer with this build's plugin and a registry of the tests' own.
void InitGst() {
  static const bool done = [] {
    setenv("GST_PLUGIN_PATH", VEXIL_GST_PLUGIN_DIR, 1);
    setenv("GST_REGISTRY", VEXIL_BINARY_DIR "/gst-tests-registry.bin", 1);
    // Scanned in this process: a plugin built with sanitizers needs their
    // run-time, which the scanner program does not have.
    setenv("GST_REGISTRY_FORK", "no", 1);
    // A pipeline that stops reading a pipe must not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    gst_init(nullptr, nullptr);
    return true;
  }();
  (void)done;
}

void RunTool(const std::string& line) {
  const auto outcome = RunProgram(kTool, SplitAtBlanks(line));
  ASSERT_EQ(outcome.exit_code, 0) << "vexil " << line << ": " << outcome.error_output;
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// ---- pipelines ----

struct Outcome {
  bool eos = false;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  std::string Errors() const {
    std::string all;
    for (const std::string& e : errors) all += e + "\n";
    return all;
  }
};

std::string MessageText(GstMessage* message) {
  GError* error = nullptr;
  gchar* debug = nullptr;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
    gst_message_parse_error(message, &error, &debug);
  else
    gst_message_parse_warning(message, &error, &debug);
  std::string text = std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ": " +
                     (error ? error->message : "") + " (" + (debug ? debug : "") + ")";
  if (error) g_error_free(error);
  g_free(debug);
  return text;
}

// Plays the pipeline to its end (or its first error), then stops it.
Outcome Play(GstElement* pipeline, int timeout_seconds = 120) {
  Outcome outcome;
  GstBus* bus = gst_element_get_bus(pipeline);
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
    outcome.errors.push_back("the pipeline did not start");
  const gint64 deadline = g_get_monotonic_time() + gint64{timeout_seconds} * G_USEC_PER_SEC;
  while (outcome.errors.empty() && !outcome.eos) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) {
      outcome.errors.push_back("timed out");
      break;
    }
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, static_cast<GstClockTime>(left) * GST_USECOND,
        static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_WARNING));
    if (!message) continue;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS)
      outcome.eos = true;
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
      outcome.errors.push_back(MessageText(message));
    else
      outcome.warnings.push_back(MessageText(message));
    gst_message_unref(message);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  return outcome;
}

GstElement* Launch(const std::string& description) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  EXPECT_EQ(error, nullptr) << description << ": " << (error ? error->message : "");
  if (error) g_error_free(error);
  return pipeline;
}

// Brings a pipeline to PAUSED: its sinks hold their first buffers.
bool Prerolled(GstElement* pipeline) {
  if (!pipeline) return false;
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  return gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND) ==
         GST_STATE_CHANGE_SUCCESS;
}

Outcome RunLaunch(const std::string& description) {
  GstElement* pipeline = Launch(description);
  if (!pipeline) return Outcome{false, {"no pipeline"}, {}};
  Outcome outcome = Play(pipeline);
  gst_object_unref(pipeline);
  return outcome;
}

// Writes a file into a pipe on a thread of its own, as a program upstream of
// a pipeline would; the pipeline reads the other end.
class PipeFeeder {
 public:
  explicit PipeFeeder(const std::string& path) : bytes_(ReadFileBytes(path)) {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    writer_ = std::thread([this] {
      size_t done = 0;
      while (done < bytes_.size()) {
        const ssize_t n = write(fds_[1], bytes_.data() + done, bytes_.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      close(fds_[1]);
    });
  }
  ~PipeFeeder() {
    close(fds_[0]);  // a writer still blocked gets an error
    writer_.join();
  }
  int fd() const { return fds_[0]; }

 private:
  std::vector<uint8_t> bytes_;
  int fds_[2];
  std::thread writer_;
};

// ---- what the vexil tool writes ----

struct Y4m {
  uint32_t width = 0, height = 0;
  bool mono = false;
  std::vector<std::vector<uint8_t>> frames;
};

Y4m ReadY4m(const std::string& path) {
  Y4m y4m;
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  size_t at = 0;
  auto line = [&] {
    const auto end = std::find(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.end(), '\n');
    std::string text(bytes.begin() + static_cast<ptrdiff_t>(at), end);
    at = static_cast<size_t>(end - bytes.begin()) + 1;
    return text;
  };
  for (const std::string& word : SplitAtBlanks(line())) {
    if (word[0] == 'W') y4m.width = static_cast<uint32_t>(std::stoul(word.substr(1)));
    if (word[0] == 'H') y4m.height = static_cast<uint32_t>(std::stoul(word.substr(1)));
    if (word == "Cmono") y4m.mono = true;
  }
  const size_t luma = size_t{y4m.width} * y4m.height;
  const size_t chroma = size_t{(y4m.width + 1) / 2} * ((y4m.height + 1) / 2);
  const size_t frame = y4m.mono ? luma : luma + 2 * chroma;
  while (at < bytes.size()) {
    if (line().rfind("FRAME", 0) != 0 || at + frame > bytes.size()) break;
    y4m.frames.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                            bytes.begin() + static_cast<ptrdiff_t>(at + frame));
    at += frame;
  }
  return y4m;
}

// The samples of a WAV file's data chunk.
std::vector<uint8_t> WavData(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const uint32_t size =
        bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t{bytes[at + 7]} << 24;
    if (std::memcmp(&bytes[at], "data", 4) == 0) {
      const size_t end = std::min(bytes.size(), at + 8 + size);
      return {bytes.begin() + static_cast<ptrdiff_t>(at + 8),
              bytes.begin() + static_cast<ptrdiff_t>(end)};
    }
    at += 8 + size + (size & 1);
  }
  return {};
}

// What the library says of a movie.
struct Movie {
  std::string path;
  std::string name;
  uint32_t width = 0, height = 0, frames = 0, rate_num = 0, rate_den = 0;
  bool alpha = false, gray = false;
  // Decodable tracks, each the first with its id: index and id.
  std::vector<std::pair<uint32_t, uint32_t>> tracks;

  bool video() const { return width > 0 && height > 0; }
  GstVideoFormat format() const {
    return alpha ? GST_VIDEO_FORMAT_A420 : gray ? GST_VIDEO_FORMAT_GRAY8 : GST_VIDEO_FORMAT_I420;
  }
};

Movie Describe(const std::string& path) {
  Movie m;
  m.path = path;
  m.name = fs::path(path).filename().string();
  vexil_movie* movie = nullptr;
  EXPECT_EQ(vexil_open_file(path.c_str(), nullptr, &movie), VEXIL_OK) << path;
  if (!movie) return m;
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  m.width = info.coded_width;
  m.height = info.coded_height;
  m.frames = info.frame_count;
  m.rate_num = info.rate_num;
  m.rate_den = info.rate_den;
  m.alpha = info.flags & VEXIL_MOVIE_ALPHA;
  m.gray = info.flags & VEXIL_MOVIE_GRAYSCALE;
  std::vector<uint32_t> seen;
  for (uint32_t t = 0; t < info.track_count; ++t) {
    vexil_track_info track;
    vexil_track_info_init(&track);
    vexil_movie_get_track(movie, t, &track);
    const bool first = std::find(seen.begin(), seen.end(), track.id) == seen.end();
    seen.push_back(track.id);
    if (first && track.codec != VEXIL_CODEC_NONE && track.rate > 0)
      m.tracks.emplace_back(t, track.id);
  }
  vexil_close(movie);
  return m;
}

std::vector<Movie> AllVectors() {
  std::vector<std::string> paths;
  for (const char* folder : {"video", "audio"}) {
    for (const auto& entry : fs::directory_iterator(VectorsDir() + "/" + folder)) {
      if (entry.path().extension() == ".vxl") paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<Movie> movies;
  for (const std::string& path : paths) movies.push_back(Describe(path));
  return movies;
}

// Raw frames as filesink writes them (the default strides of the format)
// against the planes of `vexil decode --y4m` (and --alpha).
void ExpectPlanes(const Movie& m, const std::vector<uint8_t>& raw, const Y4m& pictures,
                  const Y4m* alpha, const std::string& how) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, m.format(), m.width, m.height);
  ASSERT_EQ(pictures.frames.size(), m.frames) << m.name;
  ASSERT_EQ(raw.size(), info.size * m.frames) << m.name << " " << how;
  const size_t luma = size_t{m.width} * m.height;
  const uint32_t cw = (m.width + 1) / 2, ch = (m.height + 1) / 2;
  struct Plane {
    guint index;
    const uint8_t* expected;
    uint32_t width, height;
  };
  for (uint32_t f = 0; f < m.frames; ++f) {
    const uint8_t* frame = raw.data() + info.size * f;
    const uint8_t* y4m = pictures.frames[f].data();
    std::vector<Plane> planes{{0, y4m, m.width, m.height}};
    if (m.format() != GST_VIDEO_FORMAT_GRAY8) {
      planes.push_back({1, y4m + luma, cw, ch});
      planes.push_back({2, y4m + luma + size_t{cw} * ch, cw, ch});
    }
    if (m.alpha) planes.push_back({3, alpha->frames.at(f).data(), m.width, m.height});
    for (const Plane& p : planes) {
      for (uint32_t row = 0; row < p.height; ++row) {
        const uint8_t* got = frame + info.offset[p.index] + size_t{row} * info.stride[p.index];
        ASSERT_EQ(std::memcmp(got, p.expected + size_t{row} * p.width, p.width), 0)
            << m.name << " " << how << ": frame " << f + 1 << ", plane " << p.index << ", row "
            << row;
      }
    }
  }
}

// What the tool writes of a movie, made once per movie.
struct Expected {
  Y4m pictures, alpha;
  std::vector<std::vector<uint8_t>> sounds;  // per entry of Movie::tracks
};

Expected ToolOutput(const Movie& m, const TempFile& dir) {
  Expected e;
  if (m.video()) {
    const std::string y4m = dir.Sibling("expected.y4m"), alpha = dir.Sibling("expected.a.y4m");
    RunTool("decode " + m.path + " --quiet --y4m " + y4m + (m.alpha ? " --alpha " + alpha : ""));
    e.pictures = ReadY4m(y4m);
    if (m.alpha) e.alpha = ReadY4m(alpha);
  }
  for (const auto& [index, id] : m.tracks) {
    const std::string wav = dir.Sibling("expected" + std::to_string(index) + ".wav");
    RunTool("decode " + m.path + " --quiet --wav " + wav + " --track " + std::to_string(id));
    e.sounds.push_back(WavData(wav));
  }
  return e;
}

// The file a track's sound is written to.
std::string SoundName(uint32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "a%u.raw", index);
  return name;
}

// The demuxer's branches into files, after `source`; `video_threads` is the
// video decoder's threads property.
std::string DemuxBranches(const Movie& m, const TempFile& dir, int video_threads = 0) {
  std::string d = " ! vexildemux name=d";
  if (m.video())
    d += " d.video_0 ! queue ! vexilvideodec threads=" + std::to_string(video_threads) +
         " ! filesink location=" + Quoted(dir.Sibling("v.raw"));
  for (const auto& [index, id] : m.tracks) {
    const std::string n = std::to_string(index);
    d += " d.audio_" + n +
         " ! queue ! vexilaudiodec ! filesink location=" + Quoted(dir.Sibling("a" + n + ".raw"));
  }
  return d;
}

void ExpectOutputs(const Movie& m, const Expected& e, const TempFile& dir, const std::string& how,
                   size_t tracks) {
  if (m.video()) ExpectPlanes(m, ReadFileBytes(dir.Sibling("v.raw")), e.pictures, &e.alpha, how);
  for (size_t t = 0; t < std::min(tracks, m.tracks.size()); ++t) {
    EXPECT_TRUE(ReadFileBytes(dir.Sibling(SoundName(m.tracks[t].first))) == e.sounds[t])
        << m.name << " " << how << ": track " << m.tracks[t].first
        << " differs from vexil decode --wav";
  }
}

class VectorsTest : public ::testing::Test {
 protected:
  void SetUp() override { InitGst(); }
};

TEST_F(VectorsTest, DecodeLikeTheToolInPullAndPushMode) {
  for (const Movie& m : AllVectors()) {
    TempFile dir;
    const Expected e = ToolOutput(m, dir);
    const Outcome pulled = RunLaunch("filesrc location=" + Quoted(m.path) + DemuxBranches(m, dir));
    ASSERT_TRUE(pulled.eos) << m.name << ": " << pulled.Errors();
    EXPECT_TRUE(pulled.warnings.empty()) << m.name << ": " << pulled.warnings[0];
    ExpectOutputs(m, e, dir, "pulled", m.tracks.size());

    // Pushed, with each picture's luma plane on a decode thread.
    PipeFeeder feeder(m.path);
    const Outcome pushed =
        RunLaunch("fdsrc fd=" + std::to_string(feeder.fd()) + DemuxBranches(m, dir, 2));
    ASSERT_TRUE(pushed.eos) << m.name << ": " << pushed.Errors();
    ExpectOutputs(m, e, dir, "pushed from a pipe, two decode threads", m.tracks.size());
  }
}

// uridecodebin and playbin find the plugin's elements on their own; they
// give the video and the first sound track.
TEST_F(VectorsTest, DecodeLikeTheToolThroughAutoPlugging) {
  for (const Movie& m : AllVectors()) {
    TempFile dir;
    const Expected e = ToolOutput(m, dir);
    gchar* uri = gst_filename_to_uri(m.path.c_str(), nullptr);
    std::string description = "uridecodebin uri=" + Quoted(uri) + " name=u";
    if (m.video())
      description +=
          " u. ! video/x-raw ! queue ! filesink location=" + Quoted(dir.Sibling("v.raw"));
    if (!m.tracks.empty()) {
      description += " u. ! audio/x-raw ! queue ! filesink location=" +
                     Quoted(dir.Sibling(SoundName(m.tracks[0].first)));
    }
    const Outcome decoded = RunLaunch(description);
    ASSERT_TRUE(decoded.eos) << m.name << ": " << decoded.Errors();
    ExpectOutputs(m, e, dir, "through uridecodebin", 1);

    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    ASSERT_NE(playbin, nullptr);
    GstElement* video = gst_element_factory_make("filesink", nullptr);
    GstElement* audio = gst_element_factory_make("filesink", nullptr);
    g_object_set(video, "location", dir.Sibling("v.raw").c_str(), nullptr);
    const std::string sound = dir.Sibling(SoundName(m.tracks.empty() ? 0 : m.tracks[0].first));
    g_object_set(audio, "location", sound.c_str(), nullptr);
    // Video and audio as decoded, without conversions.
    g_object_set(playbin, "uri", uri, "video-sink", video, "audio-sink", audio, "flags", 0x63,
                 nullptr);
    const Outcome played = Play(playbin);
    gst_object_unref(playbin);
    g_free(uri);
    ASSERT_TRUE(played.eos) << m.name << ": " << played.Errors();
    ExpectOutputs(m, e, dir, "through playbin", 1);
  }
}

// ---- a longer movie made by the encoder: key frames every 5 frames ----

class MadeMovieTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitGst();
    dir_ = new TempFile();
    movie_ = dir_->Sibling("made.vxl");
    const std::string y4m = dir_->Sibling("demo.y4m"), wav = dir_->Sibling("demo.wav");
    RunTool("synth demo --quiet --y4m " + y4m + " --wav " + wav +
            " --seconds 3 --size 64x48 --fps 10");
    RunTool("encode " + y4m + " --audio " + wav + " -o " + movie_ + " --keyint 5 --quiet");
  }
  static void TearDownTestSuite() { delete dir_; }

  static inline TempFile* dir_ = nullptr;
  static inline std::string movie_;
  static constexpr uint32_t kFrames = 30;
  static GstClockTime FrameTime(uint32_t frame) { return (frame - 1) * GST_SECOND / 10; }
};

// The planes `vexil frame` shows of frame n: YV12, luma then V then U.
std::vector<uint8_t> ToolFrame(const std::string& movie, uint32_t n, const TempFile& dir) {
  const std::string raw = dir.Sibling("frame" + std::to_string(n) + ".raw");
  RunTool("frame " + movie + " " + std::to_string(n) + " -o " + raw + " --format 15");
  return ReadFileBytes(raw);
}

// The planes of an I420 sample in YV12 order, rows packed.
std::vector<uint8_t> SampleAsYv12(GstSample* sample) {
  GstVideoInfo info;
  gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
  GstVideoFrame frame;
  std::vector<uint8_t> planes;
  if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ))
    return planes;
  for (guint p : {0u, 2u, 1u}) {
    const auto* row = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, p));
    const guint width = GST_VIDEO_FRAME_COMP_WIDTH(&frame, p);
    for (gint y = 0; y < GST_VIDEO_FRAME_COMP_HEIGHT(&frame, p); ++y)
      planes.insert(planes.end(), row + y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p),
                    row + y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p) + width);
  }
  gst_video_frame_unmap(&frame);
  return planes;
}

TEST_F(MadeMovieTest, SeeksLandOnTheFramesTheToolShows) {
  struct Seek {
    const char* what;
    GstSeekFlags flags;
    GstFormat format;
    uint32_t frame;        // sought (1-based)
    GstClockTime nudge;    // added to the frame's time
    uint32_t first_frame;  // the first picture after the seek
  };
  const auto accurate = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
  const auto key = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT);
  const auto key_after = static_cast<GstSeekFlags>(key | GST_SEEK_FLAG_SNAP_AFTER);
  // In this order on one pipeline: forwards and backwards.
  const Seek seeks[] = {
      {"accurate, forwards", accurate, GST_FORMAT_TIME, 13, 0, 13},
      {"key unit, backwards", key, GST_FORMAT_TIME, 9, 0, 6},
      {"key unit, snap after", key_after, GST_FORMAT_TIME, 13, 0, 16},
      {"accurate, within a frame", accurate, GST_FORMAT_TIME, 18, GST_MSECOND * 50, 18},
      {"accurate, by frame", accurate, GST_FORMAT_DEFAULT, 8, 0, 8},
      {"accurate, the last frame", accurate, GST_FORMAT_TIME, kFrames, 0, kFrames},
      {"key unit, the last frame", key, GST_FORMAT_TIME, kFrames, 0, 26},
      {"accurate, frame 1", accurate, GST_FORMAT_TIME, 1, 0, 1},
      {"key unit, frame 1", key, GST_FORMAT_TIME, 1, 0, 1},
      {"accurate, backwards", accurate, GST_FORMAT_TIME, 4, 0, 4},
  };
  GstElement* pipeline = Launch("filesrc location=" + Quoted(movie_) +
                                " ! vexildemux ! vexilvideodec ! appsink name=s sync=false");
  ASSERT_TRUE(Prerolled(pipeline));
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "s");
  gint64 duration = 0;
  EXPECT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration));
  EXPECT_EQ(duration, static_cast<gint64>(3 * GST_SECOND));
  for (const Seek& s : seeks) {
    const gint64 position = s.format == GST_FORMAT_DEFAULT
                                ? gint64{s.frame} - 1
                                : static_cast<gint64>(FrameTime(s.frame) + s.nudge);
    ASSERT_TRUE(gst_element_seek(pipeline, 1.0, s.format, s.flags, GST_SEEK_TYPE_SET, position,
                                 GST_SEEK_TYPE_NONE, -1))
        << s.what;
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 30 * GST_SECOND),
              GST_STATE_CHANGE_SUCCESS)
        << s.what;
    GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr) << s.what;
    // A frame that starts before the segment is cut to its start.
    const GstClockTime pts = (s.flags & GST_SEEK_FLAG_ACCURATE) && s.format == GST_FORMAT_TIME
                                 ? std::max<GstClockTime>(FrameTime(s.first_frame), position)
                                 : FrameTime(s.first_frame);
    EXPECT_EQ(GST_BUFFER_PTS(gst_sample_get_buffer(sample)), pts) << s.what;
    EXPECT_TRUE(SampleAsYv12(sample) == ToolFrame(movie_, s.first_frame, *dir_))
        << s.what << ": the picture differs from vexil frame " << s.first_frame;
    gst_sample_unref(sample);
  }
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

TEST_F(MadeMovieTest, PushModeSaysItCannotSeek) {
  PipeFeeder feeder(movie_);
  GstElement* pipeline = Launch("fdsrc fd=" + std::to_string(feeder.fd()) +
                                " ! vexildemux ! vexilvideodec ! appsink name=s sync=false");
  ASSERT_TRUE(Prerolled(pipeline));
  GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
  gboolean seekable = TRUE;
  if (gst_element_query(pipeline, query))
    gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
  EXPECT_FALSE(seekable);
  gst_query_unref(query);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
}

// What gst-discoverer-1.0 reports, through the library it is built on.
TEST_F(MadeMovieTest, TheDiscovererReportsDurationSizeRateAndTracks) {
  GError* error = nullptr;
  GstDiscoverer* discoverer = gst_discoverer_new(30 * GST_SECOND, &error);
  ASSERT_NE(discoverer, nullptr);
  gchar* uri = gst_filename_to_uri(movie_.c_str(), nullptr);
  GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
  g_free(uri);
  ASSERT_NE(info, nullptr) << (error ? error->message : "");
  EXPECT_EQ(gst_discoverer_info_get_result(info), GST_DISCOVERER_OK);
  EXPECT_EQ(gst_discoverer_info_get_duration(info), 3 * GST_SECOND);
  EXPECT_TRUE(gst_discoverer_info_get_seekable(info));
  GList* videos = gst_discoverer_info_get_video_streams(info);
  ASSERT_EQ(g_list_length(videos), 1u);
  auto* video = GST_DISCOVERER_VIDEO_INFO(videos->data);
  EXPECT_EQ(gst_discoverer_video_info_get_width(video), 64u);
  EXPECT_EQ(gst_discoverer_video_info_get_height(video), 48u);
  EXPECT_EQ(gst_discoverer_video_info_get_framerate_num(video), 10u);
  EXPECT_EQ(gst_discoverer_video_info_get_framerate_denom(video), 1u);
  GList* audios = gst_discoverer_info_get_audio_streams(info);
  ASSERT_EQ(g_list_length(audios), 1u);
  auto* audio = GST_DISCOVERER_AUDIO_INFO(audios->data);
  EXPECT_EQ(gst_discoverer_audio_info_get_sample_rate(audio), 44100u);
  EXPECT_EQ(gst_discoverer_audio_info_get_channels(audio), 2u);
  const GstTagList* tags = gst_discoverer_info_get_tags(info);
  gchar* container = nullptr;
  EXPECT_TRUE(tags && gst_tag_list_get_string(tags, GST_TAG_CONTAINER_FORMAT, &container));
  EXPECT_STREQ(container, "Vexil");
  g_free(container);
  gst_discoverer_stream_info_list_free(videos);
  gst_discoverer_stream_info_list_free(audios);
  gst_discoverer_info_unref(info);
  g_object_unref(discoverer);
}

TEST_F(MadeMovieTest, ConvertsToWebmThatPlaysBack) {
  const std::string webm = dir_->Sibling("made.webm");
  const Outcome converted = RunLaunch(
      "filesrc location=" + Quoted(movie_) +
      " ! vexildemux name=d d.video_0 ! queue ! vexilvideodec ! videoconvert ! vp8enc deadline=1"
      " ! webmmux name=m ! filesink location=" +
      Quoted(webm) +
      " d.audio_0 ! queue ! vexilaudiodec ! audioconvert ! audioresample ! vorbisenc ! m.");
  ASSERT_TRUE(converted.eos) << converted.Errors();

  GstElement* pipeline = Launch("filesrc location=" + Quoted(webm) +
                                " ! matroskademux name=d d.video_0 ! queue ! vp8dec ! appsink "
                                "name=s sync=false d.audio_0 ! queue ! vorbisdec ! fakesink");
  ASSERT_TRUE(Prerolled(pipeline));
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "s");
  gint64 duration = 0;
  EXPECT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration));
  EXPECT_NEAR(static_cast<double>(duration), 3.0 * GST_SECOND, 0.1 * GST_SECOND);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  uint32_t frames = 0;
  GstClockTime last = GST_CLOCK_TIME_NONE;
  while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND)) {
    last = GST_BUFFER_PTS(gst_sample_get_buffer(sample));
    ++frames;
    gst_sample_unref(sample);
  }
  EXPECT_EQ(frames, kFrames);
  EXPECT_EQ(last, FrameTime(kFrames));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

// ---- the encoder element ----

struct EncoderCase {
  const char* what;
  const char* format;
  const char* properties;  // of vexilenc, as the tool's options below
  const char* tool_options;
  bool audio;
};

class EncoderTest : public ::testing::TestWithParam<EncoderCase> {
 protected:
  void SetUp() override { InitGst(); }
};

// Raw frames as filesink writes them (the format's default strides) made
// into the tool's input: the pictures, and for A420 the alpha plane as the
// luma of a second stream. (The y4m encoder of the plugins pads odd rows.)
void RawToY4m(const std::vector<uint8_t>& raw, GstVideoFormat format, uint32_t width,
              uint32_t height, const std::string& y4m, const std::string& alpha_y4m) {
  GstVideoInfo info;
  gst_video_info_set_format(&info, format, width, height);
  const bool mono = format == GST_VIDEO_FORMAT_GRAY8;
  const std::string header = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                             " F10:1 Ip A1:1 C" + (mono ? "mono" : "420jpeg") + "\n";
  std::vector<uint8_t> pictures(header.begin(), header.end()), alpha = pictures;
  auto plane = [&](std::vector<uint8_t>* out, const uint8_t* frame, guint p) {
    const guint w = GST_VIDEO_INFO_COMP_WIDTH(&info, p), h = GST_VIDEO_INFO_COMP_HEIGHT(&info, p);
    for (guint y = 0; y < h; ++y) {
      const uint8_t* row = frame + info.offset[p] + size_t{y} * info.stride[p];
      out->insert(out->end(), row, row + w);
    }
  };
  const std::string frame_line = "FRAME\n";
  for (size_t at = 0; at + info.size <= raw.size(); at += info.size) {
    pictures.insert(pictures.end(), frame_line.begin(), frame_line.end());
    for (guint p = 0; p < (mono ? 1u : 3u); ++p) plane(&pictures, raw.data() + at, p);
    if (format == GST_VIDEO_FORMAT_A420) {
      alpha.insert(alpha.end(), frame_line.begin(), frame_line.end());
      plane(&alpha, raw.data() + at, 3);
      alpha.resize(alpha.size() + 2 * GST_VIDEO_INFO_COMP_WIDTH(&info, 1) *
                                      GST_VIDEO_INFO_COMP_HEIGHT(&info, 1),
                   128);
    }
  }
  WriteFileBytes(y4m, pictures);
  if (format == GST_VIDEO_FORMAT_A420) WriteFileBytes(alpha_y4m, alpha);
}

// The element's movie is the tool's movie for the same pictures and sound,
// and decodes to the encoder's reconstruction.
TEST_P(EncoderTest, MakesTheToolsMovie) {
  const EncoderCase& c = GetParam();
  TempFile dir;
  const std::string made = dir.Sibling("made.vxl"), raw = dir.Sibling("in.raw"),
                    y4m = dir.Sibling("in.y4m"), alpha = dir.Sibling("in.alpha.y4m"),
                    wav = dir.Sibling("in.wav");
  // Odd sizes: rows of the pictures are padded in GStreamer's buffers.
  std::string description =
      std::string("videotestsrc num-buffers=20 pattern=ball ! video/x-raw,format=") + c.format +
      ",width=50,height=30,framerate=10/1 ! tee name=t t. ! queue ! vexilenc name=e " +
      c.properties + " ! filesink location=" + Quoted(made) +
      " t. ! queue ! filesink location=" + Quoted(raw);
  if (c.audio) {
    description +=
        " audiotestsrc num-buffers=10 samplesperbuffer=2205 ! "
        "audio/x-raw,format=S16LE,rate=11025,channels=2 ! tee name=a a. ! queue ! "
        "e.audio a. ! queue ! wavenc ! filesink location=" +
        Quoted(wav);
  }
  const Outcome made_outcome = RunLaunch(description);
  ASSERT_TRUE(made_outcome.eos) << made_outcome.Errors();
  RunTool("info " + made);
  const GstVideoFormat format = gst_video_format_from_string(c.format);
  RawToY4m(ReadFileBytes(raw), format, 50, 30, y4m, alpha);
  const bool has_alpha = format == GST_VIDEO_FORMAT_A420;

  const std::string reference = dir.Sibling("reference.vxl"), recon = dir.Sibling("recon.y4m"),
                    recon_alpha = dir.Sibling("recon.alpha.y4m"),
                    recon_wav = dir.Sibling("recon.wav");
  RunTool("encode " + y4m + " -o " + reference + " --recon " + recon + " --quiet " +
          c.tool_options + (c.audio ? " --audio " + wav + " --recon-wav " + recon_wav : "") +
          (has_alpha ? " --alpha " + alpha + " --recon-alpha " + recon_alpha : ""));
  EXPECT_TRUE(ReadFileBytes(made) == ReadFileBytes(reference))
      << c.what << ": the element's movie differs from vexil encode's";

  const std::string decoded = dir.Sibling("decoded.y4m"), decoded_wav = dir.Sibling("decoded.wav"),
                    decoded_alpha = dir.Sibling("decoded.alpha.y4m");
  RunTool("decode " + made + " --quiet --y4m " + decoded +
          (c.audio ? " --wav " + decoded_wav : "") +
          (has_alpha ? " --alpha " + decoded_alpha : ""));
  EXPECT_TRUE(ReadY4m(decoded).frames == ReadY4m(recon).frames) << c.what;
  if (has_alpha) {
    EXPECT_TRUE(ReadY4m(decoded_alpha).frames == ReadY4m(recon_alpha).frames) << c.what;
  }
  if (c.audio) {
    EXPECT_TRUE(WavData(decoded_wav) == WavData(recon_wav)) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncoderTest,
    ::testing::Values(EncoderCase{"I420 with sound", "I420", "keyint=4", "--keyint 4", true},
                      EncoderCase{"I420, revision f, rdft sound, quality 40", "I420",
                                  "revision=f audio-codec=rdft quality=40 threads=1",
                                  "--revision f --audio-codec rdft --quality 40 --threads 1", true},
                      EncoderCase{"grayscale", "GRAY8", "keyint=5", "--keyint 5", false},
                      EncoderCase{"with alpha and sound", "A420", "quality=60", "--quality 60",
                                  true}));

// ---- damaged movies ----

// A sound part whose count field asks for gigabytes gets a buffer the size
// of the track's parts: the decoder must not try to allocate what it says.
TEST(DamagedMovies, ASoundPartsCountAllocatesNoMoreThanTheTrackNeeds) {
  InitGst();
  const std::string path = VectorsDir() + "/video/movie_003.vxl";  // 11025 Hz stereo, DCT
  vexil_movie* movie = nullptr;
  ASSERT_EQ(vexil_open_file(path.c_str(), nullptr, &movie), VEXIL_OK);
  size_t size = 0, offset = 0, part_size = 0;
  ASSERT_EQ(vexil_movie_read_packet(movie, 1, nullptr, 0, &size, nullptr), VEXIL_OK);
  std::vector<uint8_t> packet(size);
  ASSERT_EQ(vexil_movie_read_packet(movie, 1, packet.data(), size, &size, nullptr), VEXIL_OK);
  vexil_close(movie);
  ASSERT_EQ(vexil_packet_audio_part(packet.data(), size, 1, 0, &offset, &part_size), VEXIL_OK);
  std::vector<uint8_t> part(packet.begin() + static_cast<ptrdiff_t>(offset),
                            packet.begin() + static_cast<ptrdiff_t>(offset + part_size));
  const uint8_t huge[4] = {0xF0, 0xFF, 0xFF, 0xFF};
  std::copy(huge, huge + 4, part.begin());

  GstElement* pipeline = Launch(
      "appsrc name=a format=time caps=audio/x-vexil-audio,rate=11025,channels=2,codec=dct "
      "! vexilaudiodec ! appsink name=s sync=false");
  ASSERT_NE(pipeline, nullptr);
  GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "a");
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "s");
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBuffer* buffer = gst_buffer_new_memdup(part.data(), part.size());
  GST_BUFFER_PTS(buffer) = 0;
  EXPECT_EQ(gst_app_src_push_buffer(GST_APP_SRC(source), buffer), GST_FLOW_OK);
  gst_app_src_end_of_stream(GST_APP_SRC(source));
  GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 30 * GST_SECOND);
  ASSERT_NE(sample, nullptr) << "the part's sound did not come";
  gsize max_size = 0;
  const gsize got = gst_buffer_get_sizes(gst_sample_get_buffer(sample), nullptr, &max_size);
  EXPECT_GT(got, 0u);
  // Eight seconds of this sound (and the allocator's alignment), not 4 GB.
  EXPECT_LT(max_size, gsize{11025} * 8 * 4 + 256) << "the buffer was made for the count field";
  gst_sample_unref(sample);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(source);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
}

// Links every stream decodebin finds to a sink of its own.
void LinkToFakesink(GstElement* decodebin, GstPad* pad, gpointer pipeline) {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  gst_bin_add(GST_BIN(pipeline), sink);
  gst_element_sync_state_with_parent(sink);
  GstPad* sink_pad = gst_element_get_static_pad(sink, "sink");
  gst_pad_link(pad, sink_pad);
  gst_object_unref(sink_pad);
}

TEST(DamagedMovies, NeverCrashAPipeline) {
  InitGst();
  std::vector<std::string> sources;
  for (const char* folder : {"/fuzz/regressions", "/fuzz/seeds/fuzz_open"}) {
    const fs::path root = fs::path(VEXIL_SOURCE_DIR) / fs::path(folder).relative_path();
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file()) sources.push_back(entry.path().string());
  }
  const size_t saved = sources.size();
  for (const Movie& m : AllVectors()) sources.push_back(m.path);
  uint32_t random = 12345;
  auto next = [&random] { return random = random * 1103515245u + 12345u; };
  TempFile damaged;
  for (size_t s = 0; s < sources.size(); ++s) {
    const std::vector<uint8_t> original = ReadFileBytes(sources[s]);
    // Saved inputs as they are; movies with 1, 8 and 64 bytes changed past
    // the signature, so that the plugin's elements are chosen.
    const std::vector<int> flips = s < saved ? std::vector<int>{0} : std::vector<int>{1, 8, 64};
    for (int count : flips) {
      std::vector<uint8_t> bytes = original;
      for (int i = 0; i < count && bytes.size() > 4; ++i)
        bytes[4 + next() % (bytes.size() - 4)] ^= static_cast<uint8_t>(1 + next() % 255);
      damaged.Write(bytes);
      // From the file (random access) and from a pipe (streamed).
      for (const bool piped : {false, true}) {
        std::optional<PipeFeeder> feeder;
        GstElement* pipeline = gst_pipeline_new(nullptr);
        GstElement* source = gst_element_factory_make(piped ? "fdsrc" : "filesrc", nullptr);
        GstElement* decodebin = gst_element_factory_make("decodebin", nullptr);
        if (piped) {
          feeder.emplace(damaged.path());
          g_object_set(source, "fd", feeder->fd(), nullptr);
        } else {
          g_object_set(source, "location", damaged.c_str(), nullptr);
        }
        gst_bin_add_many(GST_BIN(pipeline), source, decodebin, nullptr);
        gst_element_link(source, decodebin);
        g_signal_connect(decodebin, "pad-added", G_CALLBACK(LinkToFakesink), pipeline);
        const Outcome outcome = Play(pipeline, 10);
        gst_object_unref(pipeline);
        // An error is a fine end for a damaged movie; hanging is not. A movie
        // that hangs is kept for a look.
        if (std::find(outcome.errors.begin(), outcome.errors.end(), "timed out") !=
            outcome.errors.end()) {
          const std::string kept = std::string(VEXIL_BINARY_DIR) + "/gst-hang-" +
                                   std::to_string(s) + "-" + std::to_string(count) + ".vxl";
          std::filesystem::copy_file(damaged.path(), kept,
                                     std::filesystem::copy_options::overwrite_existing);
          ADD_FAILURE() << sources[s] << " with " << count << " bytes changed hangs"
                        << (piped ? " from a pipe: " : ": ") << kept;
        }
      }
    }
  }
}

}  // namespace
