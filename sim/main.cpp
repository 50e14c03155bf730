// ocamsim: the simulated camera as a stand-alone program.
#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "sim/simulator.h"

#ifndef OCAMERA_VERSION
#define OCAMERA_VERSION "unknown"
#endif

namespace {

const char kUsage[] =
    "usage: ocamsim [options]\n"
    "Serves the camera's device manager, camera, inputs, outputs and LED services\n"
    "on two ports until SIGINT or SIGTERM.\n"
    "\n"
    "  --camera-port N   camera port (default 8000; 0 picks a free port, -1 none)\n"
    "  --io-port N       inputs/outputs/LEDs port (default 8080; 0 free, -1 none)\n"
    "  --bind ADDR       address to listen on (default 127.0.0.1)\n"
    "  --max-timeout S   session time-out in seconds announced by rdev:list (default 10)\n"
    "  --width N         sensor width in pixels (default 1280)\n"
    "  --height N        sensor height in pixels (default 1024)\n"
    "  --pattern P       Bayer pattern: GRGR, BGBG, RGRG, GBGB or 1-4 (default GRGR)\n"
    "  --ram BYTES       image RAM size (default 16777216)\n"
    "  --images PATH     show pictures instead of the built-in scene: a PNG file,\n"
    "                    a raw file of width x height Bayer samples, or a directory\n"
    "                    of .png/.raw files shown in name order; colour pictures\n"
    "                    are mosaicked into the sensor's Bayer pattern, other sizes\n"
    "                    scaled to cover the sensor and centred\n"
    "  --images-fps F    pictures shown per second (default: one per frame)\n"
    "  --noise A         sensor noise: samples move by up to +/-A grey levels\n"
    "  --noise-seed N    seed of the noise (default 1; the same seed, same noise)\n"
    "  --input-schedule MS:LEVELS[,MS:LEVELS...]\n"
    "                    drive the inputs: at MS milliseconds after start set the\n"
    "                    levels (bit 0 = I0, bit 1 = I1), e.g. 0:0,1000:1\n"
    "  --input-period MS repeat the input schedule every MS milliseconds\n"
    "  --settings FILE   start from the settings of a profile (JSON, see\n"
    "                    docs/settings.md); its acquisition mode must be STOP\n"
    "  -v, --verbose     one line per request on standard error\n"
    "  --version         print the version and exit\n"
    "  -h, --help        this text\n";

bool parseInt(const char *text, long long lo, long long hi, long long &out) {
  char *end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno || end == text || *end || v < lo || v > hi) return false;
  out = v;
  return true;
}

// "0:0,1000:1,1500:3" -> steps at 0, 1000 and 1500 ms; levels 0..3.
bool parseSchedule(const char *text, std::vector<ocamsim::InputStep> &steps) {
  steps.clear();
  std::string spec(text);
  std::size_t pos = 0;
  while (pos <= spec.size()) {
    const std::size_t comma = std::min(spec.find(',', pos), spec.size());
    const std::string item = spec.substr(pos, comma - pos);
    const std::size_t colon = item.find(':');
    long long at = 0, levels = 0;
    if (colon == std::string::npos || !parseInt(item.substr(0, colon).c_str(), 0, 86400000, at) ||
        !parseInt(item.substr(colon + 1).c_str(), 0, 3, levels))
      return false;
    steps.push_back({static_cast<int>(at), static_cast<int>(levels)});
    pos = comma + 1;
  }
  return !steps.empty();
}

int parsePattern(const std::string &p) {
  const char *names[] = {"GRGR", "BGBG", "RGRG", "GBGB"};
  for (int i = 0; i < 4; ++i)
    if (p == names[i] || p == std::to_string(i + 1)) return i + 1;
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  ocamsim::Options opt;
  ocamera::Settings profile;  // --settings: made before serving starts
  opt.cameraPort = 8000;
  opt.ioPort = 8080;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("ocamsim %s\n", OCAMERA_VERSION);
      return 0;
    }
    if (a == "-v" || a == "--verbose") {
      opt.verbose = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "ocamsim: unknown option or missing value: %s\n%s", a.c_str(), kUsage);
      return 2;
    }
    const char *v = argv[++i];
    long long n = 0;
    bool ok = true;
    if (a == "--camera-port" && (ok = parseInt(v, -1, 65535, n))) {
      opt.cameraPort = static_cast<int>(n);
    } else if (a == "--io-port" && (ok = parseInt(v, -1, 65535, n))) {
      opt.ioPort = static_cast<int>(n);
    } else if (a == "--bind") {
      opt.bindAddress = v;
    } else if (a == "--max-timeout" && (ok = parseInt(v, -1, 86400, n))) {
      opt.maxTimeout = static_cast<int>(n);
    } else if (a == "--width" && (ok = parseInt(v, 2, 16384, n))) {
      opt.sensorWidth = static_cast<int>(n);
    } else if (a == "--height" && (ok = parseInt(v, 2, 16384, n))) {
      opt.sensorHeight = static_cast<int>(n);
    } else if (a == "--pattern") {
      opt.bayerPattern = parsePattern(v);
      ok = opt.bayerPattern != 0;
    } else if (a == "--ram" && (ok = parseInt(v, 0, 1LL << 31, n))) {
      opt.imageRamSize = static_cast<std::size_t>(n);
    } else if (a == "--images") {
      opt.images = v;
      ok = !opt.images.empty();
    } else if (a == "--images-fps") {
      char *end = nullptr;
      opt.imagesFps = std::strtod(v, &end);
      ok = end != v && !*end && opt.imagesFps > 0 && opt.imagesFps <= 1000;
    } else if (a == "--noise" && (ok = parseInt(v, 0, 255, n))) {
      opt.noise = static_cast<int>(n);
    } else if (a == "--noise-seed" && (ok = parseInt(v, 0, 0xFFFFFFFFLL, n))) {
      opt.noiseSeed = static_cast<std::uint32_t>(n);
    } else if (a == "--input-schedule") {
      ok = parseSchedule(v, opt.inputSchedule);
    } else if (a == "--input-period" && (ok = parseInt(v, 1, 86400000, n))) {
      opt.inputSchedulePeriodMs = static_cast<int>(n);
    } else if (a == "--settings") {
      std::string why;
      if (!ocamera::Settings::readFile(v, &profile, &why)) {
        std::fprintf(stderr, "ocamsim: --settings: %s\n", why.c_str());
        return 2;
      }
    } else {
      std::fprintf(stderr, "ocamsim: unknown option: %s\n%s", a.c_str(), kUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "ocamsim: bad value for %s: %s\n", a.c_str(), v);
      return 2;
    }
  }

  // Block the stop signals in every thread; the main thread waits for them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  ocamsim::Simulator sim(opt);
  const std::string refused = sim.applySettings(profile);
  if (!refused.empty()) {
    std::fprintf(stderr, "ocamsim: --settings: %s\n", refused.c_str());
    return 2;
  }
  try {
    sim.start();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "ocamsim: camera on %s, inputs/outputs/LEDs on %s\n",
               opt.cameraPort < 0 ? "(none)" : sim.cameraAddress().c_str(),
               opt.ioPort < 0 ? "(none)" : sim.ioAddress().c_str());
  int sig = 0;
  sigwait(&set, &sig);
  sim.stop();
  std::fprintf(stderr, "ocamsim: stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
  return 0;
}
