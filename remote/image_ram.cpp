#include "ocamera/image_ram.h"

#include <initializer_list>

#include "ocamera/status.h"

namespace ocamera {
namespace {

constexpr unsigned long long kLastAddress = 0xFFFFFFFFull;

int readByte(OCamera &camera, unsigned long long address) {
  if (address > kLastAddress) return status::kOutOfRange;
  unsigned char byte = 0;
  return camera.readImageRAM(&byte, static_cast<unsigned>(address), 1);
}

}  // namespace

int checkImageRAMRange(OCamera &camera, unsigned address, unsigned long long length) {
  if (length == 0) return status::kOk;
  // The last byte first: a range past the end is the usual mistake.
  for (unsigned long long probe :
       {address + length - 1, static_cast<unsigned long long>(address)}) {
    const int result = readByte(camera, probe);
    if (result != status::kOk) return result;
  }
  return status::kOk;
}

long long imageRAMSize(OCamera &camera) {
  // Every address below `low` is inside, every one from `high` on outside.
  unsigned long long low = 0, high = kLastAddress + 1;
  while (low < high) {
    const unsigned long long middle = low + (high - low) / 2;
    const int result = readByte(camera, middle);
    if (result == status::kOk) {
      low = middle + 1;
    } else if (result == status::kOutOfRange) {
      high = middle;
    } else {
      return result;
    }
  }
  return static_cast<long long>(low);
}

}  // namespace ocamera
