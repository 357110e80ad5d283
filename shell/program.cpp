#include "shell/program.h"

#include <QPointer>

#include "journal/core/journal_store.h"
#include "protocol/routing.h"
#include "shell/tool_windows.h"

namespace qv {

QString JournalNotice(JournalProblem problem, const std::string& detail, bool english) {
  if (problem == JournalProblem::kLocked) {
    return ByLanguage(english, "检测记录正由另一个运行中的程序写入，本次运行不记录检测结果",
                      "The results journal is being written by another running instance of the "
                      "program; this run records no results");
  }
  return ByLanguage(english, "检测记录无法写入（%1），此后的检测结果不再记录",
                    "The results journal cannot be written (%1); results from now on are not "
                    "recorded")
      .arg(QString::fromStdString(detail));
}

namespace {

// Opens the program's results journal. Its one problem, if any, reaches
// the monitor and the main window's status bar on the user-interface
// thread, whichever thread met it.
bool OpenJournal(SharedState& state, TMainFrm* main) {
  if (state.Journal) return false;
  auto journal = std::make_unique<ResultJournal>();
  QPointer<TMainFrm> window(main);
  journal->on_problem = [&state, window](JournalProblem problem, const std::string& detail) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&state, window, problem, detail] {
          const QString text = JournalNotice(problem, detail, state.Settings.English());
          state.Log.Post(" " + text.toStdString());
          if (window) window->ShowJournalNotice(text);
        },
        Qt::QueuedConnection);
  };
  journal->Open(JournalPath(state.DataFolder()));
  state.Journal = std::move(journal);
  return true;
}

}  // namespace

Program::~Program() {
  Upload.reset();
  // The monitor goes before the log it is the sink of.
  feed.reset();
  state.Log.SetSink({});
  // What is queued is stored before the program ends.
  if (owns_journal) state.Journal.reset();
}

int Program::Exec() {
  return QApplication::exec();
}

std::unique_ptr<Program> StartProgram(SharedState& state, int& argc, char** argv) {
  InitSystem(state);
  auto p = std::make_unique<Program>(state);
  if (!QApplication::instance()) p->app = std::make_unique<QApplication>(argc, argv);

  // The main window first; only it becomes visible.
  p->MainFrm = std::make_unique<TMainFrm>(state);
  std::vector<TToolForm*> tools;
  for (const ToolWindow& w : ToolWindows())
    tools.push_back(w.create(*p));
  p->ShowMessageFrm = std::make_unique<TShowMessageFrm>(state, p->MainFrm.get());
  p->ChannelStatusFrm = std::make_unique<TChannelStatusFrm>(state);
  p->ErrorInfoParaFrm = std::make_unique<TErrorInfoParaFrm>();
  // Once the monitor takes lines: what start-up logged (the data folder, a
  // port that would not open) waits for it.
  p->feed = std::make_unique<LogFeed>(state.Log);
  p->MainFrm->SetWindows(tools, p->ShowMessageFrm.get());
  // "通道状态" of the settings window: a fresh snapshot, modal over the
  // main window, gone when it closes.
  TMainFrm* main = p->MainFrm.get();
  QObject::connect(p->SetParaFrm.get(), &TSetParaFrm::ChannelStatusRequested, main, [&state, main] {
    TChannelStatusFrm form(state, main);
    form.exec();
  });
  p->owns_journal = OpenJournal(state, main);
  p->Upload = std::make_unique<TFactoryUpload>(state, main, p->ShowMessageFrm.get());
  p->MainFrm->showMaximized();
  return p;
}

}  // namespace qv
