// vexilenc: raw pictures, and optionally raw sound on a second pad, made into
// a complete Vexil movie by the project's encoder. The movie's index comes
// first and needs every frame, so the movie is pushed whole, from byte 0, at
// the end of the stream: any sink takes it, also a pipe.
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "encoder/movie_encoder.h"
#include "vexil_elements.h"

GST_DEBUG_CATEGORY_STATIC(vexil_enc_debug);
#define GST_CAT_DEFAULT vexil_enc_debug

namespace {

enum AudioCodec { AUDIO_CODEC_DCT, AUDIO_CODEC_RDFT };

// What the element holds between the first caps and the end of the stream.
struct Session {
  std::unique_ptr<vexil::MovieEncoder> encoder;
  GstVideoInfo video{};
  bool have_video = false;
  vexil::WavAudio audio;
  bool have_audio = false;
  bool video_eos = false;
  bool audio_eos = false;
  bool finished = false;
  bool output_started = false;
};

}  // namespace

struct VexilEnc {
  GstElement parent;
  GstPad* video_pad;
  GstPad* audio_pad;  // the request pad, while there is one
  GstPad* src_pad;
  // Properties, guarded by the object lock.
  guint quality;
  guint keyint;
  gchar* revision;
  gint audio_codec;
  guint threads;
  guint track_id;
  // Streaming state, guarded by `lock`.
  GMutex lock;
  Session* session;
};

struct VexilEncClass {
  GstElementClass parent_class;
};

G_DEFINE_TYPE(VexilEnc, vexil_enc, GST_TYPE_ELEMENT)

#define VEXIL_ENC(obj) (reinterpret_cast<VexilEnc*>(obj))

enum {
  PROP_0,
  PROP_QUALITY,
  PROP_KEYINT,
  PROP_REVISION,
  PROP_AUDIO_CODEC,
  PROP_THREADS,
  PROP_TRACK_ID
};

static GstStaticPadTemplate video_template = GST_STATIC_PAD_TEMPLATE(
    "video", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { I420, A420, GRAY8 }, "
                    "width = (int) [ 1, 32767 ], height = (int) [ 1, 32767 ], "
                    "framerate = (fraction) [ 1/2147483647, 2147483647/1 ]"));
static GstStaticPadTemplate audio_template = GST_STATIC_PAD_TEMPLATE(
    "audio", GST_PAD_SINK, GST_PAD_REQUEST,
    GST_STATIC_CAPS("audio/x-raw, format = (string) S16LE, layout = (string) interleaved, "
                    "rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ]"));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(VEXIL_MOVIE_CAPS));

static GType audio_codec_type() {
  static GType type = 0;
  static const GEnumValue values[] = {{AUDIO_CODEC_DCT, "The DCT-based sound codec", "dct"},
                                      {AUDIO_CODEC_RDFT, "The RDFT-based sound codec", "rdft"},
                                      {0, nullptr, nullptr}};
  if (g_once_init_enter(&type))
    g_once_init_leave(&type, g_enum_register_static("VexilEncAudioCodec", values));
  return type;
}

static guint default_threads() {
  // The work is cut into four pieces per plane: more threads would idle.
  return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

// Starts the encoder for the first pictures' format; false after posting why.
static bool start_encoder(VexilEnc* enc, Session* s, const GstVideoInfo& info) {
  vexil::MovieEncoderOptions options;
  GST_OBJECT_LOCK(enc);
  options.quality = enc->quality;
  options.keyint = enc->keyint;
  options.revision = enc->revision && std::strlen(enc->revision) == 1 ? enc->revision[0] : '?';
  options.rdft_audio = enc->audio_codec == AUDIO_CODEC_RDFT;
  options.threads = enc->threads;
  options.track_id = enc->track_id;
  GST_OBJECT_UNLOCK(enc);
  vexil::MovieFormat format;
  format.width = GST_VIDEO_INFO_WIDTH(&info);
  format.height = GST_VIDEO_INFO_HEIGHT(&info);
  format.rate_num = GST_VIDEO_INFO_FPS_N(&info);
  format.rate_den = GST_VIDEO_INFO_FPS_D(&info);
  format.grayscale = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_GRAY8;
  format.alpha = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_A420;
  if (GST_VIDEO_INFO_FPS_N(&info) <= 0 || GST_VIDEO_INFO_FPS_D(&info) <= 0) {
    GST_ELEMENT_ERROR(
        enc, STREAM, FORMAT, ("A movie needs a fixed frame rate."),
        ("the pictures come at %d/%d", GST_VIDEO_INFO_FPS_N(&info), GST_VIDEO_INFO_FPS_D(&info)));
    return false;
  }
  auto encoder = std::make_unique<vexil::MovieEncoder>(options, format);
  std::string error;
  if (!encoder->Check(&error)) {
    GST_ELEMENT_ERROR(enc, LIBRARY, SETTINGS, ("%s", error.c_str()), (nullptr));
    return false;
  }
  s->encoder = std::move(encoder);
  s->video = info;
  s->have_video = true;
  return true;
}

// The output stream starts with the first picture. The movie comes at the
// end; a gap lets the sink downstream preroll meanwhile, so pipelines with
// other sinks (a preview beside the encoder) run on. The gap holds this
// thread until the pipeline plays, so it goes out with the first picture, not
// with the caps: upstream asks its allocation query between the two and
// would wait for ever behind a queue whose thread is held here.
static void start_output(VexilEnc* enc) {
  // Several inputs: the stream is a new one, not any upstream's.
  gchar* stream_id = g_strdup_printf("vexilenc-%08x%08x", g_random_int(), g_random_int());
  gst_pad_push_event(enc->src_pad, gst_event_new_stream_start(stream_id));
  g_free(stream_id);
  GstCaps* caps = gst_caps_new_empty_simple(VEXIL_MOVIE_CAPS);
  gst_pad_push_event(enc->src_pad, gst_event_new_caps(caps));
  gst_caps_unref(caps);
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_BYTES);
  gst_pad_push_event(enc->src_pad, gst_event_new_segment(&segment));
  gst_pad_push_event(enc->src_pad, gst_event_new_gap(0, GST_CLOCK_TIME_NONE));
}

static gboolean video_caps(VexilEnc* enc, GstCaps* caps) {
  GstVideoInfo info;
  if (!gst_video_info_from_caps(&info, caps)) return FALSE;
  g_mutex_lock(&enc->lock);
  Session* s = enc->session;
  gboolean accepted = TRUE;
  if (!s->have_video) {
    accepted = start_encoder(enc, s, info);
  } else if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_INFO_FORMAT(&s->video) ||
             info.width != s->video.width || info.height != s->video.height ||
             info.fps_n != s->video.fps_n || info.fps_d != s->video.fps_d) {
    GST_ELEMENT_ERROR(enc, STREAM, FORMAT, ("The pictures' format cannot change within a movie."),
                      (nullptr));
    accepted = FALSE;
  } else {
    s->video = info;  // strides may differ
  }
  g_mutex_unlock(&enc->lock);
  return accepted;
}

static gboolean audio_caps(VexilEnc* enc, GstCaps* caps) {
  GstAudioInfo info;
  if (!gst_audio_info_from_caps(&info, caps)) return FALSE;
  g_mutex_lock(&enc->lock);
  vexil::WavAudio& audio = enc->session->audio;
  gboolean accepted = TRUE;
  if (enc->session->have_audio && (audio.rate != static_cast<uint32_t>(info.rate) ||
                                   audio.channels != static_cast<uint32_t>(info.channels))) {
    GST_ELEMENT_ERROR(enc, STREAM, FORMAT, ("The sound's format cannot change within a movie."),
                      (nullptr));
    accepted = FALSE;
  } else {
    audio.rate = static_cast<uint32_t>(info.rate);
    audio.channels = static_cast<uint32_t>(info.channels);
    audio.bits = 16;
    enc->session->have_audio = true;
  }
  g_mutex_unlock(&enc->lock);
  return accepted;
}

// A picture's visible planes, rows packed.
static void copy_plane(const GstVideoFrame& frame, guint plane, uint32_t width, uint32_t height,
                       std::vector<uint8_t>* out) {
  out->resize(size_t{width} * height);
  const auto* row = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, plane));
  const gint stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, plane);
  for (uint32_t y = 0; y < height; ++y, row += stride)
    std::memcpy(out->data() + size_t{y} * width, row, width);
}

static GstFlowReturn video_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
  VexilEnc* enc = VEXIL_ENC(parent);
  GstFlowReturn flow = GST_FLOW_OK;
  bool start_output_once = false;
  g_mutex_lock(&enc->lock);
  Session* s = enc->session;
  GstVideoFrame frame;
  if (!s->have_video) {
    flow = GST_FLOW_NOT_NEGOTIATED;
  } else if (s->finished) {
    flow = GST_FLOW_EOS;
  } else if (!gst_video_frame_map(&frame, &s->video, buffer, GST_MAP_READ)) {
    flow = GST_FLOW_ERROR;
  } else {
    start_output_once = !s->output_started;
    s->output_started = true;
    vexil::Picture picture;
    picture.width = GST_VIDEO_FRAME_WIDTH(&frame);
    picture.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    copy_plane(frame, 0, picture.width, picture.height, &picture.y);
    const GstVideoFormat format = GST_VIDEO_FRAME_FORMAT(&frame);
    if (format != GST_VIDEO_FORMAT_GRAY8) {
      copy_plane(frame, 1, picture.chroma_width(), picture.chroma_height(), &picture.cb);
      copy_plane(frame, 2, picture.chroma_width(), picture.chroma_height(), &picture.cr);
    }
    if (format == GST_VIDEO_FORMAT_A420)
      copy_plane(frame, 3, picture.width, picture.height, &picture.alpha);
    gst_video_frame_unmap(&frame);
    std::string error;
    if (!s->encoder->AddFrame(picture, &error)) {
      GST_ELEMENT_ERROR(enc, STREAM, ENCODE, ("%s", error.c_str()), (nullptr));
      flow = GST_FLOW_ERROR;
    }
  }
  g_mutex_unlock(&enc->lock);
  gst_buffer_unref(buffer);
  if (start_output_once) start_output(enc);
  return flow;
}

static GstFlowReturn audio_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
  VexilEnc* enc = VEXIL_ENC(parent);
  GstFlowReturn flow = GST_FLOW_OK;
  GstMapInfo map;
  g_mutex_lock(&enc->lock);
  Session* s = enc->session;
  if (!s->have_audio) {
    flow = GST_FLOW_NOT_NEGOTIATED;
  } else if (s->finished) {
    flow = GST_FLOW_EOS;
  } else if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    flow = GST_FLOW_ERROR;
  } else {
    const size_t count = map.size / 2;
    const size_t old = s->audio.samples.size();
    s->audio.samples.resize(old + count);
    for (size_t i = 0; i < count; ++i)
      s->audio.samples[old + i] = static_cast<int16_t>(GST_READ_UINT16_LE(map.data + 2 * i));
    gst_buffer_unmap(buffer, &map);
  }
  g_mutex_unlock(&enc->lock);
  gst_buffer_unref(buffer);
  return flow;
}

// Once every input has ended: the movie, then the end of the stream.
static gboolean finish(VexilEnc* enc) {
  g_mutex_lock(&enc->lock);
  Session* s = enc->session;
  if (s->finished || !s->video_eos || (enc->audio_pad && !s->audio_eos)) {
    g_mutex_unlock(&enc->lock);
    return TRUE;
  }
  s->finished = true;
  std::vector<uint8_t> movie;
  std::string error = "no pictures came";
  bool made = false;
  if (s->encoder) {
    if (s->have_audio) s->encoder->SetAudio(std::move(s->audio));
    made = s->encoder->Finish(&movie, &error);
  }
  g_mutex_unlock(&enc->lock);
  if (!made) {
    GST_ELEMENT_ERROR(enc, STREAM, ENCODE, ("The movie could not be made: %s.", error.c_str()),
                      (nullptr));
    return FALSE;
  }
  const size_t size = movie.size();
  auto* data = static_cast<guint8*>(g_try_malloc(size));
  if (!data) {
    GST_ELEMENT_ERROR(enc, RESOURCE, NO_SPACE_LEFT, ("Out of memory."), (nullptr));
    return FALSE;
  }
  std::memcpy(data, movie.data(), size);
  GstBuffer* buffer = gst_buffer_new_wrapped(data, size);
  GST_BUFFER_OFFSET(buffer) = 0;
  GST_BUFFER_OFFSET_END(buffer) = size;
  const GstFlowReturn flow = gst_pad_push(enc->src_pad, buffer);
  if (flow != GST_FLOW_OK && flow != GST_FLOW_FLUSHING) GST_ELEMENT_FLOW_ERROR(enc, flow);
  return gst_pad_push_event(enc->src_pad, gst_event_new_eos());
}

static gboolean sink_event(GstPad* pad, GstObject* parent, GstEvent* event) {
  VexilEnc* enc = VEXIL_ENC(parent);
  const bool video = pad == enc->video_pad;
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
      GstCaps* caps;
      gst_event_parse_caps(event, &caps);
      const gboolean accepted = video ? video_caps(enc, caps) : audio_caps(enc, caps);
      gst_event_unref(event);
      return accepted;
    }
    case GST_EVENT_EOS:
      g_mutex_lock(&enc->lock);
      (video ? enc->session->video_eos : enc->session->audio_eos) = true;
      g_mutex_unlock(&enc->lock);
      gst_event_unref(event);
      return finish(enc);
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_FLUSH_STOP:
      if (video) return gst_pad_event_default(pad, parent, event);
      gst_event_unref(event);
      return TRUE;
    default:
      // The output's stream, caps and segment are the movie's own.
      gst_event_unref(event);
      return TRUE;
  }
}

static GstPad* request_new_pad(GstElement* element, GstPadTemplate* templ, const gchar* name,
                               const GstCaps* caps) {
  VexilEnc* enc = VEXIL_ENC(element);
  GST_OBJECT_LOCK(enc);
  const bool taken = enc->audio_pad != nullptr;
  GST_OBJECT_UNLOCK(enc);
  if (taken) {
    GST_WARNING_OBJECT(enc, "a movie made here has one sound track");
    return nullptr;
  }
  GstPad* pad = gst_pad_new_from_template(templ, "audio");
  gst_pad_set_chain_function(pad, audio_chain);
  gst_pad_set_event_function(pad, sink_event);
  GST_OBJECT_LOCK(enc);
  enc->audio_pad = pad;
  GST_OBJECT_UNLOCK(enc);
  gst_pad_set_active(pad, TRUE);
  gst_element_add_pad(element, pad);
  return pad;
}

static void release_pad(GstElement* element, GstPad* pad) {
  VexilEnc* enc = VEXIL_ENC(element);
  GST_OBJECT_LOCK(enc);
  if (enc->audio_pad == pad) enc->audio_pad = nullptr;
  GST_OBJECT_UNLOCK(enc);
  gst_element_remove_pad(element, pad);
}

static void reset_session(VexilEnc* enc) {
  g_mutex_lock(&enc->lock);
  delete enc->session;
  enc->session = new (std::nothrow) Session();
  g_mutex_unlock(&enc->lock);
}

static GstStateChangeReturn change_state(GstElement* element, GstStateChange transition) {
  VexilEnc* enc = VEXIL_ENC(element);
  if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
    reset_session(enc);
    if (!enc->session) return GST_STATE_CHANGE_FAILURE;
  }
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(vexil_enc_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) reset_session(enc);
  return result;
}

static void set_property(GObject* object, guint id, const GValue* value, GParamSpec* param) {
  VexilEnc* enc = VEXIL_ENC(object);
  GST_OBJECT_LOCK(enc);
  switch (id) {
    case PROP_QUALITY:
      enc->quality = g_value_get_uint(value);
      break;
    case PROP_KEYINT:
      enc->keyint = g_value_get_uint(value);
      break;
    case PROP_REVISION:
      g_free(enc->revision);
      enc->revision = g_value_dup_string(value);
      break;
    case PROP_AUDIO_CODEC:
      enc->audio_codec = g_value_get_enum(value);
      break;
    case PROP_THREADS:
      enc->threads = g_value_get_uint(value);
      break;
    case PROP_TRACK_ID:
      enc->track_id = g_value_get_uint(value);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
  GST_OBJECT_UNLOCK(enc);
}

static void get_property(GObject* object, guint id, GValue* value, GParamSpec* param) {
  VexilEnc* enc = VEXIL_ENC(object);
  GST_OBJECT_LOCK(enc);
  switch (id) {
    case PROP_QUALITY:
      g_value_set_uint(value, enc->quality);
      break;
    case PROP_KEYINT:
      g_value_set_uint(value, enc->keyint);
      break;
    case PROP_REVISION:
      g_value_set_string(value, enc->revision);
      break;
    case PROP_AUDIO_CODEC:
      g_value_set_enum(value, enc->audio_codec);
      break;
    case PROP_THREADS:
      g_value_set_uint(value, enc->threads);
      break;
    case PROP_TRACK_ID:
      g_value_set_uint(value, enc->track_id);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
  }
  GST_OBJECT_UNLOCK(enc);
}

static void vexil_enc_init(VexilEnc* enc) {
  enc->video_pad = gst_pad_new_from_static_template(&video_template, "video");
  gst_pad_set_chain_function(enc->video_pad, video_chain);
  gst_pad_set_event_function(enc->video_pad, sink_event);
  // No allocation query goes on downstream: the pictures are copied.
  gst_element_add_pad(GST_ELEMENT(enc), enc->video_pad);
  enc->src_pad = gst_pad_new_from_static_template(&src_template, "src");
  gst_pad_use_fixed_caps(enc->src_pad);
  gst_element_add_pad(GST_ELEMENT(enc), enc->src_pad);
  enc->audio_pad = nullptr;
  enc->quality = vexil::kDefaultQuality;
  enc->keyint = 0;
  enc->revision = g_strdup("i");
  enc->audio_codec = AUDIO_CODEC_DCT;
  enc->threads = default_threads();
  enc->track_id = 0;
  g_mutex_init(&enc->lock);
  enc->session = new Session();
}

static void finalize(GObject* object) {
  VexilEnc* enc = VEXIL_ENC(object);
  delete enc->session;
  g_free(enc->revision);
  g_mutex_clear(&enc->lock);
  G_OBJECT_CLASS(vexil_enc_parent_class)->finalize(object);
}

static void vexil_enc_class_init(VexilEncClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  object_class->set_property = set_property;
  object_class->get_property = get_property;
  object_class->finalize = finalize;
  element_class->change_state = change_state;
  element_class->request_new_pad = request_new_pad;
  element_class->release_pad = release_pad;
  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                              GST_PARAM_MUTABLE_READY);
  g_object_class_install_property(
      object_class, PROP_QUALITY,
      g_param_spec_uint("quality", "Quality", "Picture quality, 0 (smallest) to 100 (best)", 0, 100,
                        vexil::kDefaultQuality, flags));
  g_object_class_install_property(
      object_class, PROP_KEYINT,
      g_param_spec_uint("keyint", "Key-frame interval",
                        "Frames from one key frame to the next (0: four seconds' worth)", 0,
                        G_MAXUINT, 0, flags));
  g_object_class_install_property(
      object_class, PROP_REVISION,
      g_param_spec_string("revision", "Revision", "The container revision to write: f, g, h or i",
                          "i", flags));
  g_object_class_install_property(
      object_class, PROP_AUDIO_CODEC,
      g_param_spec_enum("audio-codec", "Audio codec", "The sound track's codec", audio_codec_type(),
                        AUDIO_CODEC_DCT, flags));
  g_object_class_install_property(
      object_class, PROP_THREADS,
      g_param_spec_uint("threads", "Threads",
                        "Encoder threads (the movie is the same for any number)", 1, 64,
                        default_threads(), flags));
  g_object_class_install_property(
      object_class, PROP_TRACK_ID,
      g_param_spec_uint("track-id", "Track id", "The sound track's id", 0, G_MAXUINT, 0, flags));
  gst_element_class_add_static_pad_template(element_class, &video_template);
  gst_element_class_add_static_pad_template(element_class, &audio_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "Vexil encoder", "Codec/Muxer/Encoder/Video/Audio",
      "Makes a Vexil movie from raw pictures (I420, A420 or GRAY8) and 16-bit sound",
      "The Vexil developers");
}

gboolean vexil_enc_register(GstPlugin* plugin) {
  GST_DEBUG_CATEGORY_INIT(vexil_enc_debug, "vexilenc", 0, "Vexil encoder");
  gst_type_mark_as_plugin_api(audio_codec_type(), static_cast<GstPluginAPIFlags>(0));
  return gst_element_register(plugin, "vexilenc", GST_RANK_NONE, vexil_enc_get_type());
}
