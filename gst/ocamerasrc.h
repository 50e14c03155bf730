// ocamerasrc: a live GStreamer source that delivers the frames of an
// ocamera::Stream, raw Bayer (video/x-bayer) or converted by the library
// (video/x-raw,format=RGB), each buffer wrapping one frame of the stream's
// pool without a copy.
#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_OCAMERA_SRC (gst_ocamera_src_get_type())
G_DECLARE_FINAL_TYPE(GstOcameraSrc, gst_ocamera_src, GST, OCAMERA_SRC, GstPushSrc)

G_END_DECLS
