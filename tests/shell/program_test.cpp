// The program from start to close: its windows, the settings read when
// the main window shows, the language of the captions and its follow-up;
// closing saves both settings files and closes every open port, a refused
// save keeps everything running, a running operation ends first. Installed
// in a folder it may not write, with a writable home, it keeps its files in
// the user's data folder, which its first start fills with the settings
// found beside the program, and the next start reads them back from there;
// the log says which folder is used. A factory server that does not
// answer, or cannot be reached, costs the bench nothing: every window
// works, the records taken meanwhile are counted as waiting, and the status
// bars say so; the program ends without waiting for the server. A program
// that cannot keep its results journal goes on without it and says so
// once: in the monitor and in the main window's status bar.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QDate>
#include <cstdlib>
#include <filesystem>

#include "core/data_dir.h"
#include "core/settings_files.h"
#include "journal/core/journal_store.h"
#include "protocol/operation_runner.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

// An operation whose meters never answer: every row uses all its attempts.
constexpr OperationRow kSilent[] = {{1, "开始", Command::kStartTest, 0, 0, Command::kReadAddress,
                                     Confirm::kReply, ReplySub::kAny, 0, ReplyLayout::kNone}};

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

// Starts the program in `bench`'s folder with a fresh shared state, shows
// the monitor, edits MeterNum to `meter_num` and closes the program; what
// it found: its data folder, MeterNum as read and the monitor's first line.
std::string StartAndClose(Bench& bench, int32_t meter_num) {
  bench.state = std::make_unique<SharedState>();
  bench.state->ProgramDir = bench.Dir();
  auto program = bench.Start();
  SharedState& s = *bench.state;
  const std::string found = s.DataFolder() + "|" + std::to_string(s.Settings.MeterNum);
  program->ShowMessageFrm->show();
  const QString first = MonitorText(*program).section('\n', 0, 0);
  s.Settings.MeterNum = meter_num;
  // A save that fails shows its message: closed, so the child ends.
  CloseNextModal([](QWidget*) {});
  if (!program->MainFrm->close()) return "close refused";
  return found + "|" + first.section(']', 1).toStdString();
}

QString Status(QWidget& window) {
  return window.findChild<QLabel*>("lblUploadStatus")->text();
}

// A server that takes connections and never says a word.
struct SilentServer {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port = 0;
  SilentServer() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), n) == 0 && ::listen(fd, 4) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0) {
      port = ntohs(a.sin_port);
    }
  }
  ~SilentServer() { ::close(fd); }
  // Whether a connection waits to be taken: a client is waiting for us.
  bool Called() const {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  }
};

ReadingRecord Reading() {
  ReadingRecord r;
  r.Window = kFlowWindow;
  r.Address = "2024000001";
  r.FlowPoint = 1;
  r.Verdict = kVerdictPass;
  return r;
}

QString Notice(Program& p) {
  return p.MainFrm->findChild<QLabel*>("lblJournalNotice")->text();
}

int Mentions(Program& p, const QString& text) {
  return MonitorText(p).count(text);
}

}  // namespace

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  // Only the main window shows, maximised; showing it reads the settings
  // and sets the tester and the date. A language out of range is Chinese.
  void StartsWithOnlyTheMainWindowVisible() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nMeterNum=7\nLanguage=2\n");
    auto program = bench.Start();
    QVERIFY(program);
    QVERIFY(program->MainFrm->isVisible());
    QVERIFY(program->MainFrm->windowState() & Qt::WindowMaximized);
    for (QWidget* window : std::initializer_list<QWidget*>{
             program->OverallDetectionFrm.get(), program->FlowDetectionFrm.get(),
             program->ShowMessageFrm.get(), program->SetParaFrm.get(),
             program->ChannelStatusFrm.get(), program->ReadDataFrm.get(),
             program->ErrorInfoParaFrm.get(), program->OtherParaFrm.get()})
      QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
    QCOMPARE(program->MainFrm->CurrentToolForm(), nullptr);
    QCOMPARE(program->MainFrm->windowTitle(), QString("QorvantisV2.02"));
    QCOMPARE(program->MainFrm->findChild<QAction*>("nExit")->text(), QString("退出(&X)"));
    // No factory server: no sender, and nothing said of one.
    QCOMPARE(program->Upload->Sender(), nullptr);
    QCOMPARE(Status(*program->MainFrm), QString());
    const SystemSettings& s = bench.state->Settings;
    QCOMPARE(s.OperatorName, std::string("Test"));
    QCOMPARE(QString::fromStdString(s.TestDate), QDate::currentDate().toString("yyyy-MM-dd"));
    QCOMPARE(s.MeterNum, 7);
  }

  // Language 1 of the file is English; a change (as the settings window
  // stores it) follows either way.
  void LanguageOfTheFileAndItsChangeReachTheMainWindow() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nLanguage=1\n");
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    QCOMPARE(main.windowTitle(), QString("Qorvantis V2.02"));
    QCOMPARE(main.findChild<QAction*>("nExit")->text(), QString("Exit(&X)"));
    bench.state->Settings.Language = 0;
    QTRY_COMPARE(main.windowTitle(), QString("QorvantisV2.02"));
    QCOMPARE(main.findChild<QAction*>("nMessageMonitor")->text(), QString("信息监控"));
    bench.state->Settings.Language = 1;
    QTRY_COMPARE(main.windowTitle(), QString("Qorvantis V2.02"));
    QCOMPARE(main.findChild<QAction*>("nMessageMonitor")->text(),
             QString("Information Monitoring"));
    QCOMPARE(main.LastLanguage(), 1);
  }

  // A refused save shows the error and keeps everything running; once the
  // way is clear, closing closes every open port and saves both files.
  void ClosingClosesThePortsAndSavesBothFilesUnlessASaveIsRefused() {
    PtyPeer com1, com2, com3;
    Bench bench;
    bench.Write("comminfo.ini",
                "[Comm]\n0=1\n1=2\n2=3\n[Channel]\n2=5\n" +
                    Devices({{1, com1.Path()}, {2, com2.Path()}, {3, com3.Path()}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    for (int n = 1; n <= 3; ++n)
      QVERIFY(s.Slots[n].PortOpen && s.Slots[n].Port->IsOpen());
    s.Settings.MeterNum = 12;  // an edit made while running reaches the file

    // A directory where the file should go: the save cannot replace it.
    QVERIFY(std::filesystem::create_directory(bench.File("sysinfo.ini")));
    QString shown;
    CloseNextModal([&](QWidget* modal) { shown = MessageText(modal); });
    QVERIFY(!program->MainFrm->close());
    QCOMPARE(shown.toStdString(), "Unable to write to " + bench.File("sysinfo.ini"));
    QVERIFY(program->MainFrm->isVisible());
    QVERIFY(s.Slots[1].Port->IsOpen());

    QVERIFY(std::filesystem::remove(bench.File("sysinfo.ini")));
    Choose(*program->MainFrm, "nExit");

    QVERIFY(!program->MainFrm->isVisible());
    for (int n = 1; n <= 3; ++n) {
      QVERIFY(!s.Slots[n].Port->IsOpen());
      QVERIFY(s.Slots[n].PortOpen);  // keeps its value
    }
    // Both settings files written, beside the results journal.
    QVERIFY(bench.Listing().starts_with("comminfo.ini;results.sqlite;"));
    QVERIFY(bench.Listing().ends_with("sysinfo.ini;"));
    QVERIFY(bench.Read("sysinfo.ini").contains("MeterNum=12"));
    QCOMPARE(bench.Keys("sysinfo.ini", "BaseParam"), 21);
    QCOMPARE(bench.Keys("comminfo.ini", "Comm"), 20);
    QCOMPARE(bench.Keys("comminfo.ini", "Channel"), 20);
    QCOMPARE(bench.Keys("comminfo.ini", "Devices"), 3);  // kept as it was
    QVERIFY(bench.Read("comminfo.ini").contains("2=5"));
  }

  // Settings that cannot be saved at closing ("Cancel", the box's escape,
  // is above): "Retry" saves once the folder takes the files, "Close
  // without saving" ends the program with nothing written. The folder is
  // refused by being a plain file, which binds even a test run as root.
  void UnsavableSettingsOfferRetryAndCloseWithoutSaving() {
    for (const QString choice : {"Retry", "Close without saving"}) {
      PtyPeer com1;
      Bench bench;
      bench.Write("comminfo.ini", "[Comm]\n0=1\n" + Devices({{1, com1.Path()}}));
      auto program = bench.Start();
      SharedState& s = *bench.state;
      s.Settings.MeterNum = 12;
      bench.Write("not-a-folder", "");
      s.DataDir = bench.File("not-a-folder/");
      QStringList offered;
      PressInNextModal(choice, [&](QWidget* modal) {
        QCOMPARE(MessageText(modal).toStdString(),
                 "Unable to write to " + bench.File("not-a-folder/sysinfo.ini"));
        for (QAbstractButton* b : qobject_cast<QMessageBox*>(modal)->buttons())
          offered << b->text();
        if (choice == "Retry") s.DataDir = bench.Dir();  // the folder freed
      });
      QTimer::singleShot(0, program->MainFrm.get(), &QWidget::close);
      QTimer guard;  // fails the test rather than hanging it
      QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(2); });
      guard.start(60000);
      QCOMPARE(program->Exec(), 0);  // the program's event loop has ended
      offered.sort();
      QCOMPARE(offered, QStringList({"Cancel", "Close without saving", "Retry"}));
      QVERIFY(!s.Slots[1].Port->IsOpen());
      QCOMPARE(bench.Read("sysinfo.ini").contains("MeterNum=12"), choice == "Retry");
    }
  }

  void ClosingDuringAnOperationEndsItFirst() {
    PtyPeer com1;
    Bench bench;
    // Three silent meters, three attempts of a second each: nine seconds
    // of sending unless the operation is ended.
    bench.Write("sysinfo.ini",
                "[BaseParam]\nCommType=1\nMeterNum=3\nReadAgainTimes=3\nCommWaitTimer=1000\n");
    bench.Write("comminfo.ini", "[Comm]\n0=1\n1=1\n2=1\n" + Devices({{1, com1.Path()}}));
    auto program = bench.Start();
    SharedState& s = *bench.state;
    for (int r = 0; r < 3; ++r)
      s.Rows[r].Selected = true;
    BusyForm busy(s);
    TMainFrm& main = *program->MainFrm;
    TToolForm* const tools[] = {&busy};
    main.SetWindows(tools, program->ShowMessageFrm.get());

    // The operator closes the program once the first frame is out and the
    // operation waits for its reply.
    int sent = 0;
    int sent_at_close = -1;
    bool running_at_close = false;
    s.Log.SetSink([&](const std::string& line) {
      if (line.find(" 发送数据：") == std::string::npos || ++sent > 1) return;
      QTimer::singleShot(0, &main, [&] {
        s.Log.DeliverPending();
        sent_at_close = sent;
        running_at_close = s.OperationRunning;
        main.close();
      });
    });
    QTimer::singleShot(0, &busy, [&] { busy.Start(); });

    QTRY_VERIFY_WITH_TIMEOUT(!main.isVisible(), 10000);
    QVERIFY(running_at_close);
    QVERIFY(sent_at_close > 0);
    QVERIFY(busy.returned);
    QVERIFY(!s.OperationRunning);
    s.Log.DeliverPending();
    QCOMPARE(sent, sent_at_close);  // nothing sent after the close
    QVERIFY(!s.Slots[1].Port->IsOpen());
    QCOMPARE(bench.Keys("sysinfo.ini", "BaseParam"), 21);
  }

  void ReadOnlyProgramFolderKeepsTheFilesInTheUsersDataFolder() {
    Bench bench;
    bench.Write("sysinfo.ini", "[BaseParam]\nMeterNum=7\n");
    bench.Write("comminfo.ini", "[Comm]\n0=0\n");
    const std::string before = bench.Read("sysinfo.ini").toStdString();
    TempDir home;
    // The child may not write the program's folder: read-only, and run as
    // an unprivileged user when the tests run as root. It owns nothing of
    // the home, which it may write all the same.
    QCOMPARE(::chmod(bench.Dir().c_str(), 0555), 0);
    QCOMPARE(::chmod(home.Dir().c_str(), 0777), 0);
    const std::string data = home.Dir() + ".local/share/qorvantis/";

    const std::string runs = RunInChild(
        [&] {
          ::setenv("HOME", home.Dir().c_str(), 1);
          ::unsetenv("XDG_DATA_HOME");
          const std::string first = StartAndClose(bench, 9);
          return first + "\n" + StartAndClose(bench, 9);
        },
        {.unprivileged = true});

    QCOMPARE(QString::fromStdString(runs),
             QString::fromStdString(
                 data + "|7| 数据文件夹：" + data +
                 "（程序所在文件夹不可写，已从程序所在文件夹复制sysinfo.ini、comminfo.ini）\n" +
                 data + "|9| 数据文件夹：" + data + "（程序所在文件夹不可写）"));
    QVERIFY(ReadFile(data + "sysinfo.ini").find("MeterNum=9") != std::string::npos);
    QCOMPARE(IniFile::Load(data + "comminfo.ini").Keys("Comm").size(), size_t{20});
    // Beside the program nothing changed.
    QCOMPARE(bench.Listing(), std::string("comminfo.ini;sysinfo.ini;"));
    QCOMPARE(bench.Read("sysinfo.ini").toStdString(), before);
  }

  // Where the user's data folder is, by the XDG rule.
  void UserDataFolderFollowsTheXdgRule() {
    // XDG_DATA_HOME, HOME and the folder.
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {"/data", "/home/u", "/data/qorvantis/"},
        {"relative", "/home/u", "/home/u/.local/share/qorvantis/"},
        {"", "/home/u/", "/home/u/.local/share/qorvantis/"},
        {nullptr, nullptr, ""}};
    for (const auto& [xdg, home, folder] : cases) {
      const auto env = [&](std::string_view name) { return name == "XDG_DATA_HOME" ? xdg : home; };
      QCOMPARE(UserDataDir(env), folder);
    }
  }

  void AServerThatNeverAnswersLeavesEveryWindowWorking() {
    SilentServer server;
    QVERIFY(server.port > 0);
    Bench bench;
    QVERIFY(bench.Record({Reading(), Reading(), Reading()}));  // of an earlier run, waiting
    bench.Write("sysinfo.ini", "[Bench]\nName=Bench 3\n[Factory]\nServer=host=127.0.0.1 port=" +
                                   std::to_string(server.port) + " user=bench3\n");
    auto program = bench.Start();
    TMainFrm& main = *program->MainFrm;
    QTRY_COMPARE(Status(main), QString("已上传 0 条，待上传 3 条"));
    QTRY_VERIFY(server.Called());

    // The sender waits for the server; the operator does not.
    for (const char* item :
         {"nSetPara", "N1", "nFlowDetection", "nTotalDetection", "nReadData", "nResults"}) {
      Choose(main, item);
      QVERIFY2(main.CurrentToolForm() && main.CurrentToolForm()->isVisible(), item);
    }
    QCOMPARE(program->ResultsFrm->Readings().size(), size_t{3});
    Choose(main, "nMessageMonitor");
    QVERIFY(program->ShowMessageFrm->isVisible());
    QVERIFY(bench.state->Journal->WaitAcknowledged(bench.state->Journal->Record(Reading()),
                                                   std::chrono::seconds(30)));

    // A server that cannot be reached at all: the reason is shown, and the
    // reading taken meanwhile waits with the others.
    bench.state->Settings.FactoryServer = "host=" + bench.Dir() + "none user=bench3";
    QTRY_VERIFY_WITH_TIMEOUT(Status(main).contains("服务器无法连接"), 20000);
    QVERIFY(Status(main).startsWith("已上传 0 条，待上传 4 条（服务器无法连接：connection"));
    QTRY_COMPARE(Status(*program->ShowMessageFrm), Status(main));
    QTRY_VERIFY(MonitorText(*program).contains(" 工厂服务器上传失败：connection"));
    bench.state->Settings.Language = 1;
    QTRY_VERIFY(Status(main).startsWith("Uploaded 0, waiting 4 (server unreachable: "));

    // No server: nothing is shown.
    bench.state->Settings.FactoryServer.clear();
    QTRY_COMPARE(Status(main), QString());
    QCOMPARE(Status(*program->ShowMessageFrm), QString());
    // Back to the silent one, then the program ends while the sender waits.
    bench.state->Settings.FactoryServer = "host=127.0.0.1 port=" + std::to_string(server.port);
    QTRY_COMPARE(Status(main), QString("Uploaded 0, waiting 4"));
    program.reset();
  }

  void AFolderThatCannotHoldTheJournal() {
    Bench bench;
    // Not writable even for root: a file stands where the folder would be.
    bench.Write("plain", "");
    bench.state->ProgramDir = bench.File("plain/");
    // Nor can the user's data folder be made there, so the files stay in it.
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(bench.File("plain/data")));
    auto program = bench.Start();
    Choose(*program->MainFrm, "nMessageMonitor");  // at once, so no line is lost
    const QString head = JournalNotice(JournalProblem::kUnwritable, "", false).section("（", 0, 0);
    QTRY_VERIFY(Notice(*program).startsWith(head));
    QTRY_COMPARE(Mentions(*program, head), 1);
    // The windows work on; what they would record is dropped unsaid.
    Choose(*program->MainFrm, "nFlowDetection");
    QVERIFY(program->FlowDetectionFrm->isVisible());
    QCOMPARE(bench.state->Journal->Record(ReadingRecord{}), uint64_t{0});
    Choose(*program->MainFrm, "nResults");
    QVERIFY(program->ResultsFrm->isVisible());
    QCOMPARE(program->ResultsFrm->Readings().size(), size_t{0});
    // Said once: the lines posted since are delivered, none of them again.
    program->ShowMessageFrm->findChild<QPlainTextEdit*>("mmInfo")->clear();
    bench.state->Log.Post(" end");
    QTRY_COMPARE(Mentions(*program, " end"), 1);
    QCOMPARE(Mentions(*program, head), 0);
    qunsetenv("XDG_DATA_HOME");
  }

  void ASecondProgramOnTheSameFolder() {
    Bench bench;
    ResultJournal first;
    QVERIFY(first.Open(JournalPath(bench.Dir())));
    bench.state->Settings.Language = 1;
    auto program = bench.Start();
    Choose(*program->MainFrm, "nMessageMonitor");  // at once, so no line is lost
    // The settings file read at start-up says Chinese.
    const QString text = JournalNotice(JournalProblem::kLocked, "", false);
    QTRY_COMPARE(Notice(*program), text);
    QTRY_COMPARE(Mentions(*program, text), 1);
    QVERIFY(!bench.state->Journal->IsOpen());
    // The first program's journal is untouched and goes on.
    QVERIFY(first.WaitAcknowledged(first.Record(ReadingRecord{}), std::chrono::seconds(30)));
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
