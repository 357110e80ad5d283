// The results journal on real SQLite files: records read back through the
// queries, one writer per folder, a folder that cannot hold it, and a
// program killed right after a record was acknowledged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "journal/core/journal.h"
#include "journal/core/journal_store.h"
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

// The first row `sql` gives on the journal file, its columns joined by '|'.
std::string FirstRow(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* q = nullptr;
  std::string row;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql, -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(q); ++c) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q, c));
      row += (c ? "|" : "") + std::string(text ? text : "");
    }
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return row;
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
  EXPECT_EQ(FirstRow(path, "SELECT version FROM schema_version"),
            std::to_string(kJournalSchemaVersion));
}

// Ids of readings, in the order given.
std::vector<int64_t> Ids(const std::vector<ReadingRecord>& readings) {
  std::vector<int64_t> ids;
  for (const ReadingRecord& r : readings)
    ids.push_back(r.Id);
  return ids;
}

TEST(Journal, ARecordSupersedesAnEarlierOneWhichStays) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  {
    ResultJournal j;
    ASSERT_TRUE(j.Open(path));
    std::array<int64_t, 3> ids{};
    j.Record(Reading("2024-03-05 09:00:00", "2024000001", ""), &ids[0]);
    ReadingRecord weighed = Reading("2024-03-05 09:00:00", "2024000001", kVerdictPass);
    weighed.Supersedes = ids[0];
    j.Record(weighed, &ids[1]);
    const uint64_t last = j.Record(Reading("2024-03-05 10:00:00", "2024000002", ""), &ids[2]);
    EXPECT_EQ(ids, (std::array<int64_t, 3>{1, 2, 3}));
    ASSERT_TRUE(j.WaitAcknowledged(last, 10s));
  }
  std::string error;
  EXPECT_EQ(Ids(QueryReadings(path, {}, error)), (std::vector<int64_t>{3, 2}));
  EXPECT_EQ(Ids(QueryReadings(path, {"0001", "", "", ""}, error)), std::vector<int64_t>{2});
  JournalReader reader;
  ASSERT_TRUE(reader.Open(path, error));
  EXPECT_EQ(reader.Count({}, error), 2);
  EXPECT_EQ(reader.Count({"", "", "", kVerdictPass}, error), 1);
  EXPECT_EQ(LastReadingId(path), 3);
  // The next program goes on from the last id.
  ResultJournal next;
  ASSERT_TRUE(next.Open(path));
  int64_t id = 0;
  next.Record(Reading("2024-03-05 11:00:00", "2024000003", ""), &id);
  EXPECT_EQ(id, 4);
}

// Pages of a few readings, one after the other, list what one query lists.
TEST(Journal, PagesListWhatTheWholeListHolds) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  {
    ResultJournal j;
    ASSERT_TRUE(j.Open(path));
    uint64_t last = 0;
    for (int n = 0; n < 40; ++n) {
      // Seven meters, readings of equal times among them, one in three failing.
      const std::string time =
          "2024-03-0" + std::to_string(1 + n % 5) + " 08:00:0" + std::to_string(n % 3);
      last = j.Record(Reading(time, "20240000" + std::to_string(10 + n % 7),
                              n % 3 ? kVerdictPass : kVerdictFail));
    }
    ASSERT_TRUE(j.WaitAcknowledged(last, 10s));
  }
  JournalReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(path, error));
  const ReadingFilter filters[] = {{},
                                   {"1", "", "", ""},
                                   {"0001", "", "", kVerdictFail},
                                   {"4", "2024-03-02", "2024-03-04", ""},
                                   {"2024", "", "2024-03-03", kVerdictPass},
                                   {"9", "", "", ""}};
  for (const ReadingFilter& f : filters) {
    const std::vector<ReadingRecord> all = QueryReadings(path, f, error);
    std::vector<ReadingRecord> paged;
    std::optional<PageKey> after;
    for (int pages = 0; pages < 20; ++pages) {
      const auto page = reader.Page(f, after, 4, error);
      paged.insert(paged.end(), page.begin(), page.end());
      if (page.size() < 4) break;
      after = PageKey{page.back().Time, page.back().Id};
    }
    EXPECT_EQ(error, "");
    EXPECT_EQ(Ids(paged), Ids(all)) << f.Address << f.Since << f.Verdict;
    EXPECT_EQ(reader.Count(f, error), static_cast<int64_t>(all.size())) << f.Address;
  }
}

// Journals of the first, second and third versions, as the programs of
// those versions made them, read as they are and are brought up to this
// version, step by step, in place when the program writes them again;
// nothing of them is lost (the factory server's marks included), and a
// reading of theirs can be superseded by a record that keeps the bench and
// the conditions of the verification record.
TEST(Journal, OlderJournalsAreReadAndUpgradedInPlace) {
  constexpr const char* kFirstVersion =
      "CREATE TABLE schema_version (version INTEGER NOT NULL);"
      "INSERT INTO schema_version VALUES (1);"
      "CREATE TABLE readings (id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
      "window TEXT NOT NULL, tester TEXT NOT NULL, dn, level, location, "
      "standard_error, error_correction, address TEXT NOT NULL, row, "
      "flow_point, flow, standard_volume, reference_heat, meter_volume, "
      "meter_heat, volume_error, volume_limit, heat_error, heat_limit, "
      "verdict TEXT NOT NULL, inlet, outlet, coef1, coef2, coef3, coef4, "
      "coef5);"
      "CREATE INDEX readings_address ON readings (address);"
      "CREATE TABLE writes (id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
      "tester TEXT NOT NULL, address TEXT NOT NULL, row, what TEXT NOT NULL, "
      "value TEXT NOT NULL, before TEXT, confirmed INTEGER NOT NULL);"
      "INSERT INTO readings (time, window, tester, address, verdict) VALUES "
      "('2024-03-01 08:00:00', 'flow', 'Test', '2024000001', 'pass');";
  // The second: its readings can be superseded (2 supersedes 1), its meters
  // counted.
  constexpr const char* kSecondVersion =
      "UPDATE schema_version SET version = 2;"
      "ALTER TABLE readings ADD COLUMN supersedes INTEGER;"
      "CREATE TABLE meters (address TEXT PRIMARY KEY, readings INTEGER NOT NULL, "
      "last TEXT NOT NULL) WITHOUT ROWID;"
      "INSERT INTO readings (time, window, tester, address, verdict, supersedes) VALUES "
      "('2024-03-01 08:00:00', 'flow', 'Test', '2024000001', 'fail', 1);"
      "INSERT INTO meters VALUES ('2024000001', 2, '2024-03-01 08:00:00');";
  // The third: the factory server holds its first reading.
  constexpr const char* kId = "0123456789abcdef0123456789abcdef";
  const std::string third =
      "UPDATE schema_version SET version = 3;"
      "CREATE TABLE upload_state (journal_id TEXT NOT NULL, readings_sent INTEGER NOT NULL, "
      "writes_sent INTEGER NOT NULL);"
      "INSERT INTO upload_state VALUES ('" +
      std::string(kId) + "', 1, 0);";
  for (const int version : {1, 2, 3}) {
    SCOPED_TRACE(version);
    TempDir dir;
    const std::string path = JournalPath(dir.Dir());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    for (const char* sql :
         {kFirstVersion, version >= 2 ? kSecondVersion : "", version == 3 ? third.c_str() : ""})
      ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const int64_t current = std::min(version, 2);  // the reading no record supersedes

    std::string error;
    auto readings = QueryReadings(path, {"0001", "", "", ""}, error);
    EXPECT_EQ(Ids(readings), std::vector<int64_t>{current});
    EXPECT_EQ(error, "");
    ReadingRecord again = Reading("2024-03-01 08:00:00", "2024000001", kVerdictFail);
    again.Supersedes = current;
    std::tie(again.BenchName, again.BenchReference, again.CalibrationDue, again.MeterType,
             again.Fluid, again.BenchInlet, again.BenchOutlet) =
        std::tuple{"Bench 3", "Mass standard M-12", "2026-09-30", 1, 20.125, 80.0, 60.5};
    again.Weighing = kWeighingScale;
    {
      ResultJournal j;
      ASSERT_TRUE(j.Open(path));
      ASSERT_TRUE(j.WaitAcknowledged(j.Record(again), 10s));
      ASSERT_TRUE(j.WaitAcknowledged(j.Record(Reading("2024-03-02 08:00:00", "2", "")), 10s));
    }
    readings = QueryReadings(path, {}, error);
    EXPECT_EQ(Ids(readings), (std::vector<int64_t>{current + 2, current + 1}));
    ASSERT_EQ(readings.size(), 2u);
    const ReadingRecord& now = readings[1];
    EXPECT_EQ(std::tie(now.BenchName, now.BenchReference, now.CalibrationDue, now.MeterType,
                       now.Fluid, now.BenchInlet, now.BenchOutlet, now.Weighing),
              std::tie(again.BenchName, again.BenchReference, again.CalibrationDue, again.MeterType,
                       again.Fluid, again.BenchInlet, again.BenchOutlet, again.Weighing));
    EXPECT_EQ(readings[0].BenchName + readings[0].CalibrationDue + readings[0].Weighing, "");
    EXPECT_FALSE(readings[0].MeterType || readings[0].Fluid || readings[0].BenchInlet);
    // The temperatures as given (two decimals or more) and the weighing, last.
    EXPECT_TRUE(ReadingsCsv({now}).ends_with(
        ",Bench 3,Mass standard M-12,2026-09-30,1,20.125,80.00,60.50,scale\r\n"));

    // The factory server's marks kept, or a new identity with nothing sent.
    JournalOutbox outbox, same;
    JournalOutbox::Marks marks{-1, -1};
    uint64_t sent = 9, waiting = 0;
    ASSERT_TRUE(outbox.Open(path, error) && outbox.ReadMarks(marks, error) &&
                outbox.Count(marks, &sent, waiting, error))
        << error;
    const int64_t held = version == 3;
    EXPECT_EQ(marks, (JournalOutbox::Marks{held, 0}));
    EXPECT_EQ(std::pair(sent, waiting), (std::pair<uint64_t, uint64_t>(held, current + 2 - held)));
    ASSERT_TRUE(same.Open(path, error));
    EXPECT_EQ(same.JournalId(), version == 3 ? kId : outbox.JournalId());
    EXPECT_EQ(outbox.JournalId().size(), 32u);

    // Every record kept, each step taken once, the meters counted.
    EXPECT_EQ(FirstRow(path,
                       "SELECT (SELECT count(*) FROM readings), (SELECT group_concat(version) "
                       "FROM schema_version), (SELECT group_concat(address || ':' || readings) "
                       "FROM meters), (SELECT count(*) FROM readings WHERE supersedes IS NULL)"),
              std::to_string(current + 2) + "|" + std::to_string(kJournalSchemaVersion) +
                  "|2:1,2024000001:" + std::to_string(current + 1) + "|2");
  }
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

TEST(Journal, AFullDiskStopsItOnceAndKeepsWhatWasAcknowledged) {
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  // In a child whose files may not grow past 1 MiB: records until the
  // journal stops; the problems it reported and the last acknowledgement.
  const std::string outcome = test::RunInChild(
      [&] {
        Problems problems;
        ResultJournal j;
        problems.Watch(j);
        if (!j.Open(path)) return std::string("not opened");
        int acked = 0;
        for (int row = 1; row < 100000; ++row) {
          const uint64_t seq =
              j.Record(Reading("2024-03-05 10:00:00", std::string(200, '7'), kVerdictPass, row));
          if (seq == 0 || !j.WaitAcknowledged(seq, 10s)) break;
          acked = row;
        }
        return std::to_string(problems.seen.size()) + " " + std::to_string(acked);
      },
      {.fileSizeLimit = 1024 * 1024});
  int problems = 0, acked = 0;
  ASSERT_EQ(std::sscanf(outcome.c_str(), "%d %d", &problems, &acked), 2) << outcome;
  EXPECT_EQ(problems, 1);
  ASSERT_GT(acked, 10);
  std::string error;
  const auto readings = QueryReadings(path, {"", "", "", ""}, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(readings.size(), static_cast<size_t>(acked));
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
  EXPECT_EQ(FirstRow(path, "PRAGMA integrity_check"), "ok");
  // A program started afterwards takes the folder over.
  ResultJournal next;
  EXPECT_TRUE(next.Open(path));
}

}  // namespace
}  // namespace qv
