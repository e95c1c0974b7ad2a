/*
 * libvexil: open, decode, convert and time Vexil movies.
 *
 * A Vexil movie is a container of frame packets; each packet holds the audio
 * of every sound track for that frame, then one compressed picture (planar
 * YUV 4:2:0, optionally with an alpha plane).
 *
 * The tour, in code:
 *
 *     vexil_movie* movie;
 *     if (vexil_open_file("intro.vxl", NULL, &movie) != VEXIL_OK) ...
 *     while (vexil_movie_decode_next(movie) == VEXIL_OK) {
 *       vexil_picture pic;
 *       vexil_picture_init(&pic);
 *       vexil_movie_get_picture(movie, &pic);     // zero-copy planes
 *       ...or vexil_movie_convert(movie, pixels, pitch, rows, width, height,
 *                                 VEXIL_FORMAT_32, 0);
 *     }
 *     vexil_close(movie);
 *
 * Conventions of every function:
 *  - Functions that can fail return a vexil_result: VEXIL_OK (0), a positive
 *    non-error status (VEXIL_END), or a negative VEXIL_ERROR_* code. The text
 *    of a code is vexil_result_text(); a movie's last failure also leaves a
 *    text in vexil_movie_error() (the engine's own message, e.g. "This file
 *    has bad frame size data.").
 *  - Pointers passed in are borrowed for the call only, unless the function
 *    says otherwise. Pointers returned point into memory the library owns;
 *    each says how long it stays valid. Nothing the caller must free is ever
 *    returned except the handles, each with its destroy/close function.
 *  - Threads: any number of movies may be used on any number of threads at
 *    once; one movie handle is used by one thread at a time (calls on the
 *    same handle must not overlap). A vexil_context may be shared by movies
 *    on different threads. Functions that take no handle may be called from
 *    any thread at any time.
 *  - Structs that the caller fills or receives begin with `struct_size`; set
 *    it to sizeof the struct (the *_init functions do), so later versions can
 *    grow them without breaking callers built against this header. A struct
 *    smaller than this version's is filled as far as it reaches; a struct_size
 *    below the first member's end is VEXIL_ERROR_ARGUMENT.
 *  - No function aborts, throws or prints; every movie byte is untrusted.
 */
#ifndef VEXIL_VEXIL_H
#define VEXIL_VEXIL_H

#include <stddef.h>
#include <stdint.h>

#include "vexil/version.h"

/* VEXIL_STATIC: define it when linking the static library on Windows. */
#if defined(_WIN32) && !defined(VEXIL_STATIC)
#if defined(VEXIL_BUILDING_LIBRARY)
#define VEXIL_API __declspec(dllexport)
#else
#define VEXIL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VEXIL_API __attribute__((visibility("default")))
#else
#define VEXIL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Results                                                                  */
/* ------------------------------------------------------------------------ */

typedef int32_t vexil_result;

enum {
  VEXIL_OK = 0,
  VEXIL_END = 1, /* the movie has no more frames to give */

  VEXIL_ERROR_ARGUMENT = -1,        /* a null, zero-sized or out-of-range argument */
  VEXIL_ERROR_OPEN = -2,            /* "Error opening file." */
  VEXIL_ERROR_NOT_VEXIL = -3,       /* "Not a Vexil file." */
  VEXIL_ERROR_NO_FRAMES = -4,       /* "The file doesn't contain any compressed frames yet." */
  VEXIL_ERROR_CORRUPT_HEADER = -5,  /* "The file has a corrupt header." */
  VEXIL_ERROR_READING_HEADER = -6,  /* "Error reading Vexil header." */
  VEXIL_ERROR_BAD_FRAME_SIZES = -7, /* "This file has bad frame size data." */
  VEXIL_ERROR_OUT_OF_MEMORY = -8,   /* "Out of memory." */
  VEXIL_ERROR_READ = -9,        /* a packet could not be read: the source is cut short or failed */
  VEXIL_ERROR_NO_TRACK = -10,   /* no chosen sound track with that id */
  VEXIL_ERROR_THREADS = -11,    /* decode threads could not be started */
  VEXIL_ERROR_NO_VIDEO = -12,   /* the movie was opened without video, or has no picture yet */
  VEXIL_ERROR_UNSUPPORTED = -13 /* a valid request this build or this movie cannot serve */
};

/* The fixed English text of a result code ("" for VEXIL_OK, "Unknown result."
 * for a code not listed). Never null; static storage. Any thread. */
VEXIL_API const char* vexil_result_text(vexil_result result);

/* ------------------------------------------------------------------------ */
/* Version                                                                  */
/* ------------------------------------------------------------------------ */

/* VEXIL_VERSION_NUMBER of the library actually loaded (may be newer than the
 * header's). Any thread. */
VEXIL_API uint32_t vexil_version(void);
/* VEXIL_VERSION_STRING of the library actually loaded, e.g. "1.9.0": static
 * storage. Any thread. */
VEXIL_API const char* vexil_version_string(void);

/* ------------------------------------------------------------------------ */
/* Contexts: decode threads and read-ahead shared by several movies          */
/* ------------------------------------------------------------------------ */

/* A context owns decode threads and a read-ahead thread that the movies
 * opened with it share. Without a context each movie owns its decode threads
 * (see vexil_open_options.decode_threads) and reads on the thread that calls
 * into it. Thread-safe: movies on several threads may use one context at
 * once; each movie's decode waits for its own frame only. */
typedef struct vexil_context vexil_context;

#define VEXIL_THREADS_AUTO 0xFFFFFFFFu

typedef struct vexil_context_options {
  uint32_t struct_size;
  /* Decode threads to start: 0 decodes on the caller's thread, 1 or 2 split
   * each frame over that many threads; VEXIL_THREADS_AUTO picks 2 on a
   * machine with more than one processor, else 1. */
  uint32_t decode_threads;
  /* Non-zero: a service thread reads streaming movies ahead in the
   * background. Zero: movies read on the caller's thread as they play. */
  uint32_t read_ahead_thread;
} vexil_context_options;

/* Fills the defaults: VEXIL_THREADS_AUTO decode threads, a read-ahead thread. */
VEXIL_API void vexil_context_options_init(vexil_context_options* options);
/* Creates a context; *context receives it, or null on failure
 * (VEXIL_ERROR_ARGUMENT, VEXIL_ERROR_THREADS, VEXIL_ERROR_OUT_OF_MEMORY).
 * options may be null (the defaults). Any thread. */
VEXIL_API vexil_result vexil_context_create(const vexil_context_options* options,
                                            vexil_context** context);
/* Frees the context; its threads stop once the movies opened with it are
 * closed too. Null is ignored. Any thread. */
VEXIL_API void vexil_context_destroy(vexil_context* context);

/* ------------------------------------------------------------------------ */
/* Opening movies                                                           */
/* ------------------------------------------------------------------------ */

typedef struct vexil_movie vexil_movie;

/* Reading callbacks, for movies inside archives or other containers. The
 * movie's first byte is offset 0 of the stream. The callbacks are called on
 * the thread that calls into the movie (or the context's read-ahead thread),
 * one call at a time. */
typedef struct vexil_io {
  void* user; /* passed back to every callback */
  /* Reads up to n bytes at the current position into buffer; returns the
   * bytes read (fewer only at the end of the stream, 0 there) or -1 on an
   * error. Short reads before the end are retried. */
  int64_t (*read)(void* user, void* buffer, size_t n);
  /* Moves the current position to offset; returns 0 on success, -1 when the
   * stream cannot seek there. */
  int (*seek)(void* user, uint64_t offset);
  /* Optional (may be null): the stream's size in bytes, or -1 when unknown.
   * Lets vexil_movie_get_info report a cut-short stream before reading it. */
  int64_t (*size)(void* user);
  /* Optional (may be null): called once, when the movie is closed or its open
   * fails, after the last read. */
  void (*close)(void* user);
} vexil_io;

/* Open flags. */
#define VEXIL_OPEN_PRELOAD 0x0001u    /* read the whole movie into memory at open */
#define VEXIL_OPEN_ALPHA 0x0002u      /* keep the alpha plane (when the movie has one) */
#define VEXIL_OPEN_GRAYSCALE 0x0004u  /* ignore chroma: decode and show luma only */
#define VEXIL_OPEN_NO_VIDEO 0x0008u   /* decode no pictures (audio and clock only) */
#define VEXIL_OPEN_NEVER_SKIP 0x0010u /* the clock never drops late frames */

/* Display options: how the pictures are shown (vexil_movie_convert doubles
 * them accordingly; vexil_movie_info.width and height include it). */
#define VEXIL_DISPLAY_FILE 0u             /* whatever the file says (default) */
#define VEXIL_DISPLAY_2X_H 1u             /* height doubled: every row twice */
#define VEXIL_DISPLAY_2X_H_INTERLACED 2u  /* height doubled: row k to row 2k, odd rows untouched */
#define VEXIL_DISPLAY_2X_W 3u             /* width doubled: every pixel twice */
#define VEXIL_DISPLAY_2X_WH 4u            /* both doubled */
#define VEXIL_DISPLAY_2X_WH_INTERLACED 5u /* width doubled, height interlaced */
#define VEXIL_DISPLAY_1X_INTERLACED 6u    /* normal size, only the even rows written */
#define VEXIL_DISPLAY_NONE 7u             /* the coded size, whatever the file says */

typedef struct vexil_open_options {
  uint32_t struct_size;
  uint32_t flags; /* VEXIL_OPEN_* */
  /* Read-ahead buffer for streaming movies in bytes; 0: one second of the
   * movie's busiest data (its peak rate). Ignored for memory movies. A buffer
   * of at least nine tenths of the movie preloads it. At most 0x7FFFFFFF. */
  uint32_t read_buffer_bytes;
  /* VEXIL_DISPLAY_*. */
  uint32_t display_option;
  /* Play at this frame rate instead of the file's; 0/0 keeps the file's. A
   * numerator of 0 with a non-zero denominator plays as fast as possible.
   * Each at most 0x7FFFFFFF. */
  uint32_t rate_num, rate_den;
  /* Sound tracks whose audio vexil_movie_read_audio() delivers, by track id;
   * null (or a count of 0) delivers none. At most 16 ids. An id that names no
   * track of the file, or one coded with no codec this library knows, is left
   * out: vexil_movie_read_audio answers VEXIL_ERROR_NO_TRACK for it. */
  const uint32_t* track_ids;
  uint32_t track_id_count;
  /* Decode threads and read-ahead shared with other movies; null: the movie
   * owns `decode_threads` threads of its own (0 = decode on the caller's
   * thread, 1 or 2, or VEXIL_THREADS_AUTO) and reads on the caller's thread. */
  vexil_context* context;
  uint32_t decode_threads;
  /* For vexil_open_file: the movie starts at this byte of the file (a movie
   * inside another file). */
  uint64_t file_offset;
} vexil_open_options;

/* Fills the defaults: no flags, the peak-rate read buffer, the file's rate
 * and display option, no sound tracks, no context, 0 decode threads, offset 0. */
VEXIL_API void vexil_open_options_init(vexil_open_options* options);

/* Each open reads and checks the header, the track tables and the frame
 * index, and reads frame 1's packet (decoding starts at frame 1). *movie is
 * set to a new handle on success (close it with vexil_close) and to null on
 * failure: VEXIL_ERROR_ARGUMENT, VEXIL_ERROR_OPEN, VEXIL_ERROR_NOT_VEXIL,
 * VEXIL_ERROR_NO_FRAMES, VEXIL_ERROR_CORRUPT_HEADER,
 * VEXIL_ERROR_READING_HEADER, VEXIL_ERROR_BAD_FRAME_SIZES,
 * VEXIL_ERROR_OUT_OF_MEMORY or VEXIL_ERROR_THREADS (the engine's texts are
 * those of vexil_result_text). options may be null (the defaults). Any
 * thread; the new handle may then be used on any one thread at a time. */
VEXIL_API vexil_result vexil_open_file(const char* path, const vexil_open_options* options,
                                       vexil_movie** movie);
/* The movie is the `size` bytes at `data`. The memory is borrowed: it must
 * stay valid and unchanged until vexil_close. A block that ends before the
 * last packet does is refused (VEXIL_ERROR_BAD_FRAME_SIZES). */
VEXIL_API vexil_result vexil_open_memory(const void* data, size_t size,
                                         const vexil_open_options* options, vexil_movie** movie);
/* The movie is read through the callbacks. *io is copied; io->user must stay
 * valid until io->close is called (when the open fails, before it returns). */
VEXIL_API vexil_result vexil_open_io(const vexil_io* io, const vexil_open_options* options,
                                     vexil_movie** movie);

/* Closes the movie, waiting for its decode threads to finish its frame, and
 * frees everything it owns. Null is ignored. The handle's thread only. */
VEXIL_API void vexil_close(vexil_movie* movie);

/* The text of the failure of the last call on the movie that returns a
 * result ("" when that call succeeded): the engine's message or what was
 * wrong. Never null. Valid until the next call on the movie. */
VEXIL_API const char* vexil_movie_error(const vexil_movie* movie);

/* ------------------------------------------------------------------------ */
/* Movie information                                                        */
/* ------------------------------------------------------------------------ */

#define VEXIL_MOVIE_ALPHA 0x1u     /* the movie has an alpha plane */
#define VEXIL_MOVIE_GRAYSCALE 0x2u /* the movie has no chroma */
#define VEXIL_MOVIE_TRUNCATED 0x4u /* the source ends before the last packet does */

typedef struct vexil_movie_info {
  uint32_t struct_size;
  uint32_t width, height;             /* as shown: the coded size with the display option applied */
  uint32_t coded_width, coded_height; /* the pictures' size */
  uint32_t frame_count;
  uint32_t rate_num, rate_den; /* the rate in effect (0/n: as fast as possible) */
  uint32_t file_rate_num, file_rate_den;
  uint32_t revision;       /* 'f', 'g', 'h' or 'i' */
  uint32_t flags;          /* VEXIL_MOVIE_* */
  uint32_t display_option; /* in effect, 0 (none) to 6 */
  uint32_t track_count;
  uint32_t key_frame_count;     /* frames marked as key frames (all: frame_count) */
  uint32_t largest_packet;      /* bytes, as the header gives it */
  uint32_t peak_rate;           /* bytes in the busiest second */
  uint32_t peak_frame;          /* 1-based frame where that second starts */
  uint64_t movie_bytes;         /* as the header gives it */
  uint64_t bytes_present;       /* of those, what the source holds (movie_bytes when
                                   a stream's size is unknown) */
  uint32_t complete_frames;     /* leading frames whose packets are wholly present */
  uint32_t index_entries;       /* entries in the frame index (at least frame_count + 1) */
  uint32_t header_flags;        /* the header's raw flags word */
  uint32_t file_display_option; /* the header's display option, 0 to 7 */
} vexil_movie_info;

/* Fills *info (set info->struct_size first; vexil_movie_info_init does). Any
 * time after open. VEXIL_ERROR_ARGUMENT for a null argument. */
VEXIL_API void vexil_movie_info_init(vexil_movie_info* info);
VEXIL_API vexil_result vexil_movie_get_info(const vexil_movie* movie, vexil_movie_info* info);

#define VEXIL_CODEC_NONE 0u /* a track this library cannot decode */
#define VEXIL_CODEC_DCT 1u
#define VEXIL_CODEC_RDFT 2u

typedef struct vexil_track_info {
  uint32_t struct_size;
  uint32_t id;
  uint32_t rate;         /* samples per second */
  uint32_t channels;     /* 1 or 2 */
  uint32_t bits;         /* 8 or 16, as stored; decoded audio is always 16-bit */
  uint32_t codec;        /* VEXIL_CODEC_* */
  uint32_t largest_part; /* bytes of decoded audio in the largest packet part */
  uint32_t format_word;  /* the track table's raw format word */
} vexil_track_info;

VEXIL_API void vexil_track_info_init(vexil_track_info* info);
/* Track `index` (0 to track_count - 1, in the file's order);
 * VEXIL_ERROR_ARGUMENT for an index out of range. */
VEXIL_API vexil_result vexil_movie_get_track(const vexil_movie* movie, uint32_t index,
                                             vexil_track_info* info);

/* 1 when frame (1-based) is marked as a key frame, 0 when not or out of range. */
VEXIL_API int vexil_movie_is_key_frame(const vexil_movie* movie, uint32_t frame);

/* ------------------------------------------------------------------------ */
/* Decoding                                                                 */
/* ------------------------------------------------------------------------ */

/* Decodes the next frame: frame 1 after the open, else the frame after the
 * one last decoded (a seek decodes its frame; decoding goes on after it).
 * Its audio parts of the tracks chosen at open are decoded and queued for
 * vexil_movie_read_audio. VEXIL_END after
 * the last frame (nothing decoded; seek to go on); VEXIL_ERROR_READ when its
 * packet could not be read (the source is cut short or failed: the pictures
 * and audio before it stay valid, and no later frame decodes until a seek). */
VEXIL_API vexil_result vexil_movie_decode_next(vexil_movie* movie);

#define VEXIL_SEEK_KEY 0x0u   /* decode from the nearest key frame at or before */
#define VEXIL_SEEK_EXACT 0x1u /* the picture equals sequential decoding from frame 1 */

/* Decodes frame `frame` (1-based): from the nearest key frame at or before
 * it (VEXIL_SEEK_KEY), or so that the picture equals sequential decoding
 * (VEXIL_SEEK_EXACT: from frame 1, or on from the frame last decoded when
 * that was reached sequentially). The audio queue is emptied and the audio
 * decoders start afresh; the target frame's audio is queued, that of the
 * frames passed on the way is not. A frame whose key frame keeps blocks of
 * the frame before it shows what the buffers held, as a player that jumps
 * there would. The clock restarts. VEXIL_ERROR_ARGUMENT for a frame out of
 * range, VEXIL_ERROR_READ as vexil_movie_decode_next. */
VEXIL_API vexil_result vexil_movie_seek(vexil_movie* movie, uint32_t frame, uint32_t flags);

/* The 1-based number of the frame last decoded, 0 before the first. */
VEXIL_API uint32_t vexil_movie_frame(const vexil_movie* movie);

/* The decoded planes of the frame last decoded. Planes are in the coded
 * size (no display option); pitches are positive. Cb and Cr are null for a
 * grayscale movie or one opened with VEXIL_OPEN_GRAYSCALE (treat them as
 * 128); alpha is null unless the movie has an alpha plane and was opened
 * with VEXIL_OPEN_ALPHA. */
typedef struct vexil_picture {
  uint32_t struct_size;
  uint32_t frame;                       /* 1-based */
  uint32_t width, height;               /* luma and alpha */
  uint32_t chroma_width, chroma_height; /* (width + 1) / 2, (height + 1) / 2 */
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
  const uint8_t* alpha;
  uint32_t y_pitch, cb_pitch, cr_pitch, alpha_pitch;
  uint32_t changed_percent; /* percentage of the picture's blocks that changed since the
                               frame before */
} vexil_picture;

VEXIL_API void vexil_picture_init(vexil_picture* picture);
/* Zero-copy access: the pointers stay valid until the next decode_next, seek
 * or close on the movie. VEXIL_ERROR_NO_VIDEO before the first decode or
 * when opened with VEXIL_OPEN_NO_VIDEO. */
VEXIL_API vexil_result vexil_movie_get_picture(const vexil_movie* movie, vexil_picture* picture);

/* ------------------------------------------------------------------------ */
/* Conversion into pixel formats                                            */
/* ------------------------------------------------------------------------ */

/* Destination formats. */
#define VEXIL_FORMAT_8 0u     /* palette index: red 3 bits at 0, green 3 at 3, blue 2 at 6 */
#define VEXIL_FORMAT_24 1u    /* bytes blue, green, red */
#define VEXIL_FORMAT_24R 2u   /* bytes red, green, blue */
#define VEXIL_FORMAT_32 3u    /* 32-bit words: red at 16, green at 8, blue at 0 */
#define VEXIL_FORMAT_32R 4u   /* red at 0, green at 8, blue at 16 */
#define VEXIL_FORMAT_32A 5u   /* as 32 with alpha in bits 24-31 */
#define VEXIL_FORMAT_32RA 6u  /* as 32R with alpha in bits 24-31 */
#define VEXIL_FORMAT_4444 7u  /* 16-bit: alpha 4 at 12, red 4 at 8, green 4 at 4, blue 4 at 0 */
#define VEXIL_FORMAT_1555 8u  /* alpha 1 at 15, red 5 at 10, green 5 at 5, blue 5 at 0 */
#define VEXIL_FORMAT_555 9u   /* red 5 at 10, green 5 at 5, blue 5 at 0 */
#define VEXIL_FORMAT_565 10u  /* red 5 at 11, green 6 at 5, blue 5 at 0 */
#define VEXIL_FORMAT_655 11u  /* red 6 at 10, green 5 at 5, blue 5 at 0 */
#define VEXIL_FORMAT_664 12u  /* red 6 at 10, green 6 at 4, blue 4 at 0 */
#define VEXIL_FORMAT_YUY2 13u /* packed 4:2:2: Y0 U Y1 V */
#define VEXIL_FORMAT_UYVY 14u /* packed 4:2:2: U Y0 V Y1 */
#define VEXIL_FORMAT_YV12 15u /* planar: luma, then V, then U at half pitch */
#define VEXIL_FORMAT_COUNT 16u

/* Conversion flags. */
#define VEXIL_CONVERT_CHANGED_ONLY                                                        \
  0x00000001u                                 /* rewrite only the areas that changed (the \
                                                 destination holds the previous frame) */
#define VEXIL_CONVERT_SHOW_ALPHA 0x00000800u  /* show the alpha plane as the picture */
#define VEXIL_CONVERT_SWAP_CHROMA 0x00010000u /* exchange the two chroma planes */
#define VEXIL_CONVERT_GRAYSCALE 0x00020000u   /* read chroma as 128 */

/* Bytes per pixel of a format (YV12: of its luma plane). 0 for an unknown
 * format. Any thread. */
VEXIL_API uint32_t vexil_format_bytes(uint32_t format);

/* Converts the frame last decoded into `destination`: `rows` rows of `pitch`
 * bytes (negative pitch: a bottom-up buffer whose first row in memory is the
 * picture's last). width x height (in shown units, at most the movie's shown
 * size; vexil_movie_info.width and height) is the region converted from the
 * top-left; |pitch| must hold width pixels. The movie's display option
 * doubles or interlaces as it says (rows an interlaced option leaves alone
 * keep what they held). A YV12 destination holds the luma plane (rows rows),
 * then V and U planes of rows / 2 rows at pitch / 2. The whole region is
 * written unless VEXIL_CONVERT_CHANGED_ONLY. The movie keeps its own
 * conversion state (tables, dither, chosen kernels): conversions of
 * different movies may run at once on different threads. VEXIL_ERROR_NO_VIDEO
 * before the first decode or when opened with VEXIL_OPEN_NO_VIDEO;
 * VEXIL_ERROR_ARGUMENT for a null destination, an unknown format or flag, a
 * pitch too small or a region larger than the shown size. */
VEXIL_API vexil_result vexil_movie_convert(vexil_movie* movie, void* destination, int32_t pitch,
                                           uint32_t rows, uint32_t width, uint32_t height,
                                           uint32_t format, uint32_t flags);

/* ------------------------------------------------------------------------ */
/* Audio                                                                    */
/* ------------------------------------------------------------------------ */

/* Takes up to max_frames sample frames of track `track_id` (one of the ids
 * given at open) from the queue that decoding fills: interleaved signed
 * 16-bit samples in host order, at the track's rate and channel count. The
 * queue holds everything decoded and not yet taken. Returns the sample
 * frames written (0 when the queue is empty or max_frames is 0), or a
 * negative VEXIL_ERROR_* code (VEXIL_ERROR_NO_TRACK for an id not chosen, or
 * left out, at open). */
VEXIL_API int64_t vexil_movie_read_audio(vexil_movie* movie, uint32_t track_id, int16_t* samples,
                                         size_t max_frames);
/* Sample frames queued for the track; 0 for an id not chosen at open. */
VEXIL_API uint64_t vexil_movie_audio_queued(const vexil_movie* movie, uint32_t track_id);

/* ------------------------------------------------------------------------ */
/* The movie clock                                                          */
/* ------------------------------------------------------------------------ */

/* For playing on the movie's own timing, as the player does. The clock
 * starts when the first frame is decoded. A loop:
 *
 *     while (playing) {
 *       if (vexil_movie_wait(movie)) { sleep(1 ms); continue; }
 *       if (vexil_movie_decode_next(movie) != VEXIL_OK) break;   // or seek to 1 to loop
 *       if (!vexil_movie_late(movie)) show(movie);
 *     }
 *
 * The library plays no sound itself: a movie's clock runs on its own timer,
 * and a movie that falls more than two frame periods behind has its clock
 * moved on (the frame is shown) rather than frames dropped. */
/* 1 while the next frame is not due yet (idle a little and ask again); 0 when
 * it is due, and always before the first frame. The idle time reads the
 * movie ahead when it has no read-ahead thread. */
VEXIL_API int vexil_movie_wait(vexil_movie* movie);
/* 1 when showing the frame last decoded should be skipped to catch up, 0 to
 * show it. Counted once per frame; the same answer when asked again. */
VEXIL_API int vexil_movie_late(vexil_movie* movie);
/* Pauses (1) or resumes (0) the clock; returns the paused state. Resuming
 * continues where the clock stopped. */
VEXIL_API int vexil_movie_pause(vexil_movie* movie, int paused);
/* Milliseconds of movie time from the clock's origin to the frame last
 * decoded: the next frame is due when the clock's real time passes it. 0
 * while the clock is not running; it restarts from 0 after a seek or when a
 * movie fallen behind moves its clock on. */
VEXIL_API uint32_t vexil_movie_clock_ms(const vexil_movie* movie);

/* ------------------------------------------------------------------------ */
/* Codec layer: decoders without a container (for demuxers of their own)    */
/* ------------------------------------------------------------------------ */

/* Where the parts of a frame packet lie: one audio part per track of the
 * file (each a 32-bit length, then that many bytes), in the track table's
 * order, then the video data. Any bytes are safe: a part that runs past the
 * packet is cut at its end. Any thread. */
/* Track `track`'s (0-based) audio part: *offset and *part_size within the
 * packet (the part starts with its 32-bit count of decoded bytes).
 * VEXIL_END when the packet holds no part for it (it ends before). */
VEXIL_API vexil_result vexil_packet_audio_part(const void* packet, size_t size,
                                               uint32_t track_count, uint32_t track, size_t* offset,
                                               size_t* part_size);
/* The video data after the audio parts: *offset and *video_size within the
 * packet. VEXIL_END when the audio parts leave no video data. */
VEXIL_API vexil_result vexil_packet_video(const void* packet, size_t size, uint32_t track_count,
                                          size_t* offset, size_t* video_size);

/* Reads the raw packet of frame `frame` (1-based) of an open movie: up to
 * `capacity` bytes into buffer; *size receives the packet's full size (call
 * with capacity 0 and a null buffer to learn it). *key (may be null) is set
 * to 1 for a key frame, else 0. Does not change what the movie decodes next.
 * VEXIL_ERROR_READ when the packet is not wholly present in the source. */
VEXIL_API vexil_result vexil_movie_read_packet(vexil_movie* movie, uint32_t frame, void* buffer,
                                               size_t capacity, size_t* size, int* key);

typedef struct vexil_audio_decoder vexil_audio_decoder;

/* An audio decoder for one track: rate and channels as in vexil_track_info,
 * codec VEXIL_CODEC_DCT or VEXIL_CODEC_RDFT. *decoder receives it (null on
 * failure). A decoder is used by one thread at a time. */
VEXIL_API vexil_result vexil_audio_decoder_create(uint32_t rate, uint32_t channels, uint32_t codec,
                                                  vexil_audio_decoder** decoder);
/* The sample frames a part announces (its count field), 0 when too short. */
VEXIL_API uint64_t vexil_audio_part_frames(const void* part, size_t size, uint32_t channels);
/* Decodes one packet's part of the track (as vexil_packet_audio_part finds
 * it) into `samples` (room for max_frames sample frames, interleaved 16-bit
 * host order); *frames receives the sample frames written. A part never
 * yields more than vexil_audio_part_frames says; what does not fit into
 * max_frames is dropped. Damaged data gives wrong sound, never an error. */
VEXIL_API vexil_result vexil_audio_decoder_decode(vexil_audio_decoder* decoder, const void* part,
                                                  size_t size, int16_t* samples, size_t max_frames,
                                                  size_t* frames);
/* Forgets the overlap with the previous block (after a seek). */
VEXIL_API void vexil_audio_decoder_reset(vexil_audio_decoder* decoder);
/* Null is ignored. */
VEXIL_API void vexil_audio_decoder_destroy(vexil_audio_decoder* decoder);

typedef struct vexil_video_decoder vexil_video_decoder;

typedef struct vexil_video_params {
  uint32_t struct_size;
  uint32_t width, height; /* coded size, 0 to 32767 */
  uint32_t revision;      /* 'f', 'g', 'h' or 'i' */
  uint32_t flags;         /* VEXIL_MOVIE_ALPHA, VEXIL_MOVIE_GRAYSCALE as in the header */
  uint32_t decode_alpha;  /* non-zero: decode the alpha plane too */
  uint32_t single_frame;  /* non-zero: one picture buffer (a one-frame movie) */
  /* Threads that share each picture's decode: 0 or 1, the calling thread
   * alone; 2, a decode thread the decoder owns decodes the luma plane while
   * the calling thread decodes alpha and chroma (revision 'i' pictures; older
   * ones are decoded whole on the calling thread); VEXIL_THREADS_AUTO, 2 on a
   * machine with more than one processor, else 1. The pictures are the same
   * either way; changed_percent may differ by the order the parts mark the
   * changed areas, as in a movie's threaded decode. */
  uint32_t decode_threads;
} vexil_video_params;

/* Fills the defaults: 0 x 0, revision 'i', no flags, 0 decode threads. */
VEXIL_API void vexil_video_params_init(vexil_video_params* params);
/* A picture decoder; *decoder receives it (null on failure;
 * VEXIL_ERROR_THREADS when its decode thread could not be started). Its
 * functions are called by one thread at a time; the decode returns when the
 * whole picture is done. The planes start at 0, as a movie's do. */
VEXIL_API vexil_result vexil_video_decoder_create(const vexil_video_params* params,
                                                  vexil_video_decoder** decoder);
/* Decodes the video data of one packet (vexil_packet_video) over the
 * previous picture. Damaged data gives a damaged picture, never an error. */
VEXIL_API vexil_result vexil_video_decoder_decode(vexil_video_decoder* decoder, const void* video,
                                                  size_t size);
/* The picture last decoded (frame counts the decodes); valid until the next
 * decode or destroy. VEXIL_ERROR_NO_VIDEO before the first decode. */
VEXIL_API vexil_result vexil_video_decoder_get_picture(const vexil_video_decoder* decoder,
                                                       vexil_picture* picture);
/* Null is ignored. */
VEXIL_API void vexil_video_decoder_destroy(vexil_video_decoder* decoder);

#ifdef __cplusplus
}
#endif

#endif /* VEXIL_VEXIL_H */
