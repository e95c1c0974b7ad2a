/* gst-vexil: Vexil movies in GStreamer pipelines. */
#include "vexil_elements.h"

#define PACKAGE "vexil"

/* GST_PLUGIN_DEFINE leaves its reserved fields to their zero default. */
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

static gboolean plugin_init(GstPlugin* plugin) {
  return vexil_typefind_register(plugin) && vexil_demux_register(plugin) &&
         vexil_video_dec_register(plugin) && vexil_audio_dec_register(plugin) &&
         vexil_enc_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vexil,
                  "Vexil movies: typefinder, demuxer, video and audio decoders, encoder",
                  plugin_init, VEXIL_GST_VERSION, "BSD", "vexil", "Unknown package origin")
