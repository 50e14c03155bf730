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

// A failed SOAP call, a broken session rule, a device that cannot be found or created.
class WebServiceException : public MOXException {
 public:
  explicit WebServiceException(const std::string &message) : MOXException(message) {}
};

// The text of the error left in a context: "code: string Details: detail",
// each part present only when the context holds it.
std::string faultText(struct soap *ctx);

}  // namespace webservice
}  // namespace mox
