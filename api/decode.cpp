// Decoding frames in order and seeking, and the decoded planes.
#include <string>

#include "api/library.h"

using namespace vexil;
using namespace vexil::api;

namespace {

vexil_result ReadFailure(const vexil_movie* movie, uint32_t frame) {
  return Fail(movie, VEXIL_ERROR_READ,
              "Frame " + std::to_string(frame) +
                  " could not be read: the movie is cut short there or its source failed.");
}

// Decodes the fetched packet: its picture, and its audio when `audio`.
vexil_result DecodeFetched(vexil_movie* movie, bool audio) {
  const Packet packet = CurrentPacket(movie->handle);
  if (audio) QueueAudio(movie);
  LibraryEngine* threads = movie->decode_threads ? movie->engine.get() : nullptr;
  if (!DecodePicture(movie->handle, threads)) return ReadFailure(movie, packet.frame);
  movie->frame = packet.frame;
  movie->packet_decoded = true;
  return VEXIL_OK;
}

// The nearest frame at or before `frame` marked as a key frame; frame 1 when
// none is.
uint32_t KeyFrameAtOrBefore(const MovieHandle* handle, uint32_t frame) {
  while (frame > 1 && !IsKeyFrame(handle, frame)) --frame;
  return frame;
}

}  // namespace

extern "C" {

vexil_result vexil_movie_decode_next(vexil_movie* movie) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    MovieHandle* handle = movie->handle;
    const uint32_t next = movie->frame + 1;
    if (movie->packet_decoded) {
      if (movie->frame >= FrameCount(handle)) return VEXIL_END;
      movie->packet_decoded = false;
      if (!FetchNextPacket(handle)) return ReadFailure(movie, next);
    } else if (CurrentPacket(handle).frame != next || InputFailed(handle)) {
      // The open fetched frame 1; anything else is fetched (again) here.
      if (!FetchPacket(handle, next)) return ReadFailure(movie, next);
    }
    return DecodeFetched(movie, true);
  });
}

vexil_result vexil_movie_seek(vexil_movie* movie, uint32_t frame, uint32_t flags) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    MovieHandle* handle = movie->handle;
    if (frame < 1 || frame > FrameCount(handle) || (flags & ~VEXIL_SEEK_EXACT))
      return Fail(movie, VEXIL_ERROR_ARGUMENT,
                  "No frame " + std::to_string(frame) + " to seek to.");
    uint32_t start = 1;
    bool going_on = false;
    if (!(flags & VEXIL_SEEK_EXACT)) {
      start = KeyFrameAtOrBefore(handle, frame);
    } else if (movie->sequential && movie->packet_decoded && movie->frame < frame) {
      start = movie->frame + 1;  // on from here gives what decoding from frame 1 gives
      going_on = true;
    }
    const bool sequential = start == 1 || going_on;
    movie->packet_decoded = false;
    movie->sequential = false;
    PrepareSeek(handle);
    ResetAudio(movie);
    for (uint32_t k = start; k <= frame; ++k) {
      if (!FetchPacket(handle, k)) return ReadFailure(movie, k);
      if (vexil_result r = DecodeFetched(movie, k == frame); r != VEXIL_OK) return r;
    }
    movie->sequential = sequential;
    RestartClock(handle);
    return VEXIL_OK;
  });
}

uint32_t vexil_movie_frame(const vexil_movie* movie) {
  return movie ? movie->frame : 0;
}

void vexil_picture_init(vexil_picture* picture) {
  if (!picture) return;
  *picture = {};
  picture->struct_size = sizeof(*picture);
}

vexil_result vexil_movie_get_picture(const vexil_movie* movie, vexil_picture* picture) {
  if (!movie) return VEXIL_ERROR_ARGUMENT;
  return Guard(movie, [&]() -> vexil_result {
    if (!HasPictures(movie->handle) || movie->frame == 0) return Fail(movie, VEXIL_ERROR_NO_VIDEO);
    vexil_picture filled{};
    filled.struct_size = sizeof(filled);
    FillPicture(movie->handle, &filled);
    filled.frame = movie->frame;
    return WriteVersioned(filled, picture) ? VEXIL_OK : Fail(movie, VEXIL_ERROR_ARGUMENT);
  });
}

}  // extern "C"
