// The parameter settings window's commands against simulated meters on
// pseudo-terminals: lamps and log lines with a silent meter, the address
// read in each wiring and written, coefficients checked, written and read
// back, the single coefficient of the popup menu, another protocol, and a
// second operation refused.
#include <algorithm>

#include "set_para_support.h"

using namespace qv;
using namespace qv::set_para_test;

namespace {

long Count(const std::vector<std::string>& lines, const char* text) {
  return std::count_if(lines.begin(), lines.end(),
                       [text](const std::string& l) { return Has(l, text); });
}

}  // namespace

class SetParaRunTest : public QObject {
  Q_OBJECT

 private slots:
  void RowsOneToFourWithMeterThreeSilent() {
    SimWindow b(4);
    b.Silence(2);
    b.w->Select({0, 1, 2, 3});
    b.w->Lines();
    b.w->Click("btn5");
    for (int r : {0, 1, 3}) {
      QCOMPARE(b.w->Lamp(r), TMeterGrid::kLime);
      QVERIFY(b.bench->Meter(r).verifying);
    }
    QCOMPARE(b.w->Lamp(2), TMeterGrid::kRed);
    const auto lines = b.w->Lines();
    QCOMPARE(Count(lines, " 操作类型："), 5L);
    for (int r = 1; r <= 4; ++r) {
      const std::string line = "操作类型：对第" + std::to_string(r) + "个设备的进行进入检定操作";
      QCOMPARE(Count(lines, line.c_str()), 1L);
    }
    QVERIFY(Has(lines.back(), " 操作类型：进入检定操作结束"));
    QCOMPARE(b.w->frm->Run().CurrentOperation(), 0);
    QVERIFY(!b.w->Find<QTimer>("ReadTimer")->isActive());
    QVERIFY(!b.w->Find<QTimer>("StatusTimer")->isActive());
  }

  void ReadAddressInEachWiring_data() {
    QTest::addColumn<int>("wiring");
    QTest::addColumn<QStringList>("addresses");
    // On one shared line every meter hears the request and the first one
    // answers it; on their own lines (or channels) each meter answers.
    QTest::newRow("single") << static_cast<int>(sim::Wiring::kSingle)
                            << QStringList{"00002024000001", "00002024000001", "00002024000001"};
    QStringList own{"00002024000001", "00002024000002", "00002024000003"};
    QTest::newRow("multi") << static_cast<int>(sim::Wiring::kMulti) << own;
    QTest::newRow("channel") << static_cast<int>(sim::Wiring::kChannel) << own;
  }
  void ReadAddressInEachWiring() {
    QFETCH(int, wiring);
    QFETCH(QStringList, addresses);
    // The switch is given whole seconds to connect a channel.
    SimWindow b(3, static_cast<sim::Wiring>(wiring),
                [](SharedState& s) { s.Settings.CommWaitTimer = 1000; });
    for (int r = 0; r < 3; ++r)
      b.w->Grid().edtCurrAddr[r]->clear();
    b.w->Select({0, 1, 2});
    b.w->Lines();
    b.w->Click("btn2");
    for (int r = 0; r < 3; ++r) {
      QCOMPARE(b.w->Grid().edtCurrAddr[r]->text(), addresses[r]);
      QCOMPARE(QString::fromStdString(b.w->state->Rows[r].Address), addresses[r]);
      QCOMPARE(b.w->Lamp(r), TMeterGrid::kLime);
    }
    const auto lines = b.w->Lines();
    QCOMPARE(Count(lines, " 操作类型：准备进行第2个设备的读地址操作"), 1L);
    QVERIFY(Has(lines.back(), " 操作类型：读地址操作结束"));
    QVERIFY(Count(lines, " 收到数据： 68 55") >= 3);
  }

  void WriteAddressIntoRowFive() {
    SimWindow b(5);
    b.w->Select({4});
    Type(b.w->Edit("edtNewAddr5"), "123", false);
    b.w->Click("btn3");
    QCOMPARE(b.w->Lamp(4), TMeterGrid::kLime);
    QCOMPARE(b.w->Edit("edtCurrAddr5")->text(), QString("00000000000123"));
    QCOMPARE(b.w->state->Rows[4].Address, std::string("00000000000123"));
    QCOMPARE(b.bench->Meter(4).address.Text(), std::string("00000000000123"));
  }

  void CoefficientsWrittenAndReadBack() {
    SimWindow b(2);
    b.bench->UpdateMeter(0, [](sim::MeterState& m) { m.reported_difference_ps = -0x12345678; });
    b.w->Select({0});
    // A coefficient not given stops the command before anything is sent.
    b.w->Click("btnSetCoef");
    QCOMPARE(b.w->boxes.texts.size(), 1);
    QVERIFY(b.w->boxes.texts[0].contains(QString::fromUtf8("第1行系数一")));
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    const char* values[] = {"10100", "9900", "10050", "9950"};
    for (int k = 0; k < 4; ++k)
      Type(b.w->Grid().edtCoef[k][0], values[k], false);
    // Confirmed by the meter's answer to DI 01 09.
    b.w->Click("btnSetCoef");
    QCOMPARE(b.w->Lamp(0), TMeterGrid::kLime);
    QCOMPARE(b.bench->Meter(0).coefficients[1], 9900);

    for (int k = 0; k < 4; ++k)
      b.w->Grid().edtCoef[k][0]->clear();
    b.w->Click("btnReadCoef");
    QCOMPARE(b.w->Lamp(0), TMeterGrid::kLime);
    for (int k = 0; k < 4; ++k)
      QCOMPARE(b.w->Grid().edtCoef[k][0]->text(), QString(values[k]));
    QCOMPARE(b.w->state->Rows[0].Coefficients[3], 9950);
    QCOMPARE(b.w->Edit("edtTimes1")->text(), QString("-12345678"));
    QCOMPARE(b.w->Edit("edtDownStream1")->text().size(), 8);
    QCOMPARE(b.w->Edit("edtReverseFlow1")->text().size(), 8);
  }

  void WriteCoefficientThreeOfRowEighteen() {
    SimWindow b(18);
    Type(b.w->Edit("edtQ3Coef18"), "12345", false);
    b.w->Lines();
    QTest::mousePress(b.w->Edit("edtQ3Coef18"), Qt::RightButton);
    QMenu* menu = b.w->frm->WriteCoefMenu();
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QString::fromUtf8("写系数"));
    menu->actions()[0]->trigger();
    menu->hide();
    QCOMPARE(b.w->Lamp(17), TMeterGrid::kLime);
    QCOMPARE(b.bench->Meter(17).coefficients[2], 12345);
    const auto frames = b.bench->Received();
    QCOMPARE(frames.size(), size_t{1});
    QCOMPARE(frames[0].answers, std::vector<int>{17});
    QCOMPARE(frames[0].bytes[12], uint8_t{0x0C});  // DI 01 0C: coefficient three
    const auto lines = b.w->Lines();
    QVERIFY(Has(lines.front(), " 操作类型：对第18仪表进行写系数三操作开始"));
    QVERIFY(Has(lines.back(), " 操作类型：对第18仪表进行写系数三操作结束"));
  }

  void AnotherProtocolSendsOnlyTheClock() {
    SimWindow b(2, sim::Wiring::kSingle, [](SharedState& s) { s.Settings.CommProtocol = 1; });
    b.w->Select({0, 1});
    for (const char* button : {"btn2", "btn5", "btn7", "btnReadCoef"}) {
      b.w->Click(button);
      QCOMPARE(b.w->Lamp(0), TMeterGrid::kRed);
      QCOMPARE(b.w->Lamp(1), TMeterGrid::kRed);
    }
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    b.w->Click("btn4");
    QCOMPARE(b.bench->ReceivedCount(), size_t{2});
    QCOMPARE(b.w->Lamp(0), TMeterGrid::kLime);
    QCOMPARE(b.w->Lamp(1), TMeterGrid::kLime);
  }

  void ASecondPressLeavesWhatTheFirstStillSendsAlone() {
    SimWindow b(4);
    b.w->Select({0, 1, 2, 3});
    const std::array<int32_t, 4> typed{10100, 9900, 10200, 9800};
    for (int r = 0; r < 4; ++r) {
      for (int k = 0; k < 4; ++k)
        b.w->Grid().edtCoef[k][r]->setText(QString::number(typed[k] + r));
    }
    // "读系数" pressed while "设口径" waits for meter 1.
    QTimer::singleShot(0, [&] { b.w->Click("btnReadCoef"); });
    b.w->Click("btn6");
    QCOMPARE(b.w->beeps, 1);
    for (int r = 0; r < 4; ++r) {
      QCOMPARE(b.w->Lamp(r), TMeterGrid::kLime);
      for (int k = 0; k < 4; ++k) {
        QCOMPARE(b.bench->Meter(r).coefficients[k], typed[k] + r);
        QCOMPARE(b.w->Grid().edtCoef[k][r]->text(), QString::number(typed[k] + r));
      }
    }
  }

  void ASecondOperationIsRefusedWithABeep() {
    SimWindow b(2);
    b.w->Select({0, 1});
    bool running = false;
    // Fires in the first wait of the operation, whatever its pace.
    QTimer::singleShot(0, [&] {
      running = b.w->frm->Run().CurrentOperation() == kParaEnterCheck;
      b.w->Click("btn4");
    });
    b.w->Click("btn5");
    QVERIFY(running);
    QCOMPARE(b.w->beeps, 1);
    for (const std::string& line : b.w->Lines())
      QVERIFY2(!Has(line, "系统对时"), line.c_str());
  }
};

QTEST_MAIN(SetParaRunTest)
#include "set_para_run_test.moc"
