#include "core/debug_trace.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/ini_file.h"
#include "support/local_time.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using testing_time::Local;

using namespace test;

// A second later in the same second replaces the entry.
TEST(DebugTrace, EntryIsNamedByTheSecondInAFileNamedByTheHour) {
  TempDir dir;
  const auto t = Local(2024, 3, 5, 14, 7, 9);
  WriteDebugLog(dir.Dir(), "11", t);
  WriteDebugLog(dir.Dir(), "iRecvP=3,iCurr=0,iLeaveLen3", t + std::chrono::milliseconds(500));
  EXPECT_EQ(dir.Listing(), "2024030514Text.txt;");
  EXPECT_EQ(ReadFile(dir.File("2024030514Text.txt")),
            "[2024-03-05 14:07:09]\r\n调试=iRecvP=3,iCurr=0,iLeaveLen3\r\n");
}

TEST(DebugTrace, LaterSecondsAddSectionsInOrderAndANewHourANewFile) {
  TempDir dir;
  WriteDebugLog(dir.Dir(), "1", Local(2024, 12, 31, 9, 59, 58));
  WriteDebugLog(dir.Dir(), "2", Local(2024, 12, 31, 9, 59, 59));
  WriteDebugLog(dir.Dir(), "13", Local(2024, 12, 31, 10, 0, 0));
  EXPECT_EQ(dir.Listing(), "2024123109Text.txt;2024123110Text.txt;");
  const IniFile nine = IniFile::Load(dir.File("2024123109Text.txt"));
  EXPECT_EQ(nine.Get("2024-12-31 09:59:58", "调试"), "1");
  EXPECT_EQ(nine.Get("2024-12-31 09:59:59", "调试"), "2");
  EXPECT_EQ(ReadFile(dir.File("2024123110Text.txt")), "[2024-12-31 10:00:00]\r\n调试=13\r\n");
}

TEST(DebugTrace, UnwritableFileRaisesUnableToWrite) {
  TempDir dir;
  const std::string missing = dir.File("gone/");
  try {
    WriteDebugLog(missing, "14", Local(2024, 3, 5, 14, 7, 9));
    FAIL() << "the write was not refused";
  } catch (const FileWriteError& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + missing + "2024030514Text.txt").c_str());
  }
}

}  // namespace
}  // namespace qv
