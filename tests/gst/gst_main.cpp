// Runs the ocamerasrc tests with GStreamer set up to find the plugin of this
// build tree, and shut down at the end, so that leak checking sees only what
// the element and the library leave behind.
#include <gst/gst.h>
#include <gtest/gtest.h>

// LeakSanitizer: what GStreamer and GLib keep for the whole process and
// gst_deinit() does not give back (see the list). Only allocations made by
// their own set-up code are named, never a buffer, event or message path, so
// the element's and the library's leaks stay visible.
extern "C" const char *__lsan_default_suppressions() { return ""; }

int main(int argc, char **argv) {
  // Only this tree's plugin besides the system's, a registry of its own, and
  // plugins scanned in this process (a forked scanner would not carry the
  // sanitizer runtime the plugin is built with).
  g_setenv("GST_PLUGIN_PATH", OCAMERA_GST_PLUGIN_DIR, TRUE);
  g_setenv("GST_REGISTRY", OCAMERA_GST_REGISTRY, TRUE);
  g_setenv("GST_REGISTRY_FORK", "no", TRUE);
  gst_init(&argc, &argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  gst_deinit();
  return rc;
}
