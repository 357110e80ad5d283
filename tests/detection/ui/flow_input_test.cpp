// What the operator types is what the meters get: no value is lost,
// invented or sent wrong, whatever the focus does.
#include <QComboBox>
#include <QLabel>

#include "flow_support.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

size_t Count(const std::vector<std::string>& lines, std::string_view text) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

}  // namespace

class FlowInputTest : public QObject {
  Q_OBJECT

 private slots:
  void ATypedStandardVolumeIsWhatCalibrationSends() {
    SimWindow b(1);
    b.Select({0});
    Type(b.w->Edit("edtVolume"), "5", false);
    QTest::keyClick(b.w->Edit("edtVolume"), Qt::Key_Tab);
    // Focus wandering through the weighing fields changes nothing.
    for (const char* field : {"edtWeight0", "edtFluxTerm", "edtWeight1", "edtWeight"}) {
      b.w->Edit(field)->setFocus();
      b.w->Find("btnCalibration")->setFocus();
    }
    b.Click("btnCalibration");
    QCOMPARE(b.w->Edit("edtVolume")->text(), QString("5"));
    QCOMPARE(b.bench->Meter(0).calibrated[0], std::optional<uint32_t>(50000));
    QCOMPARE(b.Lamp(0), TFlowGrid::kLime);
  }

  void ARefusedWeighingLeavesTheValuesFromBeforeTheEdit() {
    Window w;
    Type(w.Edit("edtWeight1"), "199.766");
    const QString weight = w.Edit("edtWeight")->text();
    const QString volume = w.Edit("edtVolume")->text();
    Type(w.Edit("edtQ1Bulk1"), "201");
    const QString error = w.Edit("edtQ1Error1")->text();
    Type(w.Edit("edtWeight0"), "250");  // "25" on the way weighs 174.766
    QCOMPARE(w.boxes.texts, QStringList({"称末值不能小于称初值"}));
    QCOMPARE(w.Edit("edtWeight")->text(), weight);
    QCOMPARE(w.Edit("edtVolume")->text(), volume);
    QCOMPARE(*w.frm->Sheet().StandardVolume(0), volume.toDouble());
    QCOMPARE(w.Edit("edtQ1Error1")->text(), error);
  }

  void AFinalReadingOfZeroBelowTheInitialOneIsTold() {
    Window w;
    Type(w.Edit("edtWeight0"), "3");
    QCOMPARE(w.boxes.texts, QStringList({"称末值不能小于称初值"}));
    QCOMPARE(w.Edit("edtWeight")->text(), QString("0"));
  }

  void TextThatIsNoNumberKeepsTheVolumeAndTheErrors() {
    Window w;
    Type(w.Edit("edtVolume"), "100");
    Type(w.Edit("edtQ1Bulk1"), "101");
    Type(w.Edit("edtVolume"), "12a");  // "12" on the way
    QCOMPARE(w.boxes.texts.size(), 1);
    QCOMPARE(w.Edit("edtVolume")->text(), QString("100"));
    QCOMPARE(*w.frm->Sheet().StandardVolume(0), 100.0);
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString("1.00"));
  }

  void CompensationFromAnEmptyCellSendsNothing() {
    SimWindow b(1);
    b.Select({0});
    Type(b.w->Edit("edtVolume"), "20");
    b.Click("BtnFlow");  // the reply carries the coefficients of points 1..4 only
    QTRY_COMPARE(b.Lamp(0), TFlowGrid::kLime);
    Type(b.w->Edit("edtQ5Bulk1"), "20.5");
    b.Lines();
    b.w->frm->CompensateCoefficient(0, 4);
    b.w->frm->CompensateCoefficient(0, 1);  // point 2 was not read: no error
    QCOMPARE(b.w->boxes.texts.size(), 2);
    QVERIFY(b.w->boxes.texts[0].contains("第1行流量五系数"));
    QVERIFY(b.w->boxes.texts[1].contains("第1行流量二误差"));
    QCOMPARE(Count(b.Lines(), " 发送数据："), 0u);
    QCOMPARE(b.bench->Meter(0).coefficients[4], 10000);
  }

  void EachPointKeepsItsOwnStandardVolume() {
    Window w;
    Type(w.Edit("edtVolume"), "100");
    Type(w.Edit("edtQ1Bulk1"), "99");
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    QCOMPARE(w.Edit("edtVolume")->text(), QString());
    Type(w.Edit("edtVolume"), "50");
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(0);
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString("-1.00"));
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(0);
    QCOMPARE(w.Edit("edtVolume")->text(), QString("100.000"));
  }

  void AValueThatDoesNotFitStartsNothing() {
    SimWindow b(2);
    b.Select({0, 1});
    b.Lines();
    Type(b.w->Edit("edtHighTerm"), "100");
    b.Click("spbtnHighTerm");
    Type(b.w->Edit("edtVolume"), "", false);
    b.Click("btnCalibration");
    QCOMPARE(b.w->boxes.texts.size(), 2);
    QVERIFY(b.w->boxes.texts[0].contains("高温") && b.w->boxes.texts[0].contains("100") &&
            b.w->boxes.texts[0].contains("99.99"));
    QVERIFY(b.w->boxes.texts[1].contains("标准体积"));
    QCOMPARE(Count(b.Lines(), "操作类型"), 0u);
    QCOMPARE(b.Lamp(0), b.w->Grid().ButtonFace());
  }

  void EscCancelsTheRunningOperation() {
    SimWindow b(3);
    sim::MeterFaults silent;
    silent.silent = true;
    b.bench->SetFaults(0, silent);
    b.Select({0, 1, 2});
    QTimer::singleShot(300, [&] { QTest::keyClick(b.w->frm.get(), Qt::Key_Escape); });
    b.Click("btnCheckIn");
    const auto lines = b.Lines();
    QCOMPARE(Count(lines, " 操作类型：进入检定操作已取消"), 1u);
    QCOMPARE(Count(lines, " 发送数据："), 1u);
    QCOMPARE(b.Lamp(0), TFlowGrid::kRed);
    QCOMPARE(b.Lamp(1), b.w->Grid().ButtonFace());
  }

  void EnterOnTheLastControlOfAChainPressesIt() {
    SimWindow b(1);
    b.Select({0});
    Type(b.w->Edit("edtVolume"), "7");  // Enter moves on to the flow point list
    QTest::keyClick(b.w->Find("cbxFlux"), Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("btnCalibration"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(b.bench->Meter(0).calibrated[0], std::optional<uint32_t>(70000));
  }

  void ARefusedFluidTemperatureLeavesTheOneBefore() {
    const auto check = [](auto& w) {
      Type(w.Edit("edtFluxTerm"), "200");
      QCOMPARE(w.boxes.texts.size(), 1);
      QVERIFY(w.boxes.texts[0].contains("未作更改"));
      QCOMPARE(w.Edit("edtFluxTerm")->text(), QString("20"));
      Type(w.Edit("edtWeight1"), "100");
      QCOMPARE(w.Edit("edtVolume")->text(), QString("100.156"));
    };
    {
      Window flow;
      check(flow);
    }
    BasicWindow<TOverallDetectionFrm> overall;
    check(overall);
  }

  void AnErrorIsShownWholeAndOnlyWithItsReference() {
    Window w;
    Type(w.Edit("edtVolume"), "0.0032");
    Type(w.Edit("edtQ1Bulk1"), "80");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString("2499900.00"));
    QCOMPARE(w.Grid().ErrorColour(0, 0), TFlowGrid::kRed);
    Type(w.Edit("edtVolume"), "0");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString());
    QCOMPARE(w.Edit("edtQ1Error1")->maxLength(), 8);
  }

  void EachPointShowsItsOwnScaleReadings() {
    Window w;
    Type(w.Edit("edtWeight1"), "50");
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    for (const char* field : {"edtWeight0", "edtWeight1", "edtWeight", "edtVolume"})
      QCOMPARE(w.Edit(field)->text(), QString());
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(0);
    QCOMPARE(w.Edit("edtWeight1")->text(), QString("50"));
  }
};

QTEST_MAIN(FlowInputTest)
#include "flow_input_test.moc"
