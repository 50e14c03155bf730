// The ocamsim program: its options, one log line per request at -v, and a
// clean exit on SIGTERM and SIGINT.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "sim_client.h"

namespace {

using namespace ocam;

// ocamsim run as a child with its standard error on a pipe.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[1], 2);
      ::dup2(fds[1], 1);
      ::close(fds[0]);
      std::vector<char *> argv{const_cast<char *>(OCAMSIM_PATH)};
      for (std::string &a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      ::execv(OCAMSIM_PATH, argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }
  // Reads output until `pattern` matches what was read, or the time-out.
  bool waitFor(const std::regex &pattern, std::smatch &m, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!std::regex_search(text_, m, pattern)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buf[4096];
      const ssize_t n = ::read(out_, buf, sizeof buf);
      if (n <= 0) return false;
      text_.append(buf, n);
    }
    return true;
  }
  // The exit status, or -1 when the child is still running after the time-out.
  int exitCode(int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      std::smatch m;
      waitFor(std::regex("(?!)"), m, 20);  // drain output meanwhile
    }
    exited_ = true;
    std::smatch m;
    while (waitFor(std::regex("(?!)"), m, 1000)) {
    }  // the rest of the output, up to end of file
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid() const { return pid_; }
  const std::string &text() const { return text_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string text_;
};

TEST(SimExecutable, HelpAndBadOptions) {
  Child help({"--help"});
  EXPECT_EQ(help.exitCode(), 0);
  for (const char *opt :
       {"--camera-port", "--io-port", "--bind", "--max-timeout", "--width", "--height", "--pattern",
        "--images", "--images-fps", "--noise", "--noise-seed", "-v"})
    EXPECT_NE(help.text().find(opt), std::string::npos) << opt;
  Child bad({"--pattern", "XYZW"});
  EXPECT_EQ(bad.exitCode(), 2);
  Child unknown({"--frobnicate"});
  EXPECT_EQ(unknown.exitCode(), 2);
  // Pictures that cannot be read stop it at start, naming the path.
  Child noImages({"--camera-port", "0", "--io-port", "0", "--images", "/nonexistent/pics"});
  EXPECT_EQ(noImages.exitCode(), 1);
  EXPECT_NE(noImages.text().find("/nonexistent/pics"), std::string::npos) << noImages.text();
  for (const char *schedule : {"0:4", "x:1", "0:1,", "100"}) {
    Child badSchedule({"--input-schedule", schedule});
    EXPECT_EQ(badSchedule.exitCode(), 2) << schedule;
  }
}

TEST(SimExecutable, InputScheduleDrivesTheInputs) {
  // I1 high from the start, I0 following a long period: the levels read are the schedule's.
  Child sim({"--camera-port", "-1", "--io-port", "0", "--input-schedule", "0:2,3600000:1",
             "--input-period", "7200000"});
  std::smatch m;
  ASSERT_TRUE(sim.waitFor(std::regex("inputs/outputs/LEDs on (127\\.0\\.0\\.1:\\d+)"), m))
      << sim.text();
  simtest::Client d(m[1], false);
  const int t = d.open(2);
  ASSERT_NE(t, simtest::kFailed);
  int status = -99;
  ASSERT_EQ(d.call(soap_call_sinp__create, status, t), SOAP_OK);
  ASSERT_EQ(d.call(soap_call_sinp__iOpen, status, t), SOAP_OK);
  ASSERT_EQ(d.call(soap_call_sinp__iGetInputs, status, t), SOAP_OK);
  EXPECT_EQ(status & 3, 2);
  ::kill(sim.pid(), SIGTERM);
  EXPECT_EQ(sim.exitCode(), 0) << sim.text();
}

TEST(SimExecutable, ServesLogsAndStopsOnSignals) {
  for (int sig : {SIGTERM, SIGINT}) {
    Child sim({"--camera-port", "0", "--io-port", "0", "--max-timeout", "3", "--width", "64",
               "--height", "48", "-v"});
    std::smatch m;
    ASSERT_TRUE(sim.waitFor(std::regex("camera on (127\\.0\\.0\\.1:\\d+), inputs/outputs/LEDs on "
                                       "(127\\.0\\.0\\.1:\\d+)"),
                            m))
        << sim.text();
    const std::string camera = m[1], io = m[2];
    simtest::Client c(camera);
    rdev__listResponse list;
    ASSERT_EQ(c.call(soap_call_rdev__list, list), SOAP_OK);
    ASSERT_EQ(list.__sizedevices, 4);
    EXPECT_EQ(list.devices[0].maxTimeout, 3);
    const int t = c.openCamera();
    EXPECT_EQ(c.setMode(t, 2), 0);
    scam__SingleImageResponse img;
    ASSERT_EQ(c.call(soap_call_scam__getSingleImage, img, t), SOAP_OK);
    EXPECT_EQ(img.nSize, 64 * 48);
    simtest::Client d(io, false);
    EXPECT_NE(d.open(2), simtest::kFailed);
    EXPECT_TRUE(sim.waitFor(std::regex("rdev:open token=0 status=0 in=\\d+ out=\\d+\\n[\\s\\S]*"
                                       "scam:getSingleImage token=" +
                                       std::to_string(t) + " status=0"),
                            m))
        << sim.text();
    ::kill(sim.pid(), sig);
    EXPECT_EQ(sim.exitCode(), 0) << sim.text();
    EXPECT_NE(sim.text().find("stopped"), std::string::npos);
  }
}

TEST(SimExecutable, StartsFromAProfileAndRefusesABadOne) {
  char dir[] = "/tmp/ocamsim_settings_XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string good = std::string(dir) + "/good.json", bad = std::string(dir) + "/bad.json";
  auto write = [](const std::string &path, const char *text) {
    std::FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs(text, f);
    std::fclose(f);
  };
  write(good, R"({"format": 1, "shutterTime": 2345, "registers": {"READ_MODE": 5}})");
  write(bad, R"({"format": 1, "window": {"x0": 60, "y0": 0, "width": 10, "height": 10}})");
  Child sim({"--camera-port", "0", "--io-port", "-1", "--width", "64", "--height", "48",
             "--settings", good});
  std::smatch m;
  ASSERT_TRUE(sim.waitFor(std::regex("camera on (127\\.0\\.0\\.1:\\d+)"), m)) << sim.text();
  simtest::Client c(m[1]);
  const int t = c.openCamera();
  int status = -99;
  ASSERT_EQ(c.call(soap_call_scam__getShutterTime, status, t), SOAP_OK);
  EXPECT_EQ(status, 2345);
  scam__GetSensorRegisterResponse reg;
  char name[] = "READ_MODE";
  ASSERT_EQ(c.call(soap_call_scam__getSensorRegister, reg, t, name), SOAP_OK);
  EXPECT_EQ(reg.nValue, 5u);
  ::kill(sim.pid(), SIGTERM);
  EXPECT_EQ(sim.exitCode(), 0) << sim.text();

  // A window beyond the 64 columns: refused by the camera, named, not served.
  Child refused({"--camera-port", "0", "--io-port", "-1", "--width", "64", "--height", "48",
                 "--settings", bad});
  EXPECT_EQ(refused.exitCode(), 2);
  EXPECT_NE(refused.text().find("--settings: window: "), std::string::npos) << refused.text();
  Child missing({"--settings", std::string(dir) + "/none.json"});
  EXPECT_EQ(missing.exitCode(), 2);
  EXPECT_NE(missing.text().find("none.json: cannot open"), std::string::npos) << missing.text();
  std::remove(good.c_str());
  std::remove(bad.c_str());
  ::rmdir(dir);
}

}  // namespace
