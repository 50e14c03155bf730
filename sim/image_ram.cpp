#include "sim/image_ram.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/simulator.h"

namespace ocamsim {
namespace detail {

using namespace status;

bool ImageRam::inside(std::uint64_t address, std::uint64_t length) const {
  return address <= bytes_.size() && length <= bytes_.size() - address;
}

int ImageRam::check(std::uint64_t address, std::uint64_t length) const {
  if (!enabled_) return kRamDisabled;
  if (!inside(address, length)) return kOutOfRange;
  return kOk;
}

int ImageRam::read(std::uint32_t address, std::uint32_t length,
                   std::vector<std::uint8_t> &out) const {
  const int st = check(address, length);
  if (st != kOk) return st;
  out.assign(bytes_.begin() + address, bytes_.begin() + address + length);
  return kOk;
}

int ImageRam::readReduced(std::uint32_t address, std::uint32_t length,
                          std::vector<std::uint8_t> &out) const {
  const int st = check(address, length);
  if (st != kOk) return st;
  out.clear();
  const std::uint8_t *p = bytes_.data() + address;
  const std::uint8_t *end = p + length;
  while (p < end && out.size() + 2 <= length) {
    const std::uint8_t v = *p;
    std::size_t n = 1;
    while (p + n < end && n < 255 && p[n] == v) ++n;
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(v);
    p += n;
  }
  return kOk;
}

int ImageRam::write(const std::uint8_t *data, std::size_t size, std::uint32_t address,
                    std::uint32_t length) {
  if (size != length) return kBadArgument;
  const int st = check(address, length);
  if (st != kOk) return st;
  if (length) std::memcpy(bytes_.data() + address, data, length);
  return kOk;
}

int ImageRam::copy(std::uint32_t src, std::uint32_t srcLen, std::uint32_t dest,
                   std::uint32_t destLen) {
  if (destLen < srcLen) return kBadArgument;
  int st = check(src, srcLen);
  if (st == kOk) st = check(dest, destLen);
  if (st != kOk) return st;
  if (srcLen) std::memmove(bytes_.data() + dest, bytes_.data() + src, srcLen);
  return kOk;
}

void ImageRam::init() {
  std::fill(bytes_.begin(), bytes_.end(), 0);
  enabled_ = true;
}

std::vector<std::uint8_t> ImageRam::peek(std::size_t address, std::size_t length) const {
  if (address > bytes_.size() || length > bytes_.size() - address)
    throw std::out_of_range("image RAM range");
  return std::vector<std::uint8_t>(bytes_.begin() + address, bytes_.begin() + address + length);
}

void ImageRam::poke(std::size_t address, const std::vector<std::uint8_t> &bytes) {
  if (address > bytes_.size() || bytes.size() > bytes_.size() - address)
    throw std::out_of_range("image RAM range");
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + address);
}

}  // namespace detail
}  // namespace ocamsim
