#include "reading/core/debug_trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "core/ini_file.h"

namespace qv {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// A value stays on its line, as IniFile writes it.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

// Where a key line's value starts: past the '=' and the blanks after it
// (IniFile keeps those when it replaces the value).
size_t ValueStart(std::string_view line) {
  const size_t eq = line.find('=');
  const size_t v = line.find_first_not_of(kBlanks, eq + 1);
  return v == std::string_view::npos ? line.size() : v;
}

bool WriteAt(int fd, std::string_view data, off_t at) {
#if defined(_WIN32)
  // Never reached: on Windows OpenKnown finds no file to write in place.
  (void)fd, (void)data, (void)at;
  return false;
#else
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return true;
#endif
}

// Fills `data` from the file at `at`; false when it cannot.
bool ReadAt(int fd, std::string& data, off_t at) {
#if defined(_WIN32)
  (void)fd, (void)data, (void)at;
  return false;
#else
  return ::pread(fd, data.data(), data.size(), at) == static_cast<ssize_t>(data.size());
#endif
}

}  // namespace

int TraceWriter::OpenKnown(const std::string& path) const {
#if defined(_WIN32)
  // Windows has no positioned writes and no inode to know a file by: every
  // entry goes through the initialisation-file functions (Rewrite).
  (void)path;
  return -1;
#else
  if (path.empty() || path != path_) return -1;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_ino != inode_ || st.st_size != size_) {
    ::close(fd);
    return -1;
  }
  return fd;
#endif
}

bool TraceWriter::Append(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view value) {
  const int fd = OpenKnown(path);
  if (fd < 0) return false;
  const std::string line = OneLine(key) + "=" + OneLine(value);
  std::string chunk = blank_before_next_ ? eol_ : std::string();
  chunk += "[" + OneLine(section) + "]" + eol_;
  const off_t line_at = size_ + static_cast<off_t>(chunk.size());
  chunk += line + eol_;
  bool ok = WriteAt(fd, chunk, size_);
  // A write that stopped partway (a full disk) leaves no half entry: the
  // file goes back to its old length, which needs no room.
  if (!ok) ::ftruncate(fd, size_);
  if (::close(fd) != 0 || !ok) {
    Forget();
    throw FileWriteError(path);
  }
  size_ += static_cast<off_t>(chunk.size());
  blank_before_next_ = true;
  last_section_ = std::string(section);
  last_key_ = std::string(key);
  value_at_ = line_at + static_cast<off_t>(ValueStart(line));
  sections_.insert(last_section_);
  return true;
}

bool TraceWriter::Replace(const std::string& path, std::string_view value) {
  const int fd = OpenKnown(path);
  if (fd < 0) return false;
  const std::string tail = OneLine(value) + eol_;
  const off_t end = value_at_ + static_cast<off_t>(tail.size());
  // The old value, put back when the new one cannot be written whole.
  std::string old(static_cast<size_t>(size_ - value_at_), '\0');
  bool ok = ReadAt(fd, old, value_at_) && WriteAt(fd, tail, value_at_) && ::ftruncate(fd, end) == 0;
  if (!ok && WriteAt(fd, old, value_at_)) ::ftruncate(fd, size_);
  if (::close(fd) != 0 || !ok) {
    Forget();
    throw FileWriteError(path);
  }
  size_ = end;
  return true;
}

void TraceWriter::Rewrite(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value) {
  Forget();
  IniFile ini = IniFile::Load(path);
  ini.Set(section, key, value);
  ini.Save();

  // Learn the file as written: its line end, its sections, and whether its
  // last line is this entry, so that the next call can append or replace.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;
  const std::string text = ini.Text();
  if (static_cast<off_t>(text.size()) != st.st_size) return;
  const size_t first_break = text.find('\n');
  eol_ = first_break != std::string::npos && first_break > 0 && text[first_break - 1] == '\r'
             ? "\r\n"
             : "\n";
  sections_.clear();
  std::string_view rest = text;
  std::string_view last_line, last_header;
  size_t offset = 0, last_line_at = 0;
  while (!rest.empty()) {
    const size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string_view t = Trim(line);
    if (t.starts_with('[')) {
      const std::string_view inner = t.substr(1);
      last_header = Trim(inner.substr(0, inner.find(']')));
      sections_.emplace(last_header);
    }
    last_line = line;
    last_line_at = offset;
    if (nl == std::string_view::npos) break;
    rest.remove_prefix(nl + 1);
    offset += nl + 1;
  }
  path_ = path;
  inode_ = st.st_ino;
  size_ = st.st_size;
  blank_before_next_ = !Trim(last_line).empty();
  // Replacing in place needs the entry's own line at the very end.
  const std::string own = OneLine(key) + "=";
  const bool entry_last = last_header == section && last_line.starts_with(own) &&
                          Trim(last_line.substr(ValueStart(last_line))) == Trim(OneLine(value));
  last_section_ = entry_last ? std::string(section) : std::string();
  last_key_ = std::string(key);
  value_at_ = entry_last ? static_cast<off_t>(last_line_at + ValueStart(last_line)) : -1;
}

void TraceWriter::Write(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  if (path == path_ && !last_section_.empty() && section == last_section_ && key == last_key_) {
    if (Replace(path, value)) return;
  } else if (path == path_ && !sections_.contains(std::string(section))) {
    if (Append(path, section, key, value)) return;
  }
  Rewrite(path, section, key, value);
}

void WriteDebugLog(const std::string& dir, std::string_view text,
                   std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const int year = tm.tm_year + 1900;
  const int month = tm.tm_mon + 1;

  // A new file every hour: "yyyyMMddhh" + "Text.txt".
  char file[96];
  std::snprintf(file, sizeof file, "%04d%02d%02d%02dText.txt", year, month, tm.tm_mday, tm.tm_hour);
  // One section per second, "yyyy-MM-dd hh:nn:ss": a second call within the
  // same second replaces the first entry.
  char section[96];
  std::snprintf(section, sizeof section, "%04d-%02d-%02d %02d:%02d:%02d", year, month, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);

  static std::mutex mu;
  static TraceWriter writer;
  const std::lock_guard lock(mu);
  writer.Write(dir + file, section, "调试", text);
}

void DebugTrace::Write(const std::string& dir, std::string_view text,
                       std::chrono::system_clock::time_point now) noexcept {
  try {
    WriteDebugLog(dir, text, now);
    failing_ = false;
  } catch (const std::exception& e) {
    ++dropped_;
    if (failing_ || !log_) return;
    failing_ = true;
    try {
      log_->Post(std::string(" 调试记录写入失败：") + e.what() +
                 "（之后的调试记录丢弃，直到能写入）");
    } catch (...) {
    }
  } catch (...) {
    ++dropped_;
  }
}

}  // namespace qv
