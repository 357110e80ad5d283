// Helpers of the window tests: a program directory of its own per test, the
// settings files read back, and a modal dialog found and closed without
// blocking the test. A meter line is a PtyPeer.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_slots.h"
#include "shell/program.h"
#include "support/pty_peer.h"

namespace qv::test {

// A program directory and the shared state that uses it.
struct Bench {
  QTemporaryDir dir;
  std::unique_ptr<SharedState> state = std::make_unique<SharedState>();

  Bench() { state->ProgramDir = dir.path().toStdString() + "/"; }

  QString Path(const QString& name) const { return dir.path() + "/" + name; }

  void Write(const QString& name, const QByteArray& text) const {
    QFile f(Path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QByteArray Read(const QString& name) const {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QStringList Entries() const {
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
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
inline QByteArray Devices(const std::vector<std::pair<int, std::string>>& devices) {
  QByteArray text = "[Devices]\n";
  for (const auto& [port, device] : devices)
    text += QByteArray::number(port) + "=" + QByteArray::fromStdString(device) + "\n";
  return text;
}

// Keys per section of an initialisation file, in file order.
inline std::map<QString, QStringList> IniKeys(const QByteArray& text) {
  std::map<QString, QStringList> keys;
  QString section;
  for (const QByteArray& raw : text.split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith('[') && line.endsWith(']')) {
      section = line.mid(1, line.size() - 2);
      keys[section];
    } else if (line.contains('=')) {
      keys[section].append(line.section('=', 0, 0));
    }
  }
  return keys;
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

// The text of a message box, empty for any other dialog.
inline QString MessageText(QWidget* modal) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  return box ? box->text() : QString();
}

}  // namespace qv::test
