// Ends ocamerasrc's streams on threads of their own, with bounded waits.
#pragma once

#include <ocamera/stream.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace ocamerasrc {

// Ends streams on threads of their own. A stream ends within the bounds its
// options set, but an element must never wait longer than its own timeout
// for one: a closer that outlives a wait is left to end alone.
class Closer {
 public:
  Closer() = default;
  Closer(const Closer &) = delete;
  Closer &operator=(const Closer &) = delete;
  ~Closer() { wait(0); }

  // Ends the stream on a new thread; a stream closed before and not waited
  // for is left to end alone.
  void close(std::unique_ptr<ocamera::Stream> stream);
  // Waits up to ms for the stream being closed; false when it had not ended
  // by then (its thread goes on alone).
  bool wait(int ms);

 private:
  struct Done {
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
  };
  std::thread thread_;
  std::shared_ptr<Done> done_;
};

}  // namespace ocamerasrc
