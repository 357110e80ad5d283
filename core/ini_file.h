// Initialisation files ("[Section]" lines, then "key=value" lines), UTF-8.
// Section and key names match without regard to case. Loading keeps every
// line of an existing file, so saving changes only the values that were set:
// order, comments, blank lines, unknown sections and unknown keys survive. A
// new key goes to the end of its section, a new section to the end of the
// file. Saving writes a temporary file beside the target and renames it over
// the target, so the old file stays whole whatever happens; only where no
// temporary file may be created (a read-only folder) is a writable file
// written in place.
// Lines end in CR LF or LF on reading; an existing file is written back with
// the line end of its first line, a new file with CR LF. Lines whose first
// non-blank character is ';' or '#' are comments.
// What cannot be text of a settings file is not read: a line holding a NUL
// byte, a line of more than kMaxLineBytes, and of a file larger than
// kMaxFileBytes whatever follows its last whole line within the first half
// of that (a settings file is a few kilobytes; a power loss can leave one
// full of NUL bytes). Such lines are left out of the document, so a save
// writes what was read, which is then read whole again, and drops them;
// `UnreadNote` tells what was left out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qv {

// Raised when a settings or trace file cannot be written. The message is
// exactly "Unable to write to " followed by the file's full path.
class FileWriteError : public std::runtime_error {
 public:
  explicit FileWriteError(const std::string& path);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

class IniFile {
 public:
  static constexpr size_t kMaxLineBytes = 4096;
  static constexpr size_t kMaxFileBytes = size_t{1} << 20;

  IniFile() = default;
  // Reads `path`; a file that does not exist or cannot be read gives an
  // empty document bound to that path.
  static IniFile Load(const std::string& path);
  // The document of `text`, as Load reads a file's bytes, bound to `path`.
  static IniFile Parse(std::string_view text, const std::string& path = {});

  // The value text (surrounding blanks trimmed), or nothing when the section
  // or the key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Replaces the value of an existing key or appends the key.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  bool HasSection(std::string_view section) const;
  // Keys of a section in file order (empty when the section is missing).
  std::vector<std::string> Keys(std::string_view section) const;

  // Writes the whole document to Path(); throws FileWriteError.
  void Save() const;
  const std::string& Path() const { return path_; }
  // The document as it would be written.
  std::string Text() const;
  // The operation log's line telling what of the file was not read, for
  // example " 配置文件/data/sysinfo.ini有无法读取的内容：2行含空字节；其中的设置取默认值，
  // 保存时不再保留"; empty when every line was read.
  std::string UnreadNote() const;

 private:
  // Names hashed and compared without regard to ASCII case; a lookup by a
  // string_view makes no copy.
  struct FoldedHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const;
  };
  struct FoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using NameIndex = std::unordered_map<std::string, size_t, FoldedHash, FoldedEqual>;

  // Where each section's header and key lines are, so that a lookup does not
  // read the whole document: built when the text is parsed and kept up to
  // date by Set.
  struct Section {
    size_t header = 0;             // line of its "[name]"
    std::vector<size_t> keyLines;  // its key lines, in file order
    NameIndex firstKey;            // key -> first line with it
  };

  // The first section with this name, or nullptr.
  const Section* FindSection(std::string_view section) const;
  // Adds the line at the end of the document to the index.
  void IndexLastLine();
  void Reindex();
  // Puts `line` before line `at`, which lies inside the section `owner`.
  void InsertLine(size_t at, std::string line, size_t owner);

  std::string path_;
  std::vector<std::string> lines_;
  std::string eol_ = "\r\n";
  // What was left out on reading: lines with a NUL byte, overlong lines,
  // bytes past the size limit.
  size_t nulLines_ = 0;
  size_t longLines_ = 0;
  size_t bytesPastLimit_ = 0;
  bool bom_ = false;               // the file began with a UTF-8 byte order mark
  std::vector<Section> sections_;  // in file order
  NameIndex firstSection_;         // name -> its first section
};

}  // namespace qv
