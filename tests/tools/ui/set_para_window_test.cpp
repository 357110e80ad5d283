// The parameter settings window's controls: rows enabled by the meter
// count, the settings edits with their empty values and refused texts, the
// pipe size copied with "同", the new-address numbering, the language
// follow-up, the Enter chain and the communication modes with their ports,
// and the settings the main window saves when it closes.
#include "core/settings_files.h"
#include "set_para_support.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::set_para_test;

namespace {

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
  }

  void BenchGroupStoresItsFieldsOrRefusesThem() {
    Window w(4, [](SharedState& s) {
      s.Settings.CalibrationDue = "2026-03-31";
      s.Settings.FactoryServer = "service=old";
      s.Scale.Baud = 4800;
    });
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
    QCOMPARE(s.Settings.CalibrationDue, std::string("2026-03-31"));
    QCOMPARE(w.Edit("edtCalibrationDue")->text(), QString("2026-03-31"));
    QCOMPARE(s.Settings.FactoryServer, std::string("service=old"));
    QCOMPARE(w.Edit("edtServer")->text(), QString("service=old"));
    QTRY_COMPARE(w.boxes.texts.size(), 2);
    for (const char* part : {"校准到期", "2026-02-30", "yyyy-mm-dd"})
      QVERIFY2(w.boxes.texts[0].contains(QString::fromUtf8(part)), part);
    QVERIFY(w.boxes.texts[1].contains(".pgpass") && !w.boxes.texts[1].contains("secret"));
    Type(w.Edit("edtCalibrationDue"), "2027-01-15");
    QCOMPARE(s.Settings.CalibrationDue, std::string("2027-01-15"));
  }

  void SameCopiesThePipeSizeToTheSelectedRows() {
    Window w(6);
    w.Select({0, 1, 3});
    w.Find<QCheckBox>("cbSame")->setChecked(true);
    w.List("cbxCaliber2")->setCurrentText("50");
    for (int r = 0; r < 6; ++r)
      QCOMPARE(w.Grid().cbxCaliber[r]->currentText(), QString(r == 2 || r > 3 ? "20" : "50"));
    w.Find<QCheckBox>("cbSame")->setChecked(false);
    w.List("cbxCaliber2")->setCurrentText("65");
    QCOMPARE(w.List("cbxCaliber1")->currentText(), QString("50"));
    QCOMPARE(w.List("cbxCaliber2")->currentText(), QString("65"));
  }

  void APipeSizeShowsItsDefaultFlowPointsAtOnce() {
    Window w(2);
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
    const QStringList numbered{"", "123", "124", "", "125", "126"};
    for (int r = 0; r < 6; ++r)
      QCOMPARE(w.Grid().edtNewAddr[r]->text(), numbered[r]);
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

  void CaptionsFollowTheLanguageWithinASecond() {
    Window w(4, [](SharedState& s) { s.Settings.MeterType = 1; });
    QCOMPARE(w.frm->windowTitle(), QString::fromUtf8("参数设置"));
    w.state->Settings.Language = 1;
    QTRY_COMPARE_WITH_TIMEOUT(w.frm->windowTitle(), QString("Parameter Settings"), 1500);
    QCOMPARE(w.Texts({"btn2", "cbxMeterType", "cbxCommType"}),
             QStringList({"Read Address", "Heat meter", "Multi serial port"}));
    QCOMPARE(w.List("cbxLanguage")->currentIndex(), 1);
  }

  void EnterSkipsWhatIsDisabled() {
    Window w(4);
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
};

QTEST_MAIN(SetParaWindowTest)
#include "set_para_window_test.moc"
