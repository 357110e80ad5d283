// Helpers of the window tests: a program directory of its own per test, the
// settings files read back, a menu item chosen, the monitor's lines, and a
// modal dialog found and closed without blocking the test. A meter line is a
// PtyPeer.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "journal/core/journal.h"
#include "journal/core/journal_store.h"
#include "serial/port_slots.h"
#include "shell/program.h"
#include "support/pty_peer.h"
#include "support/temp_files.h"

namespace qv::test {

// A program directory (a temporary folder, with its files read and written
// as text, and its results journal) and the shared state that uses it.
struct Bench : TempDir {
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();

  Bench() { state->ProgramDir = Dir(); }
  void Write(const std::string& name, const std::string& text) const {
    WriteFile(File(name), text);
  }
  QByteArray Read(const std::string& name) const {
    return QByteArray::fromStdString(ReadFile(File(name)));
  }
  // The number of keys of `section` in the settings file `name`.
  int Keys(const std::string& name, const char* section) const {
    return static_cast<int>(IniFile::Load(File(name)).Keys(section).size());
  }

  // Records `readings` and `writes` in the folder's results journal;
  // whether every one was written.
  bool Record(const std::vector<ReadingRecord>& readings,
              const std::vector<WriteRecord>& writes = {}) const {
    ResultJournal journal;
    if (!journal.Open(JournalPath(Dir()))) return false;
    for (const ReadingRecord& r : readings)
      journal.Record(r);
    for (const WriteRecord& w : writes)
      journal.Record(w);
    return journal.WaitAcknowledged(journal.Taken(), std::chrono::seconds(30));
  }

  // Start-up exactly as the program does it, without its event loop.
  std::unique_ptr<Program> Start() {
    static int argc = 1;
    static char name[] = "qorvantis";
    static char* argv[] = {name, nullptr};
    return StartProgram(*state, argc, argv);
  }
};

// A [Devices] section: port number = device.
inline std::string Devices(const std::vector<std::pair<int, std::string>>& devices) {
  std::string text = "[Devices]\n";
  for (const auto& [port, device] : devices)
    text += std::to_string(port) + "=" + device + "\n";
  return text;
}

// Finds the next modal dialog as soon as it is up, hands it to `inspect`
// and closes it, so a test that triggers one is never blocked by it.
inline void CloseNextModal(std::function<void(QWidget*)> inspect) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    timer->stop();
    timer->deleteLater();
    inspect(modal);
    modal->close();
  });
  timer->start();
}

// Finds the next modal message box as soon as it is up, hands it to
// `inspect` and presses its button captioned `button`.
inline void PressInNextModal(const QString& button, std::function<void(QWidget*)> inspect) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, button, inspect] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer->stop();
    timer->deleteLater();
    inspect(box);
    for (QAbstractButton* b : box->buttons())
      if (b->text() == button) b->click();
  });
  timer->start();
}

// Chooses the main window's menu item `item`, as the operator does.
inline void Choose(TMainFrm& main, const char* item) {
  main.findChild<QAction*>(item)->trigger();
}

// The lines the message monitor shows.
inline QString MonitorText(const Program& program) {
  return program.ShowMessageFrm->findChild<QPlainTextEdit*>("mmInfo")->toPlainText();
}

// The text of a message box, empty for any other dialog.
inline QString MessageText(QWidget* modal) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  return box ? box->text() : QString();
}

}  // namespace qv::test
