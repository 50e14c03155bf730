#include "gst_pipeline.h"

#include <gtest/gtest.h>

namespace gst_test {

Pipeline::Pipeline(const std::string &description) {
  GError *error = nullptr;
  pipeline_ = gst_parse_launch(description.c_str(), &error);
  EXPECT_TRUE(pipeline_ && !error) << description << ": " << (error ? error->message : "");
  if (error) g_error_free(error);
}

Pipeline::~Pipeline() {
  if (!pipeline_) return;
  gst_element_set_state(pipeline_, GST_STATE_NULL);
  gst_object_unref(pipeline_);
}

GstElement *Pipeline::element(const char *name) const {
  if (!pipeline_) return nullptr;
  GstElement *e = gst_bin_get_by_name(GST_BIN(pipeline_), name);
  if (e) gst_object_unref(e);  // the pipeline keeps it alive
  return e;
}

GstStateChangeReturn Pipeline::setState(GstState state) {
  return pipeline_ ? gst_element_set_state(pipeline_, state) : GST_STATE_CHANGE_FAILURE;
}

bool Pipeline::pull(Pulled *out, int timeoutMs) {
  GstElement *sink = element("sink");
  if (!sink) return false;
  GstSample *sample = gst_app_sink_try_pull_sample(
      GST_APP_SINK(sink), static_cast<GstClockTime>(timeoutMs) * GST_MSECOND);
  if (!sample) return false;
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  GstMapInfo map;
  if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    out->bytes.assign(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
  }
  const GstStructure *s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
  out->media = gst_structure_get_name(s);
  const char *format = gst_structure_get_string(s, "format");
  out->format = format ? format : "";
  gst_structure_get_int(s, "width", &out->width);
  gst_structure_get_int(s, "height", &out->height);
  out->offset = GST_BUFFER_OFFSET(buffer);
  out->pts = GST_BUFFER_PTS(buffer);
  out->discont = GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT);
  gst_sample_unref(sample);
  return true;
}

std::vector<Pulled> Pipeline::pullAll(std::size_t limit, int timeoutMs) {
  std::vector<Pulled> all;
  const gint64 end = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
  Pulled p;
  while (all.size() < limit) {
    const int left = static_cast<int>((end - g_get_monotonic_time()) / 1000);
    if (left <= 0 || !pull(&p, left)) break;
    all.push_back(std::move(p));
  }
  return all;
}

GstMessage *Pipeline::waitMessage(GstMessageType types, int timeoutMs) {
  GstBus *bus = gst_element_get_bus(pipeline_);
  GstMessage *m =
      gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(timeoutMs) * GST_MSECOND, types);
  gst_object_unref(bus);
  return m;
}

void Pipeline::waitEos(int timeoutMs) {
  GstMessage *m =
      waitMessage(static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR), timeoutMs);
  ASSERT_NE(m, nullptr) << "no EOS within " << timeoutMs << " ms";
  if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
    GError *error = nullptr;
    gchar *debug = nullptr;
    gst_message_parse_error(m, &error, &debug);
    ADD_FAILURE() << "error: " << error->message << " (" << GST_STR_NULL(debug) << ")";
    g_error_free(error);
    g_free(debug);
  }
  gst_message_unref(m);
}

}  // namespace gst_test
