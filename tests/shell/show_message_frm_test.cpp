// The message monitor: which log lines reach it, the 101-line limit, the
// mouse (double-click clears, right button offers the save) and Info.txt.
#include <QLabel>
#include <QMenu>

#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

QPlainTextEdit* Box(TShowMessageFrm& monitor) {
  return monitor.findChild<QPlainTextEdit*>("mmInfo");
}

QStringList Lines(TShowMessageFrm& monitor) {
  const QString text = Box(monitor)->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

}  // namespace

class ShowMessageFrmTest : public QObject {
  Q_OBJECT

 private slots:
  void OpenedLateItHoldsTheLastLinesLoggedSinceStartUp() {
    PtyPeer com1;
    Bench bench;
    bench.Write("comminfo.ini", "[Comm]\n0=1\n" + Devices({{1, com1.Path()}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    TShowMessageFrm& monitor = *program->ShowMessageFrm;
    QCOMPARE(monitor.windowTitle(), QString("通讯信息"));
    for (int i = 0; i < 150; ++i)
      s.Log.Post(" before " + std::to_string(i));
    QTRY_VERIFY(QString::fromStdString(s.Log.MessageText()).endsWith(" before 149"));

    Choose(*program->MainFrm, "nMessageMonitor");
    QCOMPARE(monitor.LineCount(), 101);
    QVERIFY(Lines(monitor).at(0).endsWith(" before 49"));
    s.Log.Operation(3, "开始");
    QTRY_COMPARE(monitor.LineCount(), 1);  // the 102nd line clears the box first
    QVERIFY(Lines(monitor).at(0).endsWith(" 操作类型：对第3个设备的进行开始操作"));
    // Bytes received on a port reach it too.
    QVERIFY(com1.Send({0x16}));
    QTRY_COMPARE(monitor.LineCount(), 2);
    QVERIFY(Lines(monitor).at(1).endsWith("] 收到数据： 16"));
  }

  void LinesKeepArrivingAfterALanguageChange() {
    Bench bench;
    auto program = bench.Start();
    SharedState& s = *bench.state;
    TShowMessageFrm& monitor = *program->ShowMessageFrm;
    monitor.show();
    QVERIFY(monitor.close());  // hidden, not gone
    s.Settings.Language = 1;
    s.Log.Post(" after the change");
    QTRY_COMPARE(monitor.LineCount(), 1);
    QCOMPARE(monitor.windowTitle(), QString("信息监控"));  // until shown again
    monitor.show();
    QCOMPARE(monitor.windowTitle(), QString("Message Monitor"));
    QCOMPARE(monitor.LineCount(), 1);
  }

  // When the log's queue overflowed, the first status panel says how many
  // lines never reached the box, in the language of the window.
  void DroppedLinesAreCounted() {
    Bench bench;
    auto program = bench.Start();
    SharedState& s = *bench.state;
    TShowMessageFrm& monitor = *program->ShowMessageFrm;
    monitor.show();
    QLabel* panel = monitor.findChild<QStatusBar*>("StatusBar1")->findChildren<QLabel*>().at(0);
    // Nothing drains while this loop runs.
    for (size_t i = 0; i < OperationLog::kDefaultCapacity + 7; ++i)
      s.Log.Post(" burst");
    QTRY_COMPARE(panel->text(), QString("丢失日志：7 行"));
    s.Settings.Language = 1;
    monitor.hide();
    monitor.show();
    QCOMPARE(panel->text(), QString("Lines dropped: 7"));
  }

  void MouseRightButtonOffersTheSaveOnlyForALineAndDoubleClickClears() {
    Bench bench;
    TShowMessageFrm monitor(*bench.state);
    monitor.show();
    auto* menu = monitor.findChild<QMenu*>("PopupMenu1");
    QTest::mouseClick(Box(monitor)->viewport(), Qt::RightButton);
    QVERIFY(!menu->isVisible());
    monitor.ShowMessage("one");
    monitor.ShowMessage("two");
    monitor.ShowMessage("");  // an empty text adds nothing
    QCOMPARE(monitor.LineCount(), 2);
    QTest::mouseClick(Box(monitor)->viewport(), Qt::RightButton);
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 1);
    menu->close();
    QTest::mouseDClick(Box(monitor)->viewport(), Qt::LeftButton);
    QCOMPARE(monitor.LineCount(), 0);
    monitor.ShowMessage("three");
    QCOMPARE(Box(monitor)->toPlainText(), QString("three"));
  }

  // A failed save shows the error and keeps the lines; the next save writes
  // Info.txt with CR LF, over an older, longer file.
  void SaveWritesInfoTxtWithCrLf() {
    Bench bench;
    QVERIFY(std::filesystem::create_directory(bench.File("Info.txt")));
    TShowMessageFrm monitor(*bench.state);
    monitor.ShowMessage("[2024-03-05 14:07:09] 发送数据： 68 16");
    monitor.ShowMessage("second");
    QString shown;
    CloseNextModal([&](QWidget* modal) { shown = MessageText(modal); });
    monitor.findChild<QAction*>("XT1")->trigger();
    QVERIFY2(shown.contains(QString::fromStdString(bench.File("Info.txt"))), qPrintable(shown));
    QCOMPARE(monitor.LineCount(), 2);
    QVERIFY(std::filesystem::remove(bench.File("Info.txt")));
    bench.Write("Info.txt", "an older file, longer than the new one\r\n");
    monitor.findChild<QAction*>("XT1")->trigger();
    QCOMPARE(bench.Read("Info.txt"),
             QByteArray("[2024-03-05 14:07:09] 发送数据： 68 16\r\nsecond\r\n"));
    QCOMPARE(bench.Listing(), std::string("Info.txt;"));
  }
};

QTEST_MAIN(ShowMessageFrmTest)
#include "show_message_frm_test.moc"
