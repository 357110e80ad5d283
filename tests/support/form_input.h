// Operating a window as the operator does, in window tests: typing into a
// field, and message boxes closed as soon as they are up with their texts
// kept, so a test that triggers one is never blocked by it.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

namespace qv::test_support {

class ModalCloser {
 public:
  ModalCloser() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      auto* box = qobject_cast<QMessageBox*>(modal);
      texts << (box ? box->text() : QString());
      modal->close();
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

// Replaces the text of `edit` as typed: every key goes through the edit,
// and Enter ends the editing (or moves along an Enter chain, which ends it
// the same way).
inline void Type(QLineEdit* edit, const QString& text, bool finish = true) {
  // A message box closed a moment ago may still hold the activation; focus
  // changes (and the editing they end) need the window active.
  QWidget* window = edit->window();
  if (!window->isActiveWindow()) {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
  }
  edit->setFocus();
  edit->selectAll();
  if (text.isEmpty()) {
    QTest::keyClick(edit, Qt::Key_Delete);
  } else {
    QTest::keyClicks(edit, text);
  }
  if (finish) QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace qv::test_support
