#include "viewer/server.h"

#include <httplib.h>
#include <ocamera/status.h>

#include <chrono>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "viewer/access.h"
#include "viewer/assets.h"
#include "viewer/camera_link.h"
#include "viewer/controls.h"
#include "viewer/frame_hub.h"
#include "viewer/image_codec.h"
#include "viewer/io_panel.h"

namespace ocam_viewer {

using nlohmann::json;

namespace {

// Threads serving requests: every live picture holds one while it is watched,
// and the page's other requests need a few beside them.
constexpr int kServingThreadsBeyondViewers = 6;
// How long a live picture waits for the next one before looking whether the
// viewer is still there and the server still running.
constexpr int kPictureWaitMs = 1000;
constexpr const char *kBoundary = "ocamframe";

void sendError(httplib::Response &res, int status, const std::string &message) {
  res.status = status;
  res.set_content(json{{"error", message}}.dump(), "application/json");
}

void sendJson(httplib::Response &res, const json &body) {
  res.set_header("Cache-Control", "no-store");
  res.set_content(body.dump(), "application/json");
}

json histogramJson(const Histogram &h) {
  return json{{"red", h.red},   {"green", h.green},   {"blue", h.blue},
              {"luma", h.luma}, {"pixels", h.pixels}, {"saturated", h.saturatedShare()}};
}

}  // namespace

struct Viewer::Impl {
  explicit Impl(ViewerOptions o) : options(std::move(o)), hub(options.maxViewers), link(hub) {
    if (options.token.empty()) options.token = makeAccessToken();
  }

  ViewerOptions options;
  FrameHub hub;
  CameraLink link;
  std::unique_ptr<Controls> controls;  // once the camera is connected
  std::unique_ptr<IoPanel> io;
  httplib::Server server;
  std::thread serving;
  std::future<void> servingDone;  // ready once listen_after_bind has returned
  int port = 0;

  bool authorised(const httplib::Request &req) const {
    std::string given = req.get_header_value("X-Access-Token");
    if (given.empty()) given = req.get_param_value("token");
    return tokenMatches(options.token, given);
  }

  void routes();
  void status(const httplib::Request &req, httplib::Response &res);
  void applied(httplib::Response &res, const ApplyOutcome &outcome);
  void switchIo(const httplib::Request &req, httplib::Response &res);
  void live(const httplib::Request &req, httplib::Response &res);
  void onePicture(const httplib::Request &req, httplib::Response &res);
  int scaleOf(const httplib::Request &req, httplib::Response &res);
  void snapshot(httplib::Response &res, bool png);
};

void Viewer::Impl::routes() {
  server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
    if (authorised(req)) return httplib::Server::HandlerResponse::Unhandled;
    sendError(res, 403, "the access token is missing or wrong (open the URL ocam view printed)");
    return httplib::Server::HandlerResponse::Handled;
  });
  server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
    if (!res.body.empty()) return;
    if (res.status == 404)
      sendError(res, 404, "no such page");
    else if (res.status == 413)
      sendError(res, 413, "the request body is too large");
    else
      sendError(res, res.status, "the request was refused");
  });
  server.set_exception_handler(
      [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        sendError(res, 500, "the viewer failed to answer");
      });

  auto page = [this](const httplib::Request &req, httplib::Response &res) {
    const Asset *asset = findAsset(req.path);
    if (!asset) return sendError(res, 404, "no such page");
    res.set_header("Cache-Control", "no-store");
    std::string body(reinterpret_cast<const char *>(asset->data), asset->size);
    // The page's own files are asked for with the token, as every request is.
    if (req.path == "/" || req.path == "/index.html") {
      for (std::size_t at; (at = body.find("@TOKEN@")) != std::string::npos;)
        body.replace(at, 7, options.token);
    }
    res.set_content(body, asset->type);
  };
  server.Get("/", page);
  server.Get("/index.html", page);
  server.Get("/app.js", page);
  server.Get("/style.css", page);
  server.Get("/stream.mjpg",
             [this](const httplib::Request &req, httplib::Response &res) { live(req, res); });
  server.Get("/picture.jpg",
             [this](const httplib::Request &req, httplib::Response &res) { onePicture(req, res); });
  server.Get("/api/status",
             [this](const httplib::Request &req, httplib::Response &res) { status(req, res); });
  server.Get("/api/settings", [this](const httplib::Request &, httplib::Response &res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(controls->tableJson(), "application/json");
  });
  server.Post("/api/settings", [this](const httplib::Request &req, httplib::Response &res) {
    applied(res, controls->apply(req.body));
  });
  server.Post("/api/profile", [this](const httplib::Request &req, httplib::Response &res) {
    applied(res, controls->apply(req.body));
  });
  server.Get("/api/profile", [this](const httplib::Request &, httplib::Response &res) {
    res.set_header("Content-Disposition", "attachment; filename=\"camera-profile.json\"");
    res.set_content(controls->profileJson(), "application/json");
  });
  server.Post("/api/reset", [this](const httplib::Request &, httplib::Response &res) {
    applied(res, controls->reset());
  });
  server.Post("/api/io",
              [this](const httplib::Request &req, httplib::Response &res) { switchIo(req, res); });
  server.Get("/snapshot.png",
             [this](const httplib::Request &, httplib::Response &res) { snapshot(res, true); });
  server.Get("/snapshot.raw",
             [this](const httplib::Request &, httplib::Response &res) { snapshot(res, false); });
}

void Viewer::Impl::status(const httplib::Request &req, httplib::Response &res) {
  std::uint64_t after = 0;
  if (req.has_param("after")) {
    try {
      after = std::stoull(req.get_param_value("after"));
    } catch (const std::exception &) {
      return sendError(res, 400, "after must be an event number");
    }
  }
  const ocamera::StreamStats s = link.stats();
  const ocamera::StreamOptions o = link.options();
  json body = {
      {"state", link.stateText()},
      {"framesPerSecond", s.framesPerSecond},
      {"megabytesPerSecond", s.megabytesPerSecond},
      {"delivered", s.delivered},
      {"dropped", s.dropped},
      {"missing", s.missing},
      {"failedRequests", s.failedRequests},
      {"recoveries", s.recoveries},
      {"viewers", hub.viewers()},
      {"window", {{"x0", o.x0}, {"y0", o.y0}, {"width", o.width}, {"height", o.height}}},
  };
  json events = json::array();
  for (const LinkEvent &e : link.eventsAfter(after))
    events.push_back({{"number", e.number}, {"kind", e.kind}, {"detail", e.detail}});
  body["events"] = events;
  if (auto picture = hub.newestPicture()) {
    body["picture"] = {{"seqNr", picture->seqNr},
                       {"cameraTimeUs", picture->cameraTimeUs},
                       {"width", picture->frameWidth},
                       {"height", picture->frameHeight}};
    body["histogram"] = histogramJson(picture->histogram);
  }
  if (io) {
    const IoState st = io->state();
    body["io"] = {{"reachable", st.reachable},
                  {"problem", st.problem},
                  {"inputs", st.inputs},
                  {"overload", st.overload},
                  {"edges", {st.risingI0, st.fallingI0, st.risingI1, st.fallingI1}},
                  {"outputs", st.outputs},
                  {"leds", st.leds}};
  }
  sendJson(res, body);
}

void Viewer::Impl::applied(httplib::Response &res, const ApplyOutcome &outcome) {
  if (!outcome.ok) return sendError(res, outcome.httpStatus, outcome.message);
  sendJson(res, {{"applied", outcome.applied}});
}

void Viewer::Impl::switchIo(const httplib::Request &req, httplib::Response &res) {
  if (!io) return sendError(res, 404, "this viewer has no I/O panel");
  const json body = json::parse(req.body, nullptr, false);
  if (body.is_discarded() || !body.is_object())
    return sendError(res, 400, "the body is not a JSON object");
  const bool output = body.contains("output"), led = body.contains("led");
  if (output == led || !body.contains("on") || !body["on"].is_boolean() || body.size() != 2)
    return sendError(res, 400,
                     "expected {\"output\": 0..3, \"on\": true|false} or "
                     "{\"led\": 0..7, \"on\": true|false}");
  const json &line = body[output ? "output" : "led"];
  const int last = output ? 3 : 7;
  if (!line.is_number_integer() || line.get<long long>() < 0 || line.get<long long>() > last)
    return sendError(
        res, 400, std::string(output ? "output" : "led") + " must be 0.." + std::to_string(last));
  const int n = line.get<int>();
  const bool on = body["on"].get<bool>();
  const int rc = output ? io->setOutput(n, on) : io->setLed(n, on);
  if (rc == -1) return sendError(res, 503, "the I/O services cannot be reached");
  if (rc != 0)
    return sendError(res, 409, "the camera refused it (" + ocamera::statusText(rc) + ")");
  sendJson(res, {{"output", output}, {"line", n}, {"on", on}});
}

namespace {
// The headers that say which frame a picture shows.
void describe(const Picture &p,
              const std::function<void(const std::string &, const std::string &)> &add) {
  add("X-Generation", std::to_string(p.generation));
  add("X-Sequence", std::to_string(p.seqNr));
  add("X-Camera-Time-Us", std::to_string(p.cameraTimeUs));
  add("X-Frame-Size", std::to_string(p.frameWidth) + "x" + std::to_string(p.frameHeight));
}
}  // namespace

// The scale asked for (1 when none), or 0 after answering a bad one.
int Viewer::Impl::scaleOf(const httplib::Request &req, httplib::Response &res) {
  int scale = 1;
  if (req.has_param("scale")) {
    const std::string text = req.get_param_value("scale");
    scale = text.size() == 1 ? text[0] - '0' : 0;
  }
  if (FrameHub::validScale(scale)) return scale;
  sendError(res, 400, "scale must be 1, 2, 4 or 8");
  return 0;
}

void Viewer::Impl::onePicture(const httplib::Request &req, httplib::Response &res) {
  const int scale = scaleOf(req, res);
  if (!scale) return;
  std::uint64_t after = 0;
  try {
    if (req.has_param("after")) after = std::stoull(req.get_param_value("after"));
  } catch (const std::exception &) {
    return sendError(res, 400, "after must be a picture number");
  }
  std::unique_ptr<FrameHub::Seat> seat = hub.join(scale);
  if (!seat)
    return sendError(res, 503,
                     "all " + std::to_string(options.maxViewers) + " live pictures are in use");
  std::shared_ptr<const Picture> picture = hub.wait(*seat, after, kPictureWaitMs);
  if (!picture) {
    res.status = 204;  // nothing newer yet: ask again
    return;
  }
  res.set_header("Cache-Control", "no-store");
  describe(*picture, [&](const std::string &k, const std::string &v) { res.set_header(k, v); });
  res.set_content(reinterpret_cast<const char *>(picture->jpeg.data()), picture->jpeg.size(),
                  "image/jpeg");
}

void Viewer::Impl::live(const httplib::Request &req, httplib::Response &res) {
  const int scale = scaleOf(req, res);
  if (!scale) return;
  std::shared_ptr<FrameHub::Seat> seat = hub.join(scale);
  if (!seat)
    return sendError(res, 503,
                     "all " + std::to_string(options.maxViewers) + " live pictures are in use");
  auto last = std::make_shared<std::uint64_t>(0);
  res.set_header("Cache-Control", "no-store");
  res.set_chunked_content_provider(
      std::string("multipart/x-mixed-replace; boundary=") + kBoundary,
      [this, seat, last](std::size_t, httplib::DataSink &sink) {
        std::shared_ptr<const Picture> picture = hub.wait(*seat, *last, kPictureWaitMs);
        if (hub.closed() || !sink.is_writable()) return false;
        if (!picture) return true;  // asked again: nothing new within the wait
        *last = picture->generation;
        std::string head = std::string("--") + kBoundary +
                           "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                           std::to_string(picture->jpeg.size()) + "\r\n";
        describe(*picture, [&](const std::string &k, const std::string &v) {
          head += k + ": " + v + "\r\n";
        });
        head += "\r\n";
        return sink.write(head.data(), head.size()) &&
               sink.write(reinterpret_cast<const char *>(picture->jpeg.data()),
                          picture->jpeg.size()) &&
               sink.write("\r\n", 2);
      });
}

void Viewer::Impl::snapshot(httplib::Response &res, bool png) {
  std::shared_ptr<const ocamera::Frame> frame = hub.newestFrame();
  if (!frame || !*frame) return sendError(res, 503, "no frame has come from the camera yet");
  const int w = frame->width(), h = frame->height();
  const std::string name = "frame-" + std::to_string(frame->seqNr());
  if (!png) {
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "-" +
                                              std::to_string(w) + "x" + std::to_string(h) +
                                              ".raw\"");
    res.set_content(reinterpret_cast<const char *>(frame->data()), frame->size(),
                    "application/octet-stream");
    return;
  }
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
  std::vector<unsigned char> encoded;
  if (frame->channels() == 3) {
    encoded = encodePng(frame->data(), w, h, 3);
  } else if (OCameraTools::ConvertsPattern(frame->pattern())) {
    OCameraTools::Bayer2RGB(const_cast<unsigned char *>(frame->data()), rgb.data(), w, h,
                            frame->pattern());
    encoded = encodePng(rgb.data(), w, h, 3);
  } else {
    encoded = encodePng(frame->data(), w, h, 1);
  }
  if (encoded.empty()) return sendError(res, 500, "the PNG could not be made");
  res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".png\"");
  res.set_content(reinterpret_cast<const char *>(encoded.data()), encoded.size(), "image/png");
}

Viewer::Viewer(ViewerOptions options) : impl_(new Impl(std::move(options))) {}

Viewer::~Viewer() { stop(); }

bool Viewer::start(std::string *error) {
  Impl &m = *impl_;
  m.hub.start();
  if (!m.link.open(m.options.cameraAddress, m.options.stream, error)) {
    m.hub.close();
    return false;
  }
  m.controls.reset(new Controls(m.link));
  if (!m.options.ioAddress.empty()) {
    m.io.reset(new IoPanel(m.options.ioAddress, m.options.ioPollMs));
    m.io->start();
  }
  const int threads = m.options.maxViewers + kServingThreadsBeyondViewers;
  m.server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  m.server.set_payload_max_length(m.options.maxBodyBytes);
  m.server.set_write_timeout(m.options.writeTimeoutS, 0);
  m.server.set_read_timeout(5, 0);
  m.server.set_keep_alive_timeout(2);
  // Connections inherit the listening socket's buffer size.
  const int sendBuffer = m.options.sendBufferBytes;
  m.server.set_socket_options([sendBuffer](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (sendBuffer > 0) setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  });
  m.routes();
  m.port =
      m.options.port == 0
          ? m.server.bind_to_any_port(m.options.bindAddress)
          : (m.server.bind_to_port(m.options.bindAddress, m.options.port) ? m.options.port : -1);
  if (m.port <= 0) {
    if (error)
      *error = "cannot listen on " + m.options.bindAddress + " port " +
               std::to_string(m.options.port) + ": " + std::strerror(errno);
    stop();
    return false;
  }
  std::packaged_task<void()> listen([&m] { m.server.listen_after_bind(); });
  m.servingDone = listen.get_future();
  m.serving = std::thread(std::move(listen));
  return true;
}

void Viewer::stop() {
  Impl &m = *impl_;
  m.hub.close();  // live pictures end at once
  if (m.serving.joinable()) {
    // The server's stop() does nothing until its loop has begun, so a stop
    // right after start() would be lost and the join would wait for ever:
    // ask again until the loop has ended.
    do m.server.stop();
    while (m.servingDone.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    m.serving.join();
  }
  if (m.io) m.io->stop();
  m.link.close();
}

int Viewer::port() const { return impl_->port; }

const std::string &Viewer::token() const { return impl_->options.token; }

std::string Viewer::url() const {
  std::string host = impl_->options.bindAddress;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + impl_->options.token;
}

}  // namespace ocam_viewer
