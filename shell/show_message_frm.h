// The message monitor: shows the operation log's lines as they are
// produced, floats above the other windows, and lets the operator clear
// the lines (double-click) or save them to "Info.txt" beside the program
// (right-click menu). It keeps at most 101 lines: the 102nd line clears the
// box first.
//
// It becomes the log's sink when it is first shown; lines produced before
// that are dropped. From then on every line arrives, whether the window is
// visible or hidden and whatever the language.
#pragma once

#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QWidget>
#include <deque>
#include <string>

#include "serial/port_slots.h"

namespace qv {

class TShowMessageFrm : public QWidget {
  Q_OBJECT

 public:
  // A box holding more lines than this is cleared before the next line.
  static constexpr int kMaxLines = 100;

  explicit TShowMessageFrm(SharedState& state, QWidget* parent = nullptr);
  ~TShowMessageFrm() override;

  // Appends one log line (nothing for an empty line).
  void ShowMessage(const std::string& line);
  // Lines in `mmInfo`.
  int LineCount() const;
  // Writes every line to `path`, each ended by CR LF, in UTF-8, replacing
  // the file. False with `error` set when the file cannot be written.
  bool SaveLines(const QString& path, QString& error) const;
  // Where " 保存为TXT" writes.
  QString InfoPath() const;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // " 保存为TXT" of the right-click menu: the lines into Info.txt.
  void XT1Click();

  SharedState& state_;
  QPlainTextEdit* mmInfo_;
  QStatusBar* StatusBar1_;
  QMenu* PopupMenu1_;
  QAction* XT1_;
  bool shown_once_ = false;
  std::deque<std::string> backlog_;
};

}  // namespace qv
