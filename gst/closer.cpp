#include "closer.h"

#include <chrono>

namespace ocamerasrc {

void Closer::close(std::unique_ptr<ocamera::Stream> stream) {
  if (!stream) return;
  wait(0);
  stream->setEventCallback(nullptr);
  auto done = std::make_shared<Done>();
  thread_ = std::thread([old = std::move(stream), done]() mutable {
    old.reset();
    std::lock_guard<std::mutex> lock(done->m);
    done->ended = true;
    done->cv.notify_all();
  });
  done_ = std::move(done);
}

bool Closer::wait(int ms) {
  if (!thread_.joinable()) return true;
  bool ended;
  {
    std::unique_lock<std::mutex> lock(done_->m);
    ended = done_->cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done_->ended; });
  }
  if (ended)
    thread_.join();
  else
    thread_.detach();
  done_.reset();
  return ended;
}

}  // namespace ocamerasrc
