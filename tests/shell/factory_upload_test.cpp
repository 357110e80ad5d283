// A factory server that does not answer, or cannot be reached, costs the
// bench nothing: every window works, the records taken meanwhile are
// counted as waiting, and the status bars say so; the program ends without
// waiting for the server. A program that cannot keep its results journal
// goes on without it and says so once: in the monitor and in the main
// window's status bar.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "core/journal_store.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

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

// Starts the program with the monitor shown at once, so no line is lost.
std::unique_ptr<Program> StartWatched(Bench& bench) {
  auto program = bench.Start();
  Choose(*program->MainFrm, "nMessageMonitor");
  return program;
}

QString Notice(Program& p) {
  return p.MainFrm->findChild<QLabel*>("lblJournalNotice")->text();
}

int Mentions(Program& p, const QString& text) {
  return MonitorText(p).count(text);
}

}  // namespace

class FactoryUploadTest : public QObject {
  Q_OBJECT

 private slots:
  void AServerThatNeverAnswersLeavesEveryWindowWorking() {
    SilentServer server;
    QVERIFY(server.port > 0);
    Bench bench;
    {
      ResultJournal earlier;  // three readings of an earlier run wait
      QVERIFY(earlier.Open(JournalPath(bench.Dir())));
      for (int i = 0; i < 3; ++i)
        earlier.Record(Reading());
      QVERIFY(earlier.WaitAcknowledged(3, std::chrono::seconds(30)));
    }
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
    auto program = StartWatched(bench);
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
  }

  void ASecondProgramOnTheSameFolder() {
    Bench bench;
    ResultJournal first;
    QVERIFY(first.Open(JournalPath(bench.Dir())));
    bench.state->Settings.Language = 1;
    auto program = StartWatched(bench);
    // The settings file read at start-up says Chinese.
    const QString text = JournalNotice(JournalProblem::kLocked, "", false);
    QTRY_COMPARE(Notice(*program), text);
    QTRY_COMPARE(Mentions(*program, text), 1);
    QVERIFY(!bench.state->Journal->IsOpen());
    // The first program's journal is untouched and goes on.
    QVERIFY(first.WaitAcknowledged(first.Record(ReadingRecord{}), std::chrono::seconds(30)));
  }
};

QTEST_MAIN(FactoryUploadTest)
#include "factory_upload_test.moc"
