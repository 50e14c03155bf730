// The sensor geometry a camera writes at the end of its device description:
// "... [sensor 1280x1024 GRGR]".
#include "settings/ids.h"

namespace ocamera {
namespace {

// Reads 1..5 digits at text[pos]; 0 when there are none or too many.
int readNumber(const std::string &text, std::size_t &pos) {
  int value = 0, digits = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (++digits > 5) return 0;
    value = value * 10 + (text[pos++] - '0');
  }
  return value;
}

}  // namespace

SensorGeometry parseSensorGeometry(const std::string &description) {
  SensorGeometry g;
  const std::string mark = "[sensor ";
  const std::size_t at = description.rfind(mark);
  if (at == std::string::npos) return g;
  std::size_t pos = at + mark.size();
  const int width = readNumber(description, pos);
  if (pos >= description.size() || description[pos++] != 'x') return g;
  const int height = readNumber(description, pos);
  if (pos >= description.size() || description[pos++] != ' ') return g;
  const std::string rest = description.substr(pos);
  const char *const names[] = {"GRGR", "BGBG", "RGRG", "GBGB"};
  int pattern = 0;
  for (int i = 0; i < 4; ++i)
    if (rest == std::string(names[i]) + "]") pattern = i + 1;
  if (!pattern || width < 1 || height < 1 || width > 65535 || height > 65535) return g;
  g.width = width;
  g.height = height;
  g.pattern = static_cast<OCameraTools::eBayerPattern>(pattern);
  return g;
}

}  // namespace ocamera
