// The flow detection window against simulated meters leaves in the results
// journal what its grid shows: one reading per meter read, at the precision
// of its cells, and the compensation written with the coefficient before.
#include "core/number_format.h"
#include "flow_support.h"
#include "journal/core/journal_store.h"
#include "journal/core/record_files.h"
#include "journal/core/verification_record.h"
#include "sim/lib/water.h"
#include "support/open_journal.h"
#include "support/pdf.h"
#include "support/temp_files.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

QString Text(std::optional<double> v, int decimals) {
  return v ? QString::fromStdString(FormatFixed(*v, decimals)) : QString();
}

}  // namespace

class FlowJournalTest : public QObject {
  Q_OBJECT

 private slots:
  void ReadAndCompensationLeaveWhatTheGridShows() {
    test::TempDir dir;
    SimWindow b(2);
    b.SetError(0, 2, 0.04);
    b.SetError(1, 2, -0.005);
    Window& w = *b.w;
    auto& journal = w.state->Journal;
    journal = test::OpenJournal(dir.Dir());
    QVERIFY(journal);
    SystemSettings& settings = w.state->Settings;
    std::tie(settings.BenchName, settings.BenchReference, settings.CalibrationDue) =
        std::tuple{"Bench 3", "Mass standard M-12", "2026-09-30"};
    b.Select({0, 1});
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtFluxTerm"), "20");
    Type(w.Edit("edtWeight0"), "0");
    Type(w.Edit("edtWeight1"), QString::number(sim::MassKg(20, 20), 'f', 5));
    b.Click("BtnFlow");
    QCOMPARE(w.Grid().ErrorColour(0, 2), TFlowGrid::kRed);
    w.frm->CompensateCoefficient(0, 2);
    QCOMPARE(b.bench->Meter(0).coefficients[2], 9600);
    QVERIFY(journal->WaitAcknowledged(journal->Taken(), std::chrono::seconds(30)));

    std::string error;
    const std::string path = JournalPath(dir.Dir());
    const auto readings = QueryReadings(path, {}, error);
    QCOMPARE(error, std::string());
    QCOMPARE(readings.size(), size_t{2});
    for (const ReadingRecord& r : readings) {
      const int row = r.Row - 1;
      const QString n = QString::number(r.Row);
      QCOMPARE(QString::fromStdString(r.Address), w.Grid().edtAddr[row]->text());
      QCOMPARE(r.FlowPoint, 3);
      QCOMPARE(r.Flow, 250);
      QCOMPARE(r.Dn, 20);
      QCOMPARE(r.Level, 2);
      QCOMPARE(Text(r.MeterVolume, 2), w.Edit("edtQ3Bulk" + n)->text());
      QCOMPARE(Text(r.VolumeError, 2), w.Edit("edtQ3Error" + n)->text());
      QCOMPARE(Text(r.StandardVolume, 3), w.Edit("edtVolume")->text());
      QCOMPARE(" Err(" + Text(r.VolumeLimit, 2) + ")", w.Find<QLabel>("lblError3")->text());
      QCOMPARE(Text(r.Inlet, 2), w.Edit("edtEntreTerm" + n)->text());
      QCOMPARE(Text(r.Outlet, 2), w.Edit("edtExitTerm" + n)->text());
      for (int k = 0; k < 4; ++k) {
        QCOMPARE(QString::number(r.Coefficients[k].value_or(-1)),
                 w.Edit(QString("edtQ%1Coef%2").arg(k + 1).arg(r.Row))->text());
      }
      QVERIFY(!r.Coefficients[4]);
      QCOMPARE(r.Verdict, std::string(row == 0 ? kVerdictFail : kVerdictPass));
      QCOMPARE(r.Tester, std::string("Test"));
      // What the verification record needs besides the grid.
      QCOMPARE(r.BenchName + ";" + r.BenchReference + ";" + r.CalibrationDue,
               std::string("Bench 3;Mass standard M-12;2026-09-30"));
      QCOMPARE(r.MeterType, std::optional<int>(settings.MeterType));
      QCOMPARE(r.Fluid, std::optional<double>(20));
      QVERIFY(!r.BenchInlet && !r.BenchOutlet);
    }
    // The record made from this journal shows the row's figures and its
    // failure.
    const std::string record = dir.File("record.pdf");
    QCOMPARE(SaveRecordAs(path, w.state->Rows[0].Address, false, record).result,
             RecordOutcome::kSaved);
    const std::string text = test::PdfText(record);
    for (const QString& cell : {w.Edit("edtQ3Bulk1")->text(), w.Edit("edtQ3Error1")->text(),
                                w.Edit("edtVolume")->text(), QString("不合格"), QString("Bench 3")})
      QVERIFY2(text.find(cell.toStdString()) != std::string::npos, qPrintable(cell));

    // A class chosen afterwards: each reading is listed once, as the grid
    // now shows it, on the bench it was taken on; what was recorded before
    // stays in the file. The record counts it once.
    settings.BenchName = "Bench 4";
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(0);
    QVERIFY(journal->WaitAcknowledged(journal->Taken(), std::chrono::seconds(30)));
    const auto now = QueryReadings(path, {}, error);
    QCOMPARE(now.size(), size_t{2});
    for (const ReadingRecord& r : now) {
      QCOMPARE(r.Level, 1);
      QCOMPARE(" Err(" + Text(r.VolumeLimit, 2) + ")", w.Find<QLabel>("lblError3")->text());
      QCOMPARE(r.BenchName + ";" + r.BenchReference, std::string("Bench 3;Mass standard M-12"));
      QCOMPARE(r.Fluid, std::optional<double>(20));
    }
    QCOMPARE(LastReadingId(path), 4);
    const VerificationRecord again =
        BuildVerificationRecord(now[0].Address, MeterReadings(path, now[0].Address, error));
    QCOMPARE(again.Points.size(), size_t{1});
    QCOMPARE(again.Points[0].Taken, 1);
    QCOMPARE(again.Points[0].Reading.Level, 1);

    const auto writes = QueryWrites(path, w.state->Rows[0].Address, error);
    QCOMPARE(writes.size(), size_t{1});
    QCOMPARE(writes[0].What, std::string("流量三补偿"));
    QCOMPARE(writes[0].Value, std::string("9600"));
    QCOMPARE(writes[0].Before, std::optional<std::string>("10000"));
    QVERIFY(writes[0].Confirmed);
    QCOMPARE(writes[0].Row, 1);
  }
};

QTEST_MAIN(FlowJournalTest)
#include "flow_journal_test.moc"
