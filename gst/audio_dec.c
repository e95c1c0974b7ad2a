/* vexilaudiodec: one sound track's packet parts decoded in order into
 * interleaved signed 16-bit samples, as the movie's player takes them. */
#include <gst/audio/audio.h>
#include <vexil/vexil.h>

#include "vexil_elements.h"

GST_DEBUG_CATEGORY_STATIC(vexil_audio_dec_debug);
#define GST_CAT_DEFAULT vexil_audio_dec_debug

typedef struct _VexilAudioDec {
  GstAudioDecoder parent;
  vexil_audio_decoder* decoder;
  guint32 channels;
  guint64 max_part_frames; /* the most a part's buffer is made for */
} VexilAudioDec;

/* A part's count field is a damaged movie's to choose: the buffer for it is
 * no larger than the movie's largest part (when the demuxer says) or eight
 * seconds of sound, whichever is more, and never beyond this. */
#define MAX_PART_FRAMES (16u << 20)

typedef struct _VexilAudioDecClass {
  GstAudioDecoderClass parent_class;
} VexilAudioDecClass;

G_DEFINE_TYPE(VexilAudioDec, vexil_audio_dec, GST_TYPE_AUDIO_DECODER)

#define VEXIL_AUDIO_DEC(obj) ((VexilAudioDec*)(obj))

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(VEXIL_AUDIO_CAPS ", rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ], "
                                     "codec = (string) { dct, rdft }"));
static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) S16LE, layout = (string) interleaved, "
                    "rate = (int) [ 1, 65535 ], channels = (int) [ 1, 2 ]"));

static gboolean set_format(GstAudioDecoder* base, GstCaps* caps) {
  VexilAudioDec* dec = VEXIL_AUDIO_DEC(base);
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  gint rate = 0, channels = 0;
  const gchar* codec = gst_structure_get_string(s, "codec");
  if (!gst_structure_get_int(s, "rate", &rate) ||
      !gst_structure_get_int(s, "channels", &channels) || !codec)
    return FALSE;
  vexil_audio_decoder_destroy(dec->decoder);
  dec->decoder = NULL;
  const guint32 kind = g_str_equal(codec, "rdft") ? VEXIL_CODEC_RDFT : VEXIL_CODEC_DCT;
  const vexil_result result =
      vexil_audio_decoder_create((guint32)rate, (guint32)channels, kind, &dec->decoder);
  if (result != VEXIL_OK) {
    GST_ELEMENT_ERROR(dec, LIBRARY, INIT, ("%s", vexil_result_text(result)),
                      ("no decoder for %d Hz, %d channels, %s", rate, channels, codec));
    return FALSE;
  }
  dec->channels = (guint32)channels;
  guint largest = 0;
  gst_structure_get_uint(s, "largest-part", &largest);
  dec->max_part_frames =
      MIN(MAX((guint64)rate * 8, largest / (dec->channels * 2u)), (guint64)MAX_PART_FRAMES);
  GstAudioInfo info;
  gst_audio_info_init(&info);
  gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16LE, rate, channels, NULL);
  return gst_audio_decoder_set_output_format(base, &info);
}

static GstFlowReturn handle_frame(GstAudioDecoder* base, GstBuffer* buffer) {
  VexilAudioDec* dec = VEXIL_AUDIO_DEC(base);
  if (!buffer) return GST_FLOW_OK; /* nothing held back to drain */
  if (!dec->decoder) return GST_FLOW_NOT_NEGOTIATED;
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
  /* The part says how many sample frames it yields; damaged data gives
   * wrong sound, never more than that. */
  const guint64 room =
      MIN(vexil_audio_part_frames(map.data, map.size, dec->channels), dec->max_part_frames);
  const gsize frame_bytes = dec->channels * 2;
  GstBuffer* out = NULL;
  size_t frames = 0;
  if (room > 0 && room <= G_MAXSIZE / frame_bytes) {
    out = gst_audio_decoder_allocate_output_buffer(base, (gsize)room * frame_bytes);
    GstMapInfo samples;
    if (out && gst_buffer_map(out, &samples, GST_MAP_WRITE)) {
      vexil_audio_decoder_decode(dec->decoder, map.data, map.size, (int16_t*)samples.data,
                                 (size_t)room, &frames);
      gst_buffer_unmap(out, &samples);
      gst_buffer_set_size(out, (gssize)(frames * frame_bytes));
    }
  } else {
    size_t none = 0;
    vexil_audio_decoder_decode(dec->decoder, map.data, map.size, NULL, 0, &none);
  }
  gst_buffer_unmap(buffer, &map);
  if (out && frames == 0) {
    gst_buffer_unref(out);
    out = NULL;
  }
  return gst_audio_decoder_finish_frame(base, out, 1);
}

/* A discontinuity or a seek: the next block does not overlap the last. */
static void flush(GstAudioDecoder* base, gboolean hard) {
  VexilAudioDec* dec = VEXIL_AUDIO_DEC(base);
  vexil_audio_decoder_reset(dec->decoder);
}

static gboolean stop(GstAudioDecoder* base) {
  VexilAudioDec* dec = VEXIL_AUDIO_DEC(base);
  vexil_audio_decoder_destroy(dec->decoder);
  dec->decoder = NULL;
  return TRUE;
}

static void vexil_audio_dec_init(VexilAudioDec* dec) {
  GstAudioDecoder* base = GST_AUDIO_DECODER(dec);
  gst_audio_decoder_set_drainable(base, TRUE);
  gst_audio_decoder_set_needs_format(base, TRUE);
  gst_audio_decoder_set_use_default_pad_acceptcaps(base, TRUE);
  GST_PAD_SET_ACCEPT_TEMPLATE(GST_AUDIO_DECODER_SINK_PAD(base));
}

static void vexil_audio_dec_class_init(VexilAudioDecClass* klass) {
  GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
  GstAudioDecoderClass* decoder_class = GST_AUDIO_DECODER_CLASS(klass);
  decoder_class->stop = stop;
  decoder_class->set_format = set_format;
  decoder_class->handle_frame = handle_frame;
  decoder_class->flush = flush;
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "Vexil audio decoder", "Codec/Decoder/Audio",
                                        "Decodes Vexil sound tracks (both codecs) into 16-bit PCM",
                                        "The Vexil developers");
}

gboolean vexil_audio_dec_register(GstPlugin* plugin) {
  GST_DEBUG_CATEGORY_INIT(vexil_audio_dec_debug, "vexilaudiodec", 0, "Vexil audio decoder");
  return gst_element_register(plugin, "vexilaudiodec", GST_RANK_PRIMARY,
                              vexil_audio_dec_get_type());
}
