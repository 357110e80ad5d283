// The lines an operation log queued, collected for a test: counted and
// found by the text they contain.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/operation_log.h"

namespace qv::test {

class LogLines {
 public:
  explicit LogLines(OperationLog& log) : log_(log) {}

  const std::vector<std::string>& Take() {
    for (std::string& line : log_.TakePending())
      lines_.push_back(std::move(line));
    return lines_;
  }
  // Lines taken so far that contain `text`.
  size_t Count(std::string_view text) {
    Take();
    return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const auto& l) {
      return l.find(text) != std::string::npos;
    }));
  }
  // Where the first line taken so far that contains `text` stands (the
  // number of lines when none does).
  size_t First(std::string_view text) {
    Take();
    return static_cast<size_t>(
        std::find_if(lines_.begin(), lines_.end(),
                     [&](const auto& l) { return l.find(text) != std::string::npos; }) -
        lines_.begin());
  }

 private:
  OperationLog& log_;
  std::vector<std::string> lines_;
};

}  // namespace qv::test
