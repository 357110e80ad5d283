// The channel-status snapshot: switch channels and the rows' ports.
#include "support/window_support.h"

using namespace qv;
using namespace qv::shell_test;

namespace {

QColor Colour(const QFrame* panel) {
  return panel->palette().color(QPalette::Window);
}

}  // namespace

class ChannelStatusFrmTest : public QObject {
  Q_OBJECT

 private slots:
  void OnlyConfirmedChannelsAreLimeAndSeventeenToTwentyRed() {
    Bench bench;
    SharedState& s = *bench.state;
    for (int c = 0; c < 16; c += 2)
      s.ChannelState[c] = 1;  // as the switch reports
    TChannelStatusFrm form(s);
    form.show();
    for (int c = 0; c < 16; ++c) {
      QCOMPARE(Colour(form.ChannelPanels()[c]),
               c % 2 == 0 ? TChannelStatusFrm::kLime : TChannelStatusFrm::kRed);
    }
    for (int c = 16; c < 20; ++c) {
      QCOMPARE(form.ChannelPanels()[c]->objectName(), QString("rzpl%1").arg(c + 1));
      QCOMPARE(Colour(form.ChannelPanels()[c]), TChannelStatusFrm::kRed);
    }
  }

  void ARowShowsLimeOnlyWhenItsPortOpened() {
    Pty com5;
    Bench bench;
    // Row 1 on COM5 (opens), row 2 on COM6 (no such device), row 3 none.
    bench.Write("comminfo.ini", QByteArray("[Comm]\n0=5\n1=6\n[Devices]\n5=") +
                                    com5.Path().c_str() + "\n6=" + bench.Path("absent").toUtf8() +
                                    "\n");
    auto program = bench.Start();
    SharedState& s = *bench.state;
    QVERIFY(s.Slots[5].PortOpen);
    QVERIFY(!s.Slots[6].PortOpen);
    TChannelStatusFrm form(s);
    form.show();
    QCOMPARE(form.PortPanels()[0]->objectName(), QString("rzplCom1"));
    QCOMPARE(Colour(form.PortPanels()[0]), TChannelStatusFrm::kLime);
    QCOMPARE(Colour(form.PortPanels()[1]), TChannelStatusFrm::kRed);
    for (int row = 2; row < 20; ++row)
      QCOMPARE(Colour(form.PortPanels()[row]), TChannelStatusFrm::kRed);
  }

  void ColoursAreASnapshotTakenWhenShown() {
    Bench bench;
    SharedState& s = *bench.state;
    TChannelStatusFrm form(s);
    form.show();
    s.ChannelState[0] = 1;
    QTest::qWait(20);
    QCOMPARE(Colour(form.ChannelPanels()[0]), TChannelStatusFrm::kRed);
  }

  void CaptionsByLanguage() {
    Bench bench;
    SharedState& s = *bench.state;
    {
      TChannelStatusFrm form(s);
      form.show();
      QCOMPARE(form.windowTitle(), QString("通道状态"));
      QCOMPARE(form.findChild<QGroupBox*>("GroupBox1")->title(), QString("  串口状态"));
      QCOMPARE(form.findChild<QGroupBox*>("GroupBox2")->title(), QString("  通道状态"));
    }
    s.Settings.Language = 1;
    TChannelStatusFrm form(s);
    form.show();
    QCOMPARE(form.windowTitle(), QString("Channel State"));
    QCOMPARE(form.findChild<QGroupBox*>("GroupBox1")->title(), QString("  Serial Port State"));
    QCOMPARE(form.findChild<QGroupBox*>("GroupBox2")->title(), QString("  Channel State"));
  }
};

QTEST_MAIN(ChannelStatusFrmTest)
#include "channel_status_frm_test.moc"
