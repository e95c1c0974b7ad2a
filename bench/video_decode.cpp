// Whole movies: decoding and encoding the synthetic clip (30 frames at
// 640x480 and 1280x720) with our codec and, beside it in the same run, with
// libtheora at the same luma PSNR. Our movie is coded at the quality whose
// luma PSNR matches the anchor's (found once per size before the timings).
// Decoding goes through the public library: no decode thread, one, and two
// (the frame split into luma and the rest); every frame is decoded, none
// skipped.
//
// The run ends with the ratios, each the median over the repetitions of the
// pair measured in the same round (use --benchmark_repetitions and
// --benchmark_enable_random_interleaving), with their spread:
//   video decode WxH 1 thread: the anchor's decode time / ours, no decode thread
//   video decode WxH N threads vs none: ours without decode threads / with N
//   video encode WxH N threads: the anchor's encode time (1 thread) / ours
//   video bits WxH: our bytes / the anchor's at the anchor's PSNR
// Single-thread pairs compare CPU time (other programs on a shared machine do
// not count); pairs with threads compare wall time.
#include <benchmark/benchmark.h>
#include <vexil/vexil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "encoder/movie_encoder.h"
#include "ratio_reporter.h"
#include "scene.h"

#ifdef VEXIL_HAVE_THEORA
#include <theora/theoradec.h>
#include <theora/theoraenc.h>
#endif

namespace vexil {
namespace {

constexpr uint32_t kFrames = 30;
constexpr uint32_t kRateNum = 25;
// The anchor's quality (0..63): a luma PSNR around 40 dB on the clip.
constexpr int kAnchorQuality = 48;

struct Size {
  uint32_t width, height;
  std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};
const Size kSizes[] = {{640, 480}, {1280, 720}};

const std::vector<Picture>& Clip(const Size& size) {
  static std::map<uint32_t, std::vector<Picture>> clips;
  std::vector<Picture>& clip = clips[size.width];
  if (clip.empty())
    for (uint32_t t = 0; t < kFrames; ++t)
      clip.push_back(SceneFrame(size.width, size.height, t, true));
  return clip;
}

double Psnr(uint64_t sse, uint64_t samples) {
  if (!sse) return 100;
  return 10 * std::log10(255.0 * 255.0 * double(samples) / double(sse));
}

// ---------------------------------------------------------------------------
// Ours.

struct OurMovie {
  uint32_t quality = 0;
  std::vector<uint8_t> bytes;
  uint64_t video_bytes = 0;
  double luma_psnr = 0;
};

// False with *error when the clip could not be coded.
bool EncodeOurs(const Size& size, uint32_t quality, uint32_t threads, OurMovie* out,
                std::string* error) {
  MovieEncoderOptions o;
  o.quality = quality;
  o.threads = threads;
  MovieFormat f;
  f.width = size.width;
  f.height = size.height;
  f.rate_num = kRateNum;
  f.rate_den = 1;
  MovieEncoder encoder(o, f);
  if (!encoder.Check(error)) return false;
  for (const Picture& p : Clip(size))
    if (!encoder.AddFrame(p, error)) return false;
  out->quality = quality;
  if (!encoder.Finish(&out->bytes, error)) return false;
  out->video_bytes = encoder.summary().video_bytes;
  out->luma_psnr = encoder.summary().psnr[ENCODER_Y];
  return true;
}

// Decodes every frame of the movie with `threads` decode threads; false when
// a frame did not decode.
bool DecodeOurs(const std::vector<uint8_t>& movie, uint32_t threads) {
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.flags = VEXIL_OPEN_NEVER_SKIP;
  o.rate_num = 0;  // as fast as possible
  o.rate_den = 1;
  o.decode_threads = threads;
  vexil_movie* m = nullptr;
  if (vexil_open_memory(movie.data(), movie.size(), &o, &m) != VEXIL_OK) return false;
  uint32_t decoded = 0;
  while (vexil_movie_decode_next(m) == VEXIL_OK) ++decoded;
  vexil_close(m);
  return decoded == kFrames;
}

// ---------------------------------------------------------------------------
// The anchor.

#ifdef VEXIL_HAVE_THEORA
struct Packet {
  std::vector<unsigned char> bytes;
  ogg_packet op;
};

struct AnchorMovie {
  std::vector<Packet> headers, frames;
  uint64_t frame_bytes = 0;
  double luma_psnr = 0;
};

void Keep(const ogg_packet& op, std::vector<Packet>* to) {
  Packet& p = to->emplace_back();
  p.bytes.assign(op.packet, op.packet + op.bytes);
  p.op = op;
}

// Points the packets at their own copies of the bytes.
void Fix(std::vector<Packet>* packets) {
  for (Packet& p : *packets) p.op.packet = p.bytes.data();
}

th_ycbcr_buffer* AsBuffer(const Picture& p, th_ycbcr_buffer* b) {
  // The encoder only reads the planes.
  auto* y = const_cast<unsigned char*>(p.y.data());
  auto* cb = const_cast<unsigned char*>(p.cb.data());
  auto* cr = const_cast<unsigned char*>(p.cr.data());
  const int w = static_cast<int>(p.width), h = static_cast<int>(p.height);
  const int cw = static_cast<int>(p.chroma_width()), ch = static_cast<int>(p.chroma_height());
  (*b)[0] = {w, h, w, y};
  (*b)[1] = {cw, ch, cw, cb};
  (*b)[2] = {cw, ch, cw, cr};
  return b;
}

// False when the anchor refused the clip.
bool EncodeAnchor(const Size& size, AnchorMovie* out) {
  th_info info;
  th_info_init(&info);
  info.frame_width = info.pic_width = size.width;
  info.frame_height = info.pic_height = size.height;
  info.pixel_fmt = TH_PF_420;
  info.colorspace = TH_CS_UNSPECIFIED;
  info.fps_numerator = kRateNum;
  info.fps_denominator = 1;
  info.aspect_numerator = info.aspect_denominator = 1;
  info.quality = kAnchorQuality;
  info.keyframe_granule_shift = 7;  // one key frame, as ours
  th_enc_ctx* encoder = th_encode_alloc(&info);
  th_info_clear(&info);
  if (!encoder) return false;
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet op;
  while (th_encode_flushheader(encoder, &comment, &op) > 0) Keep(op, &out->headers);
  const std::vector<Picture>& clip = Clip(size);
  bool ok = true;
  for (uint32_t t = 0; t < kFrames && ok; ++t) {
    th_ycbcr_buffer buffer;
    ok = th_encode_ycbcr_in(encoder, *AsBuffer(clip[t], &buffer)) == 0;
    while (ok && th_encode_packetout(encoder, t + 1 == kFrames, &op) > 0) {
      Keep(op, &out->frames);
      out->frame_bytes += static_cast<uint64_t>(op.bytes);
    }
  }
  th_comment_clear(&comment);
  th_encode_free(encoder);
  Fix(&out->headers);
  Fix(&out->frames);
  return ok && out->frames.size() == kFrames;
}

// Decodes every frame; with `clip`, sums the luma PSNR of each frame against
// it into *psnr_sum. False when a packet did not decode.
bool DecodeAnchor(const AnchorMovie& movie, const std::vector<Picture>* clip, double* psnr_sum) {
  th_info info;
  th_comment comment;
  th_setup_info* setup = nullptr;
  th_info_init(&info);
  th_comment_init(&comment);
  bool ok = true;
  for (const Packet& p : movie.headers) {
    ogg_packet op = p.op;
    ok = ok && th_decode_headerin(&info, &comment, &setup, &op) > 0;
  }
  th_dec_ctx* decoder = ok ? th_decode_alloc(&info, setup) : nullptr;
  th_setup_free(setup);
  th_comment_clear(&comment);
  th_info_clear(&info);
  if (!decoder) return false;
  for (size_t t = 0; t < movie.frames.size() && ok; ++t) {
    ogg_packet op = movie.frames[t].op;
    th_ycbcr_buffer out;
    ok = th_decode_packetin(decoder, &op, nullptr) >= 0 && th_decode_ycbcr_out(decoder, out) == 0;
    if (ok && clip) {
      const Picture& source = (*clip)[t];
      uint64_t sse = 0;
      for (uint32_t y = 0; y < source.height; ++y)
        for (uint32_t x = 0; x < source.width; ++x) {
          const int d = int{out[0].data[ptrdiff_t{out[0].stride} * y + x]} -
                        source.y[size_t{y} * source.width + x];
          sse += static_cast<uint64_t>(d * d);
        }
      *psnr_sum += Psnr(sse, uint64_t{source.width} * source.height);
    }
  }
  th_decode_free(decoder);
  return ok;
}
#endif

// ---------------------------------------------------------------------------
// The movies of one size, made once.

struct Movies {
  OurMovie ours;
  std::string error;  // set when they could not be made
#ifdef VEXIL_HAVE_THEORA
  AnchorMovie anchor;
  // Our bytes at the anchor's PSNR, between the two qualities around it.
  double matched_bytes = 0;
#endif
};

#ifdef VEXIL_HAVE_THEORA
// Our movie at the lowest quality whose luma PSNR reaches the anchor's
// (binary search: the PSNR mostly rises with the quality), and our bytes at
// exactly the anchor's PSNR, interpolated from that quality and the one below.
void MatchAnchor(const Size& size, Movies* m) {
  OurMovie below;
  uint32_t low = 0, high = 100;
  OurMovie candidate;
  bool found = false;
  while (low <= high) {
    const uint32_t q = (low + high) / 2;
    if (!EncodeOurs(size, q, 2, &candidate, &m->error)) return;
    if (candidate.luma_psnr >= m->anchor.luma_psnr) {
      m->ours = candidate;
      found = true;
      if (q == 0) break;
      high = q - 1;
    } else {
      below = candidate;
      low = q + 1;
    }
  }
  if (!found) {
    m->error = "no quality of ours reaches the anchor's PSNR";
    return;
  }
  m->matched_bytes = static_cast<double>(m->ours.video_bytes);
  if (below.quality + 1 == m->ours.quality && m->ours.luma_psnr > below.luma_psnr) {
    const double f =
        (m->anchor.luma_psnr - below.luma_psnr) / (m->ours.luma_psnr - below.luma_psnr);
    m->matched_bytes =
        double(below.video_bytes) + f * double(m->ours.video_bytes - below.video_bytes);
  }
}
#endif

std::map<uint32_t, std::unique_ptr<Movies>> g_movies;  // by width

const Movies& MoviesFor(const Size& size) {
  std::unique_ptr<Movies>& m = g_movies[size.width];
  if (m) return *m;
  m = std::make_unique<Movies>();
#ifdef VEXIL_HAVE_THEORA
  double psnr_sum = 0;
  if (!EncodeAnchor(size, &m->anchor) || !DecodeAnchor(m->anchor, &Clip(size), &psnr_sum)) {
    m->error = "the anchor could not code the clip";
    return *m;
  }
  m->anchor.luma_psnr = psnr_sum / kFrames;
  MatchAnchor(size, m.get());
#else
  EncodeOurs(size, kDefaultQuality, 2, &m->ours, &m->error);
#endif
  return *m;
}

// ---------------------------------------------------------------------------
// The benchmarks.

void SetFrameRate(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                                                  benchmark::Counter::kIsRate);
}

void BM_OurDecode(benchmark::State& state, Size size, uint32_t threads) {
  const Movies& m = MoviesFor(size);
  if (!m.error.empty()) return state.SkipWithError(m.error.c_str());
  for (auto _ : state)
    if (!DecodeOurs(m.ours.bytes, threads)) return state.SkipWithError("a frame did not decode");
  SetFrameRate(state);
  state.counters["quality"] = m.ours.quality;
  state.counters["luma_dB"] = m.ours.luma_psnr;
}

void BM_OurEncode(benchmark::State& state, Size size, uint32_t threads) {
  const Movies& m = MoviesFor(size);
  if (!m.error.empty()) return state.SkipWithError(m.error.c_str());
  std::string error;
  for (auto _ : state) {
    OurMovie movie;
    if (!EncodeOurs(size, m.ours.quality, threads, &movie, &error))
      return state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(movie.bytes.data());
  }
  SetFrameRate(state);
}

#ifdef VEXIL_HAVE_THEORA
void BM_AnchorDecode(benchmark::State& state, Size size) {
  const Movies& m = MoviesFor(size);
  if (!m.error.empty()) return state.SkipWithError(m.error.c_str());
  for (auto _ : state)
    if (!DecodeAnchor(m.anchor, nullptr, nullptr))
      return state.SkipWithError("a frame did not decode");
  SetFrameRate(state);
  state.counters["luma_dB"] = m.anchor.luma_psnr;
}

void BM_AnchorEncode(benchmark::State& state, Size size) {
  for (auto _ : state) {
    AnchorMovie movie;
    if (!EncodeAnchor(size, &movie)) return state.SkipWithError("the anchor could not code");
    benchmark::DoNotOptimize(movie.frames.data());
  }
  SetFrameRate(state);
}
#endif

std::string DecodeName(const Size& size, uint32_t threads) {
  return "vexil_decode/" + size.name() + "/threads:" + std::to_string(threads);
}
std::string EncodeName(const Size& size, uint32_t threads) {
  return "vexil_encode/" + size.name() + "/threads:" + std::to_string(threads);
}

void Register() {
  for (const Size& size : kSizes) {
    for (uint32_t threads : {0u, 1u, 2u})
      benchmark::RegisterBenchmark(DecodeName(size, threads).c_str(), BM_OurDecode, size, threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    for (uint32_t threads : {1u, 2u})
      benchmark::RegisterBenchmark(EncodeName(size, threads).c_str(), BM_OurEncode, size, threads)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
#ifdef VEXIL_HAVE_THEORA
    benchmark::RegisterBenchmark(("theora_decode/" + size.name()).c_str(), BM_AnchorDecode, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("theora_encode/" + size.name()).c_str(), BM_AnchorEncode, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
#endif
  }
#ifndef VEXIL_HAVE_THEORA
  std::printf("libtheora was not found at build time: its benchmarks are not registered\n");
#endif
}

// The console output, then the ratio lines.
class MovieRatios : public RatioReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Size& size : kSizes) {
      const std::string dims = size.name();
#ifdef VEXIL_HAVE_THEORA
      PrintRatio("video decode " + dims + " 1 thread", kCpu, "theora_decode/" + dims,
                 DecodeName(size, 0));
      PrintRatio("video encode " + dims + " 1 thread", kCpu, "theora_encode/" + dims,
                 EncodeName(size, 1));
      PrintRatio("video encode " + dims + " 2 threads", kWall, "theora_encode/" + dims,
                 EncodeName(size, 2));
#endif
      PrintRatio("video decode " + dims + " 1 thread vs none", kWall, DecodeName(size, 0),
                 DecodeName(size, 1));
      PrintRatio("video decode " + dims + " 2 threads vs none", kWall, DecodeName(size, 0),
                 DecodeName(size, 2));
#ifdef VEXIL_HAVE_THEORA
      const auto made = g_movies.find(size.width);  // none when no benchmark of the size ran
      if (made == g_movies.end()) continue;
      const Movies& m = *made->second;
      if (m.error.empty() && m.anchor.frame_bytes)
        std::printf(
            "video bits %s at %.2f dB (ours Q%u %.2f dB): %.2fx (our bytes / the anchor's)\n",
            dims.c_str(), m.anchor.luma_psnr, m.ours.quality, m.ours.luma_psnr,
            m.matched_bytes / double(m.anchor.frame_bytes));
#endif
    }
  }
};

}  // namespace
}  // namespace vexil

int main(int argc, char** argv) {
  vexil::Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  vexil::MovieRatios reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
