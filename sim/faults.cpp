#include "sim/faults.h"

namespace ocamsim {
namespace detail {
namespace {

bool faultApplies(FaultKind kind, const std::string &op) {
  switch (kind) {
    case FaultKind::SilentKeepAlive:
      return op == "rdev:keepAlive";
    case FaultKind::TruncateData:
    case FaultKind::PadData:
      return op == "scam:getSingleImage" || op == "scam:readImageRAM" ||
             op == "scam:readImageRAMReducedData";
    case FaultKind::Status:
      return op.compare(0, 5, "rdev:") != 0;
    default:
      return true;
  }
}

// Whether a broken reply leaves its connection open for the next request.

}  // namespace

void FaultTable::inject(const Fault &f) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(f);
  pending_ = true;
}

void FaultTable::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
  pending_ = false;
}

bool FaultTable::match(const std::string &op, Fault &out) {
  if (!pending_) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (!it->operation.empty() && it->operation != op) continue;
    if (!faultApplies(it->kind, op)) continue;
    out = *it;
    if (it->count > 0 && --it->count == 0) {
      faults_.erase(it);
      pending_ = !faults_.empty();
    }
    return true;
  }
  return false;
}

bool keepsOpen(FaultKind k) {
  return k == FaultKind::MalformedXmlKeepOpen || k == FaultKind::UnexpectedElementKeepOpen;
}

const char *kindName(FaultKind k) {
  switch (k) {
    case FaultKind::Delay:
      return "delay";
    case FaultKind::DropBeforeRequest:
      return "drop-before";
    case FaultKind::DropAfterRequest:
      return "drop-after";
    case FaultKind::SoapFault:
      return "soap-fault";
    case FaultKind::MalformedXml:
      return "malformed";
    case FaultKind::UnexpectedElement:
      return "unexpected";
    case FaultKind::TruncateData:
      return "truncate";
    case FaultKind::PadData:
      return "pad";
    case FaultKind::Status:
      return "status";
    case FaultKind::SilentKeepAlive:
      return "silent";
    case FaultKind::MalformedXmlKeepOpen:
      return "malformed-keep-open";
    case FaultKind::UnexpectedElementKeepOpen:
      return "unexpected-keep-open";
    case FaultKind::CostlyAttributes:
      return "costly-attributes";
  }
  return "?";
}

}  // namespace detail
}  // namespace ocamsim
