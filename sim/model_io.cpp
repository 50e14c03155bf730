// The inputs, outputs and LED operations: session checks, then the lines.
#include "sim/model.h"

namespace ocamsim {
namespace detail {
namespace {

using namespace status;

constexpr int kUnlockBit = 16;  // "OUTPUT-OVERLOAD-UNLOCK"

}  // namespace

int Model::ioCreate(int token, DeviceKind kind) {
  return withSession(token, kind, false, false, [&](Session &s, auto &) {
    if (s.created) return kAlreadyCreated;
    s.created = true;
    return kOk;
  });
}

int Model::ioDestroy(int token, DeviceKind kind) {
  return withSession(token, kind, true, false, [&](Session &s, auto &) {
    s.created = false;
    s.opened = false;
    return kOk;
  });
}

int Model::ioOpen(int token, DeviceKind kind) {
  return withSession(token, kind, true, false, [&](Session &s, auto &) {
    if (s.opened) return kAlreadyOpen;
    s.opened = true;
    return kOk;
  });
}

int Model::ioClose(int token, DeviceKind kind) {
  return withSession(token, kind, true, true, [&](Session &s, auto &) {
    s.opened = false;
    return kOk;
  });
}

int Model::getInputs(int token) {
  return withSession(token, DeviceKind::Inputs, true, true,
                     [&](Session &, auto &) { return lines_.word(); });
}

int Model::getInput(int token, int line) {
  return withSession(token, DeviceKind::Inputs, true, true,
                     [&](Session &, auto &) { return lines_.input(line); });
}

int Model::setInputTimeout(int token, int ms) {
  return withSession(token, DeviceKind::Inputs, true, false, [&](Session &s, auto &) {
    if (ms < 0) return kBadArgument;
    s.inputTimeoutMs = ms;
    return kOk;
  });
}

int Model::waitInputs(int token, int mask, int state, bool change) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &s, auto &lock) {
    if (mask <= 0 || (mask & ~0x7F)) return kBadArgument;
    const auto deadline = Clock::now() + std::chrono::milliseconds(s.inputTimeoutMs);
    const std::uint64_t start = lines_.changes(mask);
    const auto reached = [&] {
      return change ? lines_.changes(mask) != start : (lines_.word() & mask) == (state & mask);
    };
    const int token0 = s.token;
    ++inputWaits_;
    cv_.notify_all();
    int result = kTimeout;
    for (;;) {
      if (reached()) {
        result = kOk;
        break;
      }
      if (stopping_) {
        result = kShutdown;
        break;
      }
      if (!sessions_.contains(token0)) {
        result = kBadSession;
        break;
      }
      if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) {
        result = reached() ? kOk : kTimeout;
        break;
      }
    }
    --inputWaits_;
    return result;
  });
}

int Model::waitInput(int token, int line, int state) {
  const int mask = IoLines::lineMask(DeviceKind::Inputs, line);
  // No line: waitInputs refuses an empty mask, after the session checks.
  if (mask < 0) return waitInputs(token, 0, 0, false);
  return waitInputs(token, mask, mask == 3 ? state : (state ? mask : 0), false);
}

int Model::waitInputChange(int token, int line) {
  const int mask = IoLines::lineMask(DeviceKind::Inputs, line);
  return waitInputs(token, mask < 0 ? 0 : mask, 0, true);
}

bool Model::waitForInputWaits(std::size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return inputWaits_ >= n; });
}

int Model::clearEdges(int token, int mask) {
  return withSession(token, DeviceKind::Inputs, true, true, [&](Session &, auto &) {
    if (lines_.clearEdges(mask)) cv_.notify_all();
    return kOk;
  });
}

int Model::getOutputs(int token, DeviceKind kind) {
  return withSession(token, kind, true, true, [&](Session &, auto &) {
    return kind == DeviceKind::Leds ? lines_.leds() : lines_.outputs();
  });
}

int Model::getOutput(int token, DeviceKind kind, int line) {
  return withSession(token, kind, true, true,
                     [&](Session &, auto &) { return lines_.output(kind, line); });
}

int Model::setOutputs(int token, DeviceKind kind, int mask, int state) {
  return withSession(token, kind, true, true,
                     [&](Session &, auto &) { return applyOutputs(kind, mask, state); });
}

int Model::toggleOutputs(int token, DeviceKind kind, int mask) {
  return withSession(token, kind, true, true, [&](Session &, auto &) {
    // Each line goes to the opposite of its state; toggling the unlock bit unlocks.
    if (kind == DeviceKind::Leds) return applyOutputs(kind, mask, lines_.leds() ^ mask);
    return applyOutputs(kind, mask, (lines_.outputs() ^ mask) | kUnlockBit);
  });
}

int Model::setOutput(int token, DeviceKind kind, int line, int state) {
  const int mask = IoLines::lineMask(kind, line);
  if (mask < 0) return kBadArgument;
  return setOutputs(token, kind, mask, state ? mask : 0);
}

int Model::toggleOutput(int token, DeviceKind kind, int line) {
  const int mask = IoLines::lineMask(kind, line);
  if (mask < 0) return kBadArgument;
  return toggleOutputs(token, kind, mask);
}

int Model::applyOutputs(DeviceKind kind, int mask, int state) {
  bool woke = false;
  const int st = lines_.apply(kind, mask, state, woke);
  if (woke) cv_.notify_all();
  return st;
}

// ------------------------------------------------------------------ in-process hooks

void Model::setInputs(int levels) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  const IoLines::Edges e = lines_.setLevels(levels);
  for (int i = 0; i < 2; ++i) {
    const int bit = 1 << i;
    if (!((e.rising | e.falling) & bit)) continue;
    // External trigger: E0 is input I0, E1 is input I1.
    const bool rising = (e.rising & bit) != 0;
    const bool active = cam_.triggerPolarity == 1 ? rising : !rising;
    if (cam_.open && cam_.triggerSource == i + 2 && active && cam_.triggered()) {
      cam_.advance(now);
      cam_.scheduleTrigger(now);
    }
  }
  cv_.notify_all();
}

int Model::inputWord() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.word();
}

void Model::setOverload(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (lines_.setOverload(on)) cv_.notify_all();
}

int Model::outputs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.outputs();
}

int Model::leds() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.leds();
}

}  // namespace detail
}  // namespace ocamsim
