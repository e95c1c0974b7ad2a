// The two reports of how well a movie plays: the statistics line drawn after
// every frame with /Q (figures over the last second of frames) and the
// playback summary shown at the end with /S. Player thread only.
#pragma once

#include <cstdint>
#include <string>

namespace vexil {

struct MovieHandle;

// The figures of the summary, captured from the movie at the end of playback.
struct SummaryRecord {
  uint32_t width;
  uint32_t height;
  uint32_t total_time;  // now - play_start
  uint32_t file_rate_num;
  uint32_t file_rate_den;
  uint32_t rate_num;
  uint32_t rate_den;
  uint32_t open_time;
  uint32_t frame_count;
  uint32_t frames_shown;
  uint32_t skipped_frames;  // never filled: always 0
  uint32_t skipped_blits;
  uint32_t sound_skips;
  uint32_t blit_time;
  uint32_t read_call_time;
  uint32_t video_time;
  uint32_t audio_time;
  uint32_t idle_read_time;
  uint32_t background_read_time;
  uint32_t device_speed;
  uint32_t slowest_time;
  uint32_t second_time;
  uint32_t slowest_frame;
  uint32_t second_frame;
  uint32_t average_data_rate;
  uint32_t average_frame_size;
  uint32_t total_memory;
  uint32_t input_memory;
  uint32_t highest_input;
  uint32_t peak_rate;
  uint32_t peak_frame;  // 1-based
};

// Fills the record anew from the movie; `now` is the engine timer.
SummaryRecord CaptureSummary(const MovieHandle* movie, uint32_t now);

// The summary box text; empty when no frame was played (then nothing is
// shown). The display buffer supplies its style name and screen mode.
std::string SummaryText(const SummaryRecord& summary, const std::string& style_name,
                        uint32_t screen_width, uint32_t screen_height, uint32_t screen_bits);

// "1 second", "1 minute 1 second", "1 hour 2 minutes", "250 milliseconds".
std::string DurationText(uint32_t ms);

// The statistics line for the frame just shown.
std::string StatisticsLine(const MovieHandle* movie);

// The widest line the statistics can take, for sizing its rectangle.
inline constexpr const char kStatisticsSample[] =
    "Fre: 2000, FPS: 100.0, Buf: 100%, Vid: 55%, Aud: 55%, Blit: 55%, Read: 55%, Back: 55%, "
    "Rate: 1000000";

inline constexpr const char kSummaryCaption[] = "Vexil Playback Summary";

}  // namespace vexil
