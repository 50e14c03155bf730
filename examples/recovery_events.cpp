// Counts frames for a while and prints the stream's events as they happen:
// unplug the camera (or stop the simulator) and plug it back in to see the
// stream lose it and recover by itself, with every setting made again.
//
//   recovery_events ADDRESS [SECONDS]    run for SECONDS (10)
#include <ocamera/stream.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char *eventName(ocamera::StreamEvent event) {
  switch (event) {
    case ocamera::StreamEvent::Started:
      return "started";
    case ocamera::StreamEvent::Lost:
      return "lost";
    case ocamera::StreamEvent::Recovered:
      return "recovered";
    case ocamera::StreamEvent::GaveUp:
      return "gave up";
    case ocamera::StreamEvent::Stopped:
      return "stopped";
    case ocamera::StreamEvent::Error:
      return "error";
  }
  return "?";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return std::fprintf(stderr, "usage: recovery_events ADDRESS [SECONDS]\n"), 2;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
  ocamera::StreamOptions options;
  options.width = 640;
  options.height = 480;
  options.retryInitialMs = 100;   // first try 100 ms after a loss,
  options.retryMaxMs = 1000;      // then doubling up to a try a second, until stop()
  options.replyTimeoutMs = 2000;  // a camera silent for 2 s counts as lost
  std::string error;
  auto stream = ocamera::Stream::create(argv[1], options, &error);
  if (!stream) return std::fprintf(stderr, "recovery_events: %s\n", error.c_str()), 1;
  // Events come on the stream's grab thread (Started on the caller's); keep
  // the callback short.
  stream->setEventCallback([](ocamera::StreamEvent event, const std::string &detail) {
    std::printf("event: %s%s%s\n", eventName(event), detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stdout);
  });
  stream->setShutterTime(5000);  // recorded: made again after every recovery
  if (stream->start(&error) != 0)
    return std::fprintf(stderr, "recovery_events: %s\n", error.c_str()), 1;

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  ocamera::Frame frame;
  while (std::chrono::steady_clock::now() < end) stream->next(frame, 200);
  const ocamera::StreamStats s = stream->stats();
  std::printf("%llu frames, %llu missing, %llu failed requests, %llu recoveries\n",
              static_cast<unsigned long long>(s.delivered),
              static_cast<unsigned long long>(s.missing),
              static_cast<unsigned long long>(s.failedRequests),
              static_cast<unsigned long long>(s.recoveries));
  return 0;
}
