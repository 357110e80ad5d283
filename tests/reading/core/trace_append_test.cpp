// The hourly trace files: an entry named by its second in a file named by
// its hour; the file grows by appending, yet every sequence of calls leaves
// the text the initialisation-file functions would have written; a new
// second adds to the file without rewriting it; a failed write reaches the
// window's trace only as a count.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/ini_file.h"
#include "reading/core/debug_trace.h"
#include "support/local_time.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using std::chrono::milliseconds;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using testing_time::Local;

const auto kT = Local(2024, 3, 5, 14, 7, 9);
constexpr const char* kFile = "2024030514Text.txt";

// What the initialisation-file functions make of the same calls.
std::string Reference(const std::string& start,
                      const std::vector<std::pair<int, std::string>>& calls, const TempDir& dir) {
  const std::string path = dir.File("reference.txt");
  WriteFile(path, start);
  for (const auto& [ms, text] : calls) {
    const time_t t = std::chrono::system_clock::to_time_t(kT + milliseconds(ms));
    std::tm tm{};
    localtime_r(&t, &tm);
    char section[32];
    std::strftime(section, sizeof section, "%Y-%m-%d %H:%M:%S", &tm);
    IniFile ini = IniFile::Load(path);
    ini.Set(section, "调试", text);
    ini.Save();
  }
  return ReadFile(path);
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

// A second call within the same second replaces the entry; a later second
// adds a section, a new hour starts a new file.
TEST(TraceAppend, EntriesByTheSecondInFilesByTheHour) {
  TempDir dir;
  WriteDebugLog(dir.Dir(), "11", kT);
  WriteDebugLog(dir.Dir(), "iRecvP=3,iCurr=0,iLeaveLen3", kT + milliseconds(500));
  EXPECT_EQ(ReadFile(dir.File(kFile)),
            "[2024-03-05 14:07:09]\r\n调试=iRecvP=3,iCurr=0,iLeaveLen3\r\n");

  WriteDebugLog(dir.Dir(), "1", Local(2024, 12, 31, 9, 59, 58));
  WriteDebugLog(dir.Dir(), "2", Local(2024, 12, 31, 9, 59, 59));
  WriteDebugLog(dir.Dir(), "13", Local(2024, 12, 31, 10, 0, 0));
  EXPECT_EQ(dir.Listing(), "2024030514Text.txt;2024123109Text.txt;2024123110Text.txt;");
  EXPECT_EQ(ReadFile(dir.File("2024123109Text.txt")),
            "[2024-12-31 09:59:58]\r\n调试=1\r\n\r\n[2024-12-31 09:59:59]\r\n调试=2\r\n");
  EXPECT_EQ(ReadFile(dir.File("2024123110Text.txt")), "[2024-12-31 10:00:00]\r\n调试=13\r\n");
}

TEST(TraceAppend, EveryOrderOfCallsLeavesTheIniText) {
  struct Case {
    const char* name;
    std::string start;                               // the file before the first call
    std::vector<std::pair<int, std::string>> calls;  // ms after kT, text
  };
  const Case cases[] = {
      {"new seconds and repeats",
       "",
       {{0, "11"}, {300, "12"}, {1000, "13"}, {1200, "14"}, {2500, "1"}}},
      {"an earlier second again",
       "",
       {{0, "1"}, {1000, "2"}, {2000, "11"}, {1000, "12"}, {3000, "13"}}},
      {"a file from before, LF", "[x]\nk=v\n", {{0, "1"}, {0, "2"}, {1000, "3"}}},
      {"a file from before, no end", "\xEF\xBB\xBF[x]\r\nk=v", {{0, "1"}, {1000, "2"}}},
      {"blanks and breaks in texts", "", {{0, "  a"}, {10, "b\nc"}, {1000, ""}, {1010, "d"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (!c.start.empty()) WriteFile(dir.File(kFile), c.start);
    for (const auto& [ms, text] : c.calls)
      WriteDebugLog(dir.Dir(), text, kT + milliseconds(ms));
    EXPECT_EQ(ReadFile(dir.File(kFile)), Reference(c.start, c.calls, dir));
  }
}

TEST(TraceAppend, ANewSecondAppendsAndAChangedFileIsReadAgain) {
  TempDir dir;
  const std::string path = dir.File(kFile);
  WriteDebugLog(dir.Dir(), "1", kT);
  const ino_t inode = Inode(path);
  WriteDebugLog(dir.Dir(), "2", kT + milliseconds(1000));
  WriteDebugLog(dir.Dir(), "3", kT + milliseconds(1500));
  EXPECT_EQ(Inode(path), inode);  // written in place, never replaced

  // Someone else adds to the file: the next entry keeps what they wrote.
  WriteFile(path, ReadFile(path) + "\r\n[other]\r\nk=v\r\n");
  WriteDebugLog(dir.Dir(), "4", kT + milliseconds(1600));
  const IniFile ini = IniFile::Load(path);
  EXPECT_EQ(ini.Get("other", "k"), "v");
  EXPECT_EQ(ini.Get("2024-03-05 14:07:10", "调试"), "4");
}

TEST(TraceAppend, FailedWritesRaiseForTheCallerAndAreCountedByTheWindowTrace) {
  TempDir dir;
  // A full disk in the middle of the hour: the append itself fails.
  const std::string full = test::FailureInChild(
      [&] {
        for (int i = 0; i < 100; ++i)
          WriteDebugLog(dir.Dir(), std::string(40, 'x'), kT + milliseconds(1000 * i));
      },
      {.fileSizeLimit = 2000});
  EXPECT_EQ(full, "Unable to write to " + dir.File(kFile));
  // Nothing half-written: whole entries only, the last one ended.
  const std::string text = ReadFile(dir.File(kFile));
  EXPECT_TRUE(text.ends_with("=" + std::string(40, 'x') + "\r\n"));
  const auto count = [&text](const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      ++n;
    return n;
  };
  EXPECT_GT(count("[2024-03-05 14:"), 0u);
  EXPECT_EQ(count("[2024-03-05 14:"), count("]\r\n调试=" + std::string(40, 'x') + "\r\n"));

  // Failures are counted; the first of each run of them is said once.
  OperationLog log;
  DebugTrace trace;
  trace.SetLog(&log);
  std::vector<std::string> said;
  for (const char* to : {"gone/", "gone/", "", "gone/"}) {
    trace.Write(dir.File(to), "11", kT);
    for (const std::string& line : log.TakePending())
      said.push_back(line.substr(line.find(']') + 1));
  }
  EXPECT_EQ(trace.Dropped(), 3u);
  const std::string line = " 调试记录写入失败：Unable to write to " + dir.File("gone/") + kFile +
                           "（之后的调试记录丢弃，直到能写入）";
  EXPECT_EQ(said, std::vector<std::string>({line, line}));
}

}  // namespace
}  // namespace qv
