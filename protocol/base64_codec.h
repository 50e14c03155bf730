// Which implementation the base64 reader and writer of protocol/base64.h run,
// for the tests and benchmarks that compare them. The library never switches:
// it always runs kBulk, which takes 32 characters per step where the
// processor has AVX2. kBulkPortable is the same without those steps, and
// kRuntime the runtime's own reader and writer.
#pragma once

namespace ocamera {
namespace wire {

enum class Base64Codec { kBulk, kBulkPortable, kRuntime };
// Process-wide; every payload read or written afterwards uses it.
void selectBase64Codec(Base64Codec codec);
Base64Codec selectedBase64Codec();

}  // namespace wire
}  // namespace ocamera
