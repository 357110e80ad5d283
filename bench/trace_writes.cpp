// The meter-reading trace over one hour: 10,000 entries into one hour's
// file, about three a second as the reply poll writes them (a new second's
// section, then replacements within the second). Prints what the first and
// the last thousand calls cost; a call must cost the same however full the
// file is, so the last thousand may cost at most twice the first.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "reading/core/debug_trace.h"

int main() {
  constexpr int kEntries = 10000;
  constexpr int kBlock = 1000;
  // 360 ms apart: 10,000 entries fill the hour.
  constexpr std::chrono::milliseconds kStep{360};

  std::string dir = (std::filesystem::temp_directory_path() / "qv-trace-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  dir += "/";
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 5;
  tm.tm_hour = 14;
  tm.tm_isdst = -1;
  const auto hour = std::chrono::system_clock::from_time_t(std::mktime(&tm));

  const char* markers[] = {"11", "12", "13", "iRecvP=68,iCurr=0,iLeaveLen68", "14", "1", "2"};
  double first = 0, last = 0;
  for (int i = 0; i < kEntries; ++i) {
    const auto start = std::chrono::steady_clock::now();
    qv::WriteDebugLog(dir, markers[i % 7], hour + i * kStep);
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (i < kBlock) first += s;
    if (i >= kEntries - kBlock) last += s;
  }
  const auto size = std::filesystem::file_size(dir + "2024030514Text.txt");
  std::filesystem::remove_all(dir);

  std::printf("entries: %d, file: %ju bytes\n", kEntries, static_cast<uintmax_t>(size));
  std::printf("first %d calls: %.3f ms (%.1f us a call)\n", kBlock, first * 1e3,
              first * 1e6 / kBlock);
  std::printf("last %d calls: %.3f ms (%.1f us a call)\n", kBlock, last * 1e3, last * 1e6 / kBlock);
  std::printf("last / first: %.2f (at most 2)\n", last / first);
  return last <= 2 * first ? 0 : 1;
}
