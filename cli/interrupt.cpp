#include "interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace ocam_cli {
namespace {

std::atomic<bool> g_interrupted{false};

sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void catchInterrupts() {
  // The signals are blocked in this thread and so in every thread made
  // after it (the library's included): no request or wait sees EINTR. One
  // thread of ours takes them instead.
  sigset_t set = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A reader of standard output that goes away (ocam ... -f - | head) makes
  // the write fail, and the command ends as on any failed write, cleaning up,
  // instead of being killed with the camera still open.
  signal(SIGPIPE, SIG_IGN);
  std::thread([set] {
    for (int taken = 0;; ++taken) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (taken > 0) std::_Exit(kInterruptedExit);  // asked twice: no more waiting
      g_interrupted.store(true);
    }
  }).detach();
}

bool interrupted() { return g_interrupted.load(); }

void stopIfInterrupted() {
  if (interrupted()) throw Interrupted();
}

}  // namespace ocam_cli
