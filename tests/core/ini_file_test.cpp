#include "core/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

// A file as an operator might leave it: comments, blank lines, odd case,
// blanks around '=', keys and a section the program does not know.
const std::string kHandWritten =
    "; bench settings, edited by hand\r\n\r\n[basepARAM]\r\ndn = 3\r\n# Hidden=1\r\n"
    "MeterNum=12\r\nNote=kept as it is\r\n\r\n[Unknown]\r\nColour=blue\r\n";

// The values of comma-separated "section/key" lookups joined by '|', "-" for
// a missing one.
std::string Values(const IniFile& ini, const std::string& lookups) {
  std::string out;
  for (size_t at = 0; at <= lookups.size();) {
    const size_t end = std::min(lookups.find(',', at), lookups.size());
    const std::string item = lookups.substr(at, end - at);
    const size_t slash = item.find('/');
    out += (at ? "|" : "") + ini.Get(item.substr(0, slash), item.substr(slash + 1)).value_or("-");
    at = end + 1;
  }
  return out;
}

struct ReadCase {
  const char* file;
  const char* lookups;
  const char* values;
};
const ReadCase kReadCases[] = {
    // Sections and keys match without regard to case.
    {kHandWritten.c_str(), "BaseParam/DN,BASEPARAM/meternum,unknown/COLOUR,BaseParam/Note",
     "3|12|blue|kept as it is"},
    // Comments, lines without a name or '=', keys outside sections or in another.
    {"Loose=1\n[A]\n# Hidden=1\n; Other=2\n  ;Third=3\nk\n=5\n[B]\nx=1\n",
     "A/Loose,A/Hidden,A/# Hidden,A/Other,A/Third,A/k,A/x,C/x,B/x", "-|-|-|-|-|-|-|-|1"},
    // Values trimmed and unquoted; the first of twin keys and sections wins.
    {"[A]\n  Name  =  \"a b\"  \nq='x'\nhalf=\"x\nempty=\nk=1\nK=2\n[a]\nk=3\n",
     "A/name,A/q,A/half,A/empty,A/k", "a b|x|\"x||1"},
    // CR LF or LF; a byte order mark is no part of the text.
    {"\xEF\xBB\xBF[A]\r\nk=1\nj=2\r\n[B]\rx=3", "A/k,a/j", "1|2"},
};

TEST(IniFileRead, NamesCommentsValuesAndLineEnds) {
  TempDir dir;
  for (const ReadCase& c : kReadCases) {
    WriteFile(dir.File("a.ini"), c.file);
    EXPECT_EQ(Values(IniFile::Load(dir.File("a.ini")), c.lookups), c.values) << c.file;
  }
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_TRUE(ini.HasSection("a"));
  EXPECT_FALSE(ini.HasSection("C"));
  WriteFile(dir.File("a.ini"), kHandWritten);
  EXPECT_EQ(IniFile::Load(dir.File("a.ini")).Keys("baseparam"),
            (std::vector<std::string>{"dn", "MeterNum", "Note"}));
  WriteFile(dir.File("a.ini"), "[A]\n# Hidden=1\n; Other=2\nk\n=5\n[B]\nx=1\n");
  EXPECT_TRUE(IniFile::Load(dir.File("a.ini")).Keys("A").empty());
  EXPECT_TRUE(IniFile::Load(dir.File("a.ini")).Keys("C").empty());
}

TEST(IniFileRead, MissingOrUnreadableFileIsAnEmptyDocumentBoundToItsPath) {
  TempDir dir;
  const IniFile missing = IniFile::Load(dir.File("none.ini"));
  EXPECT_EQ(missing.Path(), dir.File("none.ini"));
  EXPECT_EQ(missing.Text(), "");
  EXPECT_FALSE(missing.HasSection("A"));
  EXPECT_EQ(IniFile::Load(dir.Dir()).Text(), "");
}

// A file before (none: no file), the values set ("section/key=value" joined
// by '|') and the file the save leaves.
struct SaveCase {
  const char* before;
  const char* sets;
  const char* after;
};
const SaveCase kSaveCases[] = {
    // Unchanged: byte for byte.
    {kHandWritten.c_str(), "", kHandWritten.c_str()},
    // Only values change; new keys go after the last key of their section
    // (before its blank line), new sections to the end.
    {kHandWritten.c_str(),
     "BaseParam/DN=5|BASEPARAM/meternum=20|BaseParam/FluxNum=4|unknown/Size=L|Comm/0=3|Comm/1=0",
     "; bench settings, edited by hand\r\n\r\n[basepARAM]\r\ndn = 5\r\n# Hidden=1\r\n"
     "MeterNum=20\r\nNote=kept as it is\r\nFluxNum=4\r\n\r\n[Unknown]\r\nColour=blue\r\n"
     "Size=L\r\n\r\n[Comm]\r\n0=3\r\n1=0\r\n"},
    // A key in an empty section follows its header.
    {"[A]\n; nothing yet\n\n[B]\nx=1\n", "a/k=1", "[A]\nk=1\n; nothing yet\n\n[B]\nx=1\n"},
    // An LF file stays LF, a new file gets CR LF, mixed line ends follow the
    // first line.
    {"[A]\nk=1\n\n[B]\nx=2", "B/x=3", "[A]\nk=1\n\n[B]\nx=3\n"},
    {nullptr, "A/k=1|B/x=2", "[A]\r\nk=1\r\n\r\n[B]\r\nx=2\r\n"},
    {"[A]\r\nk=1\nj=2\r\n", "", "[A]\r\nk=1\r\nj=2\r\n"},
    // A byte order mark and UTF-8 names survive.
    {"\xEF\xBB\xBF[调试]\r\n名称=旧\r\n", "调试/名称=新值", "\xEF\xBB\xBF[调试]\r\n名称=新值\r\n"},
    // A value with line breaks stays on its line.
    {nullptr, "A/k=1\r\n[B]\nx=2", "[A]\r\nk=1  [B] x=2\r\n"},
};

TEST(IniFileSave, ChangesOnlyWhatWasSet) {
  for (const SaveCase& c : kSaveCases) {
    TempDir dir;
    if (c.before) WriteFile(dir.File("a.ini"), c.before);
    IniFile ini = IniFile::Load(dir.File("a.ini"));
    for (std::string sets = c.sets; !sets.empty();) {
      const std::string set = sets.substr(0, sets.find('|'));
      sets.erase(0, std::min(set.size() + 1, sets.size()));
      const size_t slash = set.find('/'), equals = set.find('=');
      ini.Set(set.substr(0, slash), set.substr(slash + 1, equals - slash - 1),
              set.substr(equals + 1));
    }
    ini.Save();
    EXPECT_EQ(ReadFile(dir.File("a.ini")), c.after) << c.sets;
    EXPECT_EQ(dir.Listing(), "a.ini;") << "no temporary file left";
  }
}

TEST(IniFileSave, TargetThatIsADirectoryIsRefused) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("a.ini"));
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  ini.Set("A", "k", "1");
  EXPECT_THROW(ini.Save(), FileWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a.ini")));
  EXPECT_EQ(dir.Listing(), "a.ini;");
}

// A read-only directory, a read-only file and a write failing partway (the
// new text is over 4 KiB, the child may write 1 KiB a file): the save is
// refused and the old file and the directory stay exactly as they were.
TEST(IniFileSave, RefusedSaveKeepsTheOldFileWhole) {
  struct Case {
    mode_t file, dir;
    Refusal how;
  };
  for (const Case& c :
       {Case{0644, 0555, {.unprivileged = true}}, Case{0444, 0777, {.unprivileged = true}},
        Case{0644, 0755, {.fileSizeLimit = 1024}}}) {
    TempDir dir;
    const std::string path = dir.File("sysinfo.ini");
    WriteFile(path, kHandWritten);
    ::chmod(path.c_str(), c.file);
    ::chmod(dir.Dir().c_str(), c.dir);
    const std::string message = FailureInChild(
        [&] {
          IniFile ini = IniFile::Load(path);
          ini.Set("BaseParam", "DN", "7");
          ini.Set("BaseParam", "Long", std::string(4096, 'x'));
          ini.Save();
        },
        c.how);
    EXPECT_EQ(message, "Unable to write to " + path) << c.file << " " << c.dir;
    EXPECT_EQ(ReadFile(path), kHandWritten);
    EXPECT_EQ(dir.Listing(), "sysinfo.ini;");
  }
}

TEST(IniFileSave, ReplacedFileKeepsItsPermissions) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), "[A]\nk=1\n");
  ::chmod(dir.File("a.ini").c_str(), 0640);
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  ini.Set("A", "k", "2");
  ini.Save();
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\nk=2\n");
}

}  // namespace
}  // namespace qv
