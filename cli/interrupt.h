// Ctrl-C (SIGINT) and SIGTERM: a thread of ocam only notes the request; commands
// look at it where they wait or loop and unwind from there, so that the
// acquisition is stopped, the camera closed, its session ended and temporary
// files removed on the way out. A second signal ends ocam at once.
#pragma once

#include <stdexcept>

namespace ocam_cli {

// The exit status of a command ended by a signal, as a shell reports it.
constexpr int kInterruptedExit = 130;

// Thrown where a command notices the request; ocam exits with kInterruptedExit.
class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

// Takes SIGINT and SIGTERM from here on (once, before any other thread starts).
void catchInterrupts();
bool interrupted();
// Throws Interrupted when a signal came.
void stopIfInterrupted();

}  // namespace ocam_cli
