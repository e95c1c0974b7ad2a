#include "player/movie_setup.h"

#include "display/display_buffer.h"
#include "engine/background_decode.h"
#include "engine/movie.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/timer.h"
#include "player/picture_size.h"
#include "player/statistics.h"
#include "player/window_placement.h"

namespace vexil {
namespace {

bool Interlaced(uint32_t option) {
  return option == DISPLAY_HEIGHT_INTERLACED || option == DISPLAY_BOTH_INTERLACED ||
         option == DISPLAY_HEIGHT_INTERLACED_NORMAL;
}

// The buffer for the movie; the previous movie's buffer is closed after the
// new one is made (so the display is never given up in between), and the
// making is tried once more when it failed while the old one was open.
DisplayBuffer* OpenBuffer(Player& p, uint32_t width, uint32_t height, uint32_t flags) {
  DisplayBuffer* b = BufferOpen(p.window, width, height, flags, &p.last_error);
  if (p.previous_buffer) {
    BufferClose(p.previous_buffer);
    p.previous_buffer = nullptr;
    if (!b) b = BufferOpen(p.window, width, height, flags, &p.last_error);
  }
  return b;
}

}  // namespace

bool SetUpMovie(Player& p) {
  MovieHandle* movie = p.movie();
  const PlayerSettings& s = p.settings;
  p.window->SetTitle(p.source.title);
  p.copied_movie = nullptr;
  StartBackgroundDecode(movie);

  const PictureSize size =
      SizePicture(s.width_request, s.height_request, movie->width, movie->height,
                  OpenDisplayOption(movie->open_flags), s.screen_width, s.screen_height);
  if (size.display_option) {
    movie->open_flags |= size.display_option << OPEN_DISPLAY_OPTION_SHIFT;
    if (size.display_option != DISPLAY_HEIGHT_DOUBLED) movie->width *= 2;
    if (size.display_option != DISPLAY_WIDTH_DOUBLED) movie->height *= 2;
  }
  p.buffer_flags = (s.buffer_flags & ~SCALE_MASK) | size.scale_bits;
  if (s.black_background || s.show_statistics) p.hold_black_fill = 0;

  // A movie without a picture (sound only) gets no buffer.
  DisplayBuffer* b = nullptr;
  if (movie->width && movie->height) {
    b = OpenBuffer(p, movie->width, movie->height, p.buffer_flags);
    if (!b) {
      p.window->Show(platform::ShowCommand::kHide);
      platform::ShowMessageBox(kErrorCaption, p.last_error.c_str(), platform::MessageIcon::kError);
      p.window->Destroy();
      CloseMovieSource(p.source);
      return false;
    }
    BufferSetScale(b, size.width, size.height);
  } else {
    BufferClose(p.previous_buffer);
    p.previous_buffer = nullptr;
  }
  p.buffer = b;

  PlacementInput in{};
  const platform::Rect outer = p.window->OuterRect();
  const platform::Rect client = p.window->ClientRect();
  if (b) {
    in.window_width = b->window_width;
    in.window_height = b->window_height;
    in.frame_left = b->client_offset_x;
    in.frame_top = b->client_offset_y;
    in.extra_width = b->extra_window_width;
    in.extra_height = b->extra_window_height;
  } else {
    const platform::Point origin = p.window->ClientOrigin();
    in.frame_left = origin.x - outer.left;
    in.frame_top = origin.y - outer.top;
    in.extra_width = outer.Width() - client.Width();
    in.extra_height = outer.Height() - client.Height();
    in.window_width = in.extra_width;
    in.window_height = in.extra_height;
  }
  in.screen_width = s.screen_width;
  in.screen_height = s.screen_height;
  in.x = s.window_x;
  in.y = s.window_y;
  in.black_background = s.black_background;
  in.statistics = s.show_statistics;
  if (s.show_statistics) in.statistics_text = p.window->TextExtent(kStatisticsSample);
  const Placement placed =
      PlaceWindow(in, [b](int32_t* x, int32_t* y) { BufferCheckWindowPosition(b, x, y); });
  p.picture = placed.picture;
  p.statistics_rect = placed.statistics;
  const platform::WindowPosition& w = placed.window;
  p.window->SetPosition(w.x, w.y, w.width, w.height, w.flags);
  p.window->Show(platform::ShowCommand::kShowNormal);
  BufferSetOffset(b, p.picture.x, p.picture.y);

  // Interlaced options leave every other row alone: blacken the picture's
  // area first.
  if (Interlaced(OpenDisplayOption(movie->open_flags))) {
    p.interlace_fill = 1;
    p.hold_black_fill = 0;
    if (b) {
      const platform::Rect area{p.picture.x, p.picture.y, p.picture.x + b->stretch_width,
                                p.picture.y + b->stretch_height};
      p.window->Invalidate(&area);
    }
  } else {
    p.interlace_fill = 0;
  }
  return true;
}

void StartClosingPicture(Player& p) {
  if (p.movie()) {
    p.summary = CaptureSummary(p.movie(), Timer());
    p.summary_captured = true;
  }
  MovieHandle* picture =
      p.closing_movie.empty()
          ? nullptr
          : Open(*p.engine, MovieSource::Memory(p.closing_movie.data(), p.closing_movie.size()),
                 OPEN_MEMORY, {}, &p.last_error);
  CloseMovieSource(p.source);
  p.source.movie = picture;
  p.copied_movie = nullptr;
  p.closing_picture = 1;
  if (!picture) {
    p.closing_deadline = 0;
    return;
  }

  StartBackgroundDecode(picture);
  p.window->FillBlack(p.window->ClientRect());
  p.settings.play_count = -1;
  p.closing_deadline = Timer() + kClosingPictureMs;
  p.settings.show_statistics = false;
  p.user_paused = 0;

  // The area the last picture took, in which this one is centred.
  int32_t area_width = p.buffer ? p.buffer->stretch_width : 0;
  int32_t area_height = p.buffer ? p.buffer->stretch_height : 0;
  if (!p.buffer || picture->width > p.buffer->width || picture->height > p.buffer->height) {
    PlayerSettings& s = p.settings;
    uint32_t flags = p.buffer_flags & ~SCALE_MASK;
    if (s.display_mode.width && (int64_t{picture->width} > s.display_mode.width ||
                                 int64_t{picture->height} > s.display_mode.height)) {
      // The picture does not fit the screen mode /D chose: back to the desktop.
      BufferSetDisplayMode(0, 0, 0);
      flags &= ~BUFFER_FULL_SCREEN;
      BufferClose(p.buffer);
      p.buffer = nullptr;
      s.black_background = false;
      const platform::DesktopMode desktop = platform::Desktop();
      s.screen_width = desktop.width;
      s.screen_height = desktop.height;
    }
    DisplayBuffer* b = BufferOpen(p.window, picture->width, picture->height, flags, &p.last_error);
    if (!b) {
      CloseMovieSource(p.source);
      return;
    }
    BufferClose(p.buffer);
    p.buffer = b;
    p.buffer_flags = flags;
    if (!s.black_background) {
      const platform::Point at =
          CentredWindow(b->window_width, b->window_height, b->client_offset_x, b->client_offset_y,
                        s.screen_width, s.screen_height);
      p.picture = {0, 0};
      p.window->SetPosition(at.x, at.y, b->window_width, b->window_height,
                            platform::POSITION_FRAME_CHANGED | platform::POSITION_NO_Z_ORDER);
      area_width = int32_t(b->width);
      area_height = int32_t(b->height);
    }
  } else {
    BufferClear(p.buffer);
  }
  BufferSetScale(p.buffer, int32_t(p.buffer->width), int32_t(p.buffer->height));
  p.picture.x += (area_width - int32_t(picture->width)) / 2;
  p.picture.y += (area_height - int32_t(picture->height)) / 2;
  BufferSetOffset(p.buffer, p.picture.x, p.picture.y);
}

}  // namespace vexil
