/* The elements of the vexil plugin and the caps they share. */
#ifndef VEXIL_GST_ELEMENTS_H
#define VEXIL_GST_ELEMENTS_H

#include <gst/gst.h>

G_BEGIN_DECLS

/* A whole movie file. */
#define VEXIL_MOVIE_CAPS "video/x-vexil"
/* One frame's compressed picture (the video part of a packet). */
#define VEXIL_VIDEO_CAPS "video/x-vexil-video"
/* One packet's part of one sound track. */
#define VEXIL_AUDIO_CAPS "audio/x-vexil-audio"

gboolean vexil_typefind_register(GstPlugin* plugin);
gboolean vexil_demux_register(GstPlugin* plugin);
gboolean vexil_video_dec_register(GstPlugin* plugin);
gboolean vexil_audio_dec_register(GstPlugin* plugin);
gboolean vexil_enc_register(GstPlugin* plugin);

G_END_DECLS

#endif
