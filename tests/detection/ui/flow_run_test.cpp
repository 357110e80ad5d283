// The flow detection window against simulated meters: its operations, what
// they send (what the operator typed) or refuse to send, silent meters, and
// the results journal that keeps what the grid shows.
#include <algorithm>

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
using test::Count;
using test::Has;
using test::IsOneMessage;

namespace {

QString Text(std::optional<double> v, int decimals) {
  return v ? QString::fromStdString(FormatFixed(*v, decimals)) : QString();
}

}  // namespace

class FlowRunTest : public QObject {
  Q_OBJECT

 private slots:
  void VerificationAndFlowPointThree() {
    // DN 50 shows the start and end buttons; meter 2 never answers.
    SimWindow w(4, {}, [](SharedState& s) { s.Settings.DN = 5; });
    w.SetError(0, 2, 0.01);
    w.bench->SetFaults(1, {.silent = true});
    w.SetError(2, 2, 0.03);
    w.SetError(3, 2, -0.005);
    w.Select({0, 1, 2, 3});

    w.Click("btnCheckIn");
    for (int r : {0, 2, 3})
      QVERIFY(w.bench->Meter(r).verifying);
    QCOMPARE(w.Lamps(4), QList<QColor>({kLime, kRed, kLime, kLime}));
    QVERIFY(!w.Find("btnStart")->isHidden());
    w.Click("btnStart");
    QVERIFY(w.bench->Meter(3).test_running);

    // "流量三" with its standard volume of 20 L; limit 2 + 0.02 × 50 / 250.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtVolume"), "20");
    QCOMPARE(w.Find<QLabel>("lblError3")->text(), QString(" Err(2.00)"));
    w.Lines();
    w.Click("BtnFlow");

    // The silent meter ends red among lime neighbours, with nothing shown.
    QCOMPARE(
        w.Texts({"edtQ3Bulk1", "edtQ3Bulk2", "edtQ3Bulk3", "edtQ3Bulk4", "edtQ1Bulk1",
                 "edtQ3Error1", "edtQ3Error3", "edtQ3Error4", "edtEntreTerm1", "edtExitTerm1"}),
        QStringList(
            {"20.20", "", "20.60", "19.90", "", "1.00", "3.00", "-0.50", "80.00", "60.00"}));
    QCOMPARE(w.Grid().ErrorColour(0, 2), kBlack);
    QCOMPARE(w.Grid().ErrorColour(2, 2), kRed);
    QCOMPARE(w.Grid().ErrorColour(3, 2), kBlack);
    QCOMPARE(w.Texts({"edtQ1Coef1", "edtQ2Coef1", "edtQ3Coef1", "edtQ4Coef1", "edtQ5Coef1"}),
             QStringList({"10000", "10000", "10000", "10000", ""}));
    QCOMPARE(w.state->Rows[0].Coefficients[3], 10000);
    QCOMPARE(w.Lamps(4), QList<QColor>({kLime, kRed, kLime, kLime}));

    // Its rows of the log: the operation line and one send per attempt,
    // nothing else.
    const auto lines = w.Lines();
    const auto operation = [&](const char* device) {
      return std::find_if(lines.begin(), lines.end(), [device](const std::string& l) {
        return Has(l, std::string(" 操作类型：对第") + device + "个设备的进行流量三操作");
      });
    };
    const auto from = operation("2"), to = operation("3");
    QVERIFY(from != lines.end() && to != lines.end() && from < to);
    QCOMPARE(Count({from + 1, to}, " 发送数据："), long{w.state->Settings.ReadAgainTimes});
    QCOMPARE(to - from - 1, std::ptrdiff_t{w.state->Settings.ReadAgainTimes});
    QVERIFY(Has(lines.back(), " 操作类型：流量三操作结束"));

    // Idle again.
    QCOMPARE(w.frm->Run().CurrentOperation(), 0);
    QCOMPARE(w.frm->Run().CurrentRow(), -1);
    QVERIFY(!w.frm->findChild<QTimer*>("ReadTimer")->isActive());
    QVERIFY(!w.frm->findChild<QTimer*>("StatusTimer")->isActive());
  }

  void RowsBeyondMeterNumAndAnotherProtocol() {
    SimWindow w(17);
    w.Select({16});
    w.Click("btnCheckIn");
    QCOMPARE(w.Lamp(16), kLime);

    w.state->Settings.MeterNum = 16;
    w.Select({15});
    const size_t before = w.bench->ReceivedCount();
    w.Click("BtnFlow");
    QCOMPARE(w.Lamp(15), kLime);
    QCOMPARE(w.Lamp(16), kLime);
    const auto frames = w.bench->Received();
    QCOMPARE(frames.size(), before + 1);
    QCOMPARE(frames.back().answers, std::vector<int>{15});

    // Another protocol: nothing is sent, every row ends red.
    w.state->Settings.CommProtocol = 1;
    w.Select({0, 1, 2});
    w.Lines();
    w.Click("BtnFlow");
    QCOMPARE(w.Lamps(3), QList<QColor>({kRed, kRed, kRed}));
    QCOMPARE(w.bench->ReceivedCount(), before + 1);
    QCOMPARE(Count(w.Lines(), " 发送数据："), 0);
  }

  void CompensationAndWhatTheJournalKeeps() {
    test::TempDir dir;
    SimWindow w(2);
    w.SetError(0, 2, 0.04);
    w.SetError(1, 2, -0.005);
    auto& journal = w.state->Journal;
    journal = test::OpenJournal(dir.Dir());
    QVERIFY(journal);
    SystemSettings& settings = w.state->Settings;
    std::tie(settings.BenchName, settings.BenchReference, settings.CalibrationDue) =
        std::tuple{"Bench 3", "Mass standard M-12", "2026-09-30"};
    w.Select({0, 1});
    // The weighing of the bench's 20 L at 20 °C gives the standard volume.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtFluxTerm"), "20");
    Type(w.Edit("edtWeight0"), "0");
    Type(w.Edit("edtWeight1"), QString::number(sim::MassKg(20, 20), 'f', 5));
    QCOMPARE(w.Edit("edtVolume")->text(), QString("20.000"));
    w.Click("BtnFlow");
    QCOMPARE(w.Edit("edtQ3Error1")->text(), QString("4.00"));
    QCOMPARE(w.Grid().ErrorColour(0, 2), kRed);

    // "补偿" from the error cell's popup menu.
    w.Lines();
    QTest::mousePress(w.Edit("edtQ3Error1"), Qt::RightButton);
    QMenu* menu = w.frm->CompensateMenu();
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    menu->actions()[0]->trigger();
    menu->hide();
    QCOMPARE(w.bench->Meter(0).coefficients[2], 9600);
    QCOMPARE(w.Lamp(0), kLime);
    const auto lines = w.Lines();
    QVERIFY(Has(lines.front(), " 操作类型：对第1仪表的流量三补偿操作开始"));
    QVERIFY(Has(lines.back(), " 操作类型：对第1仪表的流量三补偿操作结束"));
    // The cell keeps the meter's last reported value until the next read.
    QCOMPARE(w.Edit("edtQ3Coef1")->text(), QString("10000"));

    // The journal keeps one reading per meter read, as the grid shows it,
    // and the compensation with the coefficient before.
    QVERIFY(journal->WaitAcknowledged(journal->Taken(), std::chrono::seconds(30)));
    std::string error;
    const std::string path = JournalPath(dir.Dir());
    const auto readings = QueryReadings(path, {}, error);
    QCOMPARE(error, std::string());
    QCOMPARE(readings.size(), size_t{2});
    for (const ReadingRecord& r : readings) {
      const QString n = QString::number(r.Row);
      QStringList kept = {QString::fromStdString(r.Address), Text(r.MeterVolume, 2),
                          Text(r.VolumeError, 2), Text(r.StandardVolume, 3)};
      kept << " Err(" + Text(r.VolumeLimit, 2) + ")" << Text(r.Inlet, 2) << Text(r.Outlet, 2);
      for (int k = 0; k < 4; ++k)
        kept << QString::number(r.Coefficients[k].value_or(-1));
      QCOMPARE(kept, w.Texts({"edtAddr" + n, "edtQ3Bulk" + n, "edtQ3Error" + n, "edtVolume",
                              "lblError3", "edtEntreTerm" + n, "edtExitTerm" + n, "edtQ1Coef" + n,
                              "edtQ2Coef" + n, "edtQ3Coef" + n, "edtQ4Coef" + n}));
      QVERIFY(!r.Coefficients[4]);
      QCOMPARE(std::tuple(r.FlowPoint, r.Flow, r.Dn, r.Level, r.Tester),
               std::tuple(3, 250, 20, 2, "Test"));
      QCOMPARE(r.Verdict, std::string(r.Row == 1 ? kVerdictFail : kVerdictPass));
      // What the verification record needs besides the grid.
      QCOMPARE(r.BenchName + ";" + r.BenchReference + ";" + r.CalibrationDue,
               std::string("Bench 3;Mass standard M-12;2026-09-30"));
      QCOMPARE(r.MeterType, std::optional<int>(settings.MeterType));
      QCOMPARE(r.Fluid, std::optional<double>(20));
      QVERIFY(!r.BenchInlet && !r.BenchOutlet);
    }
    const auto writes = QueryWrites(path, w.state->Rows[0].Address, error);
    QCOMPARE(writes.size(), size_t{1});
    QCOMPARE(std::tuple(writes[0].What, writes[0].Value, writes[0].Row, writes[0].Confirmed),
             std::tuple(std::string("流量三补偿"), std::string("9600"), 1, true));
    QCOMPARE(writes[0].Before, std::optional<std::string>("10000"));
    // The record made from this journal shows the row's figures and its
    // failure.
    const std::string record = dir.File("record.pdf");
    QCOMPARE(SaveRecordAs(path, w.state->Rows[0].Address, false, record).result,
             RecordOutcome::kSaved);
    const std::string text = test::PdfText(record);
    for (const QString& cell :
         w.Texts({"edtQ3Bulk1", "edtQ3Error1", "edtVolume"}) + QStringList({"不合格", "Bench 3"}))
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

    // Read again: the meter's new coefficient and its error within the limit.
    w.Click("BtnFlow");
    QCOMPARE(w.Texts({"edtQ3Coef1", "edtQ3Bulk1", "edtQ3Error1"}),
             QStringList({"9600", "19.97", "-0.15"}));
    QCOMPARE(w.Grid().ErrorColour(0, 2), kBlack);

    // A cell without a value sends nothing: point 5's coefficient (not in
    // the reply), point 2's error (not read).
    Type(w.Edit("edtQ5Bulk1"), "20.5");
    w.Lines();
    const QStringList told = w.Told([&] {
      w.frm->CompensateCoefficient(0, 4);
      w.frm->CompensateCoefficient(0, 1);
    });
    QCOMPARE(told.size(), 2);
    QVERIFY(told[0].contains("第1行流量五系数") && told[1].contains("第1行流量二误差"));
    QCOMPARE(Count(w.Lines(), " 发送数据："), 0);
    QCOMPARE(w.bench->Meter(0).coefficients[4], 10000);
  }

  void ASecondOperationIsRefusedWithABeep() {
    SimWindow w(2);
    w.Select({0, 1});
    bool refused_while_running = false;
    // The second start comes while the first meter's answer is shown.
    auto& run = w.frm->Run();
    const auto show = run.on_lamp;
    run.on_lamp = [&](int row, Lamp lamp) {
      show(row, lamp);
      if (row != 0 || lamp != Lamp::Lime) return;
      refused_while_running = run.CurrentOperation() == 1;
      w.Click("BtnFlow");
    };
    w.Click("btnCheckIn");
    QVERIFY(refused_while_running);
    QCOMPARE(w.beeps, 1);
    QCOMPARE(w.Lamps(2), QList<QColor>({kLime, kLime}));
    QCOMPARE(Count(w.Lines(), "流量一"), 0);
    QCOMPARE(w.frm->Run().CurrentOperation(), 0);
  }

  void EscCancelsTheRunningOperation() {
    SimWindow w(3);
    w.bench->SetFaults(0, {.silent = true});
    w.Select({0, 1, 2});
    QTimer::singleShot(300, [&] { QTest::keyClick(w.frm.get(), Qt::Key_Escape); });
    w.Click("btnCheckIn");
    const auto lines = w.Lines();
    QCOMPARE(Count(lines, " 操作类型：进入检定操作已取消"), 1);
    QCOMPARE(Count(lines, " 发送数据："), 1);
    QCOMPARE(w.Lamps(2), QList<QColor>({kRed, w.Grid().ButtonFace()}));
  }

  void WhatTheOperatorTypedIsWhatIsSent() {
    SimWindow w(2);
    w.Select({0, 1});
    Type(w.Edit("edtVolume"), "5", false);
    QTest::keyClick(w.Edit("edtVolume"), Qt::Key_Tab);
    // Focus wandering through the weighing fields changes nothing.
    for (const char* field : {"edtWeight0", "edtFluxTerm", "edtWeight1", "edtWeight"}) {
      w.Edit(field)->setFocus();
      w.Find("btnCalibration")->setFocus();
    }
    w.Click("btnCalibration");
    QCOMPARE(w.Edit("edtVolume")->text(), QString("5"));
    QCOMPARE(w.bench->Meter(0).calibrated[0], std::optional<uint32_t>(50000));
    QCOMPARE(w.Lamps(2), QList<QColor>({kLime, kLime}));

    // Enter on the last control of the chain presses it.
    Type(w.Edit("edtVolume"), "7");  // Enter moves on to the flow point list
    QTest::keyClick(w.Find("cbxFlux"), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("btnCalibration"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(w.bench->Meter(0).calibrated[0], std::optional<uint32_t>(70000));

    // Point 3's own volume goes to point 3.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtVolume"), "20.5");
    w.Click("btnCalibration");
    QCOMPARE(w.Lamp(0), kLime);
    QCOMPARE(w.bench->Meter(0).calibrated[2].value_or(0), 205000u);

    // The temperatures: the high one typed is what the meters get.
    Type(w.Edit("edtHighTerm"), "85.25");
    w.Click("spbtnHighTerm");
    QCOMPARE(w.Lamps(2), QList<QColor>({kLime, kLime}));
    QCOMPARE(w.bench->Meter(0).adjusted[2].value_or(0), 8525);

    // A temperature that is not a number or does not fit, or no standard
    // volume, starts nothing and sends nothing.
    w.Edit("edtLowTerm")->setText("2O.5");
    w.Lines();
    const size_t before = w.bench->ReceivedCount();
    QVERIFY(IsOneMessage(w.Told([&] { w.Click("spbtnLowTerm"); }), {"低温", "2O.5"}));
    QCOMPARE(w.Edit("edtLowTerm")->text(), QString());
    QVERIFY(!w.bench->Meter(0).adjusted[0]);
    Type(w.Edit("edtHighTerm"), "100");
    QVERIFY(IsOneMessage(w.Told([&] { w.Click("spbtnHighTerm"); }), {"高温", "100", "99.99"}));
    Type(w.Edit("edtVolume"), "", false);
    QVERIFY(IsOneMessage(w.Told([&] { w.Click("btnCalibration"); }), {"标准体积"}));
    QCOMPARE(Count(w.Lines(), "操作类型"), 0);
    QCOMPARE(w.bench->ReceivedCount(), before);
  }

  void TheServedRowBlinksUntilItEnds() {
    SimWindow w(1, {}, [](SharedState& s) { s.Settings.ReadAgainTimes = 1; });
    w.bench->SetFaults(0, {.silent = true});
    w.Select({0});
    QSet<QRgb> seen;
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      if (w.frm->Run().CurrentRow() == 0) seen.insert(w.Lamp(0).rgb());
    });
    sampler.start();
    w.Click("btnCheckIn");
    sampler.stop();
    QVERIFY(seen.contains(kRed.rgb()));
    QVERIFY(seen.contains(w.Grid().ButtonFace().rgb()));
    QCOMPARE(w.Lamp(0), kRed);
  }
};

QTEST_MAIN(FlowRunTest)
#include "flow_run_test.moc"
