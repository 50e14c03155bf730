// The viewer's server in-process, against the simulated camera on loopback:
// the token on every endpoint, the page, live pictures (scaled, bounded in
// number, not held back by a stalled viewer), the numbers and the stream's
// state through a camera restart, the I/O panel, snapshots and bad requests.
#include "viewer/server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <ocamera/settings.h>
#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "sim/simulator.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kWaitMs = 15000;  // conditions on a busy machine; met in well under a second normally

bool eventually(const std::function<bool()> &condition, int timeoutMs = kWaitMs) {
  const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < until) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

ocamsim::Options simOptions(int cameraPort = 0, int ioPort = 0) {
  ocamsim::Options o;
  o.sensorWidth = kWidth;
  o.sensorHeight = kHeight;
  o.cameraPort = cameraPort;
  o.ioPort = ioPort;
  return o;
}

// One part of a live picture: its headers and JPEG bytes.
struct Part {
  httplib::Headers headers;
  std::string jpeg;
  long long header(const std::string &name) const {
    auto it = headers.find(name);
    return it == headers.end() ? -1 : std::stoll(it->second);
  }
};

// Reads multipart parts from the body as it arrives; stops after `want`.
class PartReader {
 public:
  explicit PartReader(std::size_t want) : want_(want) {}
  bool feed(const char *data, std::size_t length) {
    buffer_.append(data, length);
    for (;;) {
      const std::size_t end = buffer_.find("\r\n\r\n");
      if (end == std::string::npos) return true;
      Part part;
      std::size_t lineStart = 0;
      while (lineStart < end) {
        std::size_t lineEnd = buffer_.find("\r\n", lineStart);
        if (lineEnd == std::string::npos || lineEnd > end) lineEnd = end;
        const std::string line = buffer_.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
          part.headers.emplace(line.substr(0, colon), line.substr(colon + 2));
        lineStart = lineEnd + 2;
      }
      const long long length = part.header("Content-Length");
      if (length < 0) return false;
      if (buffer_.size() < end + 4 + length + 2) return true;
      part.jpeg = buffer_.substr(end + 4, length);
      buffer_.erase(0, end + 4 + length + 2);
      parts.push_back(std::move(part));
      if (parts.size() >= want_) return false;
    }
  }
  std::vector<Part> parts;

 private:
  std::size_t want_;
  std::string buffer_;
};

void jpegSize(const std::string &jpeg, int *w, int *h) {
  tjhandle d = tjInitDecompress();
  int sub = 0, space = 0;
  *w = *h = 0;
  tjDecompressHeader3(d, reinterpret_cast<const unsigned char *>(jpeg.data()), jpeg.size(), w, h,
                      &sub, &space);
  tjDestroy(d);
}

class ViewerServer : public ::testing::Test {
 protected:
  void SetUp() override { startAll(4); }
  // A small send buffer, so that a viewer that stops reading stalls at once.
  static constexpr int kSendBuffer = 16 * 1024;
  void TearDown() override {
    if (viewer) viewer->stop();
  }

  void startAll(int maxViewers) {
    sim = std::make_unique<ocamsim::Simulator>(simOptions());
    sim->start();
    ocam_viewer::ViewerOptions o;
    o.cameraAddress = sim->cameraAddress();
    o.ioAddress = sim->ioAddress();
    o.maxViewers = maxViewers;
    o.ioPollMs = 50;
    o.sendBufferBytes = kSendBuffer;
    o.writeTimeoutS = 10;
    o.stream.width = kWidth;
    o.stream.height = kHeight;
    o.stream.retryInitialMs = 20;
    o.stream.retryMaxMs = 100;
    viewer = std::make_unique<ocam_viewer::Viewer>(o);
    std::string error;
    ASSERT_TRUE(viewer->start(&error)) << error;
    client = std::make_unique<httplib::Client>("127.0.0.1", viewer->port());
    client->set_read_timeout(10, 0);
    headers = {{"X-Access-Token", viewer->token()}};
  }

  httplib::Result get(const std::string &path) { return client->Get(path.c_str(), headers); }
  httplib::Result post(const std::string &path, const std::string &body) {
    return client->Post(path.c_str(), headers, body, "application/json");
  }
  json status() {
    auto r = get("/api/status");
    return r && r->status == 200 ? json::parse(r->body) : json();
  }
  // The first `n` parts of a live picture at `scale`.
  std::vector<Part> live(int scale, std::size_t n) {
    PartReader reader(n);
    httplib::Client c("127.0.0.1", viewer->port());
    c.set_read_timeout(10, 0);
    c.Get(("/stream.mjpg?scale=" + std::to_string(scale)).c_str(), headers,
          [&](const char *data, std::size_t length) { return reader.feed(data, length); });
    return reader.parts;
  }

  std::unique_ptr<ocamsim::Simulator> sim;
  std::unique_ptr<ocam_viewer::Viewer> viewer;
  std::unique_ptr<httplib::Client> client;
  httplib::Headers headers;
};

TEST_F(ViewerServer, EveryEndpointWantsTheTokenAndChangesNothingWithout) {
  const char *const gets[] = {"/",
                              "/app.js",
                              "/style.css",
                              "/api/status",
                              "/snapshot.png",
                              "/snapshot.raw",
                              "/stream.mjpg",
                              "/no-such-page"};
  for (const char *path : gets) {
    auto none = client->Get(path);
    ASSERT_TRUE(none) << path;
    EXPECT_EQ(none->status, 403) << path;
    auto wrong = client->Get(path, {{"X-Access-Token", std::string(viewer->token().size(), '0')}});
    EXPECT_EQ(wrong->status, 403) << path;
    EXPECT_NE(json::parse(wrong->body, nullptr, false).value("error", ""), "") << path;
  }
  auto refused = client->Post("/api/io", "{\"output\": 0, \"on\": true}", "application/json");
  EXPECT_EQ(refused->status, 403);
  auto viaQuery = client->Post(("/api/io?token=" + viewer->token().substr(1)).c_str(),
                               "{\"output\": 0, \"on\": true}", "application/json");
  EXPECT_EQ(viaQuery->status, 403);
  EXPECT_EQ(sim->outputs(), 0);
  // The token in the query works as in the header (the page's picture and downloads use it).
  auto page = client->Get(("/?token=" + viewer->token()).c_str());
  ASSERT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("app.js"), std::string::npos);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(get("/app.js")->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
  EXPECT_EQ(get("/no-such-page")->status, 404);
}

TEST_F(ViewerServer, LivePicturesAreNewFramesAtTheAskedScale) {
  const std::vector<Part> parts = live(2, 3);
  ASSERT_EQ(parts.size(), 3u);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    int w = 0, h = 0;
    jpegSize(parts[i].jpeg, &w, &h);
    EXPECT_EQ(w, kWidth / 2);
    EXPECT_EQ(h, kHeight / 2);
    EXPECT_EQ(parts[i].headers.find("X-Frame-Size")->second, "320x240");
    if (i) {
      EXPECT_GT(parts[i].header("X-Sequence"), parts[i - 1].header("X-Sequence"));
    }
  }
  // The camera's own clock of the capture: the simulator's is the wall clock.
  const long long nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  EXPECT_LT(std::llabs(nowUs - parts.back().header("X-Camera-Time-Us")), 60LL * 1000000);
  // One picture at a time: each answer is newer than the one named.
  auto one = get("/picture.jpg?scale=4");
  ASSERT_EQ(one->status, 200);
  int w = 0, h = 0;
  jpegSize(one->body, &w, &h);
  EXPECT_EQ(w, kWidth / 4);
  const std::string generation = one->get_header_value("X-Generation");
  auto next = get("/picture.jpg?scale=4&after=" + generation);
  ASSERT_EQ(next->status, 200);
  EXPECT_GT(std::stoull(next->get_header_value("X-Generation")), std::stoull(generation));
  EXPECT_GT(std::stoll(next->get_header_value("X-Sequence")),
            std::stoll(one->get_header_value("X-Sequence")));
  EXPECT_EQ(get("/picture.jpg?after=-")->status, 400);
  EXPECT_EQ(get("/picture.jpg?scale=0")->status, 400);
  EXPECT_EQ(get("/stream.mjpg?scale=3")->status, 400);
  EXPECT_EQ(get("/stream.mjpg?scale=22")->status, 400);
}

TEST_F(ViewerServer, AStalledViewerHoldsBackNeitherTheCameraNorOthers) {
  // A viewer that asks and never reads: its socket buffers fill and stay full.
  int stalled = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(viewer->port()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int small = 4096;
  setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  ASSERT_EQ(connect(stalled, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
  const std::string request =
      "GET /stream.mjpg?scale=1 HTTP/1.1\r\nHost: x\r\nX-Access-Token: " + viewer->token() +
      "\r\n\r\n";
  ASSERT_EQ(send(stalled, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(eventually([&] { return status().value("viewers", 0) == 1; }));
  const auto before = status().value("delivered", 0ull);
  // Another viewer still gets a run of fresh pictures, and the stream fetches on.
  const std::vector<Part> parts = live(1, 20);
  ASSERT_EQ(parts.size(), 20u);
  // 20 pictures span at least 20 frames. Had the viewer waited for the
  // stalled one to be cut off (the write time-out, 10 s), they would span
  // some 300 frames at 30 frames/s; 120 leaves room for a loaded machine.
  const long long span = parts.back().header("X-Sequence") - parts.front().header("X-Sequence");
  EXPECT_GE(span, 19);
  EXPECT_LT(span, 120);
  EXPECT_GE(status().value("delivered", 0ull), before + 19);
  EXPECT_EQ(status().value("dropped", 1ull), 0u);
  close(stalled);
}

// A stop right after start (before the server's loop has begun) still ends
// it: it once waited for ever.
TEST_F(ViewerServer, StopRightAfterStartReturns) {
  for (int i = 0; i < 10; ++i) {
    TearDown();
    startAll(1);
  }
  EXPECT_EQ(status().value("viewers", -1), 0);
}

TEST_F(ViewerServer, ViewersAreBoundedAndASeatIsFreedWhenOneLeaves) {
  TearDown();
  startAll(1);
  std::atomic<bool> leave{false};
  std::atomic<int> received{0};
  std::thread first([&] {
    httplib::Client c("127.0.0.1", viewer->port());
    c.set_read_timeout(10, 0);
    c.Get("/stream.mjpg?scale=4", headers, [&](const char *, std::size_t) {
      ++received;
      return !leave.load();
    });
  });
  ASSERT_TRUE(eventually([&] { return received.load() > 0; }));
  auto second = get("/stream.mjpg?scale=4");
  EXPECT_EQ(second->status, 503);
  EXPECT_NE(second->body.find("in use"), std::string::npos);
  leave = true;
  first.join();
  ASSERT_TRUE(eventually([&] { return status().value("viewers", -1) == 0; }));
  EXPECT_EQ(live(4, 1).size(), 1u);
}

TEST_F(ViewerServer, NumbersHistogramAndLostThenRecovered) {
  ASSERT_TRUE(eventually([&] {
    const json s = status();
    return s.value("state", "") == "running" && s.contains("histogram") &&
           s.value("delivered", 0) > 3;
  }));
  const json s = status();
  ASSERT_FALSE(s["events"].empty());
  EXPECT_EQ(s["events"][0]["kind"], "started");
  EXPECT_GT(s["framesPerSecond"].get<double>(), 0);
  const json &h = s["histogram"];
  std::uint64_t sum = 0;
  for (auto v : h["luma"]) sum += v.get<std::uint64_t>();
  EXPECT_EQ(sum, h["pixels"].get<std::uint64_t>());
  EXPECT_EQ(h["pixels"].get<int>(), (kWidth / 4) * (kHeight / 4));
  EXPECT_EQ(s["picture"]["width"], kWidth);

  // The camera goes away and comes back on the same ports.
  const std::uint64_t seen = s["events"].back()["number"];
  const int cameraPort = sim->cameraPort(), ioPort = sim->ioPort();
  sim->stop();
  ASSERT_TRUE(eventually([&] { return status().value("state", "") == "lost"; }));
  sim = std::make_unique<ocamsim::Simulator>(simOptions(cameraPort, ioPort));
  sim->start();
  ASSERT_TRUE(eventually([&] { return status().value("state", "") == "running"; }));
  auto r = get("/api/status?after=" + std::to_string(seen));
  const json later = json::parse(r->body);
  std::vector<std::string> kinds;
  for (const json &e : later["events"]) kinds.push_back(e["kind"]);
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds.front(), "lost");
  EXPECT_EQ(kinds.back(), "recovered");
  EXPECT_EQ(get("/api/status?after=x")->status, 400);
}

TEST_F(ViewerServer, IoPanelShowsInputsAndSwitchesOutputsAndLeds) {
  sim->setInputs(1);
  ASSERT_TRUE(eventually([&] {
    const json s = status();
    return s.contains("io") && s["io"]["inputs"] == 1 && s["io"]["edges"][0] >= 1;
  }));
  auto on = post("/api/io", R"({"output": 2, "on": true})");
  ASSERT_EQ(on->status, 200) << on->body;
  EXPECT_EQ(sim->outputs(), 4);
  EXPECT_EQ(post("/api/io", R"({"led": 7, "on": true})")->status, 200);
  EXPECT_EQ(sim->leds(), 128);
  EXPECT_EQ(post("/api/io", R"({"output": 2, "on": false})")->status, 200);
  EXPECT_EQ(sim->outputs(), 0);
  ASSERT_TRUE(eventually([&] { return status()["io"]["leds"] == 128; }));

  // Refused, each with a reason, and nothing switched.
  const char *const bad[] = {R"({"output": 4, "on": true})",
                             R"({"led": -1, "on": true})",
                             R"({"output": 1})",
                             R"({"output": 1, "on": 1})",
                             R"({"output": 1, "led": 1, "on": true})",
                             R"({"output": "1", "on": true})",
                             R"({"output": 1, "on": true, "x": 0})",
                             R"({"output": 1, "on": tr)",
                             R"([1, true])"};
  for (const char *body : bad) {
    auto r = post("/api/io", body);
    ASSERT_TRUE(r) << body;
    EXPECT_EQ(r->status, 400) << body;
    EXPECT_NE(json::parse(r->body, nullptr, false).value("error", ""), "") << body;
  }
  auto huge = post("/api/io",
                   "{\"output\": 1, \"on\": true, \"pad\": \"" + std::string(1 << 20, 'x') + "\"}");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);
  EXPECT_EQ(sim->outputs(), 0);
  EXPECT_EQ(sim->leds(), 128);
}

TEST_F(ViewerServer, SnapshotsAreTheFullFrameAsPngAndRawBytes) {
  ASSERT_TRUE(eventually([&] { return get("/snapshot.raw")->status == 200; }));
  auto raw = get("/snapshot.raw");
  EXPECT_EQ(raw->body.size(), static_cast<std::size_t>(kWidth) * kHeight);
  EXPECT_EQ(raw->get_header_value("Content-Type"), "application/octet-stream");
  EXPECT_NE(raw->get_header_value("Content-Disposition").find("attachment"), std::string::npos);
  auto png = get("/snapshot.png");
  ASSERT_EQ(png->status, 200);
  ASSERT_GT(png->body.size(), 26u);
  const auto *b = reinterpret_cast<const unsigned char *>(png->body.data());
  EXPECT_EQ((b[18] << 8) | b[19], kWidth);
  EXPECT_EQ((b[22] << 8) | b[23], kHeight);
  EXPECT_EQ(b[25], 2);  // RGB
}

}  // namespace

namespace {

TEST_F(ViewerServer, ControlsComeFromTheLibrarysTable) {
  auto r = get("/api/settings");
  ASSERT_EQ(r->status, 200);
  const json table = json::parse(r->body)["settings"];
  ASSERT_EQ(table.size(), ocamera::settingTable().size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const ocamera::SettingInfo &info = ocamera::settingTable()[i];
    EXPECT_EQ(table[i]["name"], info.name);
    ASSERT_EQ(table[i]["fields"].size(), info.fields.size());
    for (std::size_t f = 0; f < info.fields.size(); ++f) {
      EXPECT_EQ(table[i]["fields"][f]["min"].get<double>(), info.fields[f].min) << info.name;
      EXPECT_EQ(table[i]["fields"][f]["max"].get<double>(), info.fields[f].max) << info.name;
      EXPECT_EQ(table[i]["fields"][f]["unit"], info.fields[f].unit) << info.name;
    }
    if (std::string(info.name) == "window") {  // the whole sensor the camera describes
      EXPECT_EQ(table[i]["powerOn"][2], kWidth);
      EXPECT_EQ(table[i]["powerOn"][3], kHeight);
    }
  }
}

TEST_F(ViewerServer, SettingsReachTheCameraAndBadOnesChangeNothing) {
  auto ok = post("/api/settings", R"({"shutterTime": 20000, "gain": 4})");
  ASSERT_EQ(ok->status, 200) << ok->body;
  EXPECT_EQ(sim->shutterTime(), 20000);
  EXPECT_EQ(sim->gain(), 4);
  const std::size_t sent = sim->count("scam:setShutterTime") + sim->count("scam:setGain");

  const char *const bad[] = {R"({"shutterTime": 0})",
                             R"({"shutterTime": 2000000})",
                             R"({"noSuchSetting": 1})",
                             R"({"gain": "high"})",
                             R"({"gain": 2, "shutterTime": -5})",
                             R"({"shutterTime": 10)",
                             R"([20000])",
                             R"({"readTimeout": 100})"};
  for (const char *body : bad) {
    auto r = post("/api/settings", body);
    ASSERT_TRUE(r) << body;
    EXPECT_EQ(r->status, 400) << body;
    EXPECT_NE(json::parse(r->body, nullptr, false).value("error", ""), "") << body;
  }
  // The refusal names the setting and its range, in the library's words.
  const json why = json::parse(post("/api/settings", R"({"shutterTime": 0})")->body);
  EXPECT_NE(why["error"].get<std::string>().find("shutterTime"), std::string::npos) << why;
  auto huge = post("/api/settings",
                   "{\"shutterTime\": 5000, \"x\": \"" + std::string(1 << 20, 'x') + "\"}");
  EXPECT_EQ(huge->status, 413);
  EXPECT_EQ(sim->count("scam:setShutterTime") + sim->count("scam:setGain"), sent);
  EXPECT_EQ(sim->shutterTime(), 20000);
  EXPECT_EQ(sim->gain(), 4);
}

TEST_F(ViewerServer, WindowProfileAndReset) {
  auto window =
      post("/api/settings", R"({"window": {"x0": 20, "y0": 10, "width": 160, "height": 120}})");
  ASSERT_EQ(window->status, 200) << window->body;
  EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "20 10 160 120");
  ASSERT_TRUE(eventually([&] {
    auto raw = get("/snapshot.raw");
    return raw->status == 200 && raw->body.size() == 160u * 120;
  }));
  ASSERT_EQ(post("/api/settings", R"({"shutterTime": 30000})")->status, 200);

  // The profile holds what was set; reset goes back to power-on; loading the
  // profile brings the settings back.
  auto saved = get("/api/profile");
  ASSERT_EQ(saved->status, 200);
  ocamera::Settings profile;
  std::string error;
  ASSERT_TRUE(ocamera::Settings::fromJson(saved->body, &profile, &error)) << error;
  ASSERT_TRUE(profile.get("shutterTime"));
  EXPECT_EQ(profile.get("shutterTime")->value.numbers[0], 30000);
  ASSERT_TRUE(profile.get("window"));
  EXPECT_EQ(profile.get("window")->value.numbers[2], 160);

  auto reset = post("/api/reset", "");
  ASSERT_EQ(reset->status, 200) << reset->body;
  EXPECT_EQ(sim->shutterTime(), 10000);
  EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "0 0 320 240");
  ASSERT_TRUE(eventually([&] { return get("/snapshot.raw")->body.size() == 320u * 240; }));

  auto loaded = post("/api/profile", saved->body);
  ASSERT_EQ(loaded->status, 200) << loaded->body;
  EXPECT_EQ(sim->shutterTime(), 30000);
  EXPECT_EQ(sim->lastSetting("scam:setCameraWindow"), "20 10 160 120");
}

}  // namespace
