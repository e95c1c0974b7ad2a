/* Movies on several threads at once: each gives the same bytes as when
 * decoded and converted alone; handles close while others decode. */
#include <stdlib.h>
#include <string.h>

#include "api_movies.h"

/* One movie's work: open, decode every frame, convert each into `format`,
 * take its sound; everything it made in `out`. */
typedef struct job {
  const char* path;
  int from_memory;
  uint32_t format;
  uint32_t decode_threads;
  vexil_context* context;
  api_bytes out;
} job;

static void run_job(void* argument) {
  job* j = (job*)argument;
  const uint32_t id = 0;
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.flags = VEXIL_OPEN_ALPHA;
  o.track_ids = &id;
  o.track_id_count = 1;
  o.decode_threads = j->decode_threads;
  o.context = j->context;
  vexil_movie* movie = NULL;
  api_bytes memory = {0};
  if (j->from_memory) {
    memory = api_read_file(j->path);
    CHECK_RESULT(vexil_open_memory(memory.data, memory.size, &o, &movie), VEXIL_OK, NULL);
  } else {
    CHECK_RESULT(vexil_open_file(j->path, &o, &movie), VEXIL_OK, NULL);
  }
  if (!movie) return;
  vexil_movie_info info;
  vexil_movie_info_init(&info);
  vexil_movie_get_info(movie, &info);
  const int32_t pitch = (int32_t)(info.width * vexil_format_bytes(j->format) + 7) & ~7;
  const uint32_t rows = (info.height + 1) & ~1u;
  const size_t size = (size_t)pitch * rows * 2;
  uint8_t* pixels = (uint8_t*)calloc(size + 1, 1);
  int16_t sound[4096];
  while (vexil_movie_decode_next(movie) == VEXIL_OK) {
    CHECK_RESULT(
        vexil_movie_convert(movie, pixels, pitch, rows, info.width, info.height, j->format, 0),
        VEXIL_OK, movie);
    api_bytes_append(&j->out, pixels, size);
    int64_t n;
    while ((n = vexil_movie_read_audio(movie, id, sound, 1024)) > 0)
      api_bytes_append(&j->out, sound, (size_t)n * 4);
  }
  CHECK_EQ(vexil_movie_frame(movie), info.frame_count);
  free(pixels);
  vexil_close(movie);
  api_bytes_free(&memory);
}

/* Runs each job alone, then all at once (three rounds), and compares. */
static void check_together(job* jobs, int count) {
  api_bytes alone[4];
  for (int i = 0; i < count; ++i) {
    run_job(&jobs[i]);
    alone[i] = jobs[i].out;
    memset(&jobs[i].out, 0, sizeof(jobs[i].out));
    CHECK(alone[i].size > 0);
  }
  void* arguments[4];
  for (int i = 0; i < count; ++i) arguments[i] = &jobs[i];
  for (int round = 0; round < 3; ++round) {
    api_run_threads(run_job, arguments, count);
    for (int i = 0; i < count; ++i) {
      api_context("round %d, %s into format %u", round, jobs[i].path, (unsigned)jobs[i].format);
      CHECK(api_bytes_equal(&jobs[i].out, &alone[i]));
      api_bytes_free(&jobs[i].out);
    }
  }
  for (int i = 0; i < count; ++i) api_bytes_free(&alone[i]);
}

/* The dithered formats carry state from row to row and frame to frame:
 * movies converted at once must not share it. */
void test_Threads_TwoMoviesAtOnceGiveWhatEachGivesAlone(void) {
  job jobs[2] = {{api_encoder_movie(), 0, VEXIL_FORMAT_565, 0, NULL, {0}},
                 {api_video_vector(13), 1, VEXIL_FORMAT_8, 0, NULL, {0}}};
  check_together(jobs, 2);
}

void test_Threads_TwoMoviesOnDecodeThreads(void) {
  job jobs[3] = {{api_encoder_movie(), 1, VEXIL_FORMAT_YV12, 2, NULL, {0}},
                 {api_video_vector(31), 0, VEXIL_FORMAT_4444, 1, NULL, {0}},
                 {api_video_vector(4), 0, VEXIL_FORMAT_32A, 0, NULL, {0}}};
  check_together(jobs, 3);
}

void test_Threads_MoviesSharingAContext(void) {
  vexil_context_options co;
  vexil_context_options_init(&co);
  vexil_context* context = NULL;
  CHECK_RESULT(vexil_context_create(&co, &context), VEXIL_OK, NULL);
  job jobs[2] = {{api_encoder_movie(), 0, VEXIL_FORMAT_UYVY, 0, context, {0}},
                 {api_video_vector(28), 0, VEXIL_FORMAT_1555, 0, context, {0}}};
  check_together(jobs, 2);
  /* A movie outlives its context: the threads stay until it closes. */
  vexil_open_options o;
  vexil_open_options_init(&o);
  o.context = context;
  vexil_movie* movie = NULL;
  CHECK_RESULT(vexil_open_file(api_encoder_movie(), &o, &movie), VEXIL_OK, NULL);
  vexil_context_destroy(context);
  api_bytes y4m = {0};
  CHECK_RESULT(decode_y4m(movie, &y4m, NULL), VEXIL_END, movie);
  CHECK_EQ(vexil_movie_frame(movie), 50);
  api_bytes_free(&y4m);
  vexil_close(movie);
  co.decode_threads = 3;
  CHECK_RESULT(vexil_context_create(&co, &context), VEXIL_ERROR_ARGUMENT, NULL);
  CHECK(context == NULL);
  vexil_context_destroy(NULL);
}

/* Movies with decode threads opened and closed, some after a frame or two
 * and some at once, while another movie decodes on the same threads. */
static void open_and_close(void* argument) {
  (void)argument;
  for (int i = 0; i < 12; ++i) {
    vexil_open_options o;
    vexil_open_options_init(&o);
    o.decode_threads = 1 + (uint32_t)(i % 2);
    vexil_movie* movie = NULL;
    CHECK_RESULT(vexil_open_file(api_encoder_movie(), &o, &movie), VEXIL_OK, NULL);
    for (int f = 0; f < i % 4; ++f) CHECK_RESULT(vexil_movie_decode_next(movie), VEXIL_OK, movie);
    vexil_close(movie);
  }
}

typedef struct task {
  void (*work)(void* argument);
  void* argument;
} task;

static void run_task(void* argument) {
  task* t = (task*)argument;
  t->work(t->argument);
}

void test_Threads_HandlesCloseWhileOthersDecode(void) {
  job decoding = {api_encoder_movie(), 0, VEXIL_FORMAT_24, 2, NULL, {0}};
  run_job(&decoding);
  api_bytes alone = decoding.out;
  memset(&decoding.out, 0, sizeof(decoding.out));
  /* One movie decoding throughout, the other thread opening and closing. */
  task tasks[2] = {{run_job, &decoding}, {open_and_close, NULL}};
  void* arguments[2] = {&tasks[0], &tasks[1]};
  api_run_threads(run_task, arguments, 2);
  CHECK(api_bytes_equal(&decoding.out, &alone));
  api_bytes_free(&decoding.out);
  api_bytes_free(&alone);
}
