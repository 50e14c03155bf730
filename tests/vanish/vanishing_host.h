// A camera host that can vanish: the calling thread moves into a private
// network namespace where the camera's address exists only on the namespace's
// own loopback, and a packet filter there can drop every packet to and from the
// camera's ports, as a pulled cable or a cut power supply would. Threads the
// calling thread starts afterwards (the simulator's, the library's) live in the
// same namespace; nothing leaves the machine.
//
//   VanishingHost host(ocamera::kFactoryDefaultAddress, {80, 8080});
//   if (!host.ready()) GTEST_SKIP() << host.reason();
//   ... start the simulator on that address, make objects ...
//   ASSERT_TRUE(host.vanish());
//   ASSERT_TRUE(host.comeBack());
//
// The destructor lifts the filter and moves the thread back to the network it
// came from. Needs CAP_SYS_ADMIN and CAP_NET_ADMIN, iproute2's `ip` and
// nftables' `nft`; ready() is false (with the reason) where any is missing.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace ocamera_test {

// Runs a program found on PATH with its output discarded; whether it exited 0.
inline bool runQuietly(std::vector<std::string> args) {
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Entries of a /proc directory (descriptors, threads) of this process.
inline int countEntries(const char *dir) {
  DIR *d = opendir(dir);
  if (!d) return -1;
  int n = 0;
  while (const dirent *e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}
// Less the descriptor that lists them.
inline int openDescriptors() { return countEntries("/proc/self/fd") - 1; }
inline int threadCount() { return countEntries("/proc/self/task"); }

class VanishingHost {
 public:
  VanishingHost(std::string address, std::vector<int> ports)
      : address_(std::move(address)), ports_(std::move(ports)) {
    original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original_ < 0) {
      reason_ = "cannot open this thread's network namespace: " + std::string(strerror(errno));
      return;
    }
    if (unshare(CLONE_NEWNET) != 0) {
      reason_ = "cannot create a network namespace here (unshare(CLONE_NEWNET): " +
                std::string(strerror(errno)) + ")";
      return;
    }
    moved_ = true;
    if (!runQuietly({"ip", "link", "set", "lo", "up"}) ||
        !runQuietly({"ip", "addr", "add", address_ + "/32", "dev", "lo"})) {
      reason_ = "cannot configure the namespace's loopback (is iproute2's `ip` installed?)";
      return;
    }
    if (!runQuietly({"nft", "add", "table", "inet", kTable}) ||
        !runQuietly({"nft", "add", "chain", "inet", kTable, "input",
                     "{ type filter hook input priority 0 ; policy accept ; }"})) {
      reason_ =
          "cannot filter packets in the namespace (is nftables' `nft` installed, and does the "
          "kernel have nf_tables?)";
      return;
    }
    ready_ = true;
  }

  ~VanishingHost() {
    if (moved_) {
      comeBack();
      if (setns(original_, CLONE_NEWNET) != 0) std::abort();  // later tests need their network
    }
    if (original_ >= 0) close(original_);
  }
  VanishingHost(const VanishingHost &) = delete;
  VanishingHost &operator=(const VanishingHost &) = delete;

  bool ready() const { return ready_; }
  const std::string &reason() const { return reason_; }
  const std::string &address() const { return address_; }

  // From now on every TCP packet to or from the camera's ports is dropped on
  // arrival: connections in place hear nothing more, new ones get no answer.
  bool vanish() {
    std::string set = "{ ";
    for (std::size_t i = 0; i < ports_.size(); ++i)
      set += (i ? ", " : "") + std::to_string(ports_[i]);
    set += " }";
    return runQuietly(
               {"nft", "add", "rule", "inet", kTable, "input", "tcp", "dport", set, "drop"}) &&
           runQuietly({"nft", "add", "rule", "inet", kTable, "input", "tcp", "sport", set, "drop"});
  }
  // Packets flow again.
  bool comeBack() { return runQuietly({"nft", "flush", "chain", "inet", kTable, "input"}); }

 private:
  static constexpr const char *kTable = "ocamtest";
  std::string address_;
  std::vector<int> ports_;
  int original_ = -1;
  bool moved_ = false;
  bool ready_ = false;
  std::string reason_;
};

}  // namespace ocamera_test
