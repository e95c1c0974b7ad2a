/* vexilvideodec: each frame's picture data decoded over the picture before,
 * giving the decoder's planes (visible area) as I420, A420 with the alpha
 * plane, or GRAY8 for grayscale movies. With threads=2 a decode thread of the
 * library decodes each picture's luma plane beside the streaming thread. */
#include <gst/video/video.h>
#include <string.h>
#include <vexil/vexil.h>

#include "vexil_elements.h"

GST_DEBUG_CATEGORY_STATIC(vexil_video_dec_debug);
#define GST_CAT_DEFAULT vexil_video_dec_debug

typedef struct _VexilVideoDec {
  GstVideoDecoder parent;
  vexil_video_params params;
  vexil_video_decoder* decoder;
  GstVideoCodecState* input_state;
  GstVideoFormat format;
  guint threads; /* the "threads" property; the object lock guards it */
} VexilVideoDec;

enum { PROP_0, PROP_THREADS };

typedef struct _VexilVideoDecClass {
  GstVideoDecoderClass parent_class;
} VexilVideoDecClass;

G_DEFINE_TYPE(VexilVideoDec, vexil_video_dec, GST_TYPE_VIDEO_DECODER)

#define VEXIL_VIDEO_DEC(obj) ((VexilVideoDec*)(obj))

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS(VEXIL_VIDEO_CAPS ", width = (int) [ 1, 32767 ], "
                                                             "height = (int) [ 1, 32767 ]"));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ I420, A420, GRAY8 }")));

/* Fresh black pictures, as a movie starts with. */
static gboolean create_decoder(VexilVideoDec* dec) {
  vexil_video_decoder_destroy(dec->decoder);
  dec->decoder = NULL;
  const vexil_result result = vexil_video_decoder_create(&dec->params, &dec->decoder);
  if (result != VEXIL_OK) {
    GST_ELEMENT_ERROR(dec, LIBRARY, INIT, ("%s", vexil_result_text(result)),
                      ("no decoder for %ux%u pictures", dec->params.width, dec->params.height));
    return FALSE;
  }
  return TRUE;
}

static gboolean set_format(GstVideoDecoder* base, GstVideoCodecState* state) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(base);
  const GstStructure* s = gst_caps_get_structure(state->caps, 0);
  gint width = 0, height = 0;
  gboolean alpha = FALSE, grayscale = FALSE;
  const gchar* revision = gst_structure_get_string(s, "revision");
  gst_structure_get_int(s, "width", &width);
  gst_structure_get_int(s, "height", &height);
  gst_structure_get_boolean(s, "alpha", &alpha);
  gst_structure_get_boolean(s, "grayscale", &grayscale);
  vexil_video_params_init(&dec->params);
  dec->params.width = (guint32)width;
  dec->params.height = (guint32)height;
  if (revision && strlen(revision) == 1) dec->params.revision = (guint32)revision[0];
  dec->params.flags = (alpha ? VEXIL_MOVIE_ALPHA : 0) | (grayscale ? VEXIL_MOVIE_GRAYSCALE : 0);
  dec->params.decode_alpha = alpha;
  GST_OBJECT_LOCK(dec);
  dec->params.decode_threads = dec->threads;
  GST_OBJECT_UNLOCK(dec);
  if (!create_decoder(dec)) return FALSE;

  /* Alpha is kept also in grayscale movies (their colour planes are 128). */
  dec->format = alpha       ? GST_VIDEO_FORMAT_A420
                : grayscale ? GST_VIDEO_FORMAT_GRAY8
                            : GST_VIDEO_FORMAT_I420;
  if (dec->input_state) gst_video_codec_state_unref(dec->input_state);
  dec->input_state = gst_video_codec_state_ref(state);
  GstVideoCodecState* output =
      gst_video_decoder_set_output_state(base, dec->format, (guint)width, (guint)height, state);
  /* Studio-range pictures, chroma centred between the luma samples. */
  gst_video_colorimetry_from_string(&output->info.colorimetry, GST_VIDEO_COLORIMETRY_BT601);
  output->info.chroma_site = GST_VIDEO_CHROMA_SITE_JPEG;
  gst_video_codec_state_unref(output);
  return gst_video_decoder_negotiate(base);
}

static void copy_plane(GstVideoFrame* frame, guint plane, const guint8* source, guint32 pitch,
                       guint32 width, guint32 height, guint8 fill) {
  guint8* row = GST_VIDEO_FRAME_PLANE_DATA(frame, plane);
  const gint stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame, plane);
  for (guint32 y = 0; y < height; ++y, row += stride) {
    if (source)
      memcpy(row, source + (gsize)y * pitch, width);
    else
      memset(row, fill, width);
  }
}

static GstFlowReturn handle_frame(GstVideoDecoder* base, GstVideoCodecFrame* frame) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(base);
  if (!dec->decoder) {
    gst_video_decoder_drop_frame(base, frame);
    return GST_FLOW_NOT_NEGOTIATED;
  }
  GstMapInfo map;
  if (!gst_buffer_map(frame->input_buffer, &map, GST_MAP_READ)) {
    gst_video_decoder_drop_frame(base, frame);
    return GST_FLOW_ERROR;
  }
  /* Damaged data gives a damaged picture; only a refused call loses one. */
  const vexil_result result = vexil_video_decoder_decode(dec->decoder, map.data, map.size);
  gst_buffer_unmap(frame->input_buffer, &map);
  vexil_picture picture;
  vexil_picture_init(&picture);
  if (result != VEXIL_OK || vexil_video_decoder_get_picture(dec->decoder, &picture) != VEXIL_OK) {
    GstFlowReturn flow = GST_FLOW_OK;
    GST_VIDEO_DECODER_ERROR(dec, 1, STREAM, DECODE, ("A picture could not be decoded."),
                            ("%s", vexil_result_text(result)), flow);
    gst_video_decoder_drop_frame(base, frame);
    return flow;
  }

  GstFlowReturn flow = gst_video_decoder_allocate_output_frame(base, frame);
  if (flow != GST_FLOW_OK) {
    gst_video_decoder_drop_frame(base, frame);
    return flow;
  }
  GstVideoCodecState* state = gst_video_decoder_get_output_state(base);
  GstVideoFrame out;
  if (!gst_video_frame_map(&out, &state->info, frame->output_buffer, GST_MAP_WRITE)) {
    gst_video_codec_state_unref(state);
    gst_video_decoder_drop_frame(base, frame);
    return GST_FLOW_ERROR;
  }
  const guint32 w = MIN(picture.width, (guint32)GST_VIDEO_FRAME_WIDTH(&out));
  const guint32 h = MIN(picture.height, (guint32)GST_VIDEO_FRAME_HEIGHT(&out));
  const guint32 cw = (w + 1) / 2, ch = (h + 1) / 2;
  copy_plane(&out, 0, picture.y, picture.y_pitch, w, h, 0);
  if (dec->format != GST_VIDEO_FORMAT_GRAY8) {
    /* A picture without colour planes is gray. */
    copy_plane(&out, 1, picture.cb, picture.cb_pitch, cw, ch, 128);
    copy_plane(&out, 2, picture.cr, picture.cr_pitch, cw, ch, 128);
  }
  if (dec->format == GST_VIDEO_FORMAT_A420)
    copy_plane(&out, 3, picture.alpha, picture.alpha_pitch, w, h, 255);
  gst_video_frame_unmap(&out);
  gst_video_codec_state_unref(state);
  return gst_video_decoder_finish_frame(base, frame);
}

/* After a seek the pictures start black again: decoding from a key frame
 * then gives what a movie opened there gives. */
static gboolean flush(GstVideoDecoder* base) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(base);
  return !dec->decoder || create_decoder(dec);
}

static gboolean start(GstVideoDecoder* base) {
  /* Until the first key frame there is nothing to decode over. */
  gst_video_decoder_set_needs_sync_point(base, TRUE);
  return TRUE;
}

static gboolean stop(GstVideoDecoder* base) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(base);
  vexil_video_decoder_destroy(dec->decoder);
  dec->decoder = NULL;
  if (dec->input_state) gst_video_codec_state_unref(dec->input_state);
  dec->input_state = NULL;
  return TRUE;
}

static void set_property(GObject* object, guint id, const GValue* value, GParamSpec* param) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(object);
  if (id != PROP_THREADS) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
    return;
  }
  GST_OBJECT_LOCK(dec);
  dec->threads = g_value_get_uint(value);
  GST_OBJECT_UNLOCK(dec);
}

static void get_property(GObject* object, guint id, GValue* value, GParamSpec* param) {
  VexilVideoDec* dec = VEXIL_VIDEO_DEC(object);
  if (id != PROP_THREADS) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
    return;
  }
  GST_OBJECT_LOCK(dec);
  g_value_set_uint(value, dec->threads);
  GST_OBJECT_UNLOCK(dec);
}

static void vexil_video_dec_init(VexilVideoDec* dec) {
  GstVideoDecoder* base = GST_VIDEO_DECODER(dec);
  gst_video_decoder_set_packetized(base, TRUE);
  gst_video_decoder_set_use_default_pad_acceptcaps(base, TRUE);
  GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_DECODER_SINK_PAD(base));
  vexil_video_params_init(&dec->params);
}

static void vexil_video_dec_class_init(VexilVideoDecClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  object_class->set_property = set_property;
  object_class->get_property = get_property;
  g_object_class_install_property(
      object_class, PROP_THREADS,
      g_param_spec_uint("threads", "Threads",
                        "Threads decoding each picture: 0 or 1, the streaming thread alone; 2, "
                        "the luma plane on a decode thread beside it (applies from the next "
                        "format)",
                        0, 2, 0, G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstVideoDecoderClass* decoder_class = GST_VIDEO_DECODER_CLASS(klass);
  decoder_class->start = start;
  decoder_class->stop = stop;
  decoder_class->set_format = set_format;
  decoder_class->handle_frame = handle_frame;
  decoder_class->flush = flush;
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(
      element_class, "Vexil video decoder", "Codec/Decoder/Video",
      "Decodes Vexil pictures into I420, A420 (with alpha) or GRAY8", "The Vexil developers");
}

gboolean vexil_video_dec_register(GstPlugin* plugin) {
  GST_DEBUG_CATEGORY_INIT(vexil_video_dec_debug, "vexilvideodec", 0, "Vexil video decoder");
  return gst_element_register(plugin, "vexilvideodec", GST_RANK_PRIMARY,
                              vexil_video_dec_get_type());
}
