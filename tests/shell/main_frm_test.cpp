// The main window's menu: docking one tool window at a time, the monitor,
// and the channel-status window, a snapshot of the switch channels and the
// rows' ports. The message monitor: which log lines reach it, the 101-line
// limit, the mouse (double-click clears, right button offers the save) and
// Info.txt.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <map>
#include <thread>

#include "protocol/commands.h"
#include "protocol/operation_runner.h"
#include "shell/tool_windows.h"
#include "support/form_input.h"
#include "support/window_support.h"
#include "ui/qt_event_pump.h"

using namespace qv;
using namespace qv::test;

namespace {

// Records the show and close events of the windows it watches, in order.
class EventLog : public QObject {
 public:
  QStringList events;

  void Watch(QWidget* w) { w->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close) events << "close " + watched->objectName();
    if (event->type() == QEvent::Show) events << "show " + watched->objectName();
    return false;
  }
};

// The objects of `table` that `root` does not hold.
QStringList Uncaptioned(const QWidget& root, const CaptionTable& table) {
  QStringList missing;
  for (const Caption& c : table.captions) {
    if (!root.findChild<QWidget*>(c.object) && !root.findChild<QAction*>(c.object))
      missing << c.object;
  }
  for (const ListCaptions& l : table.lists)
    if (!root.findChild<QComboBox*>(l.object)) missing << l.object;
  return missing;
}

QColor Colour(const QFrame* panel) {
  return panel->palette().color(QPalette::Window);
}

// Row 1's port colour in a fresh channel-status window from the menu.
QColor PortColour(TMainFrm& main) {
  QColor colour;
  CloseNextModal([&](QWidget* modal) { colour = Colour(modal->findChild<QFrame*>("rzplCom1")); });
  Choose(main, "N2");
  return colour;
}

constexpr OperationRow kEnter[] = {{1, "进入检定", Command::kEnterCalibration, 0, 0,
                                    Command::kEnterCalibration, Confirm::kReply, ReplySub::kAny, 0,
                                    ReplyLayout::kNone}};

QPlainTextEdit* Box(TShowMessageFrm& monitor) {
  return monitor.findChild<QPlainTextEdit*>("mmInfo");
}

QStringList Lines(TShowMessageFrm& monitor) {
  const QString text = Box(monitor)->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

}  // namespace

class MainFrmTest : public QObject {
  Q_OBJECT

 private slots:
  // Each item docks its window, alone; choosing it again keeps it docked.
  // Every control a window's caption table names exists in that window (a
  // misspelt name would leave its control uncaptioned).
  void EveryToolItemDocksItsWindowAloneClosingThePreviousFirst() {
    Bench bench;
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    const std::map<QString, QString> docks = {{"nSetPara", "SetParaFrm"},
                                              {"N1", "OtherParaFrm"},
                                              {"nFlowDetection", "FlowDetectionFrm"},
                                              {"nTotalDetection", "OverallDetectionFrm"},
                                              {"nReadData", "ReadDataFrm"},
                                              {"nResults", "ResultsFrm"}};
    QCOMPARE(ToolWindows().size(), docks.size());
    QVERIFY(Uncaptioned(main, main.Captions()).isEmpty());
    std::vector<TToolForm*> docked;
    for (const ToolWindow& w : ToolWindows()) {
      EventLog log;
      Choose(main, w.item.object);
      TToolForm* form = main.CurrentToolForm();
      QVERIFY(form);
      log.Watch(form);
      Choose(main, w.item.object);
      QCOMPARE(main.CurrentToolForm(), form);
      QCOMPARE(form->objectName(), docks.at(w.item.object));
      QCOMPARE(form->parentWidget(), main.findChild<QWidget*>("plMain"));
      QVERIFY(!form->isWindow());
      QCOMPARE(log.events, QStringList());  // already shown, not shown again
      docked.push_back(form);
      QCOMPARE(std::ranges::count_if(docked, [](TToolForm* f) { return f->isVisible(); }), 1);
      QCOMPARE(Uncaptioned(*form, form->Captions()), QStringList());
    }
    // Choosing another closes the previous one first; the closed window is
    // hidden, not destroyed, and comes back docked.
    Choose(main, "nTotalDetection");
    EventLog log;
    log.Watch(program->OverallDetectionFrm.get());
    log.Watch(program->FlowDetectionFrm.get());
    Choose(main, "nFlowDetection");
    QCOMPARE(log.events, QStringList({"close OverallDetectionFrm", "show FlowDetectionFrm"}));
    Choose(main, "nTotalDetection");
    QVERIFY(program->OverallDetectionFrm->isVisible());
    QVERIFY(!program->FlowDetectionFrm->isVisible());
    // A docked window shows in the language of the moment.
    bench.state->Settings.Language = 1;
    Choose(main, "nSetPara");
    QCOMPARE(program->SetParaFrm->windowTitle(), QString("Parameter Settings"));
  }

  // An address read off a meter (14 characters) stays whole in every
  // window; the cells' ten characters limit only what is typed, and Delete
  // deletes.
  void NoWindowCutsTheAddressItShows() {
    Bench bench;
    auto program = bench.Start();
    SharedState& s = *bench.state;
    s.Settings.MeterNum = 2;
    s.Rows[0].Address = "00002024000001";
    const std::pair<const char*, TToolForm*> windows[] = {
        {"edtAddr1", program->OtherParaFrm.get()},
        {"edtAddr1", program->FlowDetectionFrm.get()},
        {"edtAddr1", program->OverallDetectionFrm.get()},
        {"edtCurrAddr1", program->SetParaFrm.get()}};
    for (const auto& [cell, form] : windows) {
      program->MainFrm->ShowToolForm(form);
      QCOMPARE(form->findChild<QLineEdit*>(cell)->text(), QString("00002024000001"));
      QCOMPARE(s.Rows[0].Address, std::string("00002024000001"));
    }
    program->MainFrm->ShowToolForm(program->OtherParaFrm.get());
    QLineEdit* typed = program->OtherParaFrm->findChild<QLineEdit*>("edtAddr2");
    test_support::Type(typed, "123456789012", false);
    QCOMPARE(typed->text(), QString("1234567890"));
    typed->setCursorPosition(0);
    // Delete as X11 delivers it, carrying the DEL character.
    QTest::sendKeyEvent(QTest::Click, typed, Qt::Key_Delete, QString(QChar(0x7F)), Qt::NoModifier);
    QCOMPARE(s.Rows[1].Address, std::string("234567890"));
  }

  void MonitorAndChannelStateItemsShowWindowsOfTheirOwn() {
    Bench bench;
    auto program = bench.Start();
    Choose(*program->MainFrm, "nMessageMonitor");
    TShowMessageFrm& monitor = *program->ShowMessageFrm;
    QVERIFY(monitor.isVisible() && monitor.isWindow());
    // A tool window of the main window, not above every program; it starts
    // at the lower right of the screen, below the menu bar.
    QCOMPARE(monitor.windowType(), Qt::Tool);
    QVERIFY(!(monitor.windowFlags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(monitor.windowHandle()->transientParent(), program->MainFrm->windowHandle());
    const QRect available = monitor.screen()->availableGeometry();
    QCOMPARE(monitor.frameGeometry().bottomRight(), available.bottomRight());
    const QMenuBar* bar = program->MainFrm->menuBar();
    QVERIFY(monitor.frameGeometry().top() >= bar->mapToGlobal(QPoint(0, bar->height())).y());
    QCOMPARE(program->MainFrm->CurrentToolForm(), nullptr);
    // A message box of a docked tool window has the same owner, so it comes
    // up above the monitor.
    Choose(*program->MainFrm, "nSetPara");
    QWindow* owner = nullptr;
    CloseNextModal([&](QWidget* modal) { owner = modal->windowHandle()->transientParent(); });
    QMessageBox::information(program->SetParaFrm.get(), "", "");
    QCOMPARE(owner, program->MainFrm->windowHandle());

    // The channel-state item opens a fresh modal snapshot.
    bench.state->ChannelState[2] = 1;
    QString seen;  // the title and channel 2's colour
    QPointer<QWidget> opened;
    CloseNextModal([&](QWidget* modal) {
      opened = modal;
      seen = modal->windowTitle() + " " + Colour(modal->findChild<QFrame*>("rzpl3")).name();
    });
    Choose(*program->MainFrm, "N2");
    QCOMPARE(seen, QString("通道状态 #00ff00"));
    QVERIFY(opened.isNull());                          // destroyed once closed
    QVERIFY(!program->ChannelStatusFrm->isVisible());  // the start-up one stays unused
  }

  // The adapter of row 1 goes away during an operation: the channel-status
  // window shows its port red. (Its reopening: the CycleLine tests.)
  void APulledAdapterShowsRed() {
    PtyPeer line;
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nMeterNum=1\nReadAgainTimes=1\n");
    bench.Write("comminfo.ini", "[Comm]\n0=1\n" + Devices({{1, line.Path()}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    s.Rows[0] = {"1", true, 1, 0, {}};
    QCOMPARE(PortColour(*program->MainFrm), TChannelStatusFrm::kLime);
    QtEventPump pump;
    BenchRun run(s, pump, kEnter);
    std::thread pull([&] {
      line.Receive(BuildRequest(Command::kEnterCalibration, {.address = "1"})->size());
      line.HangUp();
    });
    QVERIFY(run.Run(1));
    pull.join();
    QCOMPARE(run.LampOf(0), Lamp::Red);
    // Once the port has seen its line go (at once, or by the operation's end).
    QTRY_VERIFY(!s.Slots[1].PortOpen || s.Slots[1].Port->Failed());
    QCOMPARE(PortColour(*program->MainFrm), TChannelStatusFrm::kRed);
  }

  // Only channels the switch confirmed, and rows whose port opened, are
  // lime: a snapshot taken when the window is made.
  void OnlyConfirmedChannelsAndOpenedPortsAreLimeInASnapshot() {
    PtyPeer com5;
    Bench bench;
    // Row 1 on COM5 (opens), row 2 on COM6 (no such device), row 3 none.
    bench.Write("comminfo.ini",
                "[Comm]\n0=5\n1=6\n" + Devices({{5, com5.Path()}, {6, bench.File("absent")}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    QVERIFY(s.Slots[5].PortOpen);
    QVERIFY(!s.Slots[6].PortOpen);
    for (int c = 0; c < 16; c += 2)
      s.ChannelState[c] = 1;  // as the switch reports
    s.Settings.Language = 1;  // (the menu test sees it in Chinese)
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
    QCOMPARE(form.windowTitle(), QString("Channel State"));
    QCOMPARE(form.PortPanels()[0]->objectName(), QString("rzplCom1"));
    for (int row = 0; row < 20; ++row)
      QCOMPARE(Colour(form.PortPanels()[row]),
               row == 0 ? TChannelStatusFrm::kLime : TChannelStatusFrm::kRed);
  }

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

QTEST_MAIN(MainFrmTest)
#include "main_frm_test.moc"
