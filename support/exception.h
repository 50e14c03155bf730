// The support library's exception family.
#pragma once

#include <exception>
#include <string>

struct soap;

namespace mox {

// Root of the family. Holds a copy of its message.
class MOXException : public std::exception {
 public:
  explicit MOXException(const std::string &message) : message_(message) {}
  ~MOXException() override = default;
  const char *what() const noexcept override { return message_.c_str(); }
  const std::string &message() const { return message_; }

 private:
  std::string message_;
};

namespace webservice {

// A failed SOAP call, a broken session rule, a device that cannot be found or
// created. Besides its message (the runtime's fault text, as the library's
// log line has always shown it) it may carry the reason in words for people:
// what failed and why, without the runtime's internals.
class WebServiceException : public MOXException {
 public:
  explicit WebServiceException(const std::string &message, const std::string &reason = "")
      : MOXException(message), reason_(reason) {}
  // The reason in words; the message when none was given.
  const std::string &reason() const { return reason_.empty() ? message() : reason_; }

 private:
  std::string reason_;
};

// The text of the error left in a context: "code: string Details: detail",
// each part present only when the context holds it.
std::string faultText(struct soap *ctx);

// Why the request on the context failed, in words: "connection refused", "no
// answer within 300 ms", "the camera answered with a fault: ...", "the reply
// could not be read". Empty when the context holds no error.
std::string faultReason(struct soap *ctx);

}  // namespace webservice
}  // namespace mox
