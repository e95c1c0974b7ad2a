/* Recognises Vexil movies by their signature: "VXL" and a revision letter. */
#include "vexil_elements.h"

#define HEADER_BYTES 44

static guint32 read_le32(const guint8* p) {
  return (guint32)p[0] | (guint32)p[1] << 8 | (guint32)p[2] << 16 | (guint32)p[3] << 24;
}

static void vexil_type_find(GstTypeFind* find, gpointer user_data) {
  const guint8* data = gst_type_find_peek(find, 0, 4);
  if (!data || data[0] != 'V' || data[1] != 'X' || data[2] != 'L' || data[3] < 'f' || data[3] > 'i')
    return;
  /* A header whose figures an open accepts is certainly ours; the four bytes
   * alone are likely. */
  guint probability = GST_TYPE_FIND_LIKELY;
  const guint8* header = gst_type_find_peek(find, 0, HEADER_BYTES);
  if (header) {
    const guint32 frames = read_le32(header + 8), entries = read_le32(header + 16);
    const guint32 width = read_le32(header + 20), height = read_le32(header + 24);
    const guint32 rate_num = read_le32(header + 28), rate_den = read_le32(header + 32);
    const guint32 tracks = read_le32(header + 40);
    if (frames > 0 && entries >= frames && entries <= 1000000 && width <= 32767 &&
        height <= 32767 && rate_num && rate_den && tracks <= 256)
      probability = GST_TYPE_FIND_MAXIMUM;
  }
  gst_type_find_suggest_empty_simple(find, probability, VEXIL_MOVIE_CAPS);
}

gboolean vexil_typefind_register(GstPlugin* plugin) {
  GstCaps* caps = gst_caps_new_empty_simple(VEXIL_MOVIE_CAPS);
  const gboolean registered = gst_type_find_register(plugin, VEXIL_MOVIE_CAPS, GST_RANK_PRIMARY,
                                                     vexil_type_find, "vxl", caps, NULL, NULL);
  gst_caps_unref(caps);
  return registered;
}
