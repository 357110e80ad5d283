// The channel-status snapshot: switch channels and the rows' ports.
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

QColor Colour(const QFrame* panel) {
  return panel->palette().color(QPalette::Window);
}

}  // namespace

class ChannelStatusFrmTest : public QObject {
  Q_OBJECT

 private slots:
  void OnlyConfirmedChannelsAreLimeAndTheColoursAreASnapshot() {
    Bench bench;
    SharedState& s = *bench.state;
    for (int c = 0; c < 16; c += 2)
      s.ChannelState[c] = 1;  // as the switch reports
    TChannelStatusFrm form(s);
    form.show();
    s.ChannelState.fill(1);  // too late for the snapshot
    // Served events and a fresh rendering change nothing.
    QCoreApplication::sendPostedEvents();
    const QImage image = form.grab().toImage();
    for (int c = 0; c < 20; ++c) {
      QFrame* panel = form.ChannelPanels()[c];
      const QColor expected =
          c < 16 && c % 2 == 0 ? TChannelStatusFrm::kLime : TChannelStatusFrm::kRed;
      QCOMPARE(Colour(panel), expected);
      QCOMPARE(image.pixelColor(panel->mapTo(&form, panel->rect().center())), expected);
    }
    QCOMPARE(form.ChannelPanels()[19]->objectName(), QString("rzpl20"));
  }

  void ARowShowsLimeOnlyWhenItsPortOpened() {
    PtyPeer com5;
    Bench bench;
    // Row 1 on COM5 (opens), row 2 on COM6 (no such device), row 3 none.
    bench.Write("comminfo.ini",
                "[Comm]\n0=5\n1=6\n" + Devices({{5, com5.Path()}, {6, bench.File("absent")}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    QVERIFY(s.Slots[5].PortOpen);
    QVERIFY(!s.Slots[6].PortOpen);
    TChannelStatusFrm form(s);
    form.show();
    QCOMPARE(form.PortPanels()[0]->objectName(), QString("rzplCom1"));
    for (int row = 0; row < 20; ++row)
      QCOMPARE(Colour(form.PortPanels()[row]),
               row == 0 ? TChannelStatusFrm::kLime : TChannelStatusFrm::kRed);
  }

  void CaptionsByLanguage() {
    Bench bench;
    SharedState& s = *bench.state;
    for (const auto& [language, title, group] :
         {std::tuple(0, "通道状态", "  串口状态"),
          std::tuple(1, "Channel State", "  Serial Port State")}) {
      s.Settings.Language = language;
      TChannelStatusFrm form(s);
      form.show();
      QCOMPARE(form.windowTitle(), QString(title));
      QCOMPARE(form.findChild<QGroupBox*>("GroupBox1")->title(), QString(group));
    }
  }
};

QTEST_MAIN(ChannelStatusFrmTest)
#include "channel_status_frm_test.moc"
