// The results journal on real SQLite files: records read back through the
// queries, one writer per folder, a folder that cannot hold it, and a
// program killed right after a record was acknowledged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <filesystem>

#include "core/journal.h"
#include "core/journal_store.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

ReadingRecord Reading(const std::string& time, const std::string& address, const char* verdict,
                      int row = 1) {
  ReadingRecord r;
  r.Time = time;
  r.Window = kFlowWindow;
  r.Tester = "Test";
  r.Address = address;
  r.Row = row;
  r.FlowPoint = 3;
  r.MeterVolume = 20.2;
  r.VolumeError = 1.0;
  r.Verdict = verdict;
  return r;
}

struct Problems {
  std::vector<JournalProblem> seen;
  void Watch(ResultJournal& j) {
    j.on_problem = [this](JournalProblem p, const std::string&) { seen.push_back(p); };
  }
};

TEST(Journal, RecordsReadBackFilteredNewestFirst) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  {
    ResultJournal j;
    ASSERT_TRUE(j.Open(path));
    j.Record(Reading("2024-03-04 09:00:00", "2024000001", kVerdictPass));
    j.Record(Reading("2024-03-05 23:59:59", "2024000002", kVerdictFail));
    j.Record(Reading("2024-03-06 00:00:00", "2024000001", ""));
    WriteRecord w;
    w.Address = "2024000001";
    w.What = "写系数三";
    w.Value = "9600";
    w.Before = "10000";
    w.Confirmed = true;
    const uint64_t last = j.Record(w);
    ASSERT_TRUE(j.WaitAcknowledged(last, 10s));
  }
  struct Case {
    ReadingFilter filter;
    std::vector<std::string> times;
  };
  const Case cases[] = {
      {{}, {"2024-03-06 00:00:00", "2024-03-05 23:59:59", "2024-03-04 09:00:00"}},
      {{"0001", "", "", ""}, {"2024-03-06 00:00:00", "2024-03-04 09:00:00"}},
      {{"", "2024-03-05", "2024-03-05", ""}, {"2024-03-05 23:59:59"}},
      {{"", "", "", kVerdictPass}, {"2024-03-04 09:00:00"}},
      {{"%", "", "", ""}, {}},
  };
  for (const Case& c : cases) {
    std::string error;
    std::vector<std::string> times;
    for (const ReadingRecord& r : QueryReadings(path, c.filter, error))
      times.push_back(r.Time);
    EXPECT_EQ(error, "");
    EXPECT_EQ(times, c.times) << c.filter.Address << c.filter.Since << c.filter.Verdict;
  }
  std::string error;
  const auto writes = QueryWrites(path, "2024000001", error);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].Before, "10000");
  EXPECT_TRUE(writes[0].Confirmed);
  const auto one = QueryReadings(path, {"0002", "", "", ""}, error);
  EXPECT_EQ(ReadingsCsv(one).substr(0, 24), "time,window,tester,addre");
  EXPECT_NE(ReadingsCsv(one).find(",20.20,,1.00,"), std::string::npos);
  EXPECT_NE(ReadingsJson(one).find("\"meter_volume\": 20.20, \"meter_heat\": null"),
            std::string::npos);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT version FROM schema_version", -1, &q, nullptr);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), kJournalSchemaVersion);
  sqlite3_finalize(q);
  sqlite3_close(db);
}

// A journal of the first version (its readings without the bench and the
// temperatures of the record) reads as it is and is brought up to date in
// place when the program writes it again; nothing of it is lost.
TEST(Journal, AnOlderJournalReadsAndIsUpgradedInPlace) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  {
    ResultJournal j;
    ASSERT_TRUE(j.Open(path));
    ASSERT_TRUE(
        j.WaitAcknowledged(j.Record(Reading("2024-03-04 09:00:00", "1", kVerdictPass)), 10s));
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const char* column : {"bench_name", "bench_reference", "calibration_due", "meter_type",
                             "fluid", "bench_inlet", "bench_outlet"}) {
    ASSERT_EQ(sqlite3_exec(db, (std::string("ALTER TABLE readings DROP COLUMN ") + column).c_str(),
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  ASSERT_EQ(sqlite3_exec(db, "UPDATE schema_version SET version = 1", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  std::string error;
  ASSERT_EQ(QueryReadings(path, {}, error).size(), 1u);
  EXPECT_EQ(error, "");
  ReadingRecord kept = Reading("2024-03-05 09:00:00", "2", kVerdictFail);
  std::tie(kept.BenchName, kept.BenchReference, kept.CalibrationDue, kept.MeterType, kept.Fluid,
           kept.BenchInlet, kept.BenchOutlet) =
      std::tuple{"Bench 3", "Mass standard M-12", "2026-09-30", 1, 20.125, 80.0, 60.5};
  {
    ResultJournal j;
    ASSERT_TRUE(j.Open(path));
    ASSERT_TRUE(j.WaitAcknowledged(j.Record(kept), 10s));
  }
  const auto readings = QueryReadings(path, {}, error);
  ASSERT_EQ(readings.size(), 2u);
  const ReadingRecord &now = readings[0], &old = readings[1];
  EXPECT_EQ(std::tie(now.BenchName, now.BenchReference, now.CalibrationDue, now.MeterType,
                     now.Fluid, now.BenchInlet, now.BenchOutlet),
            std::tie(kept.BenchName, kept.BenchReference, kept.CalibrationDue, kept.MeterType,
                     kept.Fluid, kept.BenchInlet, kept.BenchOutlet));
  EXPECT_EQ(old.Address, "1");
  EXPECT_EQ(old.BenchName + old.CalibrationDue, "");
  EXPECT_FALSE(old.MeterType || old.Fluid || old.BenchInlet);
  // The temperatures as given, at two decimals or more.
  EXPECT_NE(ReadingsCsv({now}).find(",Bench 3,Mass standard M-12,2026-09-30,1,20.125,80.00,60.50"),
            std::string::npos);
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT version FROM schema_version", -1, &q, nullptr);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), kJournalSchemaVersion);
  EXPECT_EQ(sqlite3_step(q), SQLITE_DONE);
  sqlite3_finalize(q);
  sqlite3_close(db);
}

TEST(Journal, OneWriterPerFolder) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  Problems first_problems, second_problems;
  ResultJournal first;
  first_problems.Watch(first);
  ASSERT_TRUE(first.Open(path));
  {
    ResultJournal second;
    second_problems.Watch(second);
    EXPECT_FALSE(second.Open(path));
    EXPECT_EQ(second.Record(Reading("2024-03-05 10:00:00", "1", "")), 0u);
  }
  EXPECT_EQ(second_problems.seen, std::vector{JournalProblem::kLocked});
  // The first goes on writing.
  EXPECT_TRUE(first.WaitAcknowledged(first.Record(Reading("2024-03-05 10:00:00", "1", "")), 10s));
  EXPECT_TRUE(first_problems.seen.empty());
}

TEST(Journal, AFolderThatCannotHoldItIsReportedOnce) {
  TempDir dir;
  // Even root cannot make a folder inside a file, nor a database of a
  // folder.
  test::WriteFile(dir.File("plain"), "");
  std::filesystem::create_directory(dir.File("results.sqlite"));
  for (const std::string& path : {JournalPath(dir.File("plain/")), JournalPath(dir.Dir())}) {
    Problems problems;
    ResultJournal j;
    problems.Watch(j);
    j.Open(path);
    uint64_t seq = 0;
    for (int i = 0; i < 3; ++i)
      seq = std::max(seq, j.Record(Reading("2024-03-05 10:00:00", "1", "")));
    EXPECT_FALSE(j.WaitAcknowledged(std::max<uint64_t>(seq, 1), 10s));
    EXPECT_EQ(problems.seen, std::vector{JournalProblem::kUnwritable}) << path;
  }
}

TEST(Journal, AKilledProgramKeepsEveryAcknowledgedRecord) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Records without pause; after each acknowledgement it tells the
    // parent which row it was, and goes on.
    ::close(fds[0]);
    ResultJournal j;
    if (!j.Open(path)) ::_exit(2);
    for (int row = 1;; ++row) {
      const uint64_t seq = j.Record(Reading("2024-03-05 10:00:00", "1", kVerdictPass, row));
      j.Record(Reading("2024-03-05 10:00:00", "2", kVerdictPass, row));
      if (!j.WaitAcknowledged(seq, 10s)) ::_exit(3);
      if (::write(fds[1], &row, sizeof row) != sizeof row) ::_exit(4);
    }
  }
  ::close(fds[1]);
  int acknowledged = 0;
  int row = 0;
  while (acknowledged < 200 && ::read(fds[0], &row, sizeof row) == sizeof row)
    acknowledged = row;
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(fds[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own: " << status;
  ASSERT_EQ(acknowledged, 200);

  std::string error;
  const auto readings = QueryReadings(path, {"1", "", "", ""}, error);
  ASSERT_EQ(error, "");
  std::vector<bool> kept(acknowledged + 1);
  for (const ReadingRecord& r : readings) {
    if (r.Row <= acknowledged) kept[r.Row] = true;
  }
  for (int r = 1; r <= acknowledged; ++r)
    EXPECT_TRUE(kept[r]) << "acknowledged row " << r << " lost";
  // Whatever was written since is whole, and the file is sound.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)), "ok");
  sqlite3_finalize(q);
  sqlite3_close(db);
  // A program started afterwards takes the folder over.
  ResultJournal next;
  EXPECT_TRUE(next.Open(path));
}

}  // namespace
}  // namespace qv
