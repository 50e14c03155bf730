// A client as the SOAP runtime makes it from our service definition alone:
// generated calls and the runtime's own base64 reader, one context, no pool,
// no codec of ours. Built only for the benchmarks, as a point of comparison.
#pragma once

#include <string>

struct soap;

namespace bench {

class PlainClient {
 public:
  // `address`: "host:port", as the library is given it.
  explicit PlainClient(const std::string &address);
  ~PlainClient();
  PlainClient(const PlainClient &) = delete;
  PlainClient &operator=(const PlainClient &) = delete;

  // One "scam:setGain"; true when answered with status 0.
  bool setGain(int token, int factor);
  // One "scam:getSingleImage"; the number of payload bytes, -1 on failure.
  int getSingleImage(int token);

 private:
  std::string endpoint_;
  struct soap *ctx_;
};

}  // namespace bench
