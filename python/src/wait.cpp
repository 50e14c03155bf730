#include "wait.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "common.h"

namespace ocamera_python {
namespace {

// What the request's thread and the waiting caller share; it lives as long as
// either of them.
struct Pending {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool done = false;
  int result = -1;
  std::exception_ptr error;
};

}  // namespace

int runInterruptibly(std::function<int(const std::function<void()> &entered)> request) {
  auto pending = std::make_shared<Pending>();
  std::thread([pending, request = std::move(request)] {
    int result = -1;
    std::exception_ptr error;
    try {
      result = request([&pending] {
        std::lock_guard<std::mutex> lock(pending->mutex);
        pending->entered = true;
        pending->changed.notify_all();
      });
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->result = result;
    pending->error = error;
    pending->done = true;
    pending->changed.notify_all();
  }).detach();

  {
    // Until the request holds its object, leaving could let the object go
    // under it; this takes no longer than taking the lock.
    py::gil_scoped_release unlocked;
    std::unique_lock<std::mutex> lock(pending->mutex);
    pending->changed.wait(lock, [&] { return pending->entered || pending->done; });
  }
  for (;;) {
    bool done = false;
    {
      py::gil_scoped_release unlocked;
      std::unique_lock<std::mutex> lock(pending->mutex);
      done = pending->changed.wait_for(lock, std::chrono::milliseconds(kSignalSliceMs),
                                       [&] { return pending->done; });
    }
    if (done) {
      if (pending->error) std::rethrow_exception(pending->error);
      return pending->result;
    }
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
}

}  // namespace ocamera_python
