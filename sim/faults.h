// Injected faults: the table tests fill through Simulator::inject(), and what
// each kind of fault applies to.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

class FaultTable {
 public:
  void inject(const Fault &f);
  void clear();
  // The first fault that applies to `op` (counting it down), if any.
  bool match(const std::string &op, Fault &out);

 private:
  std::mutex mutex_;
  std::vector<Fault> faults_;
  // Whether faults_ holds any: a request without faults to match takes no lock.
  std::atomic<bool> pending_{false};
};

// Whether a broken reply leaves its connection open for the next request.
bool keepsOpen(FaultKind k);
// The kind's name in the verbose request lines.
const char *kindName(FaultKind k);

}  // namespace detail
}  // namespace ocamsim
