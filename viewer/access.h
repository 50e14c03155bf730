// The viewer's access token: the panel can switch outputs that drive
// machinery, so every request must carry the token printed with the URL (in
// the X-Access-Token header or the `token` query parameter). A page of another
// site open in the same browser cannot learn it, so it cannot make the
// browser switch anything either.
#pragma once

#include <string>

namespace ocam_viewer {

// 32 hex digits from the system's random source.
std::string makeAccessToken();

// Whether `given` is `token`, compared in time independent of where they differ.
bool tokenMatches(const std::string &token, const std::string &given);

// Whether `address` is a loopback address (127.0.0.0/8, ::1, "localhost").
bool isLoopback(const std::string &address);

}  // namespace ocam_viewer
