#include "sim/request_log.h"

#include <chrono>
#include <utility>

namespace ocamsim {
namespace detail {

void RequestLog::record(LogEntry entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[entry.operation];
  log_.push_back(std::move(entry));
  if (limit_ && log_.size() > limit_) log_.pop_front();
  if (waiters_ > 0) cv_.notify_all();
}

std::vector<LogEntry> RequestLog::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<LogEntry>(log_.begin(), log_.end());
}

void RequestLog::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
  counts_.clear();
}

std::size_t RequestLog::count(const std::string &op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : it->second;
}

bool RequestLog::waitForCount(const std::string &op, std::size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiters_;
  const bool reached = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    auto it = counts_.find(op);
    return it != counts_.end() && it->second >= n;
  });
  --waiters_;
  return reached;
}

void RequestLog::remember(const std::string &op, const std::string &args) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_[op] = args;
}

std::string RequestLog::lastSetting(const std::string &op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = settings_.find(op);
  return it == settings_.end() ? std::string() : it->second;
}

}  // namespace detail
}  // namespace ocamsim
