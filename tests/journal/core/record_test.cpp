// Verification records from real journals: the record's content (the
// newest reading of each point, how many were taken, the failed points
// marked, the verdict) and its PDF read back by poppler: every figure of
// the tables as the journal holds it, the verdicts, the fonts embedded, and
// the same file whoever makes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "core/number_format.h"
#include "journal/core/journal.h"
#include "journal/core/journal_store.h"
#include "journal/core/record_files.h"
#include "journal/core/record_pdf.h"
#include "support/pdf.h"
#include "support/temp_files.h"

// Under the sanitizers: fontconfig's caches live as long as the process
// (no leak of the program's, as tests/lsan_suppressions.txt says for the
// command-line tool), and pango initialises fontconfig on a thread of its
// own, synchronised through GLib, which ThreadSanitizer does not see.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libcairo.so\n";
}
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\n";
}

namespace qv {
namespace {

using test::TempDir;

struct Given {
  const char* time;
  int point;  // above 10: the overall detection's point - 10
  double error;
  const char* verdict;
  std::optional<double> heat_error = std::nullopt;
};

ReadingRecord Reading(const std::string& address, const Given& g) {
  ReadingRecord r;
  r.Time = g.time;
  r.Window = g.point > 10 ? kOverallWindow : kFlowWindow;
  r.Tester = "张工";
  r.Dn = 20;
  r.Level = 2;
  r.Address = address;
  r.FlowPoint = g.point % 10;
  r.Flow = 50 * r.FlowPoint * r.FlowPoint;
  r.StandardVolume = 20.5 + r.FlowPoint;
  r.MeterVolume = Shown(*r.StandardVolume * (1 + g.error / 100), shown::kVolume);
  r.VolumeError = g.error;
  r.VolumeLimit = 2.0;
  r.Verdict = g.verdict;
  r.Fluid = 20.5;
  r.BenchName = "Bench 3";
  r.BenchReference = "Mass standard M-12";
  r.CalibrationDue = "2026-09-30";
  r.MeterType = 1;
  if (g.heat_error) {
    r.ReferenceHeat = 2.2656;
    r.MeterHeat = Shown(2.2656 * (1 + *g.heat_error / 100), shown::kHeat);
    r.HeatError = g.heat_error;
    r.HeatLimit = 3.04;
    r.BenchInlet = 80;
    r.BenchOutlet = 59.5;
  }
  return r;
}

// point, readings taken, volume marked, heat marked
using Point = std::tuple<int, int, bool, bool>;

TEST(VerificationRecord, NewestReadingOfEachPointMarksAndVerdict) {
  const struct Case {
    const char* name;
    std::vector<Given> readings;
    std::string verdict;
    std::vector<Point> points;
  } cases[] = {
      {"a newer reading replaces a failed one",
       {{"2024-03-01 08:00:00", 1, 2.5, kVerdictFail},
        {"2024-03-01 09:00:00", 1, 0.5, kVerdictPass},
        {"2024-03-01 08:30:00", 2, -0.3, kVerdictPass}},
       kVerdictPass,
       {{1, 2, false, false}, {2, 1, false, false}}},
      {"one failed point fails the meter and is marked",
       {{"2024-03-01 08:00:00", 2, -2.5, kVerdictFail},
        {"2024-03-01 08:10:00", 1, 0.5, kVerdictPass}},
       kVerdictFail,
       {{1, 1, false, false}, {2, 1, true, false}}},
      {"a heat error alone fails, only it is marked; flow points come first",
       {{"2024-03-01 08:00:00", 11, 0.5, kVerdictFail, 5.0},
        {"2024-03-01 07:00:00", 3, 0.1, kVerdictPass}},
       kVerdictFail,
       {{3, 1, false, false}, {1, 1, false, true}}},
      {"a point without a verdict leaves the meter without one",
       {{"2024-03-01 08:00:00", 1, 0.5, kVerdictPass}, {"2024-03-01 08:10:00", 2, 0.5, ""}},
       "",
       {{1, 1, false, false}, {2, 1, false, false}}},
      {"an error shown equal to its limit was beyond it",
       {{"2024-03-01 08:00:00", 1, 2.0, kVerdictFail}},
       kVerdictFail,
       {{1, 1, true, false}}},
  };
  for (const Case& c : cases) {
    std::vector<ReadingRecord> readings;
    for (const Given& g : c.readings)
      readings.push_back(Reading("2024000001", g));
    readings.push_back(Reading("2024000002", {"2024-03-02 08:00:00", 1, 9.0, kVerdictFail}));
    readings.push_back(Reading("2024000001", {"2024-03-02 08:00:00", 0, 9.0, kVerdictFail}));
    const VerificationRecord record = BuildVerificationRecord("2024000001", readings);
    EXPECT_EQ(record.Verdict, c.verdict) << c.name;
    std::vector<Point> points;
    for (const RecordPoint& p : record.Points)
      points.emplace_back(p.Reading.FlowPoint, p.Taken, p.VolumeFailed, p.HeatFailed);
    EXPECT_EQ(points, c.points) << c.name;
  }
  EXPECT_TRUE(BuildVerificationRecord("2024000003", {}).Points.empty());
}

// The readings of two meters in a journal file written by the program's
// own journal: 2024000001 in the flow detection, point 3 read twice, point
// 4 failed and point 5 corrected; 2024000002 in the overall detection,
// failed on heat.
class RecordFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ResultJournal journal;
    ASSERT_TRUE(journal.Open(path_));
    for (const Given& g : {Given{"2024-03-01 08:00:00", 1, 0.5, kVerdictPass},
                           {"2024-03-01 08:10:00", 2, -0.52, kVerdictPass},
                           {"2024-03-01 08:20:00", 3, 3.2, kVerdictFail},
                           {"2024-03-01 08:30:00", 3, 0.61, kVerdictPass},
                           {"2024-03-01 08:25:00", 4, -2.5, kVerdictFail},
                           {"2024-03-01 08:40:00", 5, 0.2, kVerdictPass}})
      journal.Record(Reading("2024000001", g), &last_);
    // Point 5 corrected after it was recorded: the same reading, taken once.
    ReadingRecord corrected = Reading("2024000001", {"2024-03-01 08:40:00", 5, 0.3, kVerdictPass});
    corrected.Supersedes = last_;
    journal.Record(corrected);
    for (const Given& g : {Given{"2024-03-02 09:00:00", 11, 0.25, kVerdictPass, 1.5},
                           {"2024-03-02 09:10:00", 12, -0.4, kVerdictFail, -4.0}})
      journal.Record(Reading("2024000002", g));
    ASSERT_TRUE(journal.WaitAcknowledged(journal.Taken(), std::chrono::seconds(30)));
    std::string error;
    readings_ = QueryReadings(path_, {}, error);
    ASSERT_EQ(error, "");
  }

  // The newest reading of (address, window, point) as the journal holds it.
  const ReadingRecord& Newest(const std::string& address, bool overall, int point) const {
    for (const ReadingRecord& r : readings_) {
      if (r.Address == address && (r.Window == kOverallWindow) == overall && r.FlowPoint == point)
        return r;
    }
    throw std::runtime_error("no such reading");
  }

  TempDir dir_;
  const std::string path_ = JournalPath(dir_.Dir());
  std::vector<ReadingRecord> readings_;
  int64_t last_ = 0;
  const std::tm when_ = [] {
    std::tm t{};
    std::tie(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec) =
        std::tuple{124, 2, 4, 5, 6, 7};
    return t;
  }();
};

// The words of `text`, split at blanks.
std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// A line of the text holding `cells` in this order, blanks between.
bool HasRow(const std::vector<std::string>& lines, const std::vector<std::string>& cells) {
  std::vector<std::string> row;
  for (const std::string& c : cells)
    for (std::string& w : Words(c))
      row.push_back(std::move(w));
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
    const std::vector<std::string> words = Words(l);
    return std::search(words.begin(), words.end(), row.begin(), row.end()) != words.end();
  });
}

std::string Fixed(std::optional<double> v, int decimals) {
  return FormatFixed(*v, decimals);
}

TEST_F(RecordFiles, TablesHoldTheJournalsFiguresAndVerdicts) {
  for (bool english : {false, true}) {
    const std::string pass = english ? "Pass" : "合格", fail = english ? "Fail" : "不合格";
    const RecordOutcome flow =
        SaveRecord(path_, "2024000001", english, RecordFolder(dir_.Dir()), when_);
    ASSERT_EQ(flow.result, RecordOutcome::kSaved);
    const std::vector<std::string> lines = test::PdfLines(flow.path);
    const std::string text = test::PdfText(flow.path);
    for (int point = 1; point <= 5; ++point) {
      const ReadingRecord& r = Newest("2024000001", false, point);
      EXPECT_TRUE(HasRow(lines, {std::to_string(point), std::to_string(r.Flow), "20.50",
                                 Fixed(r.StandardVolume, 3), Fixed(r.MeterVolume, 2),
                                 Fixed(r.VolumeError, 2), Fixed(r.VolumeLimit, 2),
                                 point == 4 ? fail : pass, r.Time, point == 3 ? "2" : "1"}))
          << english << " point " << point << "\n"
          << text;
    }
    EXPECT_NE(text.find(english ? "Verification Record" : "检定记录"), std::string::npos);
    for (const char* fact : {"Bench 3", "Mass standard M-12", "2026-09-30", "张工", "DN20"})
      EXPECT_NE(text.find(fact), std::string::npos) << fact;
    // The overall verdict, and one page for five flow points.
    EXPECT_TRUE(HasRow(lines, {english ? "Verdict" : "检定结论", fail}));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1);

    const RecordOutcome overall =
        SaveRecord(path_, "2024000002", english, RecordFolder(dir_.Dir()), when_);
    ASSERT_EQ(overall.result, RecordOutcome::kSaved);
    const std::vector<std::string> heat_lines = test::PdfLines(overall.path);
    const std::string heat_text = test::PdfText(overall.path);
    for (int point = 1; point <= 2; ++point) {
      const ReadingRecord& r = Newest("2024000002", true, point);
      EXPECT_TRUE(HasRow(heat_lines,
                         {std::to_string(point), std::to_string(r.Flow), "80.00", "59.50",
                          Fixed(r.ReferenceHeat, 4), Fixed(r.MeterHeat, 3), Fixed(r.HeatError, 2),
                          Fixed(r.HeatLimit, 2), point == 2 ? fail : pass}))
          << english << " heat point " << point << "\n"
          << heat_text;
      // Its volume passed: the volume row says so.
      EXPECT_TRUE(HasRow(heat_lines, {Fixed(r.VolumeError, 2), Fixed(r.VolumeLimit, 2), pass}));
    }
    // Volume and heat: a second page.
    EXPECT_EQ(std::count(heat_text.begin(), heat_text.end(), '\f'), 2);

    for (const std::string& file : {flow.path, overall.path}) {
      const std::vector<test::PdfFont> fonts = test::PdfFonts(file);
      ASSERT_FALSE(fonts.empty());
      for (const test::PdfFont& f : fonts)
        EXPECT_TRUE(f.embedded && f.subset && f.unicode) << f.name;
      EXPECT_TRUE(std::any_of(fonts.begin(), fonts.end(), [](const test::PdfFont& f) {
        return f.name.find("NotoSansCJK") != std::string::npos;
      }));
    }
  }
}

TEST_F(RecordFiles, NamedLikeTheExportsAndTheSameWhoeverMakesThem) {
  const std::string folder = RecordFolder(dir_.Dir());
  const RecordOutcome first = SaveRecord(path_, "2024000001", true, folder, when_);
  const RecordOutcome second = SaveRecord(path_, "2024000001", true, folder, when_);
  EXPECT_EQ(first.path, folder + "2024000001-20240304-050607.pdf");
  EXPECT_EQ(second.path, folder + "2024000001-20240304-050607-2.pdf");
  EXPECT_EQ(test::ReadFile(first.path), test::ReadFile(second.path));
  const std::string as = dir_.File("record.pdf");
  EXPECT_EQ(SaveRecordAs(path_, "2024000001", true, as).result, RecordOutcome::kSaved);
  EXPECT_EQ(test::ReadFile(as), test::ReadFile(first.path));
  EXPECT_EQ(RecordStem("../20 24"), "___20_24");

  // No readings: a clear outcome and no file; a folder that cannot be
  // made: nothing left behind.
  EXPECT_EQ(SaveRecord(path_, "2024000009", true, folder, when_).result,
            RecordOutcome::kNoReadings);
  EXPECT_EQ(SaveRecord(path_, "2024000001", true, as + "/", when_).result,
            RecordOutcome::kUnwritable);
  EXPECT_EQ(SaveRecord(dir_.File("none.sqlite"), "2024000001", true, folder, when_).result,
            RecordOutcome::kNoReadings);
  EXPECT_TRUE(std::filesystem::exists(first.path) && std::filesystem::exists(second.path));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

}  // namespace
}  // namespace qv
