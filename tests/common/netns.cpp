#include "common/netns.h"

#include <poll.h>
#include <sched.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace ocamera_test {
namespace {

constexpr int kNoNamespace = 120;
constexpr int kNoAddress = 121;

// Runs `ip` with the given arguments and returns whether it succeeded.
bool runIp(std::vector<std::string> args) {
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("ip"));
    for (auto &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execvp("ip", argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

NetnsOutcome runInPrivateNetwork(const std::vector<std::string> &addresses,
                                 const std::function<int()> &body, int timeoutMs) {
  NetnsOutcome outcome;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    outcome.reason = "fork failed";
    return outcome;
  }
  if (pid == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(kNoNamespace);
    if (!runIp({"link", "set", "lo", "up"})) _exit(kNoAddress);
    for (const auto &a : addresses)
      if (!runIp({"addr", "add", a + "/32", "dev", "lo"})) _exit(kNoAddress);
    int rc = body();
    std::fflush(nullptr);
    _exit(rc & 0xff);
  }

  // A process descriptor becomes readable when the child ends.
  int status = 0;
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    struct pollfd p = {pidfd, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMs);
    close(pidfd);
    if (ready == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      outcome.ran = true;
      outcome.exitCode = 128 + SIGKILL;
      outcome.reason = "the child ran past its time-out and was killed";
      return outcome;
    }
  }
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace) {
    outcome.reason = "cannot create a network namespace here (unshare(CLONE_NEWNET) refused)";
    return outcome;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoAddress) {
    outcome.reason = "cannot configure the namespace's loopback (is iproute2's `ip` installed?)";
    return outcome;
  }
  outcome.ran = true;
  if (WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  } else {
    outcome.exitCode = 128 + WTERMSIG(status);
    outcome.reason = "the child died of a signal";
  }
  return outcome;
}

}  // namespace ocamera_test
