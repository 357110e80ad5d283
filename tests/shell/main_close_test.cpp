// Closing the program: both settings files saved, every open port closed; a
// refused save keeps everything running; a running operation ends first.
#include "protocol/operation_runner.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::shell_test;

namespace {

QByteArray DevicesSection(const std::vector<const Pty*>& ptys) {
  QByteArray text = "[Devices]\n";
  for (size_t i = 0; i < ptys.size(); ++i) {
    text += QByteArray::number(static_cast<int>(i + 1)) + "=" + ptys[i]->Path().c_str() + "\n";
  }
  return text;
}

// An operation whose meters never answer: every row uses all its attempts.
constexpr OperationRow kSilent[] = {{1, "开始", Command::kStartTest, 0, 0, Command::kReadAddress,
                                     Confirm::kReply, 0, ReplyLayout::kNone}};

// A tool window running such an operation, as a detection window would.
class BusyForm : public TToolForm {
 public:
  explicit BusyForm(SharedState& state) : TToolForm(state), run_(state, Pump(), kSilent) {}

  void Start() {
    run_.Run(1);
    returned = true;
  }
  bool returned = false;

 protected:
  void CancelRuns() override { run_.Cancel(); }

 private:
  BenchRun run_;
};

}  // namespace

class MainCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void ClosingWithThreeOpenPortsClosesThemAndSavesBothFiles() {
    Pty com1, com2, com3;
    Bench bench;
    bench.Write("comminfo.ini",
                "[Comm]\n0=1\n1=2\n2=3\n[Channel]\n2=5\n" + DevicesSection({&com1, &com2, &com3}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    for (int n = 1; n <= 3; ++n)
      QVERIFY(s.Slots[n].PortOpen && s.Slots[n].Port->IsOpen());
    s.Settings.MeterNum = 12;  // an edit made while running reaches the file

    program->MainFrm->findChild<QAction*>("nExit")->trigger();

    QVERIFY(!program->MainFrm->isVisible());
    for (int n = 1; n <= 3; ++n) {
      QVERIFY(!s.Slots[n].Port->IsOpen());
      QVERIFY(s.Slots[n].PortOpen);  // keeps its value
    }
    QVERIFY(bench.Read("sysinfo.ini").contains("MeterNum=12"));
    const auto comm = IniKeys(bench.Read("comminfo.ini"));
    QCOMPARE(comm.at("Comm").size(), 20);
    QCOMPARE(comm.at("Channel").size(), 20);
    QCOMPARE(comm.at("Devices").size(), 3);  // kept as it was
    QVERIFY(bench.Read("comminfo.ini").contains("2=5"));
  }

  void ARefusedSaveShowsTheErrorAndKeepsRunning() {
    Pty com1;
    Bench bench;
    bench.Write("comminfo.ini", "[Comm]\n0=1\n" + DevicesSection({&com1}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    // A directory where the file should go: the save cannot replace it.
    QVERIFY(QDir(bench.dir.path()).mkdir("sysinfo.ini"));

    QString shown;
    CloseNextModal([&](QWidget* modal) { shown = MessageText(modal); });
    QVERIFY(!program->MainFrm->close());
    QCOMPARE(shown, "Unable to write to " + bench.Path("sysinfo.ini"));
    QVERIFY(program->MainFrm->isVisible());
    QVERIFY(s.Slots[1].Port->IsOpen());

    // The operator clears the way and tries again.
    QVERIFY(QDir(bench.Path("sysinfo.ini")).removeRecursively());
    QVERIFY(program->MainFrm->close());
    QVERIFY(!s.Slots[1].Port->IsOpen());
    QCOMPARE(IniKeys(bench.Read("sysinfo.ini")).at("BaseParam").size(), 21);
  }

  void ClosingDuringAnOperationEndsItFirst() {
    Pty com1;
    Bench bench;
    // Three silent meters, three attempts of a second each: nine seconds
    // of sending unless the operation is ended.
    bench.Write("sysinfo.ini",
                "[BaseParam]\nCommType=1\nMeterNum=3\nReadAgainTimes=3\nCommWaitTimer=1000\n");
    bench.Write("comminfo.ini", "[Comm]\n0=1\n1=1\n2=1\n" + DevicesSection({&com1}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    for (int r = 0; r < 3; ++r)
      s.Rows[r].Selected = true;
    BusyForm busy(s);
    TMainFrm& main = *program->MainFrm;
    ToolForms tools;
    tools.FlowDetection = &busy;
    main.SetWindows(tools, program->ShowMessageFrm.get());

    int sent = 0;
    s.Log.SetSink([&](const std::string& line) {
      if (line.find(" 发送数据：") != std::string::npos) ++sent;
    });
    int sent_at_close = -1;
    bool running_at_close = false;
    QTimer::singleShot(0, &busy, [&] { busy.Start(); });
    // The operator closes the program while the operation waits for a reply.
    QTimer::singleShot(1200, &main, [&] {
      s.Log.DeliverPending();
      sent_at_close = sent;
      running_at_close = s.OperationRunning;
      main.close();
    });

    QTRY_VERIFY_WITH_TIMEOUT(!main.isVisible(), 10000);
    QVERIFY(running_at_close);
    QVERIFY(sent_at_close > 0);
    QVERIFY(busy.returned);
    QVERIFY(!s.OperationRunning);
    s.Log.DeliverPending();
    QCOMPARE(sent, sent_at_close);  // nothing sent after the close
    QVERIFY(!s.Slots[1].Port->IsOpen());
    QCOMPARE(IniKeys(bench.Read("sysinfo.ini")).at("BaseParam").size(), 21);
  }
};

QTEST_MAIN(MainCloseTest)
#include "main_close_test.moc"
