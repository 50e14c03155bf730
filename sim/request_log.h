// The simulator's request log: one entry per served request, counts per
// operation since the last clear, and the arguments of the last accepted
// setter of each operation. Tests read it to see what the camera was asked.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

class RequestLog {
 public:
  // `limit`: entries kept (the oldest go first); 0 keeps all.
  explicit RequestLog(std::size_t limit) : limit_(limit) {}

  void record(LogEntry entry);
  std::vector<LogEntry> entries() const;
  void clear();
  std::size_t count(const std::string &op) const;
  // Blocks until `op` has been recorded `n` times, or the time-out passes.
  bool waitForCount(const std::string &op, std::size_t n, int timeoutMs) const;

  void remember(const std::string &op, const std::string &args);
  std::string lastSetting(const std::string &op) const;

 private:
  const std::size_t limit_;
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::deque<LogEntry> log_;
  std::map<std::string, std::size_t> counts_;
  mutable std::size_t waiters_ = 0;  // only then does a request wake anybody
  std::map<std::string, std::string> settings_;
};

}  // namespace detail
}  // namespace ocamsim
