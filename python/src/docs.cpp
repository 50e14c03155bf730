// The docstrings' shared phrases (see docs.h).
#include "docs.h"

#include <ocamera/status.h>

#include <deque>
#include <mutex>

namespace ocamera_python {

const char *keepDoc(std::string text) {
  static std::mutex mutex;
  static auto *kept = new std::deque<std::string>();  // lives as long as the interpreter
  std::lock_guard<std::mutex> lock(mutex);
  kept->push_back(std::move(text));
  return kept->back().c_str();
}

std::string statusWords(int status) { return ocamera::statusText(status); }

namespace {

std::string refusalList(std::initializer_list<int> refusals) {
  std::string text;
  for (int status : refusals) text += "\n  " + statusWords(status);
  return text;
}

}  // namespace

std::string statusResult(std::initializer_list<int> refusals) {
  std::string text =
      "Returns 0 on success, else the camera's status (a negative code, "
      "ocamera.status_text gives its words) or -1 when the request failed (no "
      "connection, no reply, a reply that cannot be read). Made with check=True, the object raises "
      "CameraError (TimeoutError for a "
      "time-out) instead.";
  if (refusals.size()) text += " Among the statuses:" + refusalList(refusals);
  return text;
}

std::string valueResult(const std::string &what, std::initializer_list<int> refusals) {
  std::string text = "Returns " + what +
                     " (>= 0), else the camera's status (< 0) or -1 when the request failed. "
                     "Made with check=True, the object raises CameraError instead.";
  if (refusals.size()) text += " Among the statuses:" + refusalList(refusals);
  return text;
}

const char *statusDoc(const std::string &text, std::initializer_list<int> refusals) {
  return keepDoc(text + "\n\n" + statusResult(refusals));
}

const char *valueDoc(const std::string &text, const std::string &what,
                     std::initializer_list<int> refusals) {
  return keepDoc(text + "\n\n" + valueResult(what, refusals));
}

}  // namespace ocamera_python
