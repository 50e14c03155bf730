// Runs a piece of a test inside a private network namespace, where an address
// such as the camera's factory default exists only on the namespace's own
// loopback, so nothing addressed to it can leave the machine.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ocamera_test {

struct NetnsOutcome {
  bool ran = false;    // false: no namespace could be made; `reason` says why
  int exitCode = -1;   // what the body returned (0 = success), or 128+signal
  std::string reason;  // why it did not run, or how it ended abnormally
};

// Forks; the child makes a new network namespace, brings its loopback up, adds
// each address (as /32) to it and runs body(); its result becomes the child's
// exit code. The parent waits at most timeoutMs and kills the child after that.
// The body runs in a forked child: report results through the exit code only.
NetnsOutcome runInPrivateNetwork(const std::vector<std::string> &addresses,
                                 const std::function<int()> &body, int timeoutMs = 30000);

}  // namespace ocamera_test
