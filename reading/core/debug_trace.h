// Hourly trace files beside the program: "<dir>yyyyMMddhhText.txt", one
// entry per call in the section "yyyy-MM-dd hh:nn:ss", key "调试". Two calls
// within one second share a section and the second replaces the first.
//
// A call costs the same whether the hour's file holds ten entries or ten
// thousand: a new second's section is appended to the file, and only the
// value of the file's last section is rewritten in place when its second
// repeats. The writer remembers where that value starts and how long the
// file is; whenever the file is not as it left it (another hour, a file
// changed by someone else, a second that is not the last section's), the
// entry goes through the initialisation-file functions as a whole, and the
// writer learns the file again from what they wrote.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/operation_log.h"

namespace qv {

// Writes entries into trace files, remembering the last file it wrote.
class TraceWriter {
 public:
  // Sets `key` = `value` in section `section` of the file at `path`, as
  // IniFile's Set and Save would. Throws FileWriteError.
  void Write(const std::string& path, std::string_view section, std::string_view key,
             std::string_view value);

 private:
  bool Append(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value);
  bool Replace(const std::string& path, std::string_view value);
  void Rewrite(const std::string& path, std::string_view section, std::string_view key,
               std::string_view value);
  // Opens the file when it is still as this writer left it; -1 otherwise.
  int OpenKnown(const std::string& path) const;
  void Forget() { path_.clear(); }

  std::string path_;  // the file described below; empty for none
  ino_t inode_ = 0;
  off_t size_ = 0;
  std::string eol_ = "\r\n";
  bool blank_before_next_ = false;  // a new section needs a blank line first
  std::string last_section_;        // the file's last section, when `value_at_` is known
  std::string last_key_;
  off_t value_at_ = -1;  // where the last line's value starts
  std::unordered_set<std::string> sections_;
};

// Throws FileWriteError ("Unable to write to <path>") when the file cannot
// be written.
void WriteDebugLog(const std::string& dir, std::string_view text,
                   std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// The meter-reading window's trace: `WriteDebugLog`, except that a write
// that fails (a folder that cannot be written, a full disk) never reaches
// the caller's timers or waits; it is dropped and counted. The first of a
// run of failures is said once in `log` when one is set.
class DebugTrace {
 public:
  void SetLog(OperationLog* log) { log_ = log; }
  void Write(const std::string& dir, std::string_view text,
             std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) noexcept;
  uint64_t Dropped() const { return dropped_; }

 private:
  uint64_t dropped_ = 0;
  OperationLog* log_ = nullptr;
  bool failing_ = false;  // the last write failed and was said
};

}  // namespace qv
