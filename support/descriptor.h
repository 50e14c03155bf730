// One device of a camera's device list.
#pragma once

#include <string>

namespace mox {
namespace webservice {

struct Descriptor {
  int id = 0;  // the value sent in "rdev:open"
  std::string vendor;
  std::string type;  // the type name device factories are registered under
  std::string description;
  int versionMajor = 0;
  int versionMinor = 0;
  int maxTimeout = 0;  // seconds; the keep-alive period is half of it
  std::string status;
};

}  // namespace webservice
}  // namespace mox
