// A moment given as local wall-clock fields, for tests of time stamps, trace
// file names and clock frames.
#pragma once

#include <chrono>
#include <ctime>

namespace qv::testing_time {

inline std::chrono::system_clock::time_point Local(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

}  // namespace qv::testing_time
