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
    "; bench settings, edited by hand\r\n"
    "\r\n"
    "[basepARAM]\r\n"
    "dn = 3\r\n"
    "# Hidden=1\r\n"
    "MeterNum=12\r\n"
    "Note=kept as it is\r\n"
    "\r\n"
    "[Unknown]\r\n"
    "Colour=blue\r\n";

TEST(IniFileRead, SectionAndKeyMatchWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), kHandWritten);
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_EQ(ini.Get("BaseParam", "DN"), "3");
  EXPECT_EQ(ini.Get("BASEPARAM", "meternum"), "12");
  EXPECT_EQ(ini.Get("unknown", "COLOUR"), "blue");
  EXPECT_EQ(ini.Get("BaseParam", "Note"), "kept as it is");
  EXPECT_TRUE(ini.HasSection("UNKNOWN"));
  EXPECT_FALSE(ini.HasSection("Comm"));
  EXPECT_EQ(ini.Keys("baseparam"), (std::vector<std::string>{"dn", "MeterNum", "Note"}));
}

TEST(IniFileRead, CommentsMissingNamesAndKeysOutsideSectionsGiveNothing) {
  TempDir dir;
  WriteFile(dir.File("a.ini"),
            "Loose=1\n[A]\n# Hidden=1\n; Other=2\n  ;Third=3\nk\n=5\n[B]\nx=1\n");
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_FALSE(ini.Get("A", "Loose"));
  EXPECT_FALSE(ini.Get("A", "Hidden"));
  EXPECT_FALSE(ini.Get("A", "# Hidden"));
  EXPECT_FALSE(ini.Get("A", "Other"));
  EXPECT_FALSE(ini.Get("A", "Third"));
  EXPECT_FALSE(ini.Get("A", "k"));
  EXPECT_FALSE(ini.Get("A", "x"));  // belongs to [B]
  EXPECT_FALSE(ini.Get("C", "x"));
  EXPECT_TRUE(ini.Keys("A").empty());
  EXPECT_TRUE(ini.Keys("C").empty());
}

TEST(IniFileRead, ValuesAreTrimmedAndUnquotedAndTheFirstOfTwinsWins) {
  TempDir dir;
  WriteFile(dir.File("a.ini"),
            "[A]\n  Name  =  \"a b\"  \nq='x'\nhalf=\"x\nempty=\nk=1\nK=2\n[a]\nk=3\n");
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_EQ(ini.Get("A", "name"), "a b");
  EXPECT_EQ(ini.Get("A", "q"), "x");
  EXPECT_EQ(ini.Get("A", "half"), "\"x");
  EXPECT_EQ(ini.Get("A", "empty"), "");
  EXPECT_EQ(ini.Get("A", "k"), "1");
}

TEST(IniFileRead, LineEndsMayBeCrLfOrLfAndAByteOrderMarkIsNoPartOfTheText) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), "\xEF\xBB\xBF[A]\r\nk=1\nj=2\r\n[B]\rx=3");
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_EQ(ini.Get("A", "k"), "1");
  EXPECT_EQ(ini.Get("a", "j"), "2");
  EXPECT_TRUE(ini.HasSection("A"));
}

TEST(IniFileRead, MissingOrUnreadableFileIsAnEmptyDocumentBoundToItsPath) {
  TempDir dir;
  const IniFile missing = IniFile::Load(dir.File("none.ini"));
  EXPECT_EQ(missing.Path(), dir.File("none.ini"));
  EXPECT_EQ(missing.Text(), "");
  EXPECT_FALSE(missing.HasSection("A"));
  const IniFile directory = IniFile::Load(dir.Dir());
  EXPECT_EQ(directory.Text(), "");
}

TEST(IniFileRoundTrip, UnchangedDocumentSavesByteForByte) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), kHandWritten);
  IniFile::Load(dir.File("a.ini")).Save();
  EXPECT_EQ(ReadFile(dir.File("a.ini")), kHandWritten);
}

TEST(IniFileRoundTrip, OnlyValuesChangeAndNewKeysAndSectionsGoToTheEnd) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), kHandWritten);
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  ini.Set("BaseParam", "DN", "5");
  ini.Set("BASEPARAM", "meternum", "20");
  ini.Set("BaseParam", "FluxNum", "4");  // new: after the last key, before the blank line
  ini.Set("unknown", "Size", "L");
  ini.Set("Comm", "0", "3");  // new section at the end
  ini.Set("Comm", "1", "0");
  ini.Save();
  EXPECT_EQ(ReadFile(dir.File("a.ini")),
            "; bench settings, edited by hand\r\n"
            "\r\n"
            "[basepARAM]\r\n"
            "dn = 5\r\n"
            "# Hidden=1\r\n"
            "MeterNum=20\r\n"
            "Note=kept as it is\r\n"
            "FluxNum=4\r\n"
            "\r\n"
            "[Unknown]\r\n"
            "Colour=blue\r\n"
            "Size=L\r\n"
            "\r\n"
            "[Comm]\r\n"
            "0=3\r\n"
            "1=0\r\n");
  const IniFile back = IniFile::Load(dir.File("a.ini"));
  EXPECT_EQ(back.Get("BaseParam", "dn"), "5");
  EXPECT_EQ(back.Get("BaseParam", "Hidden"), std::nullopt);
}

TEST(IniFileRoundTrip, KeyInAnEmptySectionFollowsItsHeader) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), "[A]\n; nothing yet\n\n[B]\nx=1\n");
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  ini.Set("a", "k", "1");
  EXPECT_EQ(ini.Text(), "[A]\nk=1\n; nothing yet\n\n[B]\nx=1\n");
}

TEST(IniFileRoundTrip, LfFileStaysLfAndNewFileGetsCrLf) {
  TempDir dir;
  WriteFile(dir.File("lf.ini"), "[A]\nk=1\n\n[B]\nx=2");
  IniFile lf = IniFile::Load(dir.File("lf.ini"));
  lf.Set("B", "x", "3");
  lf.Save();
  EXPECT_EQ(ReadFile(dir.File("lf.ini")), "[A]\nk=1\n\n[B]\nx=3\n");

  IniFile fresh = IniFile::Load(dir.File("new.ini"));
  fresh.Set("A", "k", "1");
  fresh.Set("B", "x", "2");
  fresh.Save();
  EXPECT_EQ(ReadFile(dir.File("new.ini")), "[A]\r\nk=1\r\n\r\n[B]\r\nx=2\r\n");
}

TEST(IniFileRoundTrip, MixedLineEndsAreWrittenInTheStyleOfTheFirstLine) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), "[A]\r\nk=1\nj=2\r\n");
  IniFile::Load(dir.File("a.ini")).Save();
  EXPECT_EQ(ReadFile(dir.File("a.ini")), "[A]\r\nk=1\r\nj=2\r\n");
}

TEST(IniFileRoundTrip, ByteOrderMarkAndUtf8NamesSurvive) {
  TempDir dir;
  WriteFile(dir.File("a.ini"), "\xEF\xBB\xBF[调试]\r\n名称=旧\r\n");
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_EQ(ini.Get("调试", "名称"), "旧");
  ini.Set("调试", "名称", "新值");
  ini.Save();
  EXPECT_EQ(ReadFile(dir.File("a.ini")), "\xEF\xBB\xBF[调试]\r\n名称=新值\r\n");
}

TEST(IniFileRoundTrip, ValueWithLineBreaksStaysOnItsLine) {
  TempDir dir;
  IniFile ini = IniFile::Load(dir.File("a.ini"));
  ini.Set("A", "k", "1\r\n[B]\nx=2");
  ini.Save();
  const IniFile back = IniFile::Load(dir.File("a.ini"));
  EXPECT_FALSE(back.HasSection("B"));
  EXPECT_EQ(back.Keys("A"), std::vector<std::string>{"k"});
  EXPECT_EQ(back.Get("A", "k"), "1  [B] x=2");
}

TEST(IniFileSave, MissingDirectoryRaisesUnableToWriteWithTheFullPath) {
  TempDir dir;
  const std::string path = dir.File("no-such-dir/sysinfo.ini");
  IniFile ini = IniFile::Load(path);
  ini.Set("A", "k", "1");
  try {
    ini.Save();
    FAIL() << "the save was not refused";
  } catch (const FileWriteError& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + path).c_str());
    EXPECT_EQ(e.Path(), path);
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

// The old file and the directory are left exactly as they were: same bytes,
// no temporary file beside it.
void ExpectRefusedAndIntact(const TempDir& dir, const std::string& path, Refusal how) {
  const std::string before = ReadFile(path);
  const std::string listing = dir.Listing();
  const std::string message = FailureInChild(
      [&] {
        IniFile ini = IniFile::Load(path);
        ini.Set("BaseParam", "DN", "7");
        ini.Set("BaseParam", "Long", std::string(4096, 'x'));
        ini.Save();
      },
      how);
  EXPECT_EQ(message, "Unable to write to " + path);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(dir.Listing(), listing);
}

TEST(IniFileSave, ReadOnlyDirectoryRefusesAndKeepsTheOldFile) {
  TempDir dir;
  WriteFile(dir.File("sysinfo.ini"), kHandWritten);
  ::chmod(dir.File("sysinfo.ini").c_str(), 0644);
  ::chmod(dir.Dir().c_str(), 0555);
  ExpectRefusedAndIntact(dir, dir.File("sysinfo.ini"), {.unprivileged = true});
}

TEST(IniFileSave, ReadOnlyFileRefusesAndKeepsTheOldFile) {
  TempDir dir;
  WriteFile(dir.File("sysinfo.ini"), kHandWritten);
  ::chmod(dir.File("sysinfo.ini").c_str(), 0444);
  ::chmod(dir.Dir().c_str(), 0777);
  ExpectRefusedAndIntact(dir, dir.File("sysinfo.ini"), {.unprivileged = true});
}

TEST(IniFileSave, WriteFailingPartwayKeepsTheOldFileWhole) {
  TempDir dir;
  WriteFile(dir.File("sysinfo.ini"), kHandWritten);
  // The new text is over 4 KiB; the child may write only 1 KiB per file.
  ExpectRefusedAndIntact(dir, dir.File("sysinfo.ini"), {.fileSizeLimit = 1024});
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
  EXPECT_EQ(dir.Listing(), "a.ini;");
}

}  // namespace
}  // namespace qv
