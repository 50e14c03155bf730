// The camera's image RAM: byte-addressed memory the camera stores frames in
// and clients read, write and copy. Not locked: the model calls it under its
// own lock. Operations answer the camera's statuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ocamsim {
namespace detail {

class ImageRam {
 public:
  explicit ImageRam(std::size_t size) : bytes_(size, 0) {}

  std::size_t size() const { return bytes_.size(); }
  bool enabled() const { return enabled_; }
  bool inside(std::uint64_t address, std::uint64_t length) const;
  // kRamDisabled, kOutOfRange or kOk for an access to [address, address + length).
  int check(std::uint64_t address, std::uint64_t length) const;

  int read(std::uint32_t address, std::uint32_t length, std::vector<std::uint8_t> &out) const;
  // Run-length pairs (count 1..255, value) of the region, as many whole pairs
  // as fit in `length` bytes.
  int readReduced(std::uint32_t address, std::uint32_t length,
                  std::vector<std::uint8_t> &out) const;
  int write(const std::uint8_t *data, std::size_t size, std::uint32_t address,
            std::uint32_t length);
  int copy(std::uint32_t src, std::uint32_t srcLen, std::uint32_t dest, std::uint32_t destLen);
  void init();  // zeroed and enabled
  void disable() { enabled_ = false; }
  std::uint8_t *at(std::size_t address) { return bytes_.data() + address; }

  // Direct access for the in-process hooks; throws std::out_of_range.
  std::vector<std::uint8_t> peek(std::size_t address, std::size_t length) const;
  void poke(std::size_t address, const std::vector<std::uint8_t> &bytes);

 private:
  std::vector<std::uint8_t> bytes_;
  bool enabled_ = true;
};

}  // namespace detail
}  // namespace ocamsim
