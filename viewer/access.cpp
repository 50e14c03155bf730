#include "viewer/access.h"

#include <arpa/inet.h>

#include <random>

namespace ocam_viewer {

std::string makeAccessToken() {
  std::random_device source;  // the kernel's random numbers
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 4; ++i) {
    unsigned word = source();
    for (int j = 0; j < 8; ++j, word >>= 4) token += digits[word & 15];
  }
  return token;
}

bool tokenMatches(const std::string &token, const std::string &given) {
  if (token.empty() || given.size() != token.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < token.size(); ++i)
    diff |= static_cast<unsigned char>(token[i] ^ given[i]);
  return diff == 0;
}

bool isLoopback(const std::string &address) {
  if (address == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

}  // namespace ocam_viewer
