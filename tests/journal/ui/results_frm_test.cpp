// The results window over a journal of known readings: each filter narrows
// the list, newest first; a double click opens the meter's whole history;
// the list exports as CSV and as the detection windows' workbooks. Its
// readings are read on a thread of their own: the newest page first, the
// next ones as the list is scrolled, the count after, and a new filter's
// list in place of the old one.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <sqlite3.h>

#include <QDir>
#include <QRegularExpression>

#include "journal/core/record_files.h"
#include "journal/ui/results_frm.h"
#include "journal/ui/results_pages.h"
#include "support/form_input.h"
#include "support/temp_files.h"
#include "support/window_support.h"
#include "support/workbook.h"

using namespace qv;

namespace {

ReadingRecord Reading(const std::string& time, const std::string& address, const char* verdict) {
  ReadingRecord r;
  r.Time = time;
  r.Window = kFlowWindow;
  r.Address = address;
  r.FlowPoint = 1;
  r.MeterVolume = 10.5;
  r.Verdict = verdict;
  return r;
}

struct FilterCase {
  const char* name;
  QString address, since, until;
  int verdict;
  QStringList times;
};
const QString kDay1 = "2024-03-01 08:00:00", kDay2 = "2024-03-02 08:00:00",
              kDay3 = "2024-03-03 08:00:00", kDay4 = "2024-03-04 08:00:00";
// clang-format off
const FilterCase kFilters[] = {
    {"all",               "",     "",           "",           0, {kDay4, kDay3, kDay2, kDay1}},
    {"address part",      "0000", "",           "",           0, {kDay3, kDay2, kDay1}},
    {"days",              "",     "2024-03-02", "2024-03-03", 0, {kDay3, kDay2}},
    {"from a day on",     "",     "2024-03-04", "",           0, {kDay4}},
    {"pass",              "",     "",           "",           1, {kDay1}},
    {"fail of one meter", "01",   "",           "",           2, {kDay3}},
    {"no meter",          "9",    "",           "",           0, {}},
};
// clang-format on

}  // namespace

class ResultsFrmTest : public QObject {
  Q_OBJECT

  test::Bench bench_;  // a program folder and a state using it

 private slots:
  void initTestCase() {
    WriteRecord w;
    w.Address = "2024000001";
    w.What = "写系数一";
    w.Value = "9900";
    QVERIFY(bench_.Record({Reading("2024-03-01 08:00:00", "2024000001", kVerdictPass),
                           Reading("2024-03-02 08:00:00", "2024000002", kVerdictFail),
                           Reading("2024-03-03 08:00:00", "2024000001", kVerdictFail),
                           Reading("2024-03-04 08:00:00", "2024111113", "")},
                          {w}));
  }

  void Filters_data() {
    QTest::addColumn<FilterCase>("c");
    for (const FilterCase& c : kFilters)
      QTest::newRow(c.name) << c;
  }

  void Filters() {
    QFETCH(FilterCase, c);
    TResultsFrm frm(*bench_.state);
    frm.resize(1366, 700);
    frm.show();
    test_support::Type(frm.findChild<QLineEdit*>("edtAddress"), c.address);
    for (const auto& [check, edit, day] :
         {std::tuple{"cbSince", "dtpSince", c.since}, std::tuple{"cbUntil", "dtpUntil", c.until}}) {
      if (day.isEmpty()) continue;
      frm.findChild<QDateEdit*>(edit)->setDate(QDate::fromString(day, "yyyy-MM-dd"));
      frm.findChild<QCheckBox*>(check)->setChecked(true);
    }
    frm.findChild<QComboBox*>("cbxVerdict")->setCurrentIndex(c.verdict);
    auto* list = frm.findChild<QTableWidget*>("lvResults");
    QStringList shown;
    for (int r = 0; r < list->rowCount(); ++r)
      shown << list->item(r, 0)->text();
    QCOMPARE(shown, c.times);
  }

  void HistoryAndExport() {
    TResultsFrm frm(*bench_.state);
    frm.show();
    test_support::Type(frm.findChild<QLineEdit*>("edtAddress"), "2024000001");
    QCOMPARE(frm.Readings().size(), size_t{2});
    auto* list = frm.findChild<QTableWidget*>("lvResults");
    emit list->cellDoubleClicked(0, 0);
    auto* history = frm.findChild<TMeterHistoryFrm*>("MeterHistoryFrm");
    QVERIFY(history && history->isVisible());
    QCOMPARE(history->lvReadings->rowCount(), 2);
    QCOMPARE(history->lvWrites->rowCount(), 1);
    QCOMPARE(history->lvWrites->item(0, 2)->text(), QString("9900"));

    const QString csv = QString::fromStdString(bench_.File("list.csv"));
    QVERIFY(frm.ExportCsv(csv));
    QCOMPARE(test::ReadFile(csv.toStdString()), ReadingsCsv(frm.Readings()));
  }

  // The records of the selected readings' meters, one file each, opened
  // the first; the same files the command-line tool makes. Nothing selected,
  // or a meter whose readings are gone: a message and no file.
  void Certificates() {
    test::Bench bench;
    const std::string journal = JournalPath(bench.Dir());
    std::vector<ReadingRecord> readings;
    for (const auto& [time, address, verdict] :
         {std::tuple{"2024-03-01 08:00:00", "2024000001", kVerdictPass},
          {"2024-03-02 08:00:00", "2024000002", kVerdictFail},
          {"2024-03-03 08:00:00", "2024000001", kVerdictFail}}) {
      ReadingRecord& r = readings.emplace_back(Reading(time, address, verdict));
      std::tie(r.Flow, r.VolumeError, r.VolumeLimit) = std::tuple{250, 2.5, 2.0};
    }
    QVERIFY(bench.Record(readings));
    TResultsFrm frm(*bench.state);
    QStringList opened;
    frm.open = [&](const QString& path) { return opened << path, true; };
    frm.show();
    auto* list = frm.findChild<QTableWidget*>("lvResults");
    auto* button = frm.findChild<QPushButton*>("btnCertificate");
    QString message;
    test::CloseNextModal([&](QWidget* box) { message = test::MessageText(box); });
    button->click();
    QVERIFY(message.contains("选择"));
    // All three readings: two meters.
    list->selectAll();
    button->click();
    const QString folder = QString::fromStdString(bench.Dir()) + "certificates/";
    QCOMPARE(opened.size(), 1);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
    for (const char* meter : {"2024000001", "2024000002"}) {
      const QStringList made = QDir(folder).entryList({QString(meter) + "-*.pdf"});
      QCOMPARE(made.size(), 1);
      QVERIFY(QRegularExpression("^\\d{10}-\\d{8}-\\d{6}\\.pdf$").match(made[0]).hasMatch());
      const std::string same = bench.File("same.pdf");
      QCOMPARE(SaveRecordAs(journal, meter, false, same).result, RecordOutcome::kSaved);
      QCOMPARE(test::ReadFile((folder + made[0]).toStdString()), test::ReadFile(same));
    }
    QVERIFY(opened[0].startsWith(folder + "2024000001-"));

    // The history draws the meter's curve (no heat: no heat curve).
    auto* history = qobject_cast<TMeterHistoryFrm*>(frm.ShowHistory("2024000001"));
    QVERIFY(!history->lblCurve->pixmap().isNull());
    QVERIFY(history->lblHeatCurve->isHidden());

    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(journal.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "DELETE FROM readings WHERE address = '2024000002'", nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
    list->clearSelection();
    list->selectRow(1);  // 2024000002's, still listed
    message.clear();
    test::CloseNextModal([&](QWidget* box) { message = test::MessageText(box); });
    button->click();
    QVERIFY(message.contains("2024000002"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
  }

  // One workbook per window; a row per meter, each point's newest reading
  // in its columns (the older reading of point 1 is left out), the fifth
  // point there as one meter has it, a failed error red.
  void ExcelExport() {
    test::Bench bench;
    std::vector<ReadingRecord> readings;
    for (const auto& [time, address, window, point, error, verdict] :
         {std::tuple{"2024-03-01 08:00:00", "2024000001", kFlowWindow, 1, 9.0, kVerdictFail},
          {"2024-03-02 08:00:00", "2024000002", kFlowWindow, 5, 0.25, kVerdictPass},
          {"2024-03-03 08:00:00", "2024000001", kFlowWindow, 1, 1.0, kVerdictPass},
          {"2024-03-03 09:00:00", "2024000001", kFlowWindow, 2, -2.5, kVerdictFail},
          {"2024-03-04 08:00:00", "2024000001", kOverallWindow, 1, 0.5, kVerdictPass}}) {
      ReadingRecord& r = readings.emplace_back(Reading(time, address, verdict));
      std::tie(r.Window, r.Dn, r.Level, r.FlowPoint, r.Flow, r.VolumeError, r.VolumeLimit) =
          std::tuple{window, 20, 2, point, 100 * point, error, 2.0};
      std::tie(r.MeterHeat, r.HeatError, r.HeatLimit) = std::tuple{1.5, 0.5, 3.0};
      r.Coefficients[point - 1] = 9000 + point;
    }
    QVERIFY(bench.Record(readings));
    TResultsFrm frm(*bench.state);
    QStringList opened;
    frm.open = [&](const QString& path) { return opened << path, true; };
    frm.show();
    frm.findChild<QPushButton*>("btnExcel")->click();
    QCOMPARE(opened.size(), 2);
    // Cell=text read back, of the flow window's workbook and the overall one's.
    const QStringList books[] = {
        {"A1=流量检测数据", "A2=口径：20", "B2=计量等级：2 级", "K2=2024-03-03", "C4=流量一：100",
         "O4=流量五：500", "A6=2024000001", "B6=10.50", "C6=1.00", "D6=9001", "F6=-2.50", "G6=9002",
         "N6=", "A7=2024000002", "O7=0.25", "B7=", "A8="},
        {"A1=总体检测数据", "A6=2024000001", "B6=10.50", "C6=0.50", "D6=1.500", "E6=0.50", "A7="}};
    for (int b = 0; b < 2; ++b) {
      const QJsonObject cells = test::ReadBack(opened[b])["cells"].toObject();
      for (const QString& cell : books[b])
        QCOMPARE(cells[cell.section('=', 0, 0)].toObject()["text"].toString(),
                 cell.section('=', 1));
      if (b == 0) {
        QCOMPARE(cells["C6"].toObject()["rgb"].toString(), QString("000000"));
        QCOMPARE(cells["F6"].toObject()["rgb"].toString(), QString("FF0000"));
      }
    }
  }

  void PagesComeOneAfterTheOther() {
    test::Bench bench;
    const std::string path = JournalPath(bench.Dir());
    std::vector<ReadingRecord> readings;
    for (int n = 0; n < 250; ++n) {
      const QString time = QTime(8, 0).addSecs(n).toString("HH:mm:ss");
      readings.push_back(Reading("2024-03-05 " + time.toStdString(),
                                 std::to_string(2024000001 + n % 10), kVerdictPass));
    }
    QVERIFY(bench.Record(readings));
    ResultsPages pages;
    pages.read_at_once = 0;  // every journal read on the thread
    pages.Query(path, {});
    QTRY_COMPARE(pages.Readings().size(), ResultsPages::kPageSize);
    QVERIFY(!pages.Complete());
    QTRY_COMPARE(pages.Count(), std::optional<int64_t>(250));
    for (size_t shown : {200u, 250u}) {
      pages.More();
      QTRY_COMPARE(pages.Readings().size(), size_t{shown});
    }
    QVERIFY(pages.Complete());
    for (size_t i = 0; i < 250; ++i)
      QCOMPARE(pages.Readings()[i].Id, static_cast<int64_t>(250 - i));
    pages.Query(path, {"0003", "", "", ""});
    QTRY_COMPARE(pages.Readings().size(), size_t{25});
    QCOMPARE(pages.Readings().front().Id, 243);
    QVERIFY(pages.Complete());
  }
};

QTEST_MAIN(ResultsFrmTest)
#include "results_frm_test.moc"
