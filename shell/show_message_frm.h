// The message monitor: shows the operation log's lines as they are
// produced, floats above the main window that owns it (first at the lower
// right of the screen, clear of the menu bar), and lets the operator clear
// the lines (double-click) or save them to "Info.txt" beside the program
// (right-click menu). It keeps at most 101 lines: the 102nd line clears the
// box first.
//
// It is the log's sink from its creation. Until it is first shown it keeps
// the last lines it would show (at most 101) and shows them when it is
// first opened; from then on every line arrives, whether the window is
// visible or hidden and whatever the language. When the log's queue
// overflowed (the user interface fell behind the lines), its first status
// panel says how many lines were lost.
#pragma once

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QWidget>
#include <deque>
#include <string>

#include "serial/port_slots.h"

namespace qv {

// Where the monitor's frame first goes: the lower right corner of the
// screen's `available` area, its top not above `top_limit` (the main
// window's menu bar), `frame` shrunk where the area is smaller.
QRect MonitorFrame(const QRect& available, QSize frame, int top_limit);

class TShowMessageFrm : public QWidget {
  Q_OBJECT

 public:
  // A box holding more lines than this is cleared before the next line.
  static constexpr int kMaxLines = 100;

  // A tool window of `owner` (the main window), which it stays above.
  explicit TShowMessageFrm(SharedState& state, QWidget* owner = nullptr);
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
  // Shows, in the status bar, what the factory server has of the journal.
  void ShowUploadStatus(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // " 保存为TXT" of the right-click menu: the lines into Info.txt.
  void XT1Click();
  // The first showing's place: see MonitorFrame.
  void PlaceAtLowerRight();
  // The count of log lines lost while the queue was full (the monitor fell
  // behind), in the first status panel; `relabel` after a language change.
  void ShowDropped(bool relabel = false);

  SharedState& state_;
  QPlainTextEdit* mmInfo_;
  QStatusBar* StatusBar1_;
  QMenu* PopupMenu1_;
  QAction* XT1_;
  QLabel* DroppedPanel_ = nullptr;
  QLabel* UploadPanel_;
  bool shown_once_ = false;
  uint64_t dropped_shown_ = 0;
  std::deque<std::string> backlog_;
};

}  // namespace qv
