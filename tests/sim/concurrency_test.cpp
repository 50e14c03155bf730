// Many clients at once: every request answered, and no threads or file
// descriptors left behind once they are gone.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_client.h"

using simtest::Client;
using simtest::kFailed;

namespace {

using namespace ocam;

std::size_t entries(const char *dir) {
  std::size_t n = 0;
  if (DIR *d = ::opendir(dir)) {
    while (const dirent *e = ::readdir(d))
      if (e->d_name[0] != '.') ++n;
    ::closedir(d);
  }
  return n;
}

TEST(SimConcurrency, FiftyConnectionsOfTwoHundredRequestsEach) {
  ocamsim::Simulator sim;
  sim.start();
  Client setup(sim.ioAddress());
  const int out = setup.open(3);
  ASSERT_EQ(setup.status(soap_call_sout__create, out), 0);
  ASSERT_EQ(setup.status(soap_call_sout__iOpen, out), 0);
  const std::size_t threads0 = entries("/proc/self/task");
  const std::size_t fds0 = entries("/proc/self/fd");

  constexpr int kClients = 50, kRequests = 200;
  std::atomic<int> answered{0}, wrong{0};
  {
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.emplace_back([&, i] {
        Client c(sim.ioAddress(), i % 3 != 0);
        const int line = 1 << (i % 4);
        for (int r = 0; r < kRequests; ++r) {
          // Each client owns no line exclusively, so it checks only the status.
          const int s = r % 2 ? c.status(soap_call_sout__iToggleOutputs, out, line)
                              : c.status(soap_call_sout__iGetOutputs, out);
          if (s == kFailed || s < 0 || s > 15)
            ++wrong;
          else
            ++answered;
        }
      });
    }
    for (std::thread &t : clients) t.join();
  }
  EXPECT_EQ(answered.load(), kClients * kRequests);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(sim.count("sout:iToggleOutputs") + sim.count("sout:iGetOutputs"),
            static_cast<std::size_t>(kClients * kRequests));
  EXPECT_GE(sim.connectionsAccepted(), static_cast<std::size_t>(kClients + 1));
  // 100 toggles of each line: every output back where it was.
  EXPECT_EQ(sim.outputs(), 0);

  // Only the set-up client's connection is left; the OS may take a moment to
  // reap the finished threads.
  ASSERT_TRUE(sim.waitForOpenConnections(1, 10000));
  EXPECT_TRUE(simtest::eventually([&] { return entries("/proc/self/task") <= threads0; }))
      << entries("/proc/self/task") << " threads, " << threads0 << " before";
  EXPECT_LE(entries("/proc/self/fd"), fds0);
}

}  // namespace
