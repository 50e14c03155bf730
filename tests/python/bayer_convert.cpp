// The C++ conversion of a raw Bayer file, for comparing the Python package's
// results with the library's on the same bytes:
//   bayer_convert IN WIDTH HEIGHT PATTERN OUT [RED GREEN BLUE | file]
#include <ocamera/tools.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 6 && argc != 7 && argc != 9) {
    std::fprintf(stderr, "usage: bayer_convert IN WIDTH HEIGHT PATTERN OUT [R G B | file]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<unsigned char> raw((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const auto pattern = static_cast<OCameraTools::eBayerPattern>(std::atoi(argv[4]));
  if (width < 2 || height < 2 || raw.size() != static_cast<std::size_t>(width) * height) {
    std::fprintf(stderr, "bayer_convert: %s holds %zu bytes\n", argv[1], raw.size());
    return 1;
  }
  std::vector<unsigned char> rgb(raw.size() * 3);
  if (argc == 6)
    OCameraTools::Bayer2RGB(raw.data(), rgb.data(), width, height, pattern);
  else if (argc == 7 && std::strcmp(argv[6], "file") == 0)
    OCameraTools::Bayer2RGBBuiltIn(raw.data(), rgb.data(), width, height, pattern);
  else if (argc == 9)
    OCameraTools::Bayer2RGBWhiteBalance(raw.data(), rgb.data(), width, height, std::atoi(argv[6]),
                                        std::atoi(argv[7]), std::atoi(argv[8]), pattern);
  else
    return 2;
  std::ofstream out(argv[5], std::ios::binary);
  out.write(reinterpret_cast<const char *>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  return out ? 0 : 1;
}
