// Visibility of the library's exported entry points.
#pragma once

#if defined(OCAMERA_BUILDING)
#define OCAMERA_API __attribute__((visibility("default")))
#else
#define OCAMERA_API
#endif

namespace ocamera {

// The camera's factory-default IPv4 address. The static factories use it: the
// camera service on port 80 (the address alone), the inputs, outputs and LED
// services on port 8080.
constexpr const char *kFactoryDefaultAddress = "192.168.0.42";

}  // namespace ocamera
