// The other-parameters window: its controls and captions, "全同" copying,
// the remembered pipe mode, values refused before sending, and its
// operations against simulated meters on pseudo-terminals.
#include <QtTest>

#include "support/window_fixture.h"
#include "tools/ui/other_para_frm.h"
#include "tools/ui/other_para_grid.h"

using namespace qv;

namespace {

// The window on `meters` simulated meters on one line, all selected.
struct Bench : test::WindowFixture<TOtherParaFrm> {
  explicit Bench(int meters) {
    sim::BenchOptions o;
    o.meter_count = meters;
    StartBench(o);
    SystemSettings& s = state->Settings;
    s.MeterNum = meters;
    s.ReadAgainTimes = 2;
    s.CommWaitTimer = 500;
    s.CommType = kCommSingle;
    Make([meters](SharedState& state) {
      for (int r = 0; r < meters; ++r)
        state.Rows[r].Selected = true;
    });
  }
  TOtherParaGrid& Grid() const { return frm->Grid(); }
};

}  // namespace

class OtherParaWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsAndCaptionsInBothLanguages() {
    Bench b(2);
    QCOMPARE(b.frm->objectName(), QString("OtherParaFrm"));
    for (const char* name : {"edtAddr20", "edtData20", "edtLoStad20", "edtHiExit20",
                             "edtTimeDiff20", "edtDownstream20", "edtUpstream20", "edtPipeline20",
                             "edtAccFlow20", "edtFlow20", "edtStatus20", "edtPtNo20"})
      QVERIFY2(b.frm->findChild<QLineEdit*>(name), name);
    QCOMPARE(b.Grid().edtAddr[0]->maxLength(), 10);
    QCOMPARE(b.Texts({"btn5", "gbTerm"}), QStringList({"写分摊数据", "温度配对数据"}));
    QCOMPARE(b.Grid().cbxPipeline[0]->itemText(1), QString("双"));
    QVERIFY(b.frm->findChild<QLabel*>("lblCN")->isVisible());
    // The language chosen elsewhere reaches the shown window within a second.
    b.state->Settings.Language = 1;
    QTRY_COMPARE_WITH_TIMEOUT(b.Texts({"btn18"}), QStringList{"Write PT No."}, 5000);
    QCOMPARE(b.Grid().cbxPipeline[0]->itemText(1), QString("Double"));
    QCOMPARE(b.Texts({"cbOther"}), QStringList{"All Same"});
    QVERIFY(!b.frm->findChild<QLabel*>("lblCN")->isVisible());
    // No column heading is cut ("Standard.", "Time Diff.").
    for (QLabel* heading : b.Grid().findChildren<QLabel*>()) {
      if (heading->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored) continue;
      QVERIFY2(heading->fontMetrics().horizontalAdvance(heading->text()) <= heading->width(),
               qPrintable(heading->text()));
    }
  }

  void AllSameCopiesAndAddressesNumberTheRows() {
    Bench b(4);
    b.Grid().cbx[1]->setChecked(false);
    QVERIFY(!b.state->Rows[1].Selected);
    // "全同" copies to every row, selected or not.
    b.Grid().cbDataType->setChecked(true);
    b.Grid().edtData[2]->setText("5");
    QCOMPARE(b.Texts({"edtData1", "edtData2", "edtData3", "edtData4", "edtData5"}),
             QStringList({"5", "5", "5", "5", ""}));
    b.Grid().cbOther->setChecked(true);
    b.Grid().cbxPipeline[1]->setCurrentIndex(1);
    b.frm->hide();
    b.frm->show();
    for (int r = 0; r < 4; ++r)
      QCOMPARE(b.Grid().cbxPipeline[r]->currentText(), QString("双"));
    // A double click numbers the selected rows below; row 2 keeps its own.
    b.Grid().edtAddr[0]->setText("0099");
    QTest::mouseDClick(b.Grid().edtAddr[0], Qt::LeftButton);
    QCOMPARE(b.Texts({"edtAddr1", "edtAddr2", "edtAddr3"}),
             QStringList({"99", "2024000002", "100"}));
    QCOMPARE(b.state->Rows[3].Address, std::string("101"));
  }

  void WritesAndReadBacksAgainstTheBench() {
    Bench b(2);
    b.Grid().cbDataType->setChecked(true);
    b.Grid().edtData[0]->setText("12.3456");
    b.Click("btn1");
    QCOMPARE(b.bench->Meter(0).heat_wh, uint64_t{12345});
    QCOMPARE(b.Lamp(1), TMeterGrid::kLime);
    b.Grid().edtData[0]->setText("7.9");
    b.Click("btn4");
    QCOMPARE(b.bench->Meter(1).work_hours, uint64_t{7});

    b.Grid().edtPtNo[1]->setText("4000000001");
    b.Grid().cbxHeatUnit[1]->setCurrentIndex(1);
    b.Grid().cbxPipeline[1]->setCurrentIndex(1);
    b.state->Rows[0].Selected = false;
    for (const char* button : {"btn14", "btn16", "btn18"})
      b.Click(button);
    b.Grid().edtPtNo[1]->clear();
    b.Grid().cbxHeatUnit[1]->setCurrentIndex(0);
    b.Grid().cbxPipeline[1]->setCurrentIndex(0);
    b.bench->UpdateMeter(1, [](sim::MeterState& m) {
      m.pairing[0] = 2500;
      m.volume_l = 123456;
    });
    b.Grid().cbOther->setChecked(true);  // a read-back stays in its own row
    for (const char* button : {"btn13", "btn15", "btn17", "btn9", "btn8"})
      b.Click(button);
    QCOMPARE(b.Lamp(1), TMeterGrid::kLime);
    QCOMPARE(b.Texts({"edtPtNo2", "cbxHeatUnit2", "cbxHeatUnit1", "edtLoStad2", "edtAccFlow2"}),
             QStringList({"4000000001", "GJ", "kWh", "25.00", "1234.56"}));
    QCOMPARE(b.Grid().cbxPipeline[1]->currentIndex(), 1);
    QCOMPARE(b.Edit("edtStatus2")->text().size(), 4);
    b.Click("btn7");
    QCOMPARE(b.Texts({"edtAccFlow2", "edtTimeDiff2"}), QStringList({"1234.56", ""}));
    // Another protocol sends nothing.
    b.state->Settings.CommProtocol = 1;
    const size_t before = b.bench->ReceivedCount();
    b.Click("btn17");
    QCOMPARE(b.Lamp(1), TMeterGrid::kRed);
    QCOMPARE(b.bench->ReceivedCount(), before);
  }

  void BadValueIsRefusedAndSilentMeterRed() {
    Bench b(2);
    // Operation|row 2's cell|its text (the other cells 1)|language|the field
    // named[|the range the message gives].
    const char* cases[] = {"3|Data|1.2.3|0|第2行写数据",
                           "1|Data||0|第2行写数据",
                           "2|Data||1|Row 2 Write Data",
                           "3|Data||0|第2行写数据",
                           "4|Data||1|Row 2 Write Data",
                           "5|Data||0|第2行写数据",
                           "6|Data||1|Row 2 Write Data",
                           "10|LoStad||0|第2行低温标准",
                           "12|HiExit||0|第2行高温回水",
                           "11|MiEntre||1|Row 2 Medi. Temp. Entre",
                           "18|PtNo||1|Row 2 PT No",
                           "1|Data|1000000000|0|第2行写数据|0～999999999.999",
                           "4|Data|1000000000000|1|Row 2 Write Data|0 to 999999999999",
                           "10|LoStad|100|0|第2行低温标准|0～99.99"};
    for (const QString c : cases) {
      const QStringList f = c.split('|');
      for (QLineEdit* e : b.frm->findChildren<QLineEdit*>(QRegularExpression("^edt[^A]")))
        e->setText("1");
      b.frm->findChild<QLineEdit*>("edt" + f[1] + "2")->setText(f[2]);
      b.state->Settings.Language = f[3].toInt();
      const QStringList told = b.Told([&] { b.Click("btn" + f[0]); });
      QVERIFY2(told.size() == 1 && told[0].startsWith(f[4]) && told[0].contains(f[2]) &&
                   (f.size() < 6 || told[0].contains(f[5])),
               qPrintable(told.join('|')));
      QCOMPARE(b.bench->ReceivedCount(), size_t{0});
    }
    b.bench->SetFaults(1, {.silent = true});
    b.Click("btn13");
    QCOMPARE(b.Lamps(2), QList<QColor>({TMeterGrid::kLime, TMeterGrid::kRed}));
  }
};

QTEST_MAIN(OtherParaWindowTest)
#include "other_para_window_test.moc"
