// Hourly trace files beside the program: "<dir>yyyyMMddhhText.txt", one
// entry per call in the section "yyyy-MM-dd hh:nn:ss", key "调试". Two calls
// within one second share a section and the second replaces the first.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace qv {

// Throws FileWriteError ("Unable to write to <path>") when the file cannot
// be written.
void WriteDebugLog(const std::string& dir, std::string_view text,
                   std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

}  // namespace qv
