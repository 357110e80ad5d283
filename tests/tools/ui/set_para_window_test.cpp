// The parameter settings window: its controls, the settings it keeps and the
// main window saves, and its commands against simulated meters.
#include <functional>
#include <optional>

#include "core/settings_files.h"
#include "support/window_fixture.h"
#include "support/window_support.h"
#include "tools/ui/set_para_frm.h"
#include "tools/ui/set_para_grid.h"

using namespace qv;
using test::Count;
using test::Has;
using test::IsOneMessage;
using test_support::Type;

namespace {

const QColor& kLime = TMeterGrid::kLime;
const QColor& kRed = TMeterGrid::kRed;

// The window on a state of its own, 20 meters, DN 15, two attempts of
// 500 ms each; with `wiring`, against as many simulated meters wired so.
struct Window : test::WindowFixture<TSetParaFrm> {
  explicit Window(int meters = 20, const std::function<void(SharedState&)>& setup = {},
                  std::optional<sim::Wiring> wiring = {}) {
    SystemSettings& s = state->Settings;
    s.MeterNum = meters;
    s.FluxNum = 4;
    s.DN = 1;
    s.ReadAgainTimes = 2;
    s.CommWaitTimer = 500;
    s.CommType = kCommMulti;
    if (wiring) {
      sim::BenchOptions o;
      o.wiring = *wiring;
      o.meter_count = meters;
      StartBench(o);
    }
    Make(setup);
  }
  QComboBox* List(const QString& name) const { return Find<QComboBox>(name); }
  TSetParaGrid& Grid() const { return frm->Grid(); }
  void Select(std::initializer_list<int> rows) const {
    for (int r : rows)
      Grid().cbx[r]->setChecked(true);
  }
};

// The window against `meters` simulated meters.
struct SimWindow : Window {
  explicit SimWindow(int meters, sim::Wiring wiring = sim::Wiring::kSingle,
                     const std::function<void(SharedState&)>& setup = {})
      : Window(meters, setup, wiring) {}
};

double Setting(const SystemSettings& s, const QString& edit) {
  for (const SettingEdit& e : SettingEdits()) {
    if (e.object == edit.toStdString()) {
      return std::visit([&s](auto member) { return static_cast<double>(s.*member); }, e.member);
    }
  }
  qFatal("no setting edit %s", qPrintable(edit));
}

}  // namespace

class SetParaWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void MeterNumFiveLeavesRowsSixToTwentyOut() {
    Window w;
    w.List("cbxMeterNum")->setCurrentIndex(4);
    QCOMPARE(w.state->Settings.MeterNum, 5);
    w.Click("cbAllSelected");
    for (int r = 0; r < kMeterRows; ++r) {
      for (const char* family : {"cbx", "cbxComm", "edtCurrAddr", "edtNewAddr", "cbxCaliber"})
        QCOMPARE(w.Find(QString("%1%2").arg(family).arg(r + 1))->isEnabled(), r < 5);
      QCOMPARE(w.state->Rows[r].Selected, r < 5);
    }
  }

  void EditsStoreTheirValuesOrKeepThem() {
    Window w(4, [](SharedState& s) {
      s.Settings.SetFlowPoints({50, 125, 250, 2500, 5000});
      s.Settings.StandardError = 2;
      for (FlowPointTerm& t : s.FlowPointTerms)
        t.Fluid = 20;
      s.Settings.CalibrationDue = "2026-03-31";
      s.Settings.FactoryServer = "service=old";
      s.Scale.Baud = 4800;
    });
    const std::tuple<const char*, const char*, double> cases[] = {
        {"edtWaitTime", "", 1000}, {"edtReadAgainTimes", "", 3},   {"edtFlux2", "", 0},
        {"edtFluidTerm", "", 0},   {"edtEntreTerm", "55.5", 55.5}, {"edtWaitTime", "750", 750},
        {"edtError", "2,5x", 2}};  // refused: the setting keeps its value
    QStringList told;
    for (const auto& [edit, text, stored] : cases) {
      told << w.Typed(edit, text);
      QCOMPARE(Setting(w.state->Settings, edit), stored);
    }
    for (const FlowPointTerm& t : w.state->FlowPointTerms)
      QVERIFY(t.Fluid == 0 && t.Entre == 55.5);
    QCOMPARE(w.Edit("edtError")->text(), QString("2"));
    QVERIFY(IsOneMessage(told, {"误差标准", "2,5x"}));

    // The bench group.
    QCOMPARE(w.List("cbxScaleBaud")->currentText(), QString("4800"));
    w.Click("chkParallel");
    Type(w.Edit("edtBenchName"), " Bench 7 ");
    Type(w.Edit("edtScaleDevice"), "tcp:scale:4001");
    w.List("cbxScaleProtocol")->setCurrentText("sbi");
    QCOMPARE(w.List("cbxScaleBaud")->currentText(), QString("1200"));
    w.List("cbxScaleParity")->setCurrentText("E");
    const SharedState& s = *w.state;
    QVERIFY(s.Settings.ParallelLines);
    QCOMPARE(s.Settings.BenchName, std::string("Bench 7"));
    QCOMPARE(s.Scale.Device, std::string("tcp:scale:4001"));
    QVERIFY(s.Scale.Line() == (ScaleLine{1200, 7, 'E', 1}));

    // A date that is none, and a password: field and setting as before.
    Type(w.Edit("edtCalibrationDue"), "2026-02-30");
    Type(w.Edit("edtServer"), "host=db password=secret");
    QCOMPARE(s.Settings.CalibrationDue + ";" + s.Settings.FactoryServer,
             std::string("2026-03-31;service=old"));
    QCOMPARE(w.Texts({"edtCalibrationDue", "edtServer"}),
             QStringList({"2026-03-31", "service=old"}));
    QTRY_COMPARE(w.boxes.texts.size(), 2);
    for (const char* part : {"校准到期", "2026-02-30", "yyyy-mm-dd"})
      QVERIFY2(w.boxes.texts[0].contains(QString::fromUtf8(part)), part);
    QVERIFY(w.boxes.texts[1].contains(".pgpass") && !w.boxes.texts[1].contains("secret"));
    Type(w.Edit("edtCalibrationDue"), "2027-01-15");
    QCOMPARE(s.Settings.CalibrationDue, std::string("2027-01-15"));
  }

  void PipeSizesCopiedAndTheirFlowPointsShown() {
    Window w(6);
    w.Select({0, 1, 3});
    w.Find<QCheckBox>("cbSame")->setChecked(true);
    const QStringList sizes = {"cbxCaliber1", "cbxCaliber2", "cbxCaliber3",
                               "cbxCaliber4", "cbxCaliber5", "cbxCaliber6"};
    w.List("cbxCaliber2")->setCurrentText("50");
    QCOMPARE(w.Texts(sizes), QStringList({"50", "50", "20", "50", "20", "20"}));
    w.Find<QCheckBox>("cbSame")->setChecked(false);
    w.List("cbxCaliber2")->setCurrentText("65");
    QCOMPARE(w.Texts(sizes), QStringList({"50", "65", "20", "50", "20", "20"}));
    // The bench's pipe size shows its default flow points at once.
    const QString before = w.Edit("edtFlux1")->text();
    w.List("cbxCaliber")->setCurrentText("300");
    QVERIFY(w.Edit("edtFlux1")->text() != before);
    for (int k = 0; k < kFlowPoints; ++k) {
      QCOMPARE(w.Edit(QString("edtFlux%1").arg(k + 1))->text(),
               QString::number(w.state->Settings.FlowPoints()[k]));
    }
  }

  void NewAddressesAreNumberedOverTheSelectedRows() {
    Window w(6);
    w.Select({2, 4, 5});
    QLineEdit* own = w.Edit("edtNewAddr2");
    Type(own, "00000000000123", false);
    QTest::mouseDClick(own, Qt::LeftButton);
    QCOMPARE(w.Texts({"edtNewAddr1", "edtNewAddr2", "edtNewAddr3", "edtNewAddr4", "edtNewAddr5",
                      "edtNewAddr6"}),
             QStringList({"", "123", "124", "", "125", "126"}));
    // Enter numbers the next selected row only, and beeps; a letter beeps
    // and is dropped.
    Type(w.Edit("edtNewAddr5"), "99999999999998", false);
    QTest::keyClick(w.Edit("edtNewAddr5"), Qt::Key_Return);
    QCOMPARE(w.Edit("edtNewAddr6")->text(), QString("99999999999999"));
    QVERIFY(w.Edit("edtNewAddr6")->hasFocus());
    QTest::keyClick(w.Edit("edtNewAddr6"), Qt::Key_A);
    QCOMPARE(w.Edit("edtNewAddr6")->text(), QString("99999999999999"));
    QCOMPARE(w.beeps, 2);
  }

  void CaptionsFollowTheLanguageAndEnterSkipsWhatIsDisabled() {
    Window w(4, [](SharedState& s) { s.Settings.MeterType = 1; });
    QCOMPARE(w.frm->windowTitle(), QString::fromUtf8("参数设置"));
    w.state->Settings.Language = 1;
    QTRY_COMPARE_WITH_TIMEOUT(w.frm->windowTitle(), QString("Parameter Settings"), 1500);
    QCOMPARE(w.Texts({"btn2", "cbxMeterType", "cbxCommType"}),
             QStringList({"Read Address", "Heat meter", "Multi serial port"}));
    QCOMPARE(w.List("cbxLanguage")->currentIndex(), 1);

    QVERIFY(w.Find("btnChannelStatus")->isHidden());
    w.List("cbxCommType")->setCurrentIndex(kCommChannel);
    QVERIFY(!w.Find("btnChannelStatus")->isHidden());
    for (const auto& [from, to] :
         {std::pair{"edtFlux4", "edtEntreTerm"}, std::pair{"cbxCommType", "cbxComm1"},
          std::pair{"cbxComm1", "cbxChannel1"}}) {
      w.Find(from)->setFocus();
      QTest::keyClick(w.Find(from), Qt::Key_Return);
      QVERIFY2(w.Find(to)->hasFocus(), from);
    }
  }

  void SingleSerialPortClosesTheOtherPorts() {
    SimWindow b(3, sim::Wiring::kMulti);
    SharedState& s = *b.state;
    b.List("cbxCommType")->setCurrentIndex(kCommSingle);
    QVERIFY(s.Slots[1].PortOpen && s.Slots[1].Port->IsOpen());
    for (int n : {2, 3})
      QVERIFY(!s.Slots[n].PortOpen && !s.Slots[n].Port->IsOpen());
    QVERIFY(!b.List("cbxComm2")->isEnabled());
    b.List("cbxCommType")->setCurrentIndex(kCommMulti);
    QVERIFY(b.List("cbxComm2")->isEnabled());
    QVERIFY(!s.Slots[2].PortOpen && !s.Slots[3].PortOpen);
    // Choosing the row's port again opens it.
    emit b.List("cbxComm2")->activated(2);
    QVERIFY(s.Slots[2].PortOpen && !s.Slots[3].PortOpen);
  }

  void SettingsChangedHereAreWhatTheMainWindowSaves() {
    test::Bench bench;
    auto program = bench.Start();
    program->MainFrm->findChild<QAction*>("nSetPara")->trigger();
    TSetParaFrm& frm = *program->SetParaFrm;
    QVERIFY(frm.isVisible());
    Type(frm.findChild<QLineEdit*>("edtWaitTime"), "750");
    frm.findChild<QComboBox*>("cbxMeterNum")->setCurrentIndex(7);
    frm.findChild<QComboBox*>("cbxCommType")->setCurrentIndex(kCommChannel);
    frm.findChild<QComboBox*>("cbxChannel2")->setCurrentIndex(5);
    Type(frm.findChild<QLineEdit*>("edtBenchName"), "Bench 7");
    frm.findChild<QComboBox*>("cbxScaleProtocol")->setCurrentIndex(2);
    QString shown;  // "通道状态" opens the channel status window modally
    test::CloseNextModal([&shown](QWidget* modal) { shown = modal->objectName(); });
    frm.findChild<QPushButton*>("btnChannelStatus")->click();
    QCOMPARE(shown, QString("ChannelStatusFrm"));
    program->MainFrm->findChild<QAction*>("nExit")->trigger();
    const auto sys = bench.Read("sysinfo.ini");
    for (const char* line : {"CommWaitTimer=750", "MeterNum=8", "CommType=3"})
      QVERIFY2(sys.contains(line), line);
    QVERIFY(sys.contains("[Bench]\r\nName=Bench 7\r\n"));
    const QByteArray comm = bench.Read("comminfo.ini");
    QVERIFY(comm.mid(comm.indexOf("[Channel]")).contains("1=5"));
    QVERIFY(comm.contains("Protocol=ascii"));
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

  void CoefficientsAndAnotherProtocol() {
    SimWindow b(2);
    b.bench->UpdateMeter(0, [](sim::MeterState& m) { m.reported_difference_ps = -0x12345678; });
    b.Select({0});
    // A coefficient not given stops the command before anything is sent.
    QVERIFY(IsOneMessage(b.Told([&] { b.Click("btnSetCoef"); }),
                         {"第1行系数一：未填写数值，未发送。"}));
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

    // Another protocol: only the clock is sent.
    b.state->Settings.CommProtocol = 1;
    b.Select({1});
    const size_t before = b.bench->ReceivedCount();
    for (const char* button : {"btn2", "btn5", "btn7", "btnReadCoef"}) {
      b.Click(button);
      QCOMPARE(b.Lamps(2), QList<QColor>({kRed, kRed}));
    }
    QCOMPARE(b.bench->ReceivedCount(), before);
    b.Click("btn4");
    QCOMPARE(b.bench->ReceivedCount(), before + 2);
    QCOMPARE(b.Lamps(2), QList<QColor>({kLime, kLime}));
  }

  void WritesIntoSingleRows() {
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

    // A new address written into row 5.
    b.Select({4});
    Type(b.Edit("edtNewAddr5"), "123", false);
    b.Click("btn3");
    QCOMPARE(b.Lamp(4), kLime);
    QCOMPARE(b.Edit("edtCurrAddr5")->text(), QString("00000000000123"));
    QCOMPARE(b.state->Rows[4].Address, std::string("00000000000123"));
    QCOMPARE(b.bench->Meter(4).address.Text(), std::string("00000000000123"));
  }

  void OperationsOnRowsOneToFour() {
    // Meter 3 silent: red among lime lamps, logged per meter, then idle.
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

    b.bench->SetFaults(2, {});  // meter 3 answers again
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

QTEST_MAIN(SetParaWindowTest)
#include "set_para_window_test.moc"
