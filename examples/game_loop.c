/* game_loop MOVIE [SECONDS]
 *
 * A movie inside a game's loop. The game reads the movie into memory (as it
 * would take it out of its own archive) and ticks at its own rate, 60 times
 * a second here; every tick it takes the frame the movie's clock says is due
 * into its texture and goes on with its own work. The movie loops until the
 * game has run for SECONDS (default 3).
 *
 *     cc game_loop.c $(pkg-config --cflags --libs vexil) -o game_loop
 */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <vexil/vexil.h>

#ifdef _WIN32
#include <windows.h>
static void sleep_ms(unsigned ms) {
  Sleep(ms);
}
#else
#include <time.h>
static void sleep_ms(unsigned ms) {
  struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}
#endif

/* The game's texture: 32-bit pixels with alpha, as a renderer would take them. */
typedef struct texture {
  uint32_t width, height;
  uint32_t* pixels;
} texture;

static void* read_file(const char* path, size_t* size) {
  FILE* file = fopen(path, "rb");
  if (!file) return NULL;
  void* data = NULL;
  if (fseek(file, 0, SEEK_END) == 0) {
    const long end = ftell(file);
    if (end >= 0 && fseek(file, 0, SEEK_SET) == 0 && (data = malloc((size_t)end + 1)) != NULL)
      *size = fread(data, 1, (size_t)end, file);
  }
  fclose(file);
  return data;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: game_loop MOVIE [SECONDS]\n");
    return 2;
  }
  const unsigned ticks = 60 * (unsigned)(argc == 3 ? atoi(argv[2]) : 3);
  size_t size = 0;
  void* data = read_file(argv[1], &size);
  if (!data) {
    fprintf(stderr, "game_loop: cannot read %s\n", argv[1]);
    return 1;
  }
  /* The memory stays the game's; it must outlive the movie. */
  vexil_movie* movie;
  vexil_result result = vexil_open_memory(data, size, NULL, &movie);
  if (result != VEXIL_OK) {
    fprintf(stderr, "game_loop: %s: %s\n", argv[1], vexil_result_text(result));
    free(data);
    return 1;
  }
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  texture tex = {info.width, info.height, calloc((size_t)info.width * info.height + 1, 4)};

  unsigned decoded = 0, shown = 0, loops = 0;
  for (unsigned tick = 0; tick < ticks && result == VEXIL_OK; ++tick) {
    /* Every frame that is due by now; only the last one reaches the texture
     * (a few at most, should the game stall). */
    int fresh = 0;
    for (int n = 0; n < 4 && !vexil_movie_wait(movie); ++n) {
      result = vexil_movie_decode_next(movie);
      if (result == VEXIL_END) {
        ++loops;
        result = vexil_movie_seek(movie, 1, VEXIL_SEEK_KEY);
      }
      if (result != VEXIL_OK) break;
      ++decoded;
      fresh = 1;
    }
    if (fresh && result == VEXIL_OK && tex.width && tex.height) {
      vexil_movie_convert(movie, tex.pixels, (int32_t)(tex.width * 4), tex.height, tex.width,
                          tex.height, VEXIL_FORMAT_32A, 0);
      ++shown;
    }
    /* ...the game draws its world with the texture in it... */
    sleep_ms(16);
  }
  if (result != VEXIL_OK) fprintf(stderr, "game_loop: %s\n", vexil_movie_error(movie));
  printf("game_loop: %u ticks, %u frames decoded, %u shown, %u loops of %u frames\n", ticks,
         decoded, shown, loops, (unsigned)info.frame_count);
  vexil_close(movie);
  free(tex.pixels);
  free(data);
  return result == VEXIL_OK && decoded > 0 ? 0 : 1;
}
