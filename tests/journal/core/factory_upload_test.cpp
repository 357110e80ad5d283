// The journal sent to a real PostgreSQL server (a throwaway cluster per
// test): records arrive equal to the journal's, whatever batches they went
// in; a server stopped mid-batch, or an uploader killed mid-batch, loses
// nothing and doubles nothing; what the server refuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "journal/core/factory_server.h"
#include "journal/core/factory_upload.h"
#include "journal/core/journal.h"
#include "support/pg_cluster.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;
using test::PgCluster;
using test::TempDir;

// Readings with every kind of value: missing ones, text that needs quoting,
// times across two days in order.
ReadingRecord Reading(int n) {
  ReadingRecord r;
  char time[32];
  std::snprintf(time, sizeof time, "2024-03-%02d %02d:%02d:%02d", 1 + n / 1440, 8 + n / 60 % 16,
                n % 60, n % 7);
  r.Time = time;
  r.Window = n % 3 ? kFlowWindow : kOverallWindow;
  r.Tester = n % 5 ? "Test" : "张 \"Li\", 3";
  r.Dn = 20;
  r.Level = 2;
  r.StandardError = 0.1 * (n % 4);
  r.Address = std::to_string(2024000001 + n % 20);
  r.Row = n % 20 + 1;
  r.FlowPoint = n % 5 + 1;
  r.Flow = 250 * r.FlowPoint;
  r.StandardVolume = 20.005 + n % 11;
  r.MeterVolume = 20.01 + n % 13;
  if (n % 3 == 0) r.MeterHeat = 1.234;
  r.VolumeError = (n % 9 - 4) * 0.37;
  r.VolumeLimit = 2.0;
  r.Verdict = n % 9 == 0 ? kVerdictFail : n % 10 == 0 ? "" : kVerdictPass;
  r.Inlet = 80.25;
  if (n % 4) r.Outlet = 60.5;
  r.Coefficients = {10000 + n, 9990, std::nullopt, 10010, std::nullopt};
  // What the verification record shows, on the readings of a newer program.
  if (n % 6) {
    r.BenchName = "Bench 3";
    r.BenchReference = "M-12, \"B\"";
    r.CalibrationDue = "2026-09-30";
    r.MeterType = n % 2;
    r.Fluid = 50.125;
  }
  if (n % 3 == 0) r.BenchInlet = 80.05, r.BenchOutlet = 60.5;
  return r;
}

WriteRecord Write(int n) {
  WriteRecord w;
  w.Time = "2024-03-01 07:00:" + std::to_string(10 + n % 50);
  w.Tester = "Test";
  w.Address = "2024000001";
  w.Row = 1;
  w.What = "写系数三";
  w.Value = std::to_string(9600 + n);
  if (n % 2) w.Before = "10000";
  w.Confirmed = n % 3 != 0;
  return w;
}

// Records `readings` readings and `writes` writes through the program's
// journal, numbered from `from`.
void Fill(const std::string& path, int readings, int writes, int from = 0) {
  ResultJournal journal;
  ASSERT_TRUE(journal.Open(path));
  uint64_t last = 0;
  for (int i = from; i < from + readings; ++i)
    last = journal.Record(Reading(i));
  for (int i = from; i < from + writes; ++i)
    last = journal.Record(Write(i));
  ASSERT_TRUE(journal.WaitAcknowledged(last, 60s));
}

std::string JournalCsv(const std::string& path, const ReadingFilter& filter = {}) {
  std::string error;
  const std::string csv = ReadingsCsv(QueryReadings(path, filter, error));
  return error.empty() ? csv : error;
}

std::string ServerCsv(const std::string& server, const std::string& bench,
                      const ReadingFilter& filter = {}) {
  std::vector<ReadingRecord> readings;
  std::vector<std::string> benches;
  std::string error;
  if (QueryServerReadings(server, filter, bench, readings, benches, error) !=
      FactoryOutcome::kDone) {
    return error;
  }
  for (const std::string& b : benches)
    if (b != bench) return "a reading of bench " + b;
  return ReadingsCsv(readings);
}

// Every write, oldest first, one line each, from the journal and from the server.
std::string JournalWrites(const std::string& path) {
  JournalOutbox outbox;
  JournalOutbox::Batch all;
  std::string error, text;
  if (!outbox.Open(path, error) || !outbox.Next({0, 0}, 1000000, all, error)) return error;
  for (const WriteRecord& w : all.Writes) {
    text += std::to_string(w.Id) + "|" + w.Time + "|" + w.Tester + "|" + w.Address + "|" +
            std::to_string(w.Row) + "|" + w.What + "|" + w.Value + "|" + w.Before.value_or("-") +
            "|" + (w.Confirmed ? "t" : "f") + "\n";
  }
  return text;
}
std::string ServerWrites(const PgCluster& pg, const std::string& bench) {
  std::string text;
  for (const auto& row : pg.Sql("SELECT local_id, bench_clock, tester, address, meter_row, what, "
                                "value, coalesce(before, '-'), confirmed FROM qorvantis.writes "
                                "WHERE bench = '" +
                                bench + "' ORDER BY local_id")) {
    for (size_t i = 0; i < row.size(); ++i)
      text += row[i].value_or("NULL") + (i + 1 < row.size() ? "|" : "\n");
  }
  return text;
}

JournalOutbox::Marks Marks(const std::string& path) {
  JournalOutbox outbox;
  JournalOutbox::Marks marks{-1, -1};
  std::string error;
  if (outbox.Open(path, error)) outbox.ReadMarks(marks, error);
  return marks;
}

// Checks `done` every 10 ms until it holds; false when it still does not
// after a minute (the test then fails instead of hanging).
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 6000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

// Whether the program's connection waits for a lock the test holds: its
// batch is on its way, inside its transaction.
bool WaitsOnLock(const PgCluster& pg) {
  return pg.Value(
             "SELECT count(*) FROM pg_stat_activity WHERE application_name = 'qorvantis' "
             "AND wait_event_type = 'Lock'") == "1";
}

// A throwaway server and a journal of the test's own.
class FactoryUpload : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pg.Up()); }

  // Sends what waits in `journal` to `target`, keeping `status` and `sent`.
  FactoryOutcome Upload(const FactoryTarget& target, const std::string& journal = "") {
    return UploadWaiting(journal.empty() ? path : journal, target, status, sent);
  }
  // Makes the schema and locks the readings in a transaction of `locker`:
  // a batch on its way then waits inside its own.
  void LockReadings() {
    std::string error;
    ASSERT_EQ(locker.Connect(pg.ConnInfo(), error), FactoryOutcome::kDone);
    ASSERT_EQ(EnsureFactorySchema(locker, error), FactoryOutcome::kDone) << error;
    ASSERT_EQ(
        locker.Exec("BEGIN; LOCK TABLE qorvantis.readings IN SHARE ROW EXCLUSIVE MODE", error),
        FactoryOutcome::kDone);
  }

  PgCluster pg;
  TempDir dir;
  const std::string path = JournalPath(dir.Dir());
  UploadStatus status;
  uint64_t sent = 0;
  PgLink locker;
};

TEST_F(FactoryUpload, RecordsArriveEqualToTheJournal) {
  // Bench times are the bench's local times: eight hours ahead of UTC here.
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  // More than two batches of readings.
  Fill(path, 1200, 30);
  const FactoryTarget target{pg.ConnInfo(), "Bench 3"};
  ASSERT_EQ(Upload(target), FactoryOutcome::kDone) << status.Reason;
  EXPECT_EQ(sent, 1230u);
  EXPECT_EQ(status, (UploadStatus{1230, 0, FactoryOutcome::kDone, ""}));
  EXPECT_EQ(Marks(path), (JournalOutbox::Marks{1200, 30}));

  EXPECT_EQ(ServerCsv(target.Server, "Bench 3"), JournalCsv(path));
  EXPECT_EQ(ServerWrites(pg, "Bench 3"), JournalWrites(path));
  for (const ReadingFilter& filter :
       {ReadingFilter{"0007", "", "", ""}, ReadingFilter{"", "2024-03-01", "2024-03-01", ""},
        ReadingFilter{"", "2024-03-02", "", kVerdictFail}, ReadingFilter{"%", "", "", ""}}) {
    EXPECT_EQ(ServerCsv(target.Server, "Bench 3", filter), JournalCsv(path, filter))
        << filter.Address << filter.Since;
  }
  // The server's types hold the values exactly; times are absolute.
  EXPECT_EQ(pg.Sql("SELECT bench_clock, to_char(bench_time AT TIME ZONE 'UTC', "
                   "'YYYY-MM-DD HH24:MI:SS'), meter_volume::text, standard_error::text, "
                   "outlet IS NULL, coef3 IS NULL FROM qorvantis.readings WHERE local_id = 1"),
            (PgRows{{"2024-03-01 08:00:00", "2024-03-01 00:00:00", "20.01", "0", "t", "t"}}));
  // One verdict per meter and flow point: twenty meters, each at one point.
  EXPECT_EQ(pg.Value("SELECT count(*) FROM qorvantis.latest_verdicts"), "20");

  // Nothing waits: nothing more is sent.
  ASSERT_EQ(Upload(target), FactoryOutcome::kDone);
  EXPECT_EQ(sent, 0u);
  EXPECT_EQ(pg.Value("SELECT count(*) FROM qorvantis.readings"), "1200");
}

TEST_F(FactoryUpload, WhatTheServerRefusesAndANewServer) {
  TempDir two;
  const std::string second = JournalPath(two.Dir());
  Fill(path, 10, 2);
  Fill(second, 3, 0);
  ASSERT_EQ(Upload({pg.ConnInfo(), "B1"}), FactoryOutcome::kDone);
  // A server that lost the records, or a new one, gets them all again.
  pg.Sql("CREATE DATABASE second");
  pg.Sql("CREATE DATABASE third");
  ASSERT_EQ(Upload({pg.ConnInfo("second"), "B1"}), FactoryOutcome::kDone);
  EXPECT_EQ(sent, 12u);
  EXPECT_EQ(ServerCsv(pg.ConnInfo("second"), "B1"), JournalCsv(path));

  // A role that may only insert and call the registration, as the design
  // page grants it, sends its bench's records and reads nothing back.
  for (const char* grant :
       {"CREATE ROLE bench2 LOGIN", "GRANT USAGE ON SCHEMA qorvantis TO bench2",
        "GRANT SELECT ON qorvantis.schema_version TO bench2",
        "GRANT INSERT ON qorvantis.readings, qorvantis.writes TO bench2",
        "GRANT EXECUTE ON FUNCTION qorvantis.bench_progress(text, text) TO bench2"}) {
    ASSERT_EQ(pg.Value(grant), "") << grant;
  }
  ASSERT_EQ(Upload({pg.ConnInfo("postgres", "bench2"), "B2"}, second), FactoryOutcome::kDone)
      << status.Reason;
  EXPECT_EQ(ServerCsv(pg.ConnInfo(), "B2"), JournalCsv(second));
  PgLink bench2;
  std::string error;
  ASSERT_EQ(bench2.Connect(pg.ConnInfo("postgres", "bench2"), error), FactoryOutcome::kDone);
  EXPECT_EQ(bench2.Exec("DELETE FROM qorvantis.readings", error), FactoryOutcome::kRefused);

  const struct {
    std::string server, bench, why;
    FactoryOutcome outcome;
  } cases[] = {
      // The name is the first journal's: this journal's records would be taken for its.
      {pg.ConnInfo(), "B1", "for another journal", FactoryOutcome::kRefused},
      {pg.ConnInfo(), "", "no name", FactoryOutcome::kRefused},
      {pg.ConnInfo("third", "bench2"), "B2", "may not make", FactoryOutcome::kRefused},
      {"host=" + two.Dir() + " user=postgres", "B2", "", FactoryOutcome::kUnreachable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Upload({c.server, c.bench}, second), c.outcome) << c.why;
    EXPECT_NE(status.Reason.find(c.why), std::string::npos) << status.Reason;
    EXPECT_EQ(status.Failure, c.outcome);
  }
  // A schema newer than the program knows is left alone.
  pg.Sql("UPDATE qorvantis.schema_version SET version = 99");
  EXPECT_EQ(Upload({pg.ConnInfo(), "B1"}), FactoryOutcome::kRefused);
  EXPECT_NE(status.Reason.find("version 99, newer"), std::string::npos) << status.Reason;
}

TEST_F(FactoryUpload, ReplacedReadingsAreNotCurrentOnTheServer) {
  {
    // The third reading replaces the first.
    ResultJournal journal;
    ASSERT_TRUE(journal.Open(path));
    int64_t first = 0;
    journal.Record(Reading(0), &first);
    journal.Record(Reading(1));
    ReadingRecord again = Reading(0);
    again.Supersedes = first;
    ASSERT_TRUE(journal.WaitAcknowledged(journal.Record(again), 60s));
  }
  ASSERT_EQ(Upload({pg.ConnInfo(), "B"}), FactoryOutcome::kDone);
  EXPECT_EQ(pg.Value("SELECT string_agg(local_id || ':' || coalesce(supersedes::text, '-'), ' ' "
                     "ORDER BY local_id) FROM qorvantis.readings"),
            "1:- 2:- 3:1");
  EXPECT_EQ(ServerCsv(pg.ConnInfo(), "B"), JournalCsv(path));
  EXPECT_EQ(pg.Value("SELECT local_id FROM qorvantis.latest_verdicts WHERE address = "
                     "'2024000001' AND flow_point = 1"),
            "3");
}

TEST_F(FactoryUpload, ASenderWhoseServerStopsMidBatchLosesAndDoublesNothing) {
  Fill(path, 1200, 10);
  ASSERT_NO_FATAL_FAILURE(LockReadings());
  FactorySender sender(path);
  sender.Configure({pg.ConnInfo(), "Bench 3"});
  ASSERT_TRUE(Eventually([&] { return WaitsOnLock(pg); }));
  ASSERT_TRUE(pg.Stop());
  ASSERT_TRUE(Eventually([&] { return sender.Status().Failure == FactoryOutcome::kUnreachable; }));
  EXPECT_EQ(sender.Status().Waiting, 1210u);
  EXPECT_EQ(sender.Status().Uploaded, 0u);
  // Readings taken while the server is away are counted at once.
  Fill(path, 5, 0, 1200);
  sender.Nudge();
  ASSERT_TRUE(Eventually([&] { return sender.Status().Waiting == 1215; }));

  ASSERT_TRUE(pg.Start());
  ASSERT_TRUE(Eventually([&] {
    return sender.Status() == UploadStatus{1215, 0, FactoryOutcome::kDone, ""};
  }));
  EXPECT_EQ(ServerCsv(pg.ConnInfo(), "Bench 3"), JournalCsv(path));
  EXPECT_EQ(ServerWrites(pg, "Bench 3"), JournalWrites(path));
  // An empty server ends the sending and the status.
  sender.Configure({});
  ASSERT_TRUE(Eventually([&] { return sender.Status() == UploadStatus{}; }));
}

// An uploader killed mid-batch and run again sends what is left exactly
// once: killed while its batch waits inside its transaction on the server
// (false), and killed after the server committed the batch but before the
// journal marked it (true).
class KilledUploader : public FactoryUpload, public ::testing::WithParamInterface<bool> {};

TEST_P(KilledUploader, SendsTheRestExactlyOnce) {
  const bool committed = GetParam();
  Fill(path, 1200, 10);
  const FactoryTarget target{pg.ConnInfo(), "Bench 3"};
  // The child's first batch waits inside its transaction for this lock.
  ASSERT_NO_FATAL_FAILURE(LockReadings());
  sqlite3* journal = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &journal), SQLITE_OK);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Upload(target);
    ::_exit(0);
  }
  bool mid_batch = Eventually([&] { return WaitsOnLock(pg); });
  if (committed && mid_batch) {
    // The journal's marks cannot be written; the batch goes through.
    ASSERT_EQ(sqlite3_exec(journal, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    locker.Close();
    mid_batch =
        Eventually([&] { return pg.Value("SELECT count(*) FROM qorvantis.readings") == "500"; });
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(mid_batch);
  sqlite3_exec(journal, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(journal);
  locker.Close();
  EXPECT_EQ(Marks(path), (JournalOutbox::Marks{0, 0}));

  ASSERT_EQ(Upload(target), FactoryOutcome::kDone) << status.Reason;
  EXPECT_EQ(sent, committed ? 700u : 1210u);
  EXPECT_EQ(status, (UploadStatus{1210, 0, FactoryOutcome::kDone, ""}));
  EXPECT_EQ(ServerCsv(target.Server, "Bench 3"), JournalCsv(path));
  EXPECT_EQ(ServerWrites(pg, "Bench 3"), JournalWrites(path));
}

INSTANTIATE_TEST_SUITE_P(BeforeAndAfterTheCommit, KilledUploader, ::testing::Bool());

}  // namespace
}  // namespace qv
