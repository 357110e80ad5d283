// Water property tables with one entry per whole degree, 1 °C first, and the
// interpolation the bench arithmetic uses between their entries.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>

namespace qv {

// The value at `t` °C from `table` (entry n-1 belongs to n °C): the entry
// itself at a whole degree, else the straight line from the entry of t
// truncated to the entry of t rounded up. Above the last degree the last
// entry stands in for the missing next one. The caller keeps `t` above 1 °C
// and at most a hair above the last degree.
inline double InterpolateByDegree(std::span<const float> table, double t) {
  const long last = static_cast<long>(table.size());
  auto entry = [&](long celsius) {
    return static_cast<double>(table[static_cast<size_t>(std::min(celsius, last) - 1)]);
  };
  const long i = static_cast<long>(std::trunc(t));
  const long c = static_cast<long>(std::ceil(t));
  if (c == i) return entry(i);
  return entry(i) + (entry(c) - entry(i)) * (t - static_cast<double>(i));
}

}  // namespace qv
