// The main window: a maximised frame with the menu bar and the client panel
// `plMain`, in which exactly one tool window at a time is docked. It reloads
// the settings when shown, follows the `Language` setting within a second,
// shows the message monitor and the channel-status snapshot, and on closing
// ends a running operation, saves both settings files, closes every open
// port and ends the program. It talks to no meter itself.
#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <span>
#include <vector>

#include "serial/port_slots.h"
#include "ui/tool_form.h"

namespace qv {

class TShowMessageFrm;

class TMainFrm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainFrm(SharedState& state);

  // The windows the menu shows, `tools` in the order of `ToolWindows()`;
  // they live as long as this window.
  void SetWindows(std::span<TToolForm* const> tools, TShowMessageFrm* monitor);

  // Docks `form` in `plMain` and shows it; the tool window docked before is
  // closed first unless it is `form` itself.
  void ShowToolForm(TToolForm* form);
  TToolForm* CurrentToolForm() const { return CurrentToolForm_; }
  // Window title, application title and menu captions for `Language`.
  void ApplyLanguage();
  // The captions it applies.
  CaptionTable Captions() const;
  int LastLanguage() const { return LastLanguage_; }
  // Shows, in the status bar, why the results journal records nothing.
  void ShowJournalNotice(const QString& text);
  // Shows, in the status bar, what the factory server has of the journal.
  void ShowUploadStatus(const QString& text);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  QMenu* AddMenu(QMenuBar* bar, const char* name);
  // The items of the tool windows that `menu` docks.
  void AddToolItems(QMenu* menu);
  QAction* AddItem(QMenu* menu, const char* name);

  // Handlers named after the controls they serve.
  // Showing: the settings files read again, tester and date set.
  void FormShow();
  // The captions in a language chosen elsewhere (`FollowLanguage`).
  void Timer1Timer();
  // "通道状态": the channel-status window, modal.
  void N2Click();
  // "信息监控": the message monitor.
  void nMessageMonitorClick();
  // Saves both settings files and closes the open ports. When a file
  // cannot be written the operator chooses "Retry", "Close without saving"
  // or "Cancel"; false for "Cancel" (the program stays as it was).
  bool FormClose();
  enum class UnsavedChoice { kRetry, kDiscard, kCancel };
  UnsavedChoice AskUnsaved(const QString& error);

  SharedState& state_;
  QFrame* plMain_;
  QStatusBar* StatusBar1_;
  QTimer* Timer1_;
  // Retries a close that waited for a running operation to end.
  QTimer* close_retry_;
  int LastLanguage_ = 0;
  TToolForm* CurrentToolForm_ = nullptr;
  std::vector<TToolForm*> tools_;
  TShowMessageFrm* monitor_ = nullptr;
  QLabel* journal_notice_;
  QLabel* upload_status_;
};

}  // namespace qv
