// Runs the ocamerasrc tests with GStreamer set up to find the plugin of this
// build tree, and shut down at the end, so that leak checking sees only what
// the element and the library leave behind.
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

// The test links the simulator, whose wire layer carries the same gSOAP
// namespace table ("namespaces", built from the same source) that libocamera
// exports for the gSOAP runtime; the two definitions are identical, which
// AddressSanitizer's one-definition check cannot tell.
extern "C" __attribute__((visibility("default"))) const char *__asan_default_options() {
  return "detect_odr_violation=0";
}

// LeakSanitizer needs no suppressions here: with gst_deinit() at the end and
// GLib's slices going through malloc (below), GStreamer, GLib and the system
// plugins used (videoconvert, pngenc, jpegenc, RTP, UDP, appsink) leave
// nothing it reports. Any suppression added later should name a set-up path
// of theirs, never a buffer, event or message path, so that the element's and
// the library's leaks stay visible.

// Scanning the plugins into a new registry allocates memory that GLib keeps
// for the life of the process. The first test process of a fresh build tree
// would report it, so the registry is built once in a child that ends without
// leak checking, and every test process reads the finished one.
static void buildRegistry() {
  struct stat st;
  if (stat(OCAMERA_GST_REGISTRY, &st) == 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    gst_init(nullptr, nullptr);
    _exit(0);
  }
  if (pid > 0) {
    int status = 0;
    waitpid(pid, &status, 0);
  }
}

int main(int argc, char **argv) {
  // GLib's slice allocator keeps freed blocks, and the stale pointers in them
  // would hide leaks: every block must go through malloc and be cleared. GLib
  // reads this once, early, so the test starts itself again with it set.
  if (!g_getenv("G_SLICE")) {
    g_setenv("G_SLICE", "always-malloc", TRUE);
    g_setenv("G_DEBUG", "gc-friendly", TRUE);
    execv("/proc/self/exe", argv);
    std::perror("execv /proc/self/exe");
    return 1;
  }
  // Only this tree's plugin besides the system's, a registry of its own, and
  // plugins scanned in this process (a forked scanner would not carry the
  // sanitizer runtime the plugin is built with).
  g_setenv("GST_PLUGIN_PATH", OCAMERA_GST_PLUGIN_DIR, TRUE);
  g_setenv("GST_REGISTRY", OCAMERA_GST_REGISTRY, TRUE);
  g_setenv("GST_REGISTRY_FORK", "no", TRUE);
  buildRegistry();
  gst_init(&argc, &argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  gst_deinit();
  return rc;
}
