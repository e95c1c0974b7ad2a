#include "player/statistics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "engine/container.h"
#include "engine/movie.h"

namespace vexil {
namespace {

std::string Format(const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

uint32_t Clamp32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)); }

// A tenths value as "%i.%01i". Figures are unsigned: large ones must not
// print negative.
std::string Tenths(uint64_t tenths) {
  return Format("%" PRIu64 ".%01u", tenths / 10, static_cast<unsigned>(tenths % 10));
}

std::string Unit(uint32_t n, const char* unit, bool space_after) {
  return Format("%u %s%s", n, unit, n == 1 ? (space_after ? " " : "") : (space_after ? "s " : "s"));
}

}  // namespace

SummaryRecord CaptureSummary(const MovieHandle* m, uint32_t now) {
  SummaryRecord s{};
  const InputRecord& in = *m->reader.input;
  const uint64_t body = m->container.file_size > m->container.first_packet_offset
                            ? uint64_t{m->container.file_size} - m->container.first_packet_offset
                            : 0;
  s.width = m->width;
  s.height = m->height;
  s.total_time = now - m->clock.play_start;
  s.file_rate_num = m->container.file_rate_num;
  s.file_rate_den = m->container.file_rate_den;
  s.rate_num = m->clock.rate_num;
  s.rate_den = m->clock.rate_den;
  s.open_time = m->clock.open_time;
  s.frame_count = m->container.frame_count;
  s.frames_shown = m->clock.frames_shown.load();
  s.skipped_frames = 0;
  s.skipped_blits = m->clock.skipped_blits;
  s.sound_skips = m->clock.sound_skips;
  s.blit_time = m->clock.blit_time.load();
  s.read_call_time = in.read_call_time.load();
  s.video_time = m->clock.video_time.load();
  s.audio_time = m->clock.audio_time.load();
  s.idle_read_time = in.idle_read_time.load();
  s.background_read_time = in.background_read_time.load();
  s.device_speed = Clamp32(uint64_t{in.bytes_read.load()} * 1000 / (uint64_t{in.read_time.load()} + 1));
  s.slowest_time = m->clock.slowest_time;
  s.second_time = m->clock.second_time;
  s.slowest_frame = m->clock.slowest_frame;
  s.second_frame = m->clock.second_frame;
  const uint64_t frames_time = uint64_t{m->container.frame_count} * m->container.file_rate_den;
  s.average_data_rate = frames_time ? Clamp32(body * m->container.file_rate_num / frames_time) : 0;
  s.average_frame_size = m->container.frame_count ? Clamp32(body / m->container.frame_count) : 0;
  s.total_memory = Clamp32(m->total_memory);
  s.input_memory = in.buffer_bytes;
  s.highest_input = in.highest_buffered.load();
  s.peak_rate = m->container.peak_rate;
  s.peak_frame = m->container.peak_frame + 1;
  return s;
}

std::string DurationText(uint32_t t) {
  if (t < 1000) return Unit(t, "millisecond", false);
  if (t < 60000) return Unit(t / 1000, "second", false);
  if (t < 3600000) return Unit(t / 60000, "minute", true) + Unit(t % 60000 / 1000, "second", false);
  return Unit(t / 3600000, "hour", true) + Unit(t % 3600000 / 60000, "minute", false);
}

std::string SummaryText(const SummaryRecord& s, const std::string& style_name,
                        uint32_t screen_width, uint32_t screen_height, uint32_t screen_bits) {
  if (s.frames_shown == 0) return std::string();
  // A playback shorter than a millisecond still divides by something.
  const uint64_t total = s.total_time ? s.total_time : 1;
  const std::string rate_played =
      s.rate_num && s.rate_den ? Tenths(uint64_t{s.rate_num} * 10 / s.rate_den) + " frames/sec"
                               : std::string("As fast as possible");
  const std::string file_rate =
      Tenths(s.file_rate_den ? uint64_t{s.file_rate_num} * 10 / s.file_rate_den : 0);
  const std::string obtained = Tenths(uint64_t{s.frames_shown} * 10000 / total);
  auto percent = [&](uint32_t figure) { return Tenths(uint64_t{figure} * 1000 / total); };
  const std::string slowest = Tenths(10000 / (s.slowest_time ? s.slowest_time : 1));
  const std::string second =
      s.frames_shown >= 2 ? Format("Second slowest frame: %u (%s frames/sec)\n", s.second_frame,
                                   Tenths(10000 / (s.second_time ? s.second_time : 1)).c_str())
                          : std::string();
  return Format(
      "Video: %u x %u at %s frames/sec\nTotal frames: %u\n\nTotal frames played: %u\nFrame rate "
      "played: %s\nFrame rate obtained: %s frames/sec\nSkipped frames: %u\nSkipped blits: "
      "%u\nSound skips: %u\n\nPercentage spent decompressing video: %s\nPercentage spent "
      "decompressing audio: %s\nPercentage spent blitting: %s\nPercentage spent reading: "
      "%s\nPercentage spent reading while idle: %s\nPercentage spent reading in background: "
      "%s\nSpeed of playback device: %u bytes/sec\n\nTotal playback time: %s\nTotal open time: "
      "%s\nSlowest frame: %u (%s frames/sec)\n%s\nAverage data rate: %u\nAverage frame size: "
      "%u\nPeak data rate: %u bytes/sec (frame: %u)\n\nTotal memory used: %u\nTotal input "
      "memory: %u\nHighest input memory used: %u\n\nBlitting style: %s\nVideo mode: %u x %u at "
      "%u bits\n",
      s.width, s.height, file_rate.c_str(), s.frame_count, s.frames_shown, rate_played.c_str(),
      obtained.c_str(), s.skipped_frames, s.skipped_blits, s.sound_skips,
      percent(s.video_time).c_str(), percent(s.audio_time).c_str(), percent(s.blit_time).c_str(),
      percent(s.read_call_time).c_str(), percent(s.idle_read_time).c_str(),
      percent(s.background_read_time).c_str(), s.device_speed, DurationText(s.total_time).c_str(),
      DurationText(s.open_time).c_str(), s.slowest_frame, slowest.c_str(), second.c_str(),
      s.average_data_rate, s.average_frame_size, s.peak_rate, s.peak_frame, s.total_memory,
      s.input_memory, s.highest_input, style_name.c_str(), screen_width, screen_height,
      screen_bits);
}

std::string StatisticsLine(const MovieHandle* m) {
  const uint32_t len = m->clock.history_len;
  uint32_t d = len - 1;
  const uint32_t shown_before =
      m->reader.current_frame > 0 ? static_cast<uint32_t>(m->reader.current_frame) - 1 : 0;
  if (shown_before < d) d = shown_before;
  if (d == 0) d = 1;
  const uint32_t p = m->clock.history_pos;
  const uint32_t q = p + d < len ? p + d : (p + d - len) % (len ? len : 1);
  auto diff = [&](int ring) { return m->clock.history[ring][p] - m->clock.history[ring][q]; };
  uint32_t elapsed = diff(HISTORY_DONE_TIME);
  if (elapsed == 0) elapsed = 1;
  const uint32_t read = diff(HISTORY_READ_TIME) + diff(HISTORY_IDLE_READ_TIME);
  const InputRecord& in = *m->reader.input;

  // The data rate over the window, from the index entries as stored.
  uint64_t rate = 0;
  const uint32_t current =
      m->reader.current_frame > 0 ? static_cast<uint32_t>(m->reader.current_frame) : 0;
  if (current >= d && current <= m->container.index_entries && m->container.file_rate_den) {
    const uint32_t bytes =
        m->container.frame_index[current] - m->container.frame_index[current - d];
    rate =
        uint64_t{bytes} * m->container.file_rate_num / (uint64_t{d} * m->container.file_rate_den);
  }
  const uint64_t fps = uint64_t{d} * 10000 / elapsed;
  const uint64_t buf = (uint64_t{in.buffered.load()} + 1) * 1000 / (uint64_t{in.target_fill.load()} + 1);
  auto pct = [&](uint32_t figure) { return static_cast<unsigned>(uint64_t{figure} * 100 / elapsed); };
  return Format(
      "Fr: %i, FPS: %u.%01u, Buf: %u%%, Vid: %u%%, Aud: %u%%, Blit: %u%%, Read: %u%%, Back: %u%%, "
      "Rate: %u",
      m->reader.previous_frame, static_cast<unsigned>(fps / 10), static_cast<unsigned>(fps % 10),
      static_cast<unsigned>((buf + 5) / 10), pct(diff(HISTORY_VIDEO_TIME)),
      pct(diff(HISTORY_AUDIO_TIME)), pct(diff(HISTORY_BLIT_TIME)), pct(read),
      pct(diff(HISTORY_BACKGROUND_READ_TIME)), Clamp32(rate));
}

}  // namespace vexil
