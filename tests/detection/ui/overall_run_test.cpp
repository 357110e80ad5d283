// The overall detection window against simulated meters: volume and heat
// errors against each point's own limits, and the bench values after a read.
#include <cmath>

#include "detection/core/flow_arithmetic.h"
#include "flow_support.h"
#include "journal/core/journal_store.h"
#include "journal/core/record_files.h"
#include "sim/lib/water.h"
#include "support/open_journal.h"
#include "support/pdf.h"
#include "support/temp_files.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

using Overall = BasicSimWindow<TOverallDetectionFrm>;

// The bench at flow point `point` (0..4) running `litres`, the operator's
// weighing and temperatures for it typed in, and the point read.
void ReadPoint(Overall& w, int point, double litres) {
  sim::BenchConditions c;
  c.flow_point = point + 1;
  c.reference_litres[point] = litres;
  w.bench->SetConditions(c);
  w.Find<QComboBox>("cbxFlux")->setCurrentIndex(point);
  Type(w.Edit("edtEntreTerm"), "80");
  Type(w.Edit("edtExitTerm"), "60");
  Type(w.Edit("edtFluxTerm"), "20");
  Type(w.Edit("edtWeight1"), QString::number(sim::MassKg(litres, 20), 'f', 5));
  w.Click("btnFlow");
}

double Number(QLineEdit* edit) {
  return edit->text().toDouble();
}

QStringList Texts(const BasicWindow<TOverallDetectionFrm>& w, int point) {
  QStringList texts;
  for (const char* family : {"Bulk", "BulkError", "Heat", "HeatError"}) {
    for (int r = 1; r <= 4; ++r)
      texts << w.Edit(QString("edtQ%1%2%3").arg(point).arg(family).arg(r))->text();
  }
  return texts;
}

}  // namespace

class OverallRunTest : public QObject {
  Q_OBJECT

 private slots:
  void TwoFlowPointsWithVolumeAndHeatErrors() {
    // DN 50 shows the start and end buttons; meter 2 never answers; meter 3
    // reads 3 % too much volume, meter 4 computes 25 % too much heat.
    Overall w(4, {}, [](SharedState& s) { s.Settings.DN = 5; });
    w.bench->SetFaults(1, {.silent = true});
    w.bench->UpdateMeter(2, [](sim::MeterState& m) { m.errors = {0.03, 0.03, 0, 0, 0}; });
    w.bench->UpdateMeter(3, [](sim::MeterState& m) { m.heat_error = 0.25; });
    test::TempDir dir;
    w.state->Journal = test::OpenJournal(dir.Dir());
    QVERIFY(w.state->Journal);
    QCOMPARE(w.Shown({"btnStart", "btnEnd"}), QStringList({"btnStart", "btnEnd"}));
    w.Select({0, 1, 2, 3});
    w.Click("btnCheckIn");
    QVERIFY(w.bench->Meter(0).verifying);

    ReadPoint(w, 1, 100);
    QCOMPARE(w.Texts({"edtVolume", "edtQ2Bulk1", "edtQ2BulkError1", "edtQ2BulkError3",
                      "edtEntreTerm1", "edtQ2Heat2"}),
             QStringList({"100.000", "100.00", "0.00", "3.00", "80.00", ""}));
    QCOMPARE(TFlowGrid::TextColour(*w.Edit("edtQ2BulkError3")), kRed);
    QCOMPARE(TFlowGrid::TextColour(*w.Edit("edtQ2BulkError1")), kBlack);
    // Heat errors against the point's own heat limit: the exact meter is
    // within it, the meter computing 25 % too much outside it.
    const double limit = w.frm->Sheet().HeatLimit(1);
    QVERIFY(limit > 1 && limit < 25);
    QCOMPARE(w.Find<QLabel>("lblHeatError2")->text(),
             QString::fromStdString(ErrorLimitLabel(limit)));
    QVERIFY(std::abs(Number(w.Edit("edtQ2HeatError1"))) < 0.1);
    QCOMPARE(TFlowGrid::TextColour(*w.Edit("edtQ2HeatError1")), kBlack);
    QVERIFY(std::abs(Number(w.Edit("edtQ2HeatError4")) - 25) < 0.2);
    QCOMPARE(TFlowGrid::TextColour(*w.Edit("edtQ2HeatError4")), kRed);
    QVERIFY(Number(w.Edit("edtQ2Heat1")) > 2);
    // The silent meter: red lamp, nothing shown (edtQ2Heat2 above).
    QCOMPARE(w.Lamps(2), QList<QColor>({kLime, kRed}));

    // Point 1 read later changes point-1 cells only; point 2 keeps its
    // reference heat and its weight when it is selected again.
    const QStringList point2 = Texts(w, 2);
    ReadPoint(w, 0, 50);
    QCOMPARE(w.Edit("edtQ1Bulk1")->text(), QString("50.00"));
    QVERIFY(std::abs(Number(w.Edit("edtQ1HeatError1"))) < 0.1);
    QCOMPARE(Texts(w, 2), point2);
    QCOMPARE(w.Edit("edtQ5HeatError1")->text(), QString());
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    QCOMPARE(w.Texts({"edtVolume", "edtWeight"}),
             QStringList({"100.000", QString::number(sim::MassKg(100, 20), 'f', 5)
                                         .remove(QRegularExpression("0+$"))}));

    // The record of the meter computing too much heat, from the journal:
    // the bench's temperatures and what the grid showed, both points failed.
    QVERIFY(
        w.state->Journal->WaitAcknowledged(w.state->Journal->Taken(), std::chrono::seconds(30)));
    const std::string record = dir.File("record.pdf");
    QCOMPARE(SaveRecordAs(JournalPath(dir.Dir()), w.state->Rows[3].Address, true, record).result,
             RecordOutcome::kSaved);
    const std::string text = test::PdfText(record);
    for (int point : {1, 2}) {
      const QString row =
          QString("\\s%1\\s+%2\\s+80\\.00\\s+60\\.00\\s.*\\s%3\\s+%4\\s+\\S+\\s+Fail\\n")
              .arg(point)
              .arg(w.Edit(QString("edtFlux%1").arg(point))->text())
              .arg(w.Edit(QString("edtQ%1Heat4").arg(point))->text())
              .arg(w.Edit(QString("edtQ%1HeatError4").arg(point))->text());
      QVERIFY2(QRegularExpression(row).match(QString::fromStdString(text)).hasMatch(),
               qPrintable(row + "\n" + QString::fromStdString(text)));
    }
    Type(w.Edit("edtQ2Heat1"), "0");
    QCOMPARE(w.Edit("edtQ2HeatError1")->text(), QString("-100.00"));

    // "界面清空" empties the grid.
    w.Click("btnClearFace");
    QCOMPARE(w.Texts({"edtQ2Heat1", "edtQ1BulkError1"}), QStringList({"", ""}));
  }

  void HeatErrorsFollowTheBenchValuesTheTablesHold() {
    Overall w(1);
    w.Select({0});
    ReadPoint(w, 2, 20);
    const QString limit = w.Find<QLabel>("lblHeatError3")->text();
    const QString error = w.Edit("edtQ3HeatError1")->text();
    QVERIFY(!error.isEmpty() && std::abs(error.toDouble()) < 0.1);
    // A temperature outside the tables: nothing changes, as the message says.
    QVERIFY(test::IsOneMessage(w.Typed("edtEntreTerm", "160"), {"进口", "1 至 150 ℃"}));
    QCOMPARE(w.Texts({"edtEntreTerm", "lblHeatError3", "edtQ3HeatError1"}),
             QStringList({"80", limit, error}));
    QCOMPARE(w.frm->Sheet().Bench(2, BenchField::kEntre), 80.0);
    // A text that is not a number is not kept.
    Type(w.Edit("edtExitTerm"), "6x");
    QCOMPARE(w.Edit("edtExitTerm")->text(), QString("60"));
    QCOMPARE(w.frm->Sheet().Bench(2, BenchField::kExit), 60.0);
    // The final reading corrected: the reference heat follows the weight.
    Type(w.Edit("edtWeight1"), QString::number(sim::MassKg(22, 20), 'f', 5));
    for (const char* error : {"edtQ3BulkError1", "edtQ3HeatError1"}) {
      QVERIFY2(std::abs(Number(w.Edit(error)) + 9.09) < 0.1, error);
      QCOMPARE(TFlowGrid::TextColour(*w.Edit(error)), kRed);
    }
    // No fluid temperature, no reference: no error is kept.
    Type(w.Edit("edtFluxTerm"), "");
    QCOMPARE(w.Texts({"edtQ3BulkError1", "edtQ3HeatError1"}), QStringList({"", ""}));
    // A flow point of 0 has a heat limit of 0.
    Type(w.Edit("edtFlux3"), "0");
    QCOMPARE(w.Find<QLabel>("lblHeatError3")->text(), QString(" Err(0.00)"));
  }

  void ShowingAgainKeepsTheBenchValues() {
    // Three flow points: no fifth point's cells and group in this window.
    BasicWindow<TOverallDetectionFrm> w(2, [](SharedState& s) { s.Settings.FluxNum = 3; });
    QCOMPARE(w.frm->windowTitle(), QString("总体检测"));
    QCOMPARE(w.Shown({"edtQ5Bulk1", "edtQ5HeatError2", "gbFlux5", "edtQ4Heat1"}),
             QStringList{"edtQ4Heat1"});
    Type(w.Edit("edtEntreTerm"), "80");
    Type(w.Edit("edtExitTerm"), "72.5");
    Type(w.Edit("edtWeight1"), "100");
    QCOMPARE(w.Find<QLabel>("lblHeatError1")->text(), QString(" Err(5.60)"));
    w.Reshow();
    QCOMPARE(w.Texts({"edtEntreTerm", "lblHeatError1"}), QStringList({"80", " Err(5.60)"}));
    // Enter on the last field of the bench chain takes its value; 200 °C is
    // refused, and so is the 2 °C of its first keystroke.
    QVERIFY(test::IsOneMessage(w.Typed("edtFluxTerm", "200"), {"未作更改"}));
    QCOMPARE(w.Texts({"edtFluxTerm", "edtVolume"}), QStringList({"20", "100.156"}));
  }
};

QTEST_MAIN(OverallRunTest)
#include "overall_run_test.moc"
