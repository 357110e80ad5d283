// The flow detection window without meters: its controls, what it shows and
// hides, its captions in both languages, the operator's input and the bench
// values with the flow errors they give.
#include <QScrollArea>
#include <QScrollBar>

#include "flow_support.h"

using namespace qv;
using namespace qv::flow_test;
using test::IsOneMessage;

class FlowWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryControlUnderItsName() {
    Window w;
    QCOMPARE(w.frm->objectName(), QString("FlowDetectionFrm"));
    QStringList names = {"cbxAll1",     "edtWeight0",  "edtWeight1",  "edtWeight",
                         "edtVolume",   "edtFluxTerm", "edtHighTerm", "edtMidTerm",
                         "edtLowTerm",  "cbxFlux",     "cbxCaliber",  "cbxLevel",
                         "cbxLocation", "lblOperName", "lblDateTime1"};
    for (int n = 1; n <= 20; ++n) {
      for (const char* family : {"cbx", "edtAddr", "edtEntreTerm", "edtExitTerm", "rzpl"})
        names << QString("%1%2").arg(family).arg(n);
      for (int q = 1; q <= 5; ++q) {
        for (const char* kind : {"Bulk", "Error", "Coef"})
          names << QString("edtQ%1%2%3").arg(q).arg(kind).arg(n);
      }
    }
    for (int q = 1; q <= 5; ++q)
      names << QString("edtFlux%1").arg(q) << QString("lblError%1").arg(q);
    for (const QString& name : names)
      QVERIFY2(w.frm->findChild<QWidget*>(name), qPrintable(name));
    for (const char* name :
         {"btnCheckIn", "btnInit", "btnStart", "BtnFlow", "btnExit", "btnExitCheck", "btnClear",
          "btnClearFace", "btnExcel", "btnMonitorInfo", "btnCalibration"})
      QVERIFY2(w.Find<QPushButton>(name), name);
    for (const char* name : {"spbtnHighTerm", "spbtnMidTerm", "spbtnLowTerm"})
      QVERIFY2(w.Find<QToolButton>(name), name);
    QVERIFY(w.Find<QPushButton>("btnMonitorInfo")->isHidden());

    // Only the language follow-up runs while the window is idle.
    for (const char* name : {"ReadTimer", "StatusTimer", "Timer1"}) {
      auto* t = w.frm->findChild<QTimer*>(name);
      QVERIFY2(t, name);
      QCOMPARE(t->isActive(), QString(name) == "Timer1");
    }
    // Cells the meters fill are not typed in; the address takes ten digits.
    for (const char* name : {"edtQ3Error7", "edtQ3Coef7", "edtEntreTerm7", "edtQ3Bulk7"})
      QVERIFY2(w.Edit(name)->isReadOnly() == (name != std::string("edtQ3Bulk7")), name);
    QCOMPARE(w.Edit("edtAddr7")->maxLength(), 10);
    QCOMPARE(w.Edit("edtQ3Error7")->maxLength(), 8);
  }

  void SettingsShownAndWrittenBack() {
    Window w(16, [](SharedState& s) {
      s.Settings.DN = 5;  // 50 mm
      s.Settings.MeasurementLevel = 2;
      s.Settings.Location = 1;
      s.Rows[2].Selected = true;
      s.Rows[2].Address = "2024000003";
    });
    QCOMPARE(w.Find<QComboBox>("cbxCaliber")->count(), 18);
    QVERIFY(w.Find<QCheckBox>("cbx3")->isChecked());
    // Class 3 at DN 50 and 50 L/h: 3 + 0.05 × 50 / 50.
    QCOMPARE(w.Texts({"cbxCaliber", "cbxLevel", "cbxLocation", "lblOperName", "lblDateTime1",
                      "edtFlux3", "edtAddr3", "edtWeight0", "edtWeight1", "edtWeight",
                      "edtFluxTerm", "edtQ1Bulk1", "lblError1"}),
             QStringList({"50", "3 级", "进水", "Test", "2024-03-05", "250", "2024000003", "0", "0",
                          "0", "20", "", " Err(3.05)"}));

    // The operator's edits write the settings back.
    SystemSettings& s = w.state->Settings;
    w.Find<QComboBox>("cbxCaliber")->setCurrentIndex(8);
    QCOMPARE(s.DN, 8);
    // Class 3 at DN 100 and 50 L/h: 3 + 0.05 × 100 / 50 = 3.10.
    QCOMPARE(w.Find<QLabel>("lblError1")->text(), QString(" Err(3.10)"));
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(0);
    QCOMPARE(s.MeasurementLevel, 0);
    QCOMPARE(w.Find<QLabel>("lblError1")->text(), QString(" Err(1.02)"));
    w.Find<QComboBox>("cbxLocation")->setCurrentIndex(0);
    QCOMPARE(s.Location, 0);
    Type(w.Edit("edtFlux1"), "100");
    QCOMPARE(s.FluxOne, 100);
    QCOMPARE(w.Find<QLabel>("lblError1")->text(), QString(" Err(1.01)"));
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(3);
    QCOMPARE(w.frm->Sheet().SelectedPoint(), 3);
  }

  void LayoutFollowsTheSettings() {
    Window w(16);
    // Rows after MeterNum are disabled, the others enabled; "全选" selects
    // the enabled ones, and again none.
    for (const char* family : {"cbx", "edtAddr", "edtQ1Bulk", "edtQ5Coef", "edtExitTerm"}) {
      for (int row : {16, 17, 20})
        QVERIFY2(w.Find(family + QString::number(row))->isEnabled() == (row == 16), family);
    }
    w.Find<QCheckBox>("cbxAll1")->click();
    for (int r = 0; r < kMeterRows; ++r) {
      QCOMPARE(w.Grid().cbx[r]->isChecked(), r < 16);
      QCOMPARE(w.state->Rows[r].Selected, r < 16);
    }
    w.Find<QCheckBox>("cbxAll1")->click();
    QVERIFY(!w.state->Rows[0].Selected);
    const QStringList layout = {"btnStart",   "btnExit",     "btnInit",     "gbFlux5",
                                "edtQ5Bulk1", "edtQ5Error1", "edtQ5Coef20", "edtQ4Bulk1"};
    // DN 20: no start and end; MeterType 0: no initialisation.
    QCOMPARE(w.Shown(layout),
             QStringList({"gbFlux5", "edtQ5Bulk1", "edtQ5Error1", "edtQ5Coef20", "edtQ4Bulk1"}));
    // The flow detection keeps its fifth point whatever FluxNum says.
    std::tie(w.state->Settings.DN, w.state->Settings.MeterType, w.state->Settings.FluxNum) =
        std::tuple{4, 1, 3};  // 40 mm
    w.Reshow();
    QCOMPARE(w.Shown(layout), QStringList({"btnInit", "gbFlux5", "edtQ5Bulk1", "edtQ5Error1",
                                           "edtQ5Coef20", "edtQ4Bulk1"}));
    std::tie(w.state->Settings.DN, w.state->Settings.FluxNum) = std::tuple{5, 4};  // 50 mm
    w.Reshow();
    QCOMPARE(w.Shown(layout), QStringList({"btnStart", "btnExit", "btnInit", "edtQ4Bulk1"}));
  }

  void FitsTheScreenInBothLanguages() {
    for (int language : {0, 1}) {
      Window w(20, [language](SharedState& s) {
        s.Settings.Language = language;
        s.Settings.DN = 5;
        s.Settings.MeterType = 1;
      });
      // The client area of a maximised window on a 1366 × 768 screen.
      w.frm->resize(1366, 680);
      QApplication::processEvents();
      auto* outer = w.frm->findChild<QScrollArea*>();
      QVERIFY(outer);
      QCOMPARE(outer->horizontalScrollBar()->maximum(), 0);
      QCOMPARE(outer->verticalScrollBar()->maximum(), 0);
      // No caption is cut: every label and button gets its text's width.
      for (auto* button : w.frm->findChildren<QPushButton*>()) {
        if (button->isHidden()) continue;
        QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
      }
      for (auto* label : w.frm->findChildren<QLabel*>()) {
        if (label->isHidden() || label->text().isEmpty()) continue;
        QVERIFY2(label->width() >= label->minimumSizeHint().width(), qPrintable(label->text()));
      }
    }
  }

  void CaptionsFollowTheLanguageWithinASecond() {
    Window w;
    QCOMPARE(w.frm->windowTitle(), QString("流量检测"));
    QCOMPARE(w.Texts({"cbxAll1", "btnCheckIn", "gbFlux3"}),
             QStringList({"全选", "进入检定", "流量三"}));
    QCOMPARE(w.Find<QComboBox>("cbxFlux")->itemText(4), QString("流量五"));
    QCOMPARE(w.frm->CompensateMenu()->actions().value(0)->text(), QString("补偿"));

    w.state->Settings.Language = 1;
    QTRY_COMPARE_WITH_TIMEOUT(w.frm->windowTitle(), QString("Flow Detection"), 5000);
    // One of each kind of control; that every name of the table exists is
    // checked for every window by the main window's test.
    QCOMPARE(w.Texts({"cbxAll1", "lblFluxTerm", "btnCheckIn", "btnExit", "gbBench", "gbFlux5"}),
             QStringList(
                 {"Select All", " Fluid：", "Enter Detection", "End", "Coefficient", "Flow Five"}));
    QCOMPARE(w.Find<QComboBox>("cbxLevel")->itemText(2), QString("Level three"));
    QCOMPARE(w.Find<QComboBox>("cbxFlux")->itemText(0), QString("Flux one"));
    // Any language but 1 is Chinese.
    w.state->Settings.Language = 2;
    QTRY_COMPARE_WITH_TIMEOUT(w.frm->windowTitle(), QString("流量检测"), 5000);
  }

  void AddressKeysAndNumbering() {
    Window w;
    QLineEdit* addr1 = w.Edit("edtAddr1");
    QTest::keyClicks(addr1, "12a3-");
    QCOMPARE(addr1->text(), QString("123"));
    QCOMPARE(w.beeps, 2);
    QCOMPARE(w.state->Rows[0].Address, std::string("123"));
    QTest::keyClick(addr1, Qt::Key_Backspace);
    QCOMPARE(addr1->text(), QString("12"));
    QCOMPARE(w.beeps, 2);

    // Enter: the next selected row below gets the next number and the focus.
    w.Select({2, 3});
    w.frm->activateWindow();
    addr1->setFocus();
    QTest::keyClick(addr1, Qt::Key_Return);
    QCOMPARE(w.beeps, 3);
    QCOMPARE(w.Texts({"edtAddr2", "edtAddr3", "edtAddr4"}), QStringList({"", "13", ""}));
    QCOMPARE(w.state->Rows[2].Address, std::string("13"));

    // Double click on row 3's address 100, rows 4, 6 and 7 selected and
    // row 5 not: 101, 102, 103; row 5 keeps its address.
    w.Select({5, 6});
    w.Edit("edtAddr5")->setText("555");
    w.Edit("edtAddr3")->setText("0100");
    QTest::mouseDClick(w.Edit("edtAddr3"), Qt::LeftButton);
    QCOMPARE(w.Texts({"edtAddr3", "edtAddr4", "edtAddr5", "edtAddr6", "edtAddr7"}),
             QStringList({"100", "101", "555", "102", "103"}));
    // No address is no number to count on from: nothing is renumbered.
    w.Edit("edtAddr1")->clear();
    QVERIFY(IsOneMessage(w.Told([&] { QTest::mouseDClick(w.Edit("edtAddr1"), Qt::LeftButton); }),
                         {"第1行地址"}));
    QCOMPARE(w.Edit("edtAddr3")->text(), QString("100"));

    // "界面清空" empties the cells but keeps the addresses and the rows'
    // coefficients.
    w.Edit("edtQ2Coef5")->setText("10123");
    QCOMPARE(w.state->Rows[4].Coefficients[1], 10123);
    for (const char* name : {"edtQ2Bulk5", "edtQ2Error5", "edtEntreTerm5", "edtExitTerm20"})
      w.Edit(name)->setText("1.00");
    QTest::mouseClick(w.Find<QPushButton>("btnClearFace"), Qt::LeftButton);
    QCOMPARE(w.Texts({"edtQ2Bulk5", "edtQ2Error5", "edtQ2Coef5", "edtEntreTerm5", "edtExitTerm20",
                      "edtAddr5"}),
             QStringList({"", "", "", "", "", "555"}));
    QCOMPARE(w.state->Rows[4].Coefficients[1], 10123);
  }

  void EnterMovesAlongTheChains() {
    Window w;
    w.frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.frm.get()));
    const QStringList chains[] = {{"edtWeight0", "edtFluxTerm", "edtWeight1", "edtWeight",
                                   "edtVolume", "cbxFlux", "btnCalibration"},
                                  {"cbxCaliber", "cbxLevel", "cbxLocation"},
                                  {"edtHighTerm", "edtMidTerm", "edtLowTerm"}};
    for (const QStringList& chain : chains) {
      w.Find(chain[0])->setFocus();
      for (const QString& next : chain.mid(1)) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
      }
    }
  }

  void WeighingGivesEachPointsStandardVolume() {
    Window w;
    Type(w.Edit("edtFluxTerm"), "20.5");
    // An initial reading above the final 0 the window starts with is told.
    QCOMPARE(w.Typed("edtWeight0", "10"), QStringList({"称末值不能小于称初值"}));
    QCOMPARE(w.Edit("edtWeight")->text(), QString("0"));
    Type(w.Edit("edtWeight1"), "110");
    QCOMPARE(w.Texts({"edtWeight", "edtVolume"}), QStringList({"100", "100.167"}));
    QCOMPARE(w.frm->Sheet().StandardVolume(0), 100.167);
    QCOMPARE(w.frm->Sheet().Bench(0, BenchField::kFluid), 20.5);
    Type(w.Edit("edtQ1Bulk1"), "101");
    const QStringList weighed = w.Texts({"edtWeight", "edtVolume", "edtQ1Error1"});

    // A final reading below the initial one, or an initial one above it ("25"
    // on the way weighs 85): told once the editing ends, nothing changes.
    for (const auto& [field, text] : {std::pair{"edtWeight1", "5"}, {"edtWeight0", "250"}}) {
      QCOMPARE(w.Typed(field, text), QStringList({"称末值不能小于称初值"}));
      QCOMPARE(w.Texts({"edtWeight", "edtVolume", "edtQ1Error1"}), weighed);
      QCOMPARE(w.frm->Sheet().StandardVolume(0), 100.167);
    }

    // A fluid temperature outside the table keeps the volume; nor is the
    // 2 °C of the first keystroke of 200 taken.
    for (const char* t : {"1", "0.5", "-4", "150.5", "200"}) {
      QVERIFY(IsOneMessage(w.Typed("edtFluxTerm", t), {"1 至 150 ℃", "未作更改"}));
      QCOMPARE(w.Texts({"edtFluxTerm", "edtVolume"}), QStringList({"20.5", "100.167"}));
      QCOMPARE(w.frm->Sheet().StandardVolume(0), 100.167);
    }

    // Each point shows its own bench values; a typed weight gives its volume
    // too, in the point's own slot.
    const QStringList bench = {"edtWeight0", "edtWeight1", "edtWeight", "edtVolume"};
    const QStringList point1 = w.Texts(bench);
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    QCOMPARE(w.Texts(bench), QStringList(4, ""));
    QCOMPARE(w.Typed("edtWeight", "50"), QStringList());
    QCOMPARE(w.Edit("edtVolume")->text(), QString("50.084"));
    QCOMPARE(w.frm->Sheet().StandardVolume(1), 50.084);
    QCOMPARE(w.frm->Sheet().StandardVolume(0), 100.167);
    // A stricter class measures point 1's cells against point 1's volume.
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(0);
    QCOMPARE(w.Edit("edtQ1Error1")->text(), weighed[2]);
    Type(w.Edit("edtVolume"), "50");
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(0);
    QCOMPARE(w.Texts(bench), point1);
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    QCOMPARE(w.Edit("edtVolume")->text(), QString("50.000"));
  }

  void TextThatIsNoNumberIsNeverKept() {
    Window w;
    Type(w.Edit("edtWeight1"), "100");
    Type(w.Edit("edtQ1Bulk1"), "101");
    const QStringList weighed = w.Texts({"edtVolume", "edtQ1Error1"});
    const std::pair<const char*, const char*> fields[] = {
        {"edtWeight0", "称初值"},  {"edtWeight1", "称末值"},         {"edtWeight", "重量"},
        {"edtVolume", "标准体积"}, {"edtFluxTerm", "流体"},          {"edtFlux2", "流量二"},
        {"edtHighTerm", "高温"},   {"edtQ3Bulk4", "第4行流量三体积"}};
    for (const auto& [name, field] : fields) {
      const QString before = w.Edit(name)->text();
      QVERIFY(IsOneMessage(w.Typed(name, "abc"), {field, "abc"}));
      QCOMPARE(w.Edit(name)->text(), before);
    }
    QCOMPARE(w.state->Settings.FluxTwo, 25);
    // Typing on past a number: the value from before the editing comes back.
    for (const auto& [name, text, before] :
         {std::tuple{"edtWeight0", "12x", "0"}, {"edtVolume", "12a", "100.156"}}) {
      QCOMPARE(w.Typed(name, text).size(), 1);
      QCOMPARE(w.Edit(name)->text(), QString(before));
    }
    QCOMPARE(w.Texts({"edtVolume", "edtQ1Error1"}), weighed);
    QCOMPARE(w.frm->Sheet().StandardVolume(0), 100.156);
    // A flow point is a whole number of litres an hour.
    QCOMPARE(w.Typed("edtFlux2", "25.5").size(), 1);
    QCOMPARE(w.state->Settings.FluxTwo, 25);
    QCOMPARE(w.Edit("edtFlux2")->text().toDouble(), 25.0);
  }

  void ErrorsAgainstTheLimit() {
    Window w;
    Type(w.Edit("edtVolume"), "100.000");
    QCOMPARE(w.Find<QLabel>("lblError1")->text(), QString(" Err(2.01)"));
    Type(w.Edit("edtQ1Bulk1"), "100.50");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString("0.50"));
    QCOMPARE(w.Grid().ErrorColour(0, 0), kBlack);
    // -2.01 exceeds the unrounded 2.008 although the label reads Err(2.01).
    Type(w.Edit("edtQ1Bulk2"), "97.99");
    QCOMPARE(w.Edit("edtQ1Error2")->text(), QString("-2.01"));
    QCOMPARE(w.Grid().ErrorColour(1, 0), kRed);

    // With "流量二" selected, a point-1 cell is still measured against the
    // point-1 standard volume.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(1);
    Type(w.Edit("edtVolume"), "50");
    Type(w.Edit("edtQ1Bulk3"), "51");
    QCOMPARE(w.Edit("edtQ1Error3")->text(), QString("-49.00"));
    QCOMPARE(w.Grid().ErrorColour(2, 0), kRed);

    // A stricter class re-evaluates every point's cells.
    w.Find<QComboBox>("cbxFlux")->setCurrentIndex(0);
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(0);  // limit 1.004
    QCOMPARE(w.Texts({"edtQ1Error3", "edtQ1Error1"}), QStringList({"-49.00", "0.50"}));
    QCOMPARE(w.Grid().ErrorColour(0, 0), kBlack);
    Type(w.Edit("edtQ1Bulk1"), "101.5");
    QCOMPARE(w.Grid().ErrorColour(0, 0), kRed);
    // Without a standard volume there is no error to show.
    Type(w.Edit("edtVolume"), "");
    Type(w.Edit("edtQ1Bulk1"), "100.5");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString());
    // An error is shown whole, however long; a standard volume of 0 gives none.
    Type(w.Edit("edtVolume"), "0.0032");
    Type(w.Edit("edtQ1Bulk1"), "80");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString("2499900.00"));
    QCOMPARE(w.Grid().ErrorColour(0, 0), kRed);
    Type(w.Edit("edtVolume"), "0");
    QCOMPARE(w.Edit("edtQ1Error1")->text(), QString());
  }

  void ReevaluationStopsAtFluxNum() {
    Window w(20, [](SharedState& s) { s.Settings.FluxNum = 3; });
    for (int point : {1, 3}) {
      w.Find<QComboBox>("cbxFlux")->setCurrentIndex(point);
      Type(w.Edit("edtVolume"), "100");
    }
    w.Edit("edtQ4Bulk1")->setText("103");
    w.Edit("edtQ2Bulk1")->setText("103");
    w.Find<QComboBox>("cbxLevel")->setCurrentIndex(2);
    QCOMPARE(w.Texts({"edtQ2Error1", "edtQ4Error1"}), QStringList({"3.00", ""}));
  }
};

QTEST_MAIN(FlowWindowTest)
#include "flow_window_test.moc"
