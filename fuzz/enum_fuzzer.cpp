// Feeds arbitrary text to the decoders of the wire enumerations and of the
// wire boolean, in the lenient mode the library reads replies in and in strict
// mode, and checks how the two modes relate and that whatever a decoder
// accepts comes back unchanged through its encoder.
//
// Input: byte 0 picks the enumeration (modulo their number), the rest is the
// text (up to the first NUL).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ocamH.h"
#include "protocol/transport.h"

namespace {

[[noreturn]] void fail(const char *type, const std::string &text, const char *what) {
  std::fprintf(stderr, "enum_fuzzer: %s \"%s\": %s\n", type, text.c_str(), what);
  std::abort();
}

struct Contexts {
  Contexts() : lenient(soap_new()), strict(soap_new1(SOAP_XML_STRICT)) {
    ocamera::wire::configure(lenient);
    ocamera::wire::configure(strict);
  }
  struct soap *lenient;
  struct soap *strict;
};

template <class E>
using Decoder = int (*)(struct soap *, const char *, E *);
template <class E>
using Encoder = const char *(*)(struct soap *, E);

// Decodes `text` in both modes and checks:
//  - what strict mode accepts, lenient mode accepts too, as the same value, and
//    strict mode never yields a negative ordinal;
//  - a value either mode accepts is encoded to a text that decodes to it again
//    (in strict mode too when strict mode accepted the original).
template <class E>
void check(Contexts &c, const char *type, Decoder<E> decode, Encoder<E> encode,
           const std::string &text) {
  E lenientValue{}, strictValue{};
  c.lenient->error = SOAP_OK;
  c.strict->error = SOAP_OK;
  const bool lenientOk = decode(c.lenient, text.c_str(), &lenientValue) == SOAP_OK;
  const bool strictOk = decode(c.strict, text.c_str(), &strictValue) == SOAP_OK;
  if (strictOk) {
    if (!lenientOk) fail(type, text, "strict mode accepts what lenient mode refuses");
    if (static_cast<long long>(strictValue) != static_cast<long long>(lenientValue))
      fail(type, text, "the two modes disagree on the value");
    if (static_cast<long long>(strictValue) < 0)
      fail(type, text, "strict mode gave a negative ordinal");
  }
  if (!lenientOk) return;

  const char *encoded = encode(c.lenient, lenientValue);
  if (!encoded) fail(type, text, "no text for an accepted value");
  const std::string again(encoded);
  E back{};
  c.lenient->error = SOAP_OK;
  if (decode(c.lenient, again.c_str(), &back) != SOAP_OK || back != lenientValue)
    fail(type, text, "the encoded value does not decode to itself");
  if (strictOk) {
    c.strict->error = SOAP_OK;
    if (decode(c.strict, again.c_str(), &back) != SOAP_OK || back != strictValue)
      fail(type, text, "strict mode refuses the encoding of a value it accepted");
  }
}

#define OCAMERA_ENUMS(X)      \
  X(rdev__eAccess)            \
  X(scam__eCameraType)        \
  X(scam__eAcqMode)           \
  X(scam__eTrigSource)        \
  X(scam__eTrigPolarity)      \
  X(scam__eIllMode)           \
  X(scam__eIllModeExt)        \
  X(scam__eFrequency)         \
  X(scam__eJPEGQuality)       \
  X(scam__ePointPriority)     \
  X(scam__eProfileDirection)  \
  X(scam__eLaserOutputFormat) \
  X(scam__eFilterType)        \
  X(scam__eBayer2XType)       \
  X(scam__eBayerPattern)      \
  X(scam__eAppletType)        \
  X(scam__eCorrectionType)    \
  X(scam__eSplitType)         \
  X(sinp__eCameraInput)       \
  X(sout__eCameraOutput)      \
  X(sled__eCameraLED)

using Checker = void (*)(Contexts &, const std::string &);

#define OCAMERA_CHECKER(E)                                               \
  [](Contexts &c, const std::string &text) {                             \
    check<ocam::E>(c, #E, &ocam::soap_s2##E, &ocam::soap_##E##2s, text); \
  },
const Checker kCheckers[] = {OCAMERA_ENUMS(OCAMERA_CHECKER)[](
    Contexts & c,
    const std::string &text){check<bool>(c, "bool", &ocam::soap_s2bool, &ocam::soap_bool2s, text);
}  // namespace
,
}
;
#undef OCAMERA_CHECKER

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static Contexts *contexts = new Contexts();
  if (size < 1) return 0;
  const std::size_t count = sizeof kCheckers / sizeof kCheckers[0];
  const Checker checker = kCheckers[data[0] % count];
  const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  checker(*contexts, std::string(text.c_str()));  // up to the first NUL
  return 0;
}
