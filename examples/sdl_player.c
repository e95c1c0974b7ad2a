/* sdl_player MOVIE [TRACK_ID]
 *
 * A minimal movie player: the pictures in a window, the sound of one track
 * (id 0 unless given) through SDL, both on the movie's own clock. Space
 * pauses and resumes, Escape (or closing the window) ends; the player ends
 * by itself after the last frame once the sound has played.
 *
 *     cc sdl_player.c $(pkg-config --cflags --libs vexil sdl2) -o sdl_player
 */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <vexil/vexil.h>

typedef struct player {
  vexil_movie* movie;
  vexil_movie_info info;
  uint32_t track_id;
  int has_sound;
  SDL_AudioDeviceID audio;
  uint32_t channels;
  SDL_Window* window;
  SDL_Renderer* renderer;
  SDL_Texture* texture;
  int paused;
} player;

static int fail(const char* what, const char* why) {
  fprintf(stderr, "sdl_player: %s: %s\n", what, why);
  return 1;
}

/* Opens the movie with the chosen track, and SDL's sound at its format. */
static int open_movie(player* p, const char* path) {
  vexil_open_options options;
  vexil_open_options_init(&options);
  options.track_ids = &p->track_id;
  options.track_id_count = 1;
  options.decode_threads = VEXIL_THREADS_AUTO;
  vexil_result result = vexil_open_file(path, &options, &p->movie);
  if (result != VEXIL_OK) return fail(path, vexil_result_text(result));
  vexil_movie_info_init(&p->info);
  vexil_movie_get_info(p->movie, &p->info);
  /* The chosen track, when the movie has it and this library can decode it. */
  for (uint32_t t = 0; t < p->info.track_count; ++t) {
    vexil_track_info track;
    vexil_track_info_init(&track);
    vexil_movie_get_track(p->movie, t, &track);
    if (track.id != p->track_id || track.codec == VEXIL_CODEC_NONE) continue;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = (int)track.rate;
    want.format = AUDIO_S16SYS;
    want.channels = (Uint8)track.channels;
    want.samples = 2048;
    p->audio = SDL_OpenAudioDevice(NULL, 0, &want, &have, 0);
    if (!p->audio) return fail("sound", SDL_GetError());
    p->channels = track.channels;
    p->has_sound = 1;
    break;
  }
  return 0;
}

static int open_window(player* p, const char* title) {
  const int w = p->info.width ? (int)p->info.width : 1,
            h = p->info.height ? (int)p->info.height : 1;
  p->window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h, 0);
  if (!p->window) return fail("window", SDL_GetError());
  p->renderer = SDL_CreateRenderer(p->window, -1, 0);
  if (!p->renderer) p->renderer = SDL_CreateRenderer(p->window, -1, SDL_RENDERER_SOFTWARE);
  if (!p->renderer) return fail("renderer", SDL_GetError());
  /* VEXIL_FORMAT_32 is 32-bit words with red at 16, green at 8, blue at 0. */
  p->texture =
      SDL_CreateTexture(p->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
  if (!p->texture) return fail("texture", SDL_GetError());
  return 0;
}

/* Moves the decoded sound into SDL's queue. */
static void feed_sound(player* p) {
  int16_t samples[4096];
  const size_t frames = sizeof(samples) / sizeof(samples[0]) / 2;
  int64_t n;
  if (!p->has_sound) return;
  while ((n = vexil_movie_read_audio(p->movie, p->track_id, samples, frames)) > 0)
    SDL_QueueAudio(p->audio, samples, (Uint32)(n * p->channels * sizeof(int16_t)));
}

static void show(player* p) {
  void* pixels;
  int pitch;
  if (p->info.width && p->info.height && SDL_LockTexture(p->texture, NULL, &pixels, &pitch) == 0) {
    vexil_movie_convert(p->movie, pixels, pitch, p->info.height, p->info.width, p->info.height,
                        VEXIL_FORMAT_32, 0);
    SDL_UnlockTexture(p->texture);
  }
  SDL_RenderClear(p->renderer);
  SDL_RenderCopy(p->renderer, p->texture, NULL, NULL);
  SDL_RenderPresent(p->renderer);
}

/* Handles the window's events; 0 when the player should end. */
static int handle_events(player* p) {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) return 0;
    if (event.type != SDL_KEYDOWN) continue;
    if (event.key.keysym.sym == SDLK_ESCAPE) return 0;
    if (event.key.keysym.sym == SDLK_SPACE) {
      p->paused = vexil_movie_pause(p->movie, !p->paused);
      if (p->has_sound) SDL_PauseAudioDevice(p->audio, p->paused);
    }
  }
  return 1;
}

static int play(player* p) {
  int started = 0;
  for (;;) {
    if (!handle_events(p)) return 0;
    if (p->paused || vexil_movie_wait(p->movie)) {
      SDL_Delay(1);
      continue;
    }
    const vexil_result result = vexil_movie_decode_next(p->movie);
    if (result == VEXIL_END) break;
    if (result != VEXIL_OK) return fail("movie", vexil_movie_error(p->movie));
    feed_sound(p);
    if (!started && p->has_sound) SDL_PauseAudioDevice(p->audio, 0);
    started = 1;
    if (!vexil_movie_late(p->movie)) show(p);
  }
  /* The last frame stays up while the sound plays out. */
  while (p->has_sound && SDL_GetQueuedAudioSize(p->audio) > 0) {
    if (!handle_events(p)) return 0;
    SDL_Delay(10);
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: sdl_player MOVIE [TRACK_ID]\n");
    return 2;
  }
  player p;
  SDL_zero(p);
  p.track_id = argc == 3 ? (uint32_t)strtoul(argv[2], NULL, 10) : 0;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) return fail("SDL", SDL_GetError());
  int status = open_movie(&p, argv[1]);
  if (status == 0) status = open_window(&p, argv[1]);
  if (status == 0) status = play(&p);
  if (p.texture) SDL_DestroyTexture(p.texture);
  if (p.renderer) SDL_DestroyRenderer(p.renderer);
  if (p.window) SDL_DestroyWindow(p.window);
  if (p.audio) SDL_CloseAudioDevice(p.audio);
  vexil_close(p.movie);
  SDL_Quit();
  return status;
}
