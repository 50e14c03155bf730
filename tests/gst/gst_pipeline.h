// Pipelines for the ocamerasrc tests: built from a gst-launch description,
// driven through their states, read through an appsink named "sink".
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gst_test {

// One buffer taken from the appsink, copied out with its caps and flags.
struct Pulled {
  std::vector<std::uint8_t> bytes;
  std::string media;   // "video/x-bayer", "video/x-raw"
  std::string format;  // "grbg", "RGB", ...
  int width = 0, height = 0;
  guint64 offset = GST_BUFFER_OFFSET_NONE;  // the camera's sequence number
  GstClockTime pts = GST_CLOCK_TIME_NONE;
  bool discont = false;
};

class Pipeline {
 public:
  explicit Pipeline(const std::string &description);
  ~Pipeline();  // to NULL, then freed
  Pipeline(const Pipeline &) = delete;
  Pipeline &operator=(const Pipeline &) = delete;

  GstElement *get() const { return pipeline_; }
  GstElement *element(const char *name) const;  // borrowed; null when absent
  GstStateChangeReturn setState(GstState state);
  // The next sample of the appsink "sink" within timeoutMs; false at EOS or time-out.
  bool pull(Pulled *out, int timeoutMs = 10000);
  // Pulls until EOS (at most `limit` samples within timeoutMs in all).
  std::vector<Pulled> pullAll(std::size_t limit, int timeoutMs = 20000);
  // The next bus message of the given types within timeoutMs (null when none);
  // the caller unrefs it.
  GstMessage *waitMessage(GstMessageType types, int timeoutMs);
  // Waits for EOS; fails the test on an error message or a time-out.
  void waitEos(int timeoutMs = 20000);

 private:
  GstElement *pipeline_ = nullptr;
};

}  // namespace gst_test
