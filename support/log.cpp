#include "support/log.h"

#include <atomic>
#include <cstring>
#include <iostream>
#include <mutex>

#include "stdsoap2.h"

namespace ocamera {
namespace support {
namespace {

struct Sink {
  std::mutex mutex;
  LogHandler handler = nullptr;
  void *user = nullptr;
};

Sink &sink() {
  static Sink instance;
  return instance;
}

std::atomic<bool> requestsLogged{false};

using SendFn = int (*)(struct soap *, const char *, std::size_t);

// The runtime's socket writer, taken once from a throwaway context.
SendFn runtimeSend() {
  static const SendFn send = [] {
    struct soap tmp;
    soap_init(&tmp);
    SendFn fn = tmp.fsend;
    soap_done(&tmp);
    return fn;
  }();
  return send;
}

constexpr int kNameBytes = 64;
// The operation the current lease's request names, and whether a lease is
// collecting it.
thread_local char noted[kNameBytes] = "";
thread_local bool noting = false;

// Copies the name of the first element inside the SOAP body out of the first
// bytes of a request (HTTP header and envelope start arrive together).
void noteOperation(const char *bytes, std::size_t size) {
  const char *end = bytes + size;
  const char *body = nullptr;
  for (const char *p = bytes; p + 5 <= end; ++p) {
    if (std::memcmp(p, ":Body", 5) == 0 && p > bytes && p[-1] != '/') {
      body = p + 5;
      break;
    }
  }
  if (!body) return;
  const char *open = static_cast<const char *>(std::memchr(body, '<', end - body));
  if (!open) return;
  const char *name = open + 1;
  const char *stop = name;
  while (stop < end && stop - name < kNameBytes - 1 && *stop != '>' && *stop != '/' &&
         static_cast<unsigned char>(*stop) > ' ')
    ++stop;
  std::memcpy(noted, name, static_cast<std::size_t>(stop - name));
  noted[stop - name] = '\0';
}

int sendAndNote(struct soap *ctx, const char *bytes, std::size_t size) {
  if (noting && noted[0] == '\0' && requestsLogged.load(std::memory_order_relaxed))
    noteOperation(bytes, size);
  return runtimeSend()(ctx, bytes, size);
}

}  // namespace

void logLine(LogSource source, const std::string &line) {
  try {
    Sink &s = sink();
    // Called under the lock, so that once setLogHandler returns the previous
    // handler is never called again.
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.handler) {
      s.handler(source, line.c_str(), s.user);
    } else if (source == LogSource::KeepAlive) {
      std::cout << line << std::endl;
    } else {
      std::cerr << line << std::endl;
    }
  } catch (...) {
    // A line that cannot be written is lost; the operation's result stands.
  }
}

bool requestLogging() { return requestsLogged.load(std::memory_order_relaxed); }

void noteRequests(struct soap *ctx) {
  runtimeSend();
  ctx->fsend = sendAndNote;
}

RequestNote::RequestNote() : savedActive_(noting) {
  std::memcpy(saved_, noted, kNameBytes);
  noted[0] = '\0';
  noting = true;
}

RequestNote::~RequestNote() {
  std::memcpy(noted, saved_, kNameBytes);
  noting = savedActive_;
}

std::string RequestNote::operation() const { return noted; }

}  // namespace support

void setLogHandler(LogHandler handler, void *user) {
  support::Sink &s = support::sink();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.handler = handler;
  s.user = handler ? user : nullptr;
}

void setRequestLogging(bool on) { support::requestsLogged.store(on); }

}  // namespace ocamera
