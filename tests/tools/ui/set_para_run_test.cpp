// The parameter settings window's commands against simulated meters on
// pseudo-terminals: lamps and log lines with a silent meter, the address
// read in each wiring and written, coefficients checked, written and read
// back, the single coefficient of the popup menu, another protocol, and a
// second operation refused.
#include "set_para_support.h"

using namespace qv;
using namespace qv::set_para_test;

class SetParaRunTest : public QObject {
  Q_OBJECT

 private slots:
  void RowsOneToFourWithMeterThreeSilent() {
    SimWindow b(4);
    b.bench->SetFaults(2, {.silent = true});
    b.Select({0, 1, 2, 3});
    b.Lines();
    b.Click("btn5");
    for (int r : {0, 1, 3})
      QVERIFY(b.bench->Meter(r).verifying);
    QCOMPARE(b.Lamps(4), QList<QColor>({kLime, kLime, kRed, kLime}));
    const auto lines = b.Lines();
    QCOMPARE(Count(lines, " 操作类型："), 5L);
    for (int r = 1; r <= 4; ++r) {
      const std::string line = "操作类型：对第" + std::to_string(r) + "个设备的进行进入检定操作";
      QCOMPARE(Count(lines, line.c_str()), 1L);
    }
    QVERIFY(Has(lines.back(), " 操作类型：进入检定操作结束"));
    QCOMPARE(b.frm->Run().CurrentOperation(), 0);
    QVERIFY(!b.Find<QTimer>("ReadTimer")->isActive());
    QVERIFY(!b.Find<QTimer>("StatusTimer")->isActive());
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
      b.Grid().edtCurrAddr[r]->clear();
    b.Select({0, 1, 2});
    b.Lines();
    b.Click("btn2");
    for (int r = 0; r < 3; ++r) {
      QCOMPARE(b.Grid().edtCurrAddr[r]->text(), addresses[r]);
      QCOMPARE(QString::fromStdString(b.state->Rows[r].Address), addresses[r]);
      QCOMPARE(b.Lamp(r), kLime);
    }
    const auto lines = b.Lines();
    QCOMPARE(Count(lines, " 操作类型：准备进行第2个设备的读地址操作"), 1L);
    QVERIFY(Has(lines.back(), " 操作类型：读地址操作结束"));
    QVERIFY(Count(lines, " 收到数据： 68 55") >= 3);
  }

  void WriteAddressIntoRowFive() {
    SimWindow b(5);
    b.Select({4});
    Type(b.Edit("edtNewAddr5"), "123", false);
    b.Click("btn3");
    QCOMPARE(b.Lamp(4), kLime);
    QCOMPARE(b.Edit("edtCurrAddr5")->text(), QString("00000000000123"));
    QCOMPARE(b.state->Rows[4].Address, std::string("00000000000123"));
    QCOMPARE(b.bench->Meter(4).address.Text(), std::string("00000000000123"));
  }

  void CoefficientsWrittenAndReadBack() {
    SimWindow b(2);
    b.bench->UpdateMeter(0, [](sim::MeterState& m) { m.reported_difference_ps = -0x12345678; });
    b.Select({0});
    // A coefficient not given stops the command before anything is sent.
    QVERIFY(IsOneMessage(b.Told([&] { b.Click("btnSetCoef"); }), {"第1行系数一"}));
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    for (const auto& [k, value] : {std::pair{0, "10100"}, {1, "9900"}, {2, "10050"}, {3, "9950"}})
      Type(b.Grid().edtCoef[k][0], value, false);
    // Confirmed by the meter's answer to DI 01 09.
    b.Click("btnSetCoef");
    QCOMPARE(b.Lamp(0), kLime);
    QCOMPARE(b.bench->Meter(0).coefficients[1], 9900);

    for (int k = 0; k < 4; ++k)
      b.Grid().edtCoef[k][0]->clear();
    b.Click("btnReadCoef");
    QCOMPARE(b.Lamp(0), kLime);
    QCOMPARE(b.Texts({"edtQ1Coef1", "edtQ2Coef1", "edtQ3Coef1", "edtQ4Coef1", "edtTimes1"}),
             QStringList({"10100", "9900", "10050", "9950", "-12345678"}));
    QCOMPARE(b.state->Rows[0].Coefficients[3], 9950);
    QCOMPARE(b.Edit("edtDownStream1")->text().size(), 8);
    QCOMPARE(b.Edit("edtReverseFlow1")->text().size(), 8);
  }

  void WriteCoefficientThreeOfRowEighteen() {
    SimWindow b(18);
    Type(b.Edit("edtQ3Coef18"), "12345", false);
    b.Lines();
    QTest::mousePress(b.Edit("edtQ3Coef18"), Qt::RightButton);
    QMenu* menu = b.frm->WriteCoefMenu();
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QString::fromUtf8("写系数"));
    menu->actions()[0]->trigger();
    menu->hide();
    QCOMPARE(b.Lamp(17), kLime);
    QCOMPARE(b.bench->Meter(17).coefficients[2], 12345);
    const auto frames = b.bench->Received();
    QCOMPARE(frames.size(), size_t{1});
    QCOMPARE(frames[0].answers, std::vector<int>{17});
    QCOMPARE(frames[0].bytes[12], uint8_t{0x0C});  // DI 01 0C: coefficient three
    const auto lines = b.Lines();
    QVERIFY(Has(lines.front(), " 操作类型：对第18仪表进行写系数三操作开始"));
    QVERIFY(Has(lines.back(), " 操作类型：对第18仪表进行写系数三操作结束"));
  }

  void AnotherProtocolSendsOnlyTheClock() {
    SimWindow b(2, sim::Wiring::kSingle, [](SharedState& s) { s.Settings.CommProtocol = 1; });
    b.Select({0, 1});
    for (const char* button : {"btn2", "btn5", "btn7", "btnReadCoef"}) {
      b.Click(button);
      QCOMPARE(b.Lamps(2), QList<QColor>({kRed, kRed}));
    }
    QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    b.Click("btn4");
    QCOMPARE(b.bench->ReceivedCount(), size_t{2});
    QCOMPARE(b.Lamps(2), QList<QColor>({kLime, kLime}));
  }

  void ASecondOperationIsRefusedWithABeep() {
    SimWindow b(4);
    b.Select({0, 1, 2, 3});
    const std::array<int32_t, 4> typed{10100, 9900, 10200, 9800};
    for (int r = 0; r < 4; ++r) {
      for (int k = 0; k < 4; ++k)
        b.Grid().edtCoef[k][r]->setText(QString::number(typed[k] + r));
    }
    // "读系数" pressed in the first wait of "设口径", whatever its pace: it
    // neither runs nor changes what the first still sends.
    bool running = false;
    QTimer::singleShot(0, [&] {
      running = b.frm->Run().CurrentOperation() == kParaSetCaliber;
      b.Click("btnReadCoef");
    });
    b.Lines();
    b.Click("btn6");
    QVERIFY(running);
    QCOMPARE(b.beeps, 1);
    QCOMPARE(Count(b.Lines(), "读系数"), 0);
    for (int r = 0; r < 4; ++r) {
      QCOMPARE(b.Lamp(r), kLime);
      for (int k = 0; k < 4; ++k) {
        QCOMPARE(b.bench->Meter(r).coefficients[k], typed[k] + r);
        QCOMPARE(b.Grid().edtCoef[k][r]->text(), QString::number(typed[k] + r));
      }
    }
  }
};

QTEST_MAIN(SetParaRunTest)
#include "set_para_run_test.moc"
