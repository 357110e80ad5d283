// The flow detection window against simulated meters on pseudo-terminals:
// the verification operations, a flow point read with its errors, silent
// meters, rows beyond MeterNum, the compensation of one coefficient, the
// values operations send, and operations that must not send at all.
#include <algorithm>

#include "flow_support.h"
#include "sim/lib/water.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

bool Has(const std::string& line, const char* text) {
  return line.find(text) != std::string::npos;
}

constexpr int kWaitMs = 30000;

}  // namespace

class FlowRunTest : public QObject {
  Q_OBJECT

 private slots:
  void VerificationAndFlowPointThree() {
    // DN 50 shows the start and end buttons; meter 2 never answers.
    SimWindow b(4, {}, [](SharedState& s) { s.Settings.DN = 5; });
    b.SetError(0, 2, 0.01);
    sim::MeterFaults silent;
    silent.silent = true;
    b.bench->SetFaults(1, silent);
    b.SetError(2, 2, 0.03);
    b.SetError(3, 2, -0.005);
    Window& w = *b.w;
    b.Select({0, 1, 2, 3});

    b.Click("btnCheckIn");
    for (int r : {0, 2, 3}) {
      QVERIFY(b.bench->Meter(r).verifying);
      QCOMPARE(b.Lamp(r), TFlowGrid::kLime);
    }
    QCOMPARE(b.Lamp(1), TFlowGrid::kRed);
    QVERIFY(!w.Find("btnStart")->isHidden());
    b.Click("btnStart");
    QVERIFY(b.bench->Meter(3).test_running);

    // "流量三" with its standard volume of 20 L; limit 2 + 0.02 × 50 / 250.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtVolume"), "20");
    QCOMPARE(w.Find<QLabel>("lblError3")->text(), QString(" Err(2.00)"));
    b.Lines();
    b.Click("BtnFlow");

    QCOMPARE(w.Edit("edtQ3Bulk1")->text(), QString("20.20"));
    QCOMPARE(w.Edit("edtQ3Bulk3")->text(), QString("20.60"));
    QCOMPARE(w.Edit("edtQ3Bulk4")->text(), QString("19.90"));
    QCOMPARE(w.Edit("edtQ1Bulk1")->text(), QString());
    QCOMPARE(w.Edit("edtQ3Error1")->text(), QString("1.00"));
    QCOMPARE(w.Grid().ErrorColour(0, 2), kBlack);
    QCOMPARE(w.Edit("edtQ3Error3")->text(), QString("3.00"));
    QCOMPARE(w.Grid().ErrorColour(2, 2), TFlowGrid::kRed);
    QCOMPARE(w.Edit("edtQ3Error4")->text(), QString("-0.50"));
    QCOMPARE(w.Grid().ErrorColour(3, 2), kBlack);
    QCOMPARE(w.Edit("edtEntreTerm1")->text(), QString("80.00"));
    QCOMPARE(w.Edit("edtExitTerm1")->text(), QString("60.00"));
    for (int k = 1; k <= 4; ++k)
      QCOMPARE(w.Edit(QString("edtQ%1Coef1").arg(k))->text(), QString("10000"));
    QCOMPARE(w.Edit("edtQ5Coef1")->text(), QString());
    QCOMPARE(w.state->Rows[0].Coefficients[3], 10000);

    // The silent meter ends red among lime neighbours, with nothing shown.
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
    QCOMPARE(b.Lamp(1), TFlowGrid::kRed);
    QCOMPARE(b.Lamp(2), TFlowGrid::kLime);
    QCOMPARE(b.Lamp(3), TFlowGrid::kLime);
    QCOMPARE(w.Edit("edtQ3Bulk2")->text(), QString());

    // Its rows of the log: the operation line and one send per attempt,
    // nothing else.
    const auto lines = b.Lines();
    const auto from = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return Has(l, " 操作类型：对第2个设备的进行流量三操作");
    });
    const auto to = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return Has(l, " 操作类型：对第3个设备的进行流量三操作");
    });
    QVERIFY(from != lines.end() && to != lines.end() && from < to);
    QCOMPARE(
        std::count_if(from + 1, to, [](const std::string& l) { return Has(l, " 发送数据："); }),
        std::ptrdiff_t{w.state->Settings.ReadAgainTimes});
    QCOMPARE(to - from - 1, std::ptrdiff_t{w.state->Settings.ReadAgainTimes});
    QVERIFY(Has(lines.back(), " 操作类型：流量三操作结束"));

    // Idle again.
    QCOMPARE(w.frm->Run().CurrentOperation(), 0);
    QCOMPARE(w.frm->Run().CurrentRow(), -1);
    QVERIFY(!w.frm->findChild<QTimer*>("ReadTimer")->isActive());
    QVERIFY(!w.frm->findChild<QTimer*>("StatusTimer")->isActive());
  }

  void MeterNumSixteenLeavesRowSeventeenAlone() {
    SimWindow b(17);
    b.Select({16});
    b.Click("btnCheckIn");
    QCOMPARE(b.Lamp(16), TFlowGrid::kLime);

    b.w->state->Settings.MeterNum = 16;
    b.Select({15});
    const size_t before = b.bench->ReceivedCount();
    b.Click("BtnFlow");
    QCOMPARE(b.Lamp(15), TFlowGrid::kLime);
    QCOMPARE(b.Lamp(16), TFlowGrid::kLime);
    const auto frames = b.bench->Received();
    QCOMPARE(frames.size(), before + 1);
    QCOMPARE(frames.back().answers, std::vector<int>{15});
  }

  void CompensationCorrectsTheMetersCoefficient() {
    SimWindow b(1);
    b.SetError(0, 2, 0.04);
    Window& w = *b.w;
    b.Select({0});
    // The weighing of the bench's 20 L at 20 °C gives the standard volume.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtFluxTerm"), "20");
    Type(w.Edit("edtWeight0"), "0");
    Type(w.Edit("edtWeight1"), QString::number(sim::MassKg(20, 20), 'f', 5));
    QCOMPARE(w.Edit("edtVolume")->text(), QString("20.000"));
    b.Click("BtnFlow");
    QCOMPARE(w.Edit("edtQ3Error1")->text(), QString("4.00"));
    QCOMPARE(w.Grid().ErrorColour(0, 2), TFlowGrid::kRed);

    // "补偿" from the error cell's popup menu.
    b.Lines();
    QTest::mousePress(w.Edit("edtQ3Error1"), Qt::RightButton);
    QMenu* menu = w.frm->CompensateMenu();
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    menu->actions()[0]->trigger();
    menu->hide();
    QCOMPARE(b.bench->Meter(0).coefficients[2], 9600);
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
    const auto lines = b.Lines();
    QVERIFY(Has(lines.front(), " 操作类型：对第1仪表的流量三补偿操作开始"));
    QVERIFY(Has(lines.back(), " 操作类型：对第1仪表的流量三补偿操作结束"));
    // The cell keeps the meter's last reported value until the next read.
    QCOMPARE(w.Edit("edtQ3Coef1")->text(), QString("10000"));

    b.Click("BtnFlow");
    QCOMPARE(w.Edit("edtQ3Coef1")->text(), QString("9600"));
    QCOMPARE(w.Edit("edtQ3Bulk1")->text(), QString("19.97"));
    QCOMPARE(w.Edit("edtQ3Error1")->text(), QString("-0.15"));
    QCOMPARE(w.Grid().ErrorColour(0, 2), kBlack);
  }

  void AnotherProtocolSendsNothing() {
    SimWindow b(3, {}, [](SharedState& s) { s.Settings.CommProtocol = 1; });
    b.Select({0, 1, 2});
    b.Lines();
    b.Click("BtnFlow");
    for (int r = 0; r < 3; ++r)
      QCOMPARE(b.Lamp(r), TFlowGrid::kRed);
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    for (const std::string& line : b.Lines())
      QVERIFY2(!Has(line, " 发送数据："), line.c_str());
  }

  void ASecondOperationIsRefusedWithABeep() {
    SimWindow b(2);
    b.Select({0, 1});
    bool refused_while_running = false;
    // The second start comes while the first meter's answer is shown.
    auto& run = b.w->frm->Run();
    const auto show = run.on_lamp;
    run.on_lamp = [&](int row, Lamp lamp) {
      show(row, lamp);
      if (row != 0 || lamp != Lamp::Lime) return;
      refused_while_running = run.CurrentOperation() == 1;
      b.Click("BtnFlow");
    };
    b.Click("btnCheckIn");
    QVERIFY(refused_while_running);
    QCOMPARE(b.w->beeps, 1);
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
    QCOMPARE(b.Lamp(1), TFlowGrid::kLime);
    for (const std::string& line : b.Lines())
      QVERIFY2(!Has(line, "流量一"), line.c_str());
    QCOMPARE(b.w->frm->Run().CurrentOperation(), 0);
  }

  void CalibrationAndTemperatureValues() {
    SimWindow b(1);
    Window& w = *b.w;
    b.Select({0});
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(2);
    Type(w.Edit("edtVolume"), "20.5");
    b.Click("btnCalibration");
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
    QCOMPARE(b.bench->Meter(0).calibrated[2].value_or(0), 205000u);

    Type(w.Edit("edtHighTerm"), "85.25");
    b.Click("spbtnHighTerm");
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
    QCOMPARE(b.bench->Meter(0).adjusted[2].value_or(0), 8525);

    // A temperature that is not a number is never sent.
    w.Edit("edtLowTerm")->setText("2O.5");
    const size_t before = b.bench->ReceivedCount();
    w.boxes.texts.clear();
    b.Click("spbtnLowTerm");
    QCOMPARE(w.boxes.texts.size(), 1);
    QVERIFY2(w.boxes.texts[0].contains("低温") && w.boxes.texts[0].contains("2O.5"),
             qPrintable(w.boxes.texts[0]));
    QCOMPARE(w.Edit("edtLowTerm")->text(), QString());
    QCOMPARE(b.bench->ReceivedCount(), before);
    QVERIFY(!b.bench->Meter(0).adjusted[0]);
  }

  void TheServedRowBlinksUntilItEnds() {
    SimWindow b(1, {}, [](SharedState& s) { s.Settings.ReadAgainTimes = 1; });
    sim::MeterFaults silent;
    silent.silent = true;
    b.bench->SetFaults(0, silent);
    b.Select({0});
    QSet<QRgb> seen;
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      if (b.w->frm->Run().CurrentRow() == 0) seen.insert(b.Lamp(0).rgb());
    });
    sampler.start();
    b.Click("btnCheckIn");
    sampler.stop();
    QVERIFY(seen.contains(TFlowGrid::kRed.rgb()));
    QVERIFY(seen.contains(b.w->Grid().ButtonFace().rgb()));
    QCOMPARE(b.Lamp(0), TFlowGrid::kRed);
  }
};

QTEST_MAIN(FlowRunTest)
#include "flow_run_test.moc"
