// Blocking requests that Ctrl-C can interrupt: the request runs on a thread of
// its own while the calling Python thread waits for it in short slices
// without the GIL and looks at the interpreter's signals in between. A signal
// raises its exception (KeyboardInterrupt for Ctrl-C) within one slice; the
// request itself is abandoned, not cut: it ends on its own thread when the
// camera replies, and the object stays usable meanwhile (its close() waits
// for it, as for any call in flight).
#pragma once

#include <functional>

namespace ocamera_python {

// The longest time between two looks at the signals.
constexpr int kSignalSliceMs = 100;

// Runs request(entered) on a new thread and returns its result, or rethrows
// what it threw. The request calls entered() once it holds whatever keeps its
// object alive (the object's call lock): until then the caller waits
// unconditionally, afterwards it may leave on a signal. Called with the GIL.
int runInterruptibly(std::function<int(const std::function<void()> &entered)> request);

}  // namespace ocamera_python
