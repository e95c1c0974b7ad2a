/* decode_to_y4m MOVIE OUT.y4m
 *
 * Writes every frame of a Vexil movie as YUV4MPEG2: the coded pictures, no
 * colour conversion, byte for byte what `vexil decode MOVIE --y4m OUT.y4m`
 * writes. Uses only the installed library:
 *
 *     cc decode_to_y4m.c $(pkg-config --cflags --libs vexil) -o decode_to_y4m
 */
#include <stdio.h>
#include <string.h>
#include <vexil/vexil.h>

/* A plane's rows; a missing plane (a grayscale movie's chroma) as 128s. */
static void write_plane(FILE* out, const uint8_t* samples, uint32_t pitch, uint32_t width,
                        uint32_t height) {
  static uint8_t gray[16384];
  if (!samples) memset(gray, 128, sizeof(gray));
  for (uint32_t y = 0; y < height; ++y)
    fwrite(samples ? samples + (size_t)y * pitch : gray, 1, width, out);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: decode_to_y4m MOVIE OUT.y4m\n");
    return 2;
  }
  vexil_open_options options;
  vexil_open_options_init(&options);
  options.display_option = VEXIL_DISPLAY_NONE; /* the pictures as coded */
  vexil_movie* movie;
  vexil_result result = vexil_open_file(argv[1], &options, &movie);
  if (result != VEXIL_OK) {
    fprintf(stderr, "decode_to_y4m: %s: %s\n", argv[1], vexil_result_text(result));
    return 1;
  }
  FILE* out = fopen(argv[2], "wb");
  if (!out) {
    fprintf(stderr, "decode_to_y4m: cannot write %s\n", argv[2]);
    vexil_close(movie);
    return 1;
  }
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  fprintf(out, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 C420jpeg\n", (unsigned)info.coded_width,
          (unsigned)info.coded_height, (unsigned)info.file_rate_num, (unsigned)info.file_rate_den);
  while ((result = vexil_movie_decode_next(movie)) == VEXIL_OK) {
    vexil_picture p;
    vexil_picture_init(&p);
    vexil_movie_get_picture(movie, &p);
    fputs("FRAME\n", out);
    write_plane(out, p.y, p.y_pitch, p.width, p.height);
    write_plane(out, p.cb, p.cb_pitch, p.chroma_width, p.chroma_height);
    write_plane(out, p.cr, p.cr_pitch, p.chroma_width, p.chroma_height);
  }
  if (result != VEXIL_END)
    fprintf(stderr, "decode_to_y4m: %s: %s\n", argv[1], vexil_movie_error(movie));
  const int failed = ferror(out);
  const int written = fclose(out) == 0 && !failed;
  if (!written) fprintf(stderr, "decode_to_y4m: cannot write %s\n", argv[2]);
  vexil_close(movie);
  return result == VEXIL_END && written ? 0 : 1;
}
