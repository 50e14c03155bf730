// The extent of a camera's image RAM. The RAM is one block from address 0; its
// size is not part of the camera interface, but a one-byte read says whether
// an address lies inside it (status::kOutOfRange when it does not). These
// helpers ask that way, so a front end can refuse a range, or size a buffer,
// before any data moves.
#pragma once

#include <ocamera/camera.h>
#include <ocamera/export.h>

namespace ocamera {

// 0 when [address, address + length) lies inside the image RAM (an empty range
// always does); status::kOutOfRange when it does not, including a range that
// passes the end of the 32-bit address space; otherwise the failed probe's
// result (-1, a disabled RAM, ...). At most two one-byte reads.
OCAMERA_API int checkImageRAMRange(OCamera &camera, unsigned address, unsigned long long length);

// The number of bytes of the image RAM (0 when even address 0 is outside it),
// found by halving with one-byte reads (about 33); or the result of a probe
// that failed for another reason than the range (negative).
OCAMERA_API long long imageRAMSize(OCamera &camera);

}  // namespace ocamera
