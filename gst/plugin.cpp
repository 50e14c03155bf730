// The "ocamera" plugin: registers ocamerasrc.
#include <gst/gst.h>

#include "ocamerasrc.h"

#define PACKAGE "ocamera"

static gboolean pluginInit(GstPlugin *plugin) {
  return gst_element_register(plugin, "ocamerasrc", GST_RANK_NONE, GST_TYPE_OCAMERA_SRC);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, ocamera,
                  "Live video from networked smart cameras through ocamera", pluginInit,
                  OCAMERA_GST_VERSION, "unknown", "ocamera", "https://localhost/ocamera")
