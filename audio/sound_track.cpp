#include "audio/sound_track.h"

#include <algorithm>

#include "engine/movie.h"

namespace vexil {
namespace {

// The track list for the next open; the player's /T sets it. Player thread only.
int g_track_count = 1;
uint32_t g_track_ids[kMaxTrackList] = {0};

}  // namespace

void SetSoundTrack(int count, const uint32_t* ids) {
  count = std::clamp(count, 0, kMaxTrackList);
  for (int i = 0; i < count; ++i) g_track_ids[i] = ids[i];
  g_track_count = count;
}

int SoundTrackListCount() { return g_track_count; }
const uint32_t* SoundTrackListIds() { return g_track_ids; }

void ResetSoundTrackList() {
  g_track_count = 1;
  g_track_ids[0] = 0;
}

void OpenSoundTracks(MovieHandle* movie) {
  // Map each requested id to the first file track carrying it.
  movie->play_tracks = 0;
  for (int i = 0; i < g_track_count; ++i) {
    for (uint32_t t = 0; t < movie->track_count; ++t) {
      if (movie->track_ids[t] == g_track_ids[i]) {
        movie->track_map[movie->play_tracks++] = t;
        break;
      }
    }
  }
  ResetSoundTrackList();
  // No sound output is installed yet in this build: every mapped track is
  // left out, and the movie plays silent.
  movie->play_tracks = 0;
}

void CloseSoundTracks(MovieHandle* movie) { movie->play_tracks = 0; }

}  // namespace vexil

namespace vexil {

void ServiceSound(MovieHandle* movie) {
  if (!movie || movie->play_tracks == 0) return;
}

void DecodeAudioPacket(MovieHandle*, uint32_t, const uint8_t*, uint32_t) {
  // Only played tracks get here, and no track plays until a sound output is
  // installed (OpenSoundTracks leaves every track out).
}

int SetSoundOnOff(MovieHandle* movie, int) {
  // No track can play until a sound output exists.
  return movie && movie->sound_on ? 1 : 0;
}

}  // namespace vexil
