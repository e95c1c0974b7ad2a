/* vexildemux: a movie's frame packets split into one picture stream
 * (video_0) and one stream per sound track (audio_N, N the track's place in
 * the movie's track table), timed by the movie's frame rate.
 *
 * The movie is read through the library's stream callbacks on the element's
 * own task: in pull mode they pull ranges from upstream (random access, so
 * seeking works); in push mode they take the bytes upstream pushed, waiting
 * for more when the movie needs them (no seeking). */
#include <gst/base/gstflowcombiner.h>
#include <string.h>
#include <vexil/vexil.h>

#include "vexil_elements.h"

GST_DEBUG_CATEGORY_STATIC(vexil_demux_debug);
#define GST_CAT_DEFAULT vexil_demux_debug

#define MAX_TRACKS 256
/* Push mode: how far upstream may run ahead of what the movie has read, and
 * how much may be held at most (a movie that wants more is refused). */
#define PUSH_AHEAD_BYTES (4u << 20)
#define PUSH_MAX_BYTES (1u << 30)

typedef struct _VexilDemux {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* video_pad;
  GstPad* audio_pads[MAX_TRACKS];
  GstFlowCombiner* flows;

  gboolean pull;       /* pull mode: random access and seeking */
  GstTask* task;       /* loop(): opens the movie, then pushes a frame per round */
  GRecMutex task_lock; /* held by the task during a round */
  gint64 upstream_size;

  /* The stream as the movie reads it (the task's thread). */
  guint64 position;
  GstFlowReturn io_flow; /* why the stream failed, if it was upstream's doing */

  /* Push mode: what upstream pushed and the movie has not read, from byte
   * `base` of the stream on. Guarded by `lock`. */
  GMutex lock;
  GCond cond;
  GByteArray* pending;
  guint64 base;
  gboolean upstream_eos;
  gboolean flushing;
  gboolean reader_waiting;
  gboolean discard_read; /* bytes before the read position are not read again */
  GstFlowReturn task_flow;

  /* The movie: used by the task, and by a seek while the task is paused. */
  vexil_movie* movie;
  vexil_movie_info info;
  guint32 next_frame; /* 1-based */
  guint32 end_frame;  /* the last frame of the segment */
  gboolean first_packet_read;
  GstSegment segment;
  gboolean send_segment;
  gboolean send_tags;
  gboolean discont;
  guint32 seek_seqnum;
} VexilDemux;

typedef struct _VexilDemuxClass {
  GstElementClass parent_class;
} VexilDemuxClass;

G_DEFINE_TYPE(VexilDemux, vexil_demux, GST_TYPE_ELEMENT)

#define VEXIL_DEMUX(obj) ((VexilDemux*)(obj))

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(VEXIL_MOVIE_CAPS));
static GstStaticPadTemplate video_template = GST_STATIC_PAD_TEMPLATE(
    "video_%u", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS(VEXIL_VIDEO_CAPS ", width = (int) [ 1, 32767 ], height = (int) [ 1, 32767 ], "
                                     "framerate = (fraction) [ 1/2147483647, 2147483647/1 ], "
                                     "revision = (string) { f, g, h, i }, "
                                     "alpha = (boolean) { false, true }, "
                                     "grayscale = (boolean) { false, true }"));
static GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    "audio_%u", GST_PAD_SRC, GST_PAD_SOMETIMES,
    GST_STATIC_CAPS(VEXIL_AUDIO_CAPS ", rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ], "
                                     "codec = (string) { dct, rdft }"));

/* ---- the stream the movie reads ---- */

static int64_t pull_read(VexilDemux* d, void* buffer, size_t n) {
  if (n == 0) return 0;
  GstBuffer* got = NULL;
  const guint size = (guint)MIN(n, (size_t)G_MAXINT);
  const GstFlowReturn flow = gst_pad_pull_range(d->sinkpad, d->position, size, &got);
  if (flow == GST_FLOW_EOS) return 0;
  if (flow != GST_FLOW_OK) {
    d->io_flow = flow;
    return -1;
  }
  const gsize copied = gst_buffer_extract(got, 0, buffer, size);
  gst_buffer_unref(got);
  d->position += copied;
  return (int64_t)copied;
}

/* Drops the bytes before the read position once that is worth a move. */
static void drop_read_bytes(VexilDemux* d) {
  const guint64 read = d->position > d->base ? d->position - d->base : 0;
  const guint drop = (guint)MIN(read, (guint64)d->pending->len);
  if (drop >= 65536 && drop >= d->pending->len / 2) {
    g_byte_array_remove_range(d->pending, 0, drop);
    d->base += drop;
  }
}

static int64_t push_read(VexilDemux* d, void* buffer, size_t n) {
  int64_t result = -1;
  g_mutex_lock(&d->lock);
  for (;;) {
    if (d->flushing) {
      d->io_flow = GST_FLOW_FLUSHING;
      break;
    }
    if (d->position < d->base) break; /* gone: a stream cannot go back */
    const guint64 end = d->base + d->pending->len;
    if (d->position < end || n == 0) {
      const gsize take = (gsize)MIN((guint64)n, end - d->position);
      memcpy(buffer, d->pending->data + (d->position - d->base), take);
      d->position += take;
      if (d->discard_read) drop_read_bytes(d);
      g_cond_broadcast(&d->cond);
      result = (int64_t)take;
      break;
    }
    if (d->upstream_eos) {
      result = 0;
      break;
    }
    d->reader_waiting = TRUE;
    g_cond_broadcast(&d->cond);
    g_cond_wait(&d->cond, &d->lock);
    d->reader_waiting = FALSE;
  }
  g_mutex_unlock(&d->lock);
  return result;
}

static int64_t io_read(void* user, void* buffer, size_t n) {
  VexilDemux* d = VEXIL_DEMUX(user);
  return d->pull ? pull_read(d, buffer, n) : push_read(d, buffer, n);
}

static int io_seek(void* user, uint64_t offset) {
  VexilDemux* d = VEXIL_DEMUX(user);
  if (!d->pull) {
    g_mutex_lock(&d->lock);
    const gboolean gone = offset < d->base;
    g_mutex_unlock(&d->lock);
    if (gone) return -1;
  }
  d->position = offset;
  return 0;
}

static int64_t io_size(void* user) {
  VexilDemux* d = VEXIL_DEMUX(user);
  return d->pull ? d->upstream_size : -1;
}

/* ---- timing ---- */

/* The start of frame `index` (0-based). */
static GstClockTime frame_time(const VexilDemux* d, guint64 index) {
  return gst_util_uint64_scale(index, (guint64)GST_SECOND * d->info.rate_den, d->info.rate_num);
}

/* The frame (0-based) shown at `time`: the last one starting at or before it. */
static guint64 frame_at(const VexilDemux* d, GstClockTime time) {
  guint64 index =
      gst_util_uint64_scale(time, d->info.rate_num, (guint64)GST_SECOND * d->info.rate_den);
  /* The division rounds down twice (frame times are rounded down too). */
  while (frame_time(d, index + 1) <= time) ++index;
  return index;
}

/* ---- pads ---- */

static gboolean src_event(GstPad* pad, GstObject* parent, GstEvent* event);
static gboolean src_query(GstPad* pad, GstObject* parent, GstQuery* query);

static void push_all(VexilDemux* d, GstEvent* event) {
  if (d->video_pad) gst_pad_push_event(d->video_pad, gst_event_ref(event));
  for (guint t = 0; t < MAX_TRACKS; ++t) {
    if (d->audio_pads[t]) gst_pad_push_event(d->audio_pads[t], gst_event_ref(event));
  }
  gst_event_unref(event);
}

static void remove_pads(VexilDemux* d) {
  GstPad** pads[MAX_TRACKS + 1];
  pads[0] = &d->video_pad;
  for (guint t = 0; t < MAX_TRACKS; ++t) pads[t + 1] = &d->audio_pads[t];
  for (guint i = 0; i < G_N_ELEMENTS(pads); ++i) {
    if (!*pads[i]) continue;
    gst_flow_combiner_remove_pad(d->flows, *pads[i]);
    gst_pad_set_active(*pads[i], FALSE);
    gst_element_remove_pad(GST_ELEMENT(d), *pads[i]);
    *pads[i] = NULL;
  }
}

/* The display option as the pixels' shape: doubled rows are tall pixels,
 * doubled columns wide ones. */
static void pixel_aspect(guint32 display_option, gint* num, gint* den) {
  *num = 1;
  *den = 1;
  if (display_option == VEXIL_DISPLAY_2X_H || display_option == VEXIL_DISPLAY_2X_H_INTERLACED)
    *den = 2;
  else if (display_option == VEXIL_DISPLAY_2X_W)
    *num = 2;
}

static GstPad* add_pad(VexilDemux* d, GstStaticPadTemplate* templ, const gchar* name, GstCaps* caps,
                       guint group, GstTagList* tags) {
  GstPad* pad = gst_pad_new_from_static_template(templ, name);
  gst_pad_set_event_function(pad, src_event);
  gst_pad_set_query_function(pad, src_query);
  gst_pad_use_fixed_caps(pad);
  gst_pad_set_active(pad, TRUE);
  gchar* stream_id = gst_pad_create_stream_id(pad, GST_ELEMENT(d), name);
  GstEvent* start = gst_event_new_stream_start(stream_id);
  g_free(stream_id);
  gst_event_set_group_id(start, group);
  gst_pad_push_event(pad, start);
  gst_pad_push_event(pad, gst_event_new_caps(caps));
  gst_caps_unref(caps);
  gst_pad_store_sticky_event(pad, gst_event_new_tag(tags));
  gst_element_add_pad(GST_ELEMENT(d), pad);
  gst_flow_combiner_add_pad(d->flows, pad);
  return pad;
}

/* Caps fractions are signed: a rate beyond them is brought within, keeping
 * its ratio as well as it can (the timestamps use the exact rate). */
static void fraction(guint32 num, guint32 den, gint* n, gint* d) {
  while (num > G_MAXINT || den > G_MAXINT) {
    num = MAX(num / 2, 1u);
    den = MAX(den / 2, 1u);
  }
  *n = (gint)num;
  *d = (gint)den;
}

static void add_pads(VexilDemux* d) {
  const guint group = gst_util_group_id_next();
  const vexil_movie_info* info = &d->info;
  if (info->coded_width > 0 && info->coded_height > 0) {
    gint num, den, par_num, par_den;
    fraction(info->rate_num, info->rate_den, &num, &den);
    pixel_aspect(info->file_display_option, &par_num, &par_den);
    const gchar revision[2] = {(gchar)info->revision, 0};
    GstCaps* caps = gst_caps_new_simple(
        VEXIL_VIDEO_CAPS, "width", G_TYPE_INT, (gint)info->coded_width, "height", G_TYPE_INT,
        (gint)info->coded_height, "framerate", GST_TYPE_FRACTION, num, den, "pixel-aspect-ratio",
        GST_TYPE_FRACTION, par_num, par_den, "revision", G_TYPE_STRING, revision, "alpha",
        G_TYPE_BOOLEAN, (info->flags & VEXIL_MOVIE_ALPHA) != 0, "grayscale", G_TYPE_BOOLEAN,
        (info->flags & VEXIL_MOVIE_GRAYSCALE) != 0, NULL);
    GstTagList* tags = gst_tag_list_new(GST_TAG_VIDEO_CODEC, "Vexil video", NULL);
    d->video_pad = add_pad(d, &video_template, "video_0", caps, group, tags);
  }
  for (guint32 t = 0; t < info->track_count && t < MAX_TRACKS; ++t) {
    vexil_track_info track;
    vexil_track_info_init(&track);
    if (vexil_movie_get_track(d->movie, t, &track) != VEXIL_OK) continue;
    /* A track no decoder can play, or one without a rate, has no stream. */
    if (track.codec == VEXIL_CODEC_NONE || track.rate == 0) {
      GST_INFO_OBJECT(d, "track %u (id %u) is left out: format 0x%08x", t, track.id,
                      track.format_word);
      continue;
    }
    const gboolean dct = track.codec == VEXIL_CODEC_DCT;
    GstCaps* caps = gst_caps_new_simple(
        VEXIL_AUDIO_CAPS, "rate", G_TYPE_INT, (gint)track.rate, "channels", G_TYPE_INT,
        (gint)track.channels, "codec", G_TYPE_STRING, dct ? "dct" : "rdft", "track-id", G_TYPE_UINT,
        track.id, "largest-part", G_TYPE_UINT, track.largest_part, NULL);
    GstTagList* tags =
        gst_tag_list_new(GST_TAG_AUDIO_CODEC, dct ? "Vexil DCT audio" : "Vexil RDFT audio", NULL);
    gchar* name = g_strdup_printf("audio_%u", t);
    d->audio_pads[t] = add_pad(d, &audio_template, name, caps, group, tags);
    g_free(name);
  }
  gst_element_no_more_pads(GST_ELEMENT(d));
}

/* ---- the task ---- */

static GstFlowReturn open_movie(VexilDemux* d) {
  const vexil_io io = {d, io_read, io_seek, io_size, NULL};
  vexil_open_options options;
  vexil_open_options_init(&options);
  /* Packets are read raw: the decoders are downstream. */
  options.flags = VEXIL_OPEN_NO_VIDEO;
  d->position = 0;
  d->io_flow = GST_FLOW_OK;
  const vexil_result result = vexil_open_io(&io, &options, &d->movie);
  if (result != VEXIL_OK) {
    if (d->io_flow == GST_FLOW_FLUSHING) return GST_FLOW_FLUSHING;
    GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("%s", vexil_result_text(result)),
                      ("the movie could not be opened (result %d)", result));
    return GST_FLOW_ERROR;
  }
  vexil_movie_info_init(&d->info);
  vexil_movie_get_info(d->movie, &d->info);
  if (d->info.rate_num == 0 || d->info.rate_den == 0) {
    GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The movie has no frame rate: its frames have no time."),
                      ("rate %u/%u", d->info.rate_num, d->info.rate_den));
    return GST_FLOW_ERROR;
  }
  GST_INFO_OBJECT(d, "%ux%u, %u frames at %u/%u, revision %c, %u tracks", d->info.coded_width,
                  d->info.coded_height, d->info.frame_count, d->info.rate_num, d->info.rate_den,
                  d->info.revision, d->info.track_count);
  d->next_frame = 1;
  d->end_frame = d->info.frame_count;
  d->segment.duration = frame_time(d, d->info.frame_count);
  d->send_segment = TRUE;
  d->send_tags = TRUE;
  d->discont = TRUE;
  add_pads(d);
  return GST_FLOW_OK;
}

static GstFlowReturn push_buffer(VexilDemux* d, GstPad* pad, GstBuffer* buffer) {
  if (d->discont) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  return gst_flow_combiner_update_pad_flow(d->flows, pad, gst_pad_push(pad, buffer));
}

static void send_segment(VexilDemux* d) {
  GstEvent* segment = gst_event_new_segment(&d->segment);
  if (d->seek_seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(segment, d->seek_seqnum);
  push_all(d, segment);
  d->send_segment = FALSE;
  if (d->send_tags) {
    GstTagList* tags = gst_tag_list_new(GST_TAG_CONTAINER_FORMAT, "Vexil", NULL);
    gst_tag_list_set_scope(tags, GST_TAG_SCOPE_GLOBAL);
    push_all(d, gst_event_new_tag(tags));
    d->send_tags = FALSE;
  }
}

/* Reads frame n's packet; NULL at the end of what the source holds. */
static GstBuffer* read_packet(VexilDemux* d, guint32 n, gboolean* key) {
  size_t size = 0;
  int is_key = 0;
  if (vexil_movie_read_packet(d->movie, n, NULL, 0, &size, &is_key) != VEXIL_OK) return NULL;
  /* Sizes come from the movie's index: never trusted for more than the
   * source holds. */
  if (d->info.bytes_present < d->info.movie_bytes && size > d->info.bytes_present) return NULL;
  guint8* data = g_try_malloc(MAX(size, 1));
  if (!data) return NULL;
  if (vexil_movie_read_packet(d->movie, n, data, size, &size, NULL) != VEXIL_OK) {
    g_free(data);
    return NULL;
  }
  /* Frame 1 is where decoding starts from black pictures: always a start. */
  *key = is_key || n == 1;
  return gst_buffer_new_wrapped(data, size);
}

static GstFlowReturn push_frame(VexilDemux* d) {
  const guint32 n = d->next_frame;
  if (n > d->end_frame) return GST_FLOW_EOS;
  d->io_flow = GST_FLOW_OK;
  gboolean key = FALSE;
  GstBuffer* packet = read_packet(d, n, &key);
  if (!packet) {
    if (d->io_flow == GST_FLOW_FLUSHING) return GST_FLOW_FLUSHING;
    GST_ELEMENT_WARNING(
        d, STREAM, DEMUX,
        ("The movie is cut short: frame %u of %u cannot be read.", n, d->info.frame_count),
        ("%s", vexil_movie_error(d->movie)));
    return GST_FLOW_EOS;
  }
  if (!d->pull && !d->first_packet_read) {
    /* From here the movie reads the stream in order. */
    d->first_packet_read = TRUE;
    g_mutex_lock(&d->lock);
    d->discard_read = TRUE;
    g_mutex_unlock(&d->lock);
  }
  if (d->send_segment) send_segment(d);

  const GstClockTime pts = frame_time(d, n - 1);
  const GstClockTime duration = frame_time(d, n) - pts;
  GstMapInfo map;
  gst_buffer_map(packet, &map, GST_MAP_READ);
  GstFlowReturn flow = GST_FLOW_OK;
  for (guint32 t = 0; t < d->info.track_count && t < MAX_TRACKS; ++t) {
    if (!d->audio_pads[t]) continue;
    size_t offset = 0, size = 0;
    /* A part too short for its sample count yields no sound: a gap. */
    if (vexil_packet_audio_part(map.data, map.size, d->info.track_count, t, &offset, &size) !=
            VEXIL_OK ||
        size < 4) {
      GstEvent* gap = gst_event_new_gap(pts, duration);
      gst_pad_push_event(d->audio_pads[t], gap);
      continue;
    }
    GstBuffer* part = gst_buffer_copy_region(packet, GST_BUFFER_COPY_MEMORY, offset, size);
    GST_BUFFER_PTS(part) = GST_BUFFER_DTS(part) = pts;
    GST_BUFFER_DURATION(part) = duration;
    flow = push_buffer(d, d->audio_pads[t], part);
  }
  if (d->video_pad) {
    size_t offset = 0, size = 0;
    /* A packet whose sound leaves no picture data keeps the picture. */
    if (vexil_packet_video(map.data, map.size, d->info.track_count, &offset, &size) != VEXIL_OK)
      offset = size = 0;
    GstBuffer* video = size ? gst_buffer_copy_region(packet, GST_BUFFER_COPY_MEMORY, offset, size)
                            : gst_buffer_new();
    GST_BUFFER_PTS(video) = GST_BUFFER_DTS(video) = pts;
    GST_BUFFER_DURATION(video) = duration;
    GST_BUFFER_OFFSET(video) = n - 1;
    GST_BUFFER_OFFSET_END(video) = n;
    if (!key) GST_BUFFER_FLAG_SET(video, GST_BUFFER_FLAG_DELTA_UNIT);
    flow = push_buffer(d, d->video_pad, video);
  }
  gst_buffer_unmap(packet, &map);
  gst_buffer_unref(packet);
  d->discont = FALSE;
  d->segment.position = pts;
  d->next_frame = n + 1;
  return flow;
}

static void set_task_flow(VexilDemux* d, GstFlowReturn flow) {
  g_mutex_lock(&d->lock);
  d->task_flow = flow;
  g_cond_broadcast(&d->cond);
  g_mutex_unlock(&d->lock);
}

static void loop(gpointer user) {
  VexilDemux* d = VEXIL_DEMUX(user);
  GstFlowReturn flow = d->movie ? GST_FLOW_OK : open_movie(d);
  if (flow == GST_FLOW_OK) flow = push_frame(d);
  if (flow == GST_FLOW_OK) return;

  GST_DEBUG_OBJECT(d, "pausing: %s", gst_flow_get_name(flow));
  gst_task_pause(d->task);
  set_task_flow(d, flow);
  if (flow == GST_FLOW_EOS) {
    if (d->segment.flags & GST_SEGMENT_FLAG_SEGMENT) {
      const gint64 stop = GST_CLOCK_TIME_IS_VALID(d->segment.stop)
                              ? (gint64)d->segment.stop
                              : (gint64)frame_time(d, d->info.frame_count);
      GstMessage* done = gst_message_new_segment_done(GST_OBJECT(d), GST_FORMAT_TIME, stop);
      GstEvent* event = gst_event_new_segment_done(GST_FORMAT_TIME, stop);
      if (d->seek_seqnum != GST_SEQNUM_INVALID) {
        gst_message_set_seqnum(done, d->seek_seqnum);
        gst_event_set_seqnum(event, d->seek_seqnum);
      }
      gst_element_post_message(GST_ELEMENT(d), done);
      push_all(d, event);
    } else {
      GstEvent* eos = gst_event_new_eos();
      if (d->seek_seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(eos, d->seek_seqnum);
      push_all(d, eos);
    }
  } else if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    if (flow != GST_FLOW_ERROR) GST_ELEMENT_FLOW_ERROR(d, flow);
    push_all(d, gst_event_new_eos());
  }
}

static void start_task(VexilDemux* d) {
  set_task_flow(d, GST_FLOW_OK);
  gst_task_start(d->task);
}

/* Waits for the task's round to end; the task stays paused. */
static void pause_task(VexilDemux* d) {
  gst_task_pause(d->task);
  g_rec_mutex_lock(&d->task_lock);
  g_rec_mutex_unlock(&d->task_lock);
}

/* ---- seeking ---- */

static guint32 key_frame_before(VexilDemux* d, guint32 frame) {
  while (frame > 1 && !vexil_movie_is_key_frame(d->movie, frame)) --frame;
  return frame;
}

static guint32 key_frame_after(VexilDemux* d, guint32 frame) {
  for (guint32 f = frame; f <= d->info.frame_count; ++f) {
    if (vexil_movie_is_key_frame(d->movie, f)) return f;
  }
  return 0;
}

static gboolean frames_to_time(VexilDemux* d, gint64 frames, gint64* time) {
  if (frames < 0) return TRUE; /* unset */
  *time = (gint64)frame_time(d, (guint64)frames);
  return TRUE;
}

static gboolean handle_seek(VexilDemux* d, GstEvent* event) {
  gdouble rate;
  GstFormat format;
  GstSeekFlags flags;
  GstSeekType start_type, stop_type;
  gint64 start, stop;
  gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
  const guint32 seqnum = gst_event_get_seqnum(event);
  if (!d->pull || !d->movie) {
    GST_DEBUG_OBJECT(d, "cannot seek %s", d->pull ? "before the movie is open" : "in push mode");
    return FALSE;
  }
  if (seqnum == d->seek_seqnum) return TRUE; /* the same seek, through another pad */
  if (rate <= 0.0) {
    GST_DEBUG_OBJECT(d, "no reverse playback");
    return FALSE;
  }
  if (format == GST_FORMAT_DEFAULT) {
    frames_to_time(d, start, &start);
    frames_to_time(d, stop, &stop);
  } else if (format != GST_FORMAT_TIME) {
    return FALSE;
  }
  const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
  if (flush) {
    GstEvent* flush_start = gst_event_new_flush_start();
    gst_event_set_seqnum(flush_start, seqnum);
    gst_pad_push_event(d->sinkpad, gst_event_ref(flush_start));
    push_all(d, flush_start);
  }
  pause_task(d);
  g_rec_mutex_lock(&d->task_lock);

  GstSegment segment = d->segment;
  gboolean update;
  gst_segment_do_seek(&segment, rate, GST_FORMAT_TIME, flags, start_type, start, stop_type, stop,
                      &update);
  const guint32 frames = d->info.frame_count;
  guint32 target = (guint32)MIN(frame_at(d, segment.position), (guint64)frames - 1) + 1;
  guint32 first = key_frame_before(d, target);
  if (flags & GST_SEEK_FLAG_KEY_UNIT) {
    const guint32 after = key_frame_after(d, target);
    if ((flags & GST_SEEK_FLAG_SNAP_AFTER) && (flags & GST_SEEK_FLAG_SNAP_BEFORE)) {
      if (after && after - target < target - first) first = after;
    } else if ((flags & GST_SEEK_FLAG_SNAP_AFTER) && after) {
      first = after;
    }
    /* The stream starts at the key frame. */
    segment.start = segment.position = segment.time = frame_time(d, first - 1);
    target = first;
  }
  d->end_frame = frames;
  if (GST_CLOCK_TIME_IS_VALID(segment.stop)) {
    /* Frames that start before the stop. */
    guint64 last = frame_at(d, segment.stop);
    if (frame_time(d, last) == segment.stop && last > 0) --last;
    d->end_frame = (guint32)MIN(last + 1, (guint64)frames);
  }
  GST_DEBUG_OBJECT(d, "seek to frame %u from key frame %u, last %u", target, first, d->end_frame);

  if (flush) {
    GstEvent* flush_stop = gst_event_new_flush_stop(TRUE);
    gst_event_set_seqnum(flush_stop, seqnum);
    gst_pad_push_event(d->sinkpad, gst_event_ref(flush_stop));
    push_all(d, flush_stop);
    gst_flow_combiner_reset(d->flows);
  }
  d->segment = segment;
  d->next_frame = first;
  d->send_segment = TRUE;
  d->discont = TRUE;
  d->seek_seqnum = seqnum;
  if (flags & GST_SEEK_FLAG_SEGMENT) {
    GstMessage* message =
        gst_message_new_segment_start(GST_OBJECT(d), GST_FORMAT_TIME, (gint64)segment.start);
    gst_message_set_seqnum(message, seqnum);
    gst_element_post_message(GST_ELEMENT(d), message);
  }
  start_task(d);
  g_rec_mutex_unlock(&d->task_lock);
  return TRUE;
}

static gboolean src_event(GstPad* pad, GstObject* parent, GstEvent* event) {
  VexilDemux* d = VEXIL_DEMUX(parent);
  if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
    const gboolean done = handle_seek(d, event);
    gst_event_unref(event);
    return done;
  }
  return gst_pad_event_default(pad, parent, event);
}

static gboolean convert(VexilDemux* d, GstFormat from, gint64 value, GstFormat to, gint64* out) {
  if (from == to) {
    *out = value;
    return TRUE;
  }
  if (value < 0) {
    *out = -1;
    return TRUE;
  }
  if (from == GST_FORMAT_DEFAULT && to == GST_FORMAT_TIME) {
    *out = (gint64)frame_time(d, (guint64)value);
    return TRUE;
  }
  if (from == GST_FORMAT_TIME && to == GST_FORMAT_DEFAULT) {
    *out = (gint64)frame_at(d, (GstClockTime)value);
    return TRUE;
  }
  return FALSE;
}

static gboolean src_query(GstPad* pad, GstObject* parent, GstQuery* query) {
  VexilDemux* d = VEXIL_DEMUX(parent);
  GstFormat format;
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
      gst_query_parse_duration(query, &format, NULL);
      gint64 duration;
      if (!d->movie || !convert(d, GST_FORMAT_DEFAULT, d->info.frame_count, format, &duration))
        return FALSE;
      gst_query_set_duration(query, format, duration);
      return TRUE;
    }
    case GST_QUERY_POSITION: {
      gst_query_parse_position(query, &format, NULL);
      gint64 position;
      if (!d->movie || !convert(d, GST_FORMAT_TIME, d->segment.position, format, &position))
        return FALSE;
      gst_query_set_position(query, format, position);
      return TRUE;
    }
    case GST_QUERY_SEEKING: {
      gst_query_parse_seeking(query, &format, NULL, NULL, NULL);
      gint64 duration;
      if (!d->movie || !convert(d, GST_FORMAT_DEFAULT, d->info.frame_count, format, &duration))
        return FALSE;
      gst_query_set_seeking(query, format, d->pull, 0, duration);
      return TRUE;
    }
    case GST_QUERY_CONVERT: {
      GstFormat from, to;
      gint64 value, result;
      gst_query_parse_convert(query, &from, &value, &to, NULL);
      if (!d->movie || !convert(d, from, value, to, &result)) return FALSE;
      gst_query_set_convert(query, from, value, to, result);
      return TRUE;
    }
    default:
      return gst_pad_query_default(pad, parent, query);
  }
}

/* ---- upstream ---- */

static void reset_stream(VexilDemux* d) {
  vexil_close(d->movie);
  d->movie = NULL;
  g_mutex_lock(&d->lock);
  g_byte_array_set_size(d->pending, 0);
  d->base = 0;
  d->upstream_eos = FALSE;
  d->discard_read = FALSE;
  d->task_flow = GST_FLOW_OK;
  g_mutex_unlock(&d->lock);
  d->position = 0;
  d->first_packet_read = FALSE;
  d->seek_seqnum = GST_SEQNUM_INVALID;
  gst_segment_init(&d->segment, GST_FORMAT_TIME);
}

static GstFlowReturn sink_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
  VexilDemux* d = VEXIL_DEMUX(parent);
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }
  GstFlowReturn flow;
  g_mutex_lock(&d->lock);
  if (d->flushing) {
    flow = GST_FLOW_FLUSHING;
  } else if (d->task_flow != GST_FLOW_OK) {
    flow = d->task_flow;
  } else if ((guint64)d->pending->len + map.size > PUSH_MAX_BYTES) {
    flow = GST_FLOW_ERROR;
  } else {
    g_byte_array_append(d->pending, map.data, (guint)map.size);
    g_cond_broadcast(&d->cond);
    /* Upstream waits while it is far ahead, unless the movie waits for more. */
    while (!d->flushing && d->task_flow == GST_FLOW_OK && !d->reader_waiting &&
           d->base + d->pending->len > d->position + PUSH_AHEAD_BYTES)
      g_cond_wait(&d->cond, &d->lock);
    flow = d->flushing ? GST_FLOW_FLUSHING : d->task_flow;
  }
  g_mutex_unlock(&d->lock);
  gst_buffer_unmap(buffer, &map);
  gst_buffer_unref(buffer);
  if (flow == GST_FLOW_ERROR && !d->movie)
    GST_ELEMENT_ERROR(d, STREAM, DEMUX, ("The movie needs more memory than a stream may hold."),
                      (NULL));
  return flow;
}

static void set_flushing(VexilDemux* d, gboolean flushing) {
  g_mutex_lock(&d->lock);
  d->flushing = flushing;
  g_cond_broadcast(&d->cond);
  g_mutex_unlock(&d->lock);
}

static gboolean sink_event(GstPad* pad, GstObject* parent, GstEvent* event) {
  VexilDemux* d = VEXIL_DEMUX(parent);
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
      g_mutex_lock(&d->lock);
      d->upstream_eos = TRUE;
      g_cond_broadcast(&d->cond);
      g_mutex_unlock(&d->lock);
      gst_event_unref(event);
      return TRUE;
    case GST_EVENT_FLUSH_START:
      set_flushing(d, TRUE);
      return gst_pad_event_default(pad, parent, event);
    case GST_EVENT_FLUSH_STOP: {
      /* Upstream starts over: so does the movie, with its streams. */
      pause_task(d);
      const gboolean forwarded = gst_pad_event_default(pad, parent, event);
      remove_pads(d);
      reset_stream(d);
      set_flushing(d, FALSE);
      start_task(d);
      return forwarded;
    }
    case GST_EVENT_SEGMENT:
    case GST_EVENT_CAPS:
    case GST_EVENT_STREAM_START:
      /* The streams downstream have their own. */
      gst_event_unref(event);
      return TRUE;
    default:
      return gst_pad_event_default(pad, parent, event);
  }
}

static gboolean sink_activate(GstPad* pad, GstObject* parent) {
  GstQuery* query = gst_query_new_scheduling();
  gboolean pull = FALSE;
  if (gst_pad_peer_query(pad, query))
    pull = gst_query_has_scheduling_mode_with_flags(query, GST_PAD_MODE_PULL,
                                                    GST_SCHEDULING_FLAG_SEEKABLE);
  gst_query_unref(query);
  return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

static gboolean sink_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode,
                                   gboolean active) {
  VexilDemux* d = VEXIL_DEMUX(parent);
  if (mode != GST_PAD_MODE_PULL && mode != GST_PAD_MODE_PUSH) return FALSE;
  if (active) {
    reset_stream(d);
    d->pull = mode == GST_PAD_MODE_PULL;
    d->upstream_size = -1;
    gint64 bytes;
    if (d->pull && gst_pad_peer_query_duration(pad, GST_FORMAT_BYTES, &bytes) && bytes >= 0)
      d->upstream_size = bytes;
    set_flushing(d, FALSE);
    /* With random access the movie opens here: a movie that cannot be
     * played fails the state change, which auto-plugging bins see (an error
     * posted while they bring the element up would be dropped). */
    if (d->pull && open_movie(d) != GST_FLOW_OK) return FALSE;
    start_task(d);
  } else {
    set_flushing(d, TRUE);
    gst_task_stop(d->task);
    g_rec_mutex_lock(&d->task_lock);
    g_rec_mutex_unlock(&d->task_lock);
    gst_task_join(d->task);
  }
  return TRUE;
}

/* ---- the element ---- */

static GstStateChangeReturn change_state(GstElement* element, GstStateChange transition) {
  VexilDemux* d = VEXIL_DEMUX(element);
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(vexil_demux_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    remove_pads(d);
    reset_stream(d);
    gst_flow_combiner_clear(d->flows);
  }
  return result;
}

static void vexil_demux_init(VexilDemux* d) {
  d->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
  gst_pad_set_activate_function(d->sinkpad, sink_activate);
  gst_pad_set_activatemode_function(d->sinkpad, sink_activate_mode);
  gst_pad_set_chain_function(d->sinkpad, sink_chain);
  gst_pad_set_event_function(d->sinkpad, sink_event);
  gst_element_add_pad(GST_ELEMENT(d), d->sinkpad);
  d->flows = gst_flow_combiner_new();
  g_rec_mutex_init(&d->task_lock);
  g_mutex_init(&d->lock);
  g_cond_init(&d->cond);
  d->pending = g_byte_array_new();
  d->task = gst_task_new(loop, d, NULL);
  gst_task_set_lock(d->task, &d->task_lock);
  d->seek_seqnum = GST_SEQNUM_INVALID;
  gst_segment_init(&d->segment, GST_FORMAT_TIME);
}

static void finalize(GObject* object) {
  VexilDemux* d = VEXIL_DEMUX(object);
  vexil_close(d->movie);
  gst_object_unref(d->task);
  gst_flow_combiner_free(d->flows);
  g_byte_array_unref(d->pending);
  g_cond_clear(&d->cond);
  g_mutex_clear(&d->lock);
  g_rec_mutex_clear(&d->task_lock);
  G_OBJECT_CLASS(vexil_demux_parent_class)->finalize(object);
}

static void vexil_demux_class_init(VexilDemuxClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  object_class->finalize = finalize;
  element_class->change_state = change_state;
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &video_template);
  gst_element_class_add_static_pad_template(element_class, &audio_template);
  gst_element_class_set_static_metadata(
      element_class, "Vexil demuxer", "Codec/Demuxer",
      "Splits a Vexil movie into its picture stream and one stream per sound track",
      "The Vexil developers");
}

gboolean vexil_demux_register(GstPlugin* plugin) {
  GST_DEBUG_CATEGORY_INIT(vexil_demux_debug, "vexildemux", 0, "Vexil demuxer");
  return gst_element_register(plugin, "vexildemux", GST_RANK_PRIMARY, vexil_demux_get_type());
}
