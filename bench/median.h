// The median of a benchmark's runs (the mean of the middle two for an even
// count; 0 for none).
#pragma once

#include <algorithm>
#include <vector>

namespace bench {

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace bench
