#include "core/ini_file.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>

namespace qv {

FileWriteError::FileWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path), path_(path) {}

namespace {

// A carriage return is a blank too: one left over from a line end (CR CR LF,
// or a last line ending in CR) is no part of a name or a value, so a value
// reads the same before and after the file is written back.
constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsComment(std::string_view line) {
  const std::string_view t = Trim(line);
  return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// "[name]" with optional blanks; a header without its ']' runs to the end.
std::optional<std::string_view> SectionName(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  const std::string_view inner = t.substr(1);
  return Trim(inner.substr(0, inner.find(']')));
}

struct KeyLine {
  std::string_view key;  // trimmed
  size_t equals;         // position of the '=' in the line
};

// "key=value" in a line that is no header; comments and lines without a
// key are not key lines.
std::optional<KeyLine> KeyLineOf(std::string_view line) {
  if (IsComment(line)) return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  const std::string_view key = Trim(line.substr(0, eq));
  if (key.empty()) return std::nullopt;
  return KeyLine{key, eq};
}

// "key=value"; comments, headers and lines without a key are not key lines.
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
  return SectionName(line) ? std::nullopt : KeyLineOf(line);
}

// One pair of matching quotes around a value is not part of it.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// A value or name must stay on its line: a line break in it would otherwise
// turn the rest of the text into keys or sections of their own, and a NUL
// byte would make its line unreadable.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return out;
}

#if defined(_WIN32)

// Writes `text` to a temporary file beside `path`, flushes it and moves it
// over `path` in one step: readers see either the old file or the whole new
// one. An existing file that is read-only or a folder is refused.
bool ReplaceFile(const std::string& path, std::string_view text) {
  if (path.empty() || text.size() > MAXDWORD) return false;
  const DWORD attrs = ::GetFileAttributesA(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES &&
      (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return false;
  }
  static std::atomic<unsigned> counter{0};
  const std::string tmp = path + "." + std::to_string(::GetCurrentProcessId()) + "." +
                          std::to_string(counter++) + ".tmp";
  HANDLE h = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size() && ::FlushFileBuffers(h);
  if (!::CloseHandle(h)) ok = false;
  if (ok) {
    ok = ::MoveFileExA(tmp.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  if (!ok) ::DeleteFileA(tmp.c_str());
  return ok;
}

#else

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Opens a new, unique temporary file in the directory of `path`.
int CreateTemp(const std::string& path, std::string& tmp) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp = dir + "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) +
          ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes `text` over the file open as `fd`, from its start, and cuts it to
// that length.
bool WriteWhole(int fd, std::string_view text) {
  return ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, text) &&
         ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
}

// Writes `text` into the existing file itself, for a writable file in a
// folder where no temporary file may be created (a read-only program
// folder). A write that fails partway puts the old bytes back: they need no
// more room than they had.
bool OverwriteInPlace(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  std::string old;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) old.append(buf, static_cast<size_t>(n));
  }
  bool ok = n == 0 && WriteWhole(fd, text);
  if (!ok && n == 0) WriteWhole(fd, old);
  if (::close(fd) != 0) ok = false;
  return ok;
}

// Writes `text` to a temporary file beside `path` and renames it over
// `path`: readers see either the old file or the whole new one. When no
// temporary file can be made there, an existing file is written in place.
// An existing file that is read-only or not a regular file is refused.
bool ReplaceFile(const std::string& path, std::string_view text) {
  if (path.empty()) return false;
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists && (!S_ISREG(old.st_mode) || ::access(path.c_str(), W_OK) != 0)) return false;

  std::string tmp;
  const int fd = CreateTemp(path, tmp);
  if (fd < 0) return exists && (errno == EACCES || errno == EPERM) && OverwriteInPlace(path, text);
  bool ok = WriteAll(fd, text);
  if (ok && exists) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  SyncDirectoryOf(path);
  return true;
}

#endif

}  // namespace

// Names compare without regard to ASCII case; other bytes (UTF-8) must
// match.
size_t IniFile::FoldedHash::operator()(std::string_view name) const {
  size_t h = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) {
    h ^= static_cast<unsigned char>(Lower(c));
    h *= 1099511628211ull;
  }
  return h;
}

bool IniFile::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

IniFile IniFile::Load(const std::string& path) {
  IniFile ini;
  ini.path_ = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ini;
  // One byte past the limit tells Parse that the file goes on.
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return ini;
  text.resize(static_cast<size_t>(in.gcount()));
  size_t unread = 0;  // bytes of the file not even taken into memory
  if (text.size() > kMaxFileBytes) {
    in.clear();
    in.seekg(0, std::ios::end);
    unread = static_cast<size_t>(in.tellg()) - text.size();
  }
  ini = Parse(text, path);
  ini.bytesPastLimit_ += unread;
  return ini;
}

IniFile IniFile::Parse(std::string_view text, const std::string& path) {
  IniFile ini;
  ini.path_ = path;
  if (text.starts_with(kUtf8Bom)) {
    ini.bom_ = true;
    text.remove_prefix(kUtf8Bom.size());
  }
  const size_t firstBreak = text.find('\n');
  if (firstBreak != std::string_view::npos && (firstBreak == 0 || text[firstBreak - 1] != '\r')) {
    ini.eol_ = "\n";
  }
  if (text.size() > kMaxFileBytes) {
    // Only the whole lines within the first half of the limit: what a save
    // writes from them, a few keys more, is then read whole again.
    const size_t end = text.rfind('\n', kMaxFileBytes / 2 - 1);
    const size_t keep = end == std::string_view::npos ? 0 : end + 1;
    ini.bytesPastLimit_ = text.size() - keep;
    text = text.substr(0, keep);
  }
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() > kMaxLineBytes) {
      ++ini.longLines_;
    } else if (line.find('\0') != std::string_view::npos) {
      ++ini.nulLines_;
    } else {
      // The document begins with its first line kept: a byte order mark
      // there is one, as it will be when the document is written back.
      if (ini.lines_.empty() && !ini.bom_ && line.starts_with(kUtf8Bom)) {
        ini.bom_ = true;
        line.remove_prefix(kUtf8Bom.size());
      }
      ini.lines_.emplace_back(line);
      ini.IndexLastLine();
    }
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return ini;
}

std::string IniFile::UnreadNote() const {
  std::string what;
  const auto add = [&what](size_t count, const std::string& text) {
    if (count == 0) return;
    what += (what.empty() ? "" : "、") + std::to_string(count) + text;
  };
  add(nulLines_, "行含空字节");
  add(longLines_, "行超过" + std::to_string(kMaxLineBytes) + "字节");
  add(bytesPastLimit_, "字节未读（文件超过" + std::to_string(kMaxFileBytes >> 20) + "MB）");
  if (what.empty()) return what;
  return " 配置文件" + path_ + "有无法读取的内容：" + what + "；其中的设置取默认值，保存时不再保留";
}

void IniFile::IndexLastLine() {
  const size_t i = lines_.size() - 1;
  const std::string_view line = lines_[i];
  if (const auto name = SectionName(line)) {
    firstSection_.try_emplace(std::string(*name), sections_.size());
    sections_.push_back(Section{i, {}, {}});
    return;
  }
  // Key lines before the first header belong to no section.
  if (sections_.empty()) return;
  if (const auto kl = KeyLineOf(line)) {
    Section& s = sections_.back();
    s.keyLines.push_back(i);
    s.firstKey.try_emplace(std::string(kl->key), i);
  }
}

void IniFile::Reindex() {
  std::vector<std::string> lines = std::move(lines_);
  lines_.clear();
  sections_.clear();
  firstSection_.clear();
  for (std::string& line : lines) {
    lines_.push_back(std::move(line));
    IndexLastLine();
  }
}

void IniFile::InsertLine(size_t at, std::string line, size_t owner) {
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  const std::string_view inserted = lines_[at];
  if (SectionName(inserted)) {
    // A new header splits its section: the lines after it change owner.
    Reindex();
    return;
  }
  for (Section& s : sections_) {
    if (s.header >= at) ++s.header;
    for (size_t& k : s.keyLines)
      if (k >= at) ++k;
    for (auto& [key, k] : s.firstKey)
      if (k >= at) ++k;
  }
  if (const auto kl = ParseKeyLine(inserted)) {
    Section& s = sections_[owner];
    s.keyLines.insert(std::upper_bound(s.keyLines.begin(), s.keyLines.end(), at), at);
    const auto [it, added] = s.firstKey.try_emplace(std::string(kl->key), at);
    if (!added && it->second > at) it->second = at;
  }
}

const IniFile::Section* IniFile::FindSection(std::string_view section) const {
  const auto it = firstSection_.find(section);
  return it == firstSection_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s) return std::nullopt;
  const auto it = s->firstKey.find(key);
  if (it == s->firstKey.end()) return std::nullopt;
  const std::string_view line = lines_[it->second];
  return std::string(Unquote(Trim(line.substr(line.find('=') + 1))));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string v = OneLine(value);
  // A value that reading would change (blanks at its ends, quotes of its
  // own) goes inside one more pair of quotes, which reading takes off.
  if (Unquote(Trim(v)) != v) v = '"' + v + '"';
  std::string newLine = OneLine(key) + "=" + v;
  const Section* s = FindSection(section);
  if (!s) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) {
      lines_.emplace_back();
      IndexLastLine();
    }
    lines_.push_back("[" + OneLine(section) + "]");
    IndexLastLine();
    lines_.push_back(std::move(newLine));
    IndexLastLine();
    return;
  }
  if (const auto it = s->firstKey.find(key); it != s->firstKey.end()) {
    // Keep the key's own spelling and the blanks after '='. The line stays
    // the same key's line, so the index holds.
    std::string& line = lines_[it->second];
    size_t valueStart = line.find_first_not_of(kBlanks, line.find('=') + 1);
    if (valueStart == std::string::npos) valueStart = line.size();
    line = line.substr(0, valueStart) + v;
    return;
  }
  const size_t lastKey = s->keyLines.empty() ? s->header : s->keyLines.back();
  InsertLine(lastKey + 1, std::move(newLine), static_cast<size_t>(s - sections_.data()));
}

bool IniFile::HasSection(std::string_view section) const {
  return FindSection(section) != nullptr;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  const Section* s = FindSection(section);
  if (!s) return keys;
  for (const size_t i : s->keyLines)
    keys.emplace_back(ParseKeyLine(lines_[i])->key);
  return keys;
}

std::string IniFile::Text() const {
  std::string text = bom_ ? std::string(kUtf8Bom) : std::string();
  for (const std::string& line : lines_) {
    text += line;
    text += eol_;
  }
  return text;
}

void IniFile::Save() const {
  if (!ReplaceFile(path_, Text())) throw FileWriteError(path_);
}

}  // namespace qv
