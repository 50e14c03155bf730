// Which Bayer layouts the conversion handles, and their names.
#include <cctype>
#include <cstring>
#include <string>

#include "ocamera/tools.h"

namespace {

struct PatternNames {
  OCameraTools::eBayerPattern pattern;
  const char *camera;  // by the top row
  const char *cell;    // the 2x2 cell read row by row
};

constexpr PatternNames kNames[] = {{OCameraTools::BAYER_PATTERN_GRGR, "GRGR", "GRBG"},
                                   {OCameraTools::BAYER_PATTERN_BGBG, "BGBG", "BGGR"},
                                   {OCameraTools::BAYER_PATTERN_RGRG, "RGRG", "RGGB"},
                                   {OCameraTools::BAYER_PATTERN_GBGB, "GBGB", "GBRG"}};

const PatternNames *namesOf(OCameraTools::eBayerPattern pattern) {
  for (const PatternNames &n : kNames)
    if (n.pattern == pattern) return &n;
  return nullptr;
}

}  // namespace

bool OCameraTools::ConvertsPattern(eBayerPattern pattern) {
  return pattern == BAYER_PATTERN_GRGR || pattern == BAYER_PATTERN_BGBG;
}

const char *OCameraTools::PatternName(eBayerPattern pattern) {
  const PatternNames *n = namesOf(pattern);
  return n ? n->camera : nullptr;
}

const char *OCameraTools::PatternCellName(eBayerPattern pattern) {
  const PatternNames *n = namesOf(pattern);
  return n ? n->cell : nullptr;
}

bool OCameraTools::ParsePattern(const char *name, eBayerPattern *pattern) {
  if (!name) return false;
  std::string wanted;
  for (const char *p = name; *p; ++p)
    wanted += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  const std::string prefix = "BAYER_PATTERN_";
  if (wanted.compare(0, prefix.size(), prefix) == 0) wanted.erase(0, prefix.size());
  for (const PatternNames &n : kNames)
    if (wanted == n.camera || wanted == n.cell) {
      if (pattern) *pattern = n.pattern;
      return true;
    }
  return false;
}
