// The page's files (HTML, CSS, JavaScript), built into the program from
// viewer/web/ by the build (viewer/embed.cmake), so that the viewer needs no
// files beside it and fetches nothing.
#pragma once

#include <cstddef>
#include <string>

namespace ocam_viewer {

struct Asset {
  const char *path;  // "/index.html", "/app.js"
  const char *type;  // its Content-Type
  const unsigned char *data;
  std::size_t size;
};

// The file served at `path` ("/" is "/index.html"); null when there is none.
const Asset *findAsset(const std::string &path);

}  // namespace ocam_viewer
