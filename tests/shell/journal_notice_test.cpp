// A program that cannot keep its results journal goes on without it and
// says so once: in the monitor and in the main window's status bar.
#include <QPlainTextEdit>

#include "journal/core/journal_store.h"
#include "support/window_support.h"

using namespace qv;
using namespace qv::test;

namespace {

QAction* Item(TMainFrm& main, const char* name) {
  return main.findChild<QAction*>(name);
}

// Starts the program with the monitor shown at once, so no line is lost.
std::unique_ptr<Program> StartWatched(Bench& bench) {
  auto program = bench.Start();
  Item(*program->MainFrm, "nMessageMonitor")->trigger();
  return program;
}

QString Notice(Program& p) {
  return p.MainFrm->findChild<QLabel*>("lblJournalNotice")->text();
}

int Mentions(Program& p, const QString& text) {
  return p.ShowMessageFrm->findChild<QPlainTextEdit*>("mmInfo")->toPlainText().count(text);
}

}  // namespace

class JournalNoticeTest : public QObject {
  Q_OBJECT

 private slots:
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
    Item(*program->MainFrm, "nFlowDetection")->trigger();
    QVERIFY(program->FlowDetectionFrm->isVisible());
    QCOMPARE(bench.state->Journal->Record(ReadingRecord{}), uint64_t{0});
    Item(*program->MainFrm, "nResults")->trigger();
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

QTEST_MAIN(JournalNoticeTest)
#include "journal_notice_test.moc"
