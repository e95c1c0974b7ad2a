#include "player/playback_loop.h"

#include <algorithm>
#include <cstdio>

#include "display/display_buffer.h"
#include "engine/background_decode.h"
#include "engine/copy_frame.h"
#include "engine/frame_clock.h"
#include "engine/movie.h"
#include "platform/dialogs.h"
#include "platform/screensaver.h"
#include "platform/sound_device.h"
#include "platform/time.h"
#include "platform/timer.h"
#include "player/movie_setup.h"
#include "player/screensaver_mode.h"

namespace vexil {
namespace {

enum class LoopEnd { kQuit, kNextMovie };

bool DeadlinePassed(uint32_t deadline) {
  return static_cast<int32_t>(Timer() - deadline) >= 0;
}

// The quit message: everything is closed and, with /S, the summary shown.
void Finish(Player& p) {
  std::string summary;
  if (p.settings.show_summary && p.summary_captured) {
    const DisplayBuffer* b = p.buffer;
    summary = SummaryText(p.summary, BufferStyleName(b), b ? uint32_t(b->screen_width) : 0,
                          b ? uint32_t(b->screen_height) : 0, b ? uint32_t(b->screen_depth) : 0);
  }
  CloseMovieSource(p.source);
  BufferClose(p.buffer);
  p.buffer = nullptr;
  BufferClose(p.previous_buffer);
  p.previous_buffer = nullptr;
  // No frame shown: the summary is dropped.
  if (!summary.empty()) {
    platform::Sleep(10);
    platform::ShowMessageBox(kSummaryCaption, summary, platform::MessageIcon::kInformation);
  }
}

// A movie whose file ends before its last frame (the input failed: damaged or
// cut short) stops where the data stops and the player goes on as after its
// end; one line on standard error says why it ended there, once per file.
void ReportEarlyEnd(Player& p, const MovieHandle* movie) {
  if (!movie || !movie->reader.stopped || !p.reported_early_ends.insert(p.source.file_name).second)
    return;
  std::fprintf(stderr,
               "vexilplay: %s: the movie ended early at frame %u of %u: the file is damaged or "
               "cut short\n",
               p.source.file_name.c_str(), movie->clock.decoded_frame,
               movie->container.frame_count);
  std::fflush(stderr);
}

// Without a sound device the movies play silent; one line says so, once.
void ReportNoSound(Player& p) {
  if (p.reported_no_sound) return;
  const std::string problem = platform::SoundOutputProblem();
  if (problem.empty()) return;
  p.reported_no_sound = true;
  std::fprintf(stderr, "vexilplay: cannot open a sound device (%s): playing without sound\n",
               problem.c_str());
  std::fflush(stderr);
}

// Wait's answer and the end of a movie: returns true when the loop is left
// for the next movie or the list again.
bool Step(Player& p) {
  MovieHandle* movie = p.movie();
  const int wait = Wait(movie);
  if ((wait && p.end_request != kEndMovie) || p.quitting) {
    p.sleep_debt += 1;
    return false;
  }
  // A movie whose input failed ends as if it had reached its end.
  if (p.end_of_movie || p.end_request == kEndMovie || (movie && movie->reader.stopped)) {
    ReportEarlyEnd(p, movie);
    p.end_of_movie = 0;
    p.end_request = kEndNone;
    Pause(movie, 1);
    if (p.names.HasMore()) return true;
    if (p.list_loops != 1) {
      // 0 (or less) plays the list forever.
      if (p.list_loops > 1) --p.list_loops;
      p.names.Restore();
      return true;
    }
    StartClosingPicture(p);
  }
  ProcessOneFrame(p);
  return false;
}

// The timer resolution, and in the full saver run the system's note that a
// saver runs, for as long as the loop runs.
void LoopStarts(const Player& p) {
  platform::TimeBeginPeriod(1);
  if (p.screensaver_mode == kSaverFull) platform::SetScreenSaverRunning(true);
}

void LoopEnds(const Player& p) {
  platform::TimeEndPeriod(1);
  if (p.screensaver_mode == kSaverFull) platform::SetScreenSaverRunning(false);
}

LoopEnd Loop(Player& p) {
  LoopStarts(p);
  for (;;) {
    platform::Message m;
    if (platform::TakeMessage(&m)) {
      if (m.kind == platform::MessageKind::kQuit) {
        LoopEnds(p);
        Finish(p);
        return LoopEnd::kQuit;
      }
      platform::DispatchWindowMessage(m);
    } else if (p.preview_delay) {
      // A preview shows nothing for a moment, without sleeping.
      if (Timer() - p.preview_delay_start >= kPreviewDelayMs) p.preview_delay = false;
      continue;
    } else if (Step(p)) {
      LoopEnds(p);
      return LoopEnd::kNextMovie;
    }
    if (p.user_paused || (!p.has_focus && !p.settings.keep_playing)) p.sleep_debt += 5;
    if (p.sleep_debt > 0) {
      const uint32_t before = Timer();
      platform::Sleep(static_cast<uint32_t>(std::min(p.sleep_debt, kLongestSleep)));
      const uint32_t slept = Timer() - before;
      p.sleep_debt =
          static_cast<int32_t>(std::max<int64_t>(int64_t{p.sleep_debt} - slept, kSleepCredit));
    }
    if (p.closing_picture && !p.quitting &&
        (DeadlinePassed(p.closing_deadline) || !p.movie() || p.end_request == kEndAtOnce)) {
      p.quitting = 1;
      p.window->Destroy();
    }
  }
}

// A failed open: the error box, and the end.
int OpenFailed(Player& p) {
  platform::ShowMessageBox(kErrorCaption, p.last_error.c_str(), platform::MessageIcon::kError);
  p.window->Destroy();
  BufferClose(p.previous_buffer);
  p.previous_buffer = nullptr;
  return 1;
}

}  // namespace

void ProcessOneFrame(Player& p) {
  MovieHandle* movie = p.movie();
  if (!movie || !WaitForBackgroundDecode(movie)) return;
  if (movie->reader.current_frame == static_cast<int32_t>(movie->container.frame_count)) {
    // The count runs down to 1; 0 or less plays forever.
    int32_t& count = p.settings.play_count;
    if (count == 1) {
      count = 0;
      p.end_of_movie = 1;  // stays on its last frame
    } else {
      if (count > 1) --count;
      Advance(movie);
    }
  } else {
    Advance(movie);
  }
  p.hold_black_fill = 0;
  StartBackgroundDecode(movie);
  // A movie that decodes nothing new (the closing picture, any one-frame
  // movie) is due again at once, as its clock counts decoded frames: rather
  // than copy and show the same picture at every round without rest, the
  // loop idles as it does while waiting. Painting shows it again if need be.
  const uint32_t decoded = movie->clock.frames_shown.load();
  if (movie == p.copied_movie && decoded == p.copied_count) {
    p.sleep_debt += 1;
  } else {
    p.copied_movie = movie;
    p.copied_count = decoded;
    DisplayBuffer* b = p.buffer;
    if (BufferLock(b)) {
      CopyToBuffer(p.conversion, movie, b->buffer, b->buffer_pitch, static_cast<int32_t>(b->height),
                   movie->width, movie->height, b->surface_type | p.copy_flags);
      p.copy_flags &= ~COPY_ALL;
      // A late frame whose copy was dropped leaves the picture behind by the
      // blocks it changed, which the next frame's changed blocks need not
      // cover: the next copy is whole.
      if (movie->clock.skip_state == 2) p.copy_flags |= COPY_ALL;
      BufferUnlock(b);
    }
    if (b && ReportRects(movie, b->surface_type))
      BufferBlit(b, movie->video.changed_rect, movie->video.changed_rect_count);
    if (p.settings.show_statistics)
      p.window->DrawTextLine(StatisticsLine(movie), p.statistics_rect, kStatisticsColour,
                             kStatisticsBackground);
  }
  if (p.user_paused) Pause(movie, 1);
}

int PlayMovies(Player& p, std::string name) {
  for (;;) {
    p.source = OpenMovieSource(*p.engine, name, p.settings, p.sources, &p.last_error);
    if (p.source.quit) {
      p.window->Destroy();
      BufferClose(p.previous_buffer);
      p.previous_buffer = nullptr;
      return 1;
    }
    if (!p.source.movie) return OpenFailed(p);
    ReportNoSound(p);
    if (!SetUpMovie(p)) return 1;
    if (Loop(p) == LoopEnd::kQuit) return 0;

    // The next movie (or the list again): this one's buffer stays until the
    // next one has its own, and the window stays where the user put it.
    CloseMovieSource(p.source);
    p.previous_buffer = p.buffer;
    p.buffer = nullptr;
    p.settings.play_count = 1;
    if (!p.settings.black_background) {
      const platform::Rect outer = p.window->OuterRect();
      p.settings.window_x = outer.left;
      p.settings.window_y = outer.top;
    }
    if (!p.names.TakeNext(&name)) {
      // Cannot happen (names remained or the list was restored), but end
      // cleanly rather than open nothing.
      BufferClose(p.previous_buffer);
      p.previous_buffer = nullptr;
      p.window->Destroy();
      return 0;
    }
  }
}

}  // namespace vexil
