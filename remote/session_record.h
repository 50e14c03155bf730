// What a program set through one camera object and the camera accepted: the
// session record that sessionRecord() hands out.
#pragma once

#include <ocamera/settings.h>

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace ocamera {
namespace remote {

// Thread-safe: setters of several threads note what they set.
class SessionRecord {
 public:
  // Records the setting `name` with one number per field of the table, if
  // the camera accepted it (status 0). A value outside the table's range
  // (which a camera took all the same) is left out: the record holds only
  // what a settings document can hold.
  void note(int status, const char *name, std::initializer_list<double> numbers,
            std::vector<unsigned char> bytes = {});
  void noteRegister(int status, const char *name, unsigned value);
  Settings snapshot() const;

 private:
  mutable std::mutex mutex_;
  Settings settings_;
};

}  // namespace remote
}  // namespace ocamera
