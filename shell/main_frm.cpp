#include "shell/main_frm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <iterator>
#include <string_view>

#include "core/ini_file.h"
#include "core/settings_files.h"
#include "shell/channel_status_frm.h"
#include "shell/show_message_frm.h"
#include "shell/tool_windows.h"
#include "ui/captions.h"

namespace qv {

namespace {

// The captions of the menus and of the items that dock no tool window
// (those of `ToolWindows()` have theirs in that table). The separator `N3`
// has no caption of its own.
constexpr Caption kMenuCaptions[] = {
    {"nSystem", "系统", "System"},        {"nExit", "退出(&X)", "Exit(&X)"},
    {"nCheckMeter", "检测", "Detection"}, {"nReadDataM", "抄表", "Meter Reading"},
    {"nMessage", "信息", "Information"},  {"nMessageMonitor", "信息监控", "Information Monitoring"},
    {"N2", "通道状态", "Channel State"},
};

// Every menu caption: the menus' own, then the tool windows' items.
std::span<const Caption> MenuCaptions() {
  static const std::vector<Caption> captions = [] {
    std::vector<Caption> all(std::begin(kMenuCaptions), std::end(kMenuCaptions));
    for (const ToolWindow& w : ToolWindows())
      all.push_back(w.item);
    return all;
  }();
  return captions;
}

constexpr const char* kTitleChinese = "QorvantisV2.02";
constexpr const char* kTitleEnglish = "Qorvantis V2.02";

// Widths of the two (empty) status panels.
constexpr int kStatusPanelWidth = 400;

// A close that found an operation running cancels it and tries again after
// this pause: a cancelled operation ends within one pass of the event loop,
// and the pause keeps a window that is slow to end its operation from
// being asked in a tight loop.
constexpr int kCloseRetryMs = 100;

// The choices offered when the settings cannot be saved at closing, in
// both languages, beside the platform's own English error text.
constexpr const char* kRetryText = "Retry";
constexpr const char* kCloseWithoutSavingText = "Close without saving";
constexpr const char* kCancelText = "Cancel";

}  // namespace

TMainFrm::TMainFrm(SharedState& state) : state_(state) {
  setObjectName("MainFrm");
  // Every date, time and number text of the program is written with fixed
  // patterns, whatever the machine's regional settings.
  QLocale::setDefault(QLocale::c());
  resize(1127, 638);

  plMain_ = new QFrame(this);
  plMain_->setObjectName("plMain");
  plMain_->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(plMain_);
  layout->setContentsMargins(0, 0, 0, 0);
  setCentralWidget(plMain_);

  StatusBar1_ = new QStatusBar(this);
  StatusBar1_->setObjectName("StatusBar1");
  for (int i = 0; i < 2; ++i) {
    auto* panel = new QLabel(StatusBar1_);
    panel->setFixedWidth(kStatusPanelWidth);
    StatusBar1_->addWidget(panel);
  }
  // What the factory server has of the results, when there is a server.
  upload_status_ = new QLabel(StatusBar1_);
  upload_status_->setObjectName("lblUploadStatus");
  // A long reason is cut, never widens the window; its tip holds it whole.
  upload_status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  StatusBar1_->addWidget(upload_status_, 2);
  // Says why results are not being recorded, when they are not.
  journal_notice_ = new QLabel(StatusBar1_);
  journal_notice_->setObjectName("lblJournalNotice");
  StatusBar1_->addWidget(journal_notice_, 1);
  setStatusBar(StatusBar1_);

  BuildMenu();

  Timer1_ = FollowLanguage(this, state_.Settings, LastLanguage_, [this] { Timer1Timer(); });

  close_retry_ = new QTimer(this);
  close_retry_->setSingleShot(true);
  close_retry_->setInterval(kCloseRetryMs);
  connect(close_retry_, &QTimer::timeout, this, &QWidget::close);

  ApplyLanguage();
}

QMenu* TMainFrm::AddMenu(QMenuBar* bar, const char* name) {
  QMenu* menu = bar->addMenu(QString());
  menu->setObjectName(name);
  menu->menuAction()->setObjectName(name);
  return menu;
}

QAction* TMainFrm::AddItem(QMenu* menu, const char* name) {
  QAction* item = menu->addAction(QString());
  item->setObjectName(name);
  return item;
}

void TMainFrm::AddToolItems(QMenu* menu) {
  const auto windows = ToolWindows();
  for (size_t i = 0; i < windows.size(); ++i) {
    if (menu->objectName() != windows[i].menu) continue;
    connect(AddItem(menu, windows[i].item.object), &QAction::triggered, this, [this, i] {
      if (i < tools_.size()) ShowToolForm(tools_[i]);
    });
  }
}

void TMainFrm::BuildMenu() {
  QMenuBar* bar = menuBar();
  QMenu* system = AddMenu(bar, "nSystem");
  AddToolItems(system);
  connect(AddItem(system, "N2"), &QAction::triggered, this, &TMainFrm::N2Click);
  system->addSeparator()->setObjectName("N3");
  connect(AddItem(system, "nExit"), &QAction::triggered, this, &QWidget::close);

  AddToolItems(AddMenu(bar, "nCheckMeter"));
  AddToolItems(AddMenu(bar, "nReadDataM"));

  QMenu* message = AddMenu(bar, "nMessage");
  connect(AddItem(message, "nMessageMonitor"), &QAction::triggered, this,
          &TMainFrm::nMessageMonitorClick);
  AddToolItems(message);
}

void TMainFrm::ShowJournalNotice(const QString& text) {
  journal_notice_->setText(text);
  journal_notice_->setToolTip(text);
}

void TMainFrm::ShowUploadStatus(const QString& text) {
  upload_status_->setText(text);
  upload_status_->setToolTip(text);
}

void TMainFrm::SetWindows(std::span<TToolForm* const> tools, TShowMessageFrm* monitor) {
  tools_.assign(tools.begin(), tools.end());
  monitor_ = monitor;
}

void TMainFrm::ApplyLanguage() {
  const SystemSettings& s = state_.Settings;
  // The main window's title is also the program's task-bar text. (The
  // toolkit's application display name is left unset: it would be appended
  // to every other window's title.)
  ApplyCaptions(*this, Captions(), s.English());
}

CaptionTable TMainFrm::Captions() const {
  return {{nullptr, kTitleChinese, kTitleEnglish}, MenuCaptions()};
}

void TMainFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QMainWindow::showEvent(event);
}

void TMainFrm::FormShow() {
  LoadSysInfo(state_);
  SystemSettings& s = state_.Settings;
  s.OperatorName = "Test";
  s.TestDate = QDate::currentDate().toString("yyyy-MM-dd").toStdString().substr(0, 20);
  LoadCommInfo(state_);
  ApplyLanguage();
  LastLanguage_ = s.Language;
}

void TMainFrm::Timer1Timer() {
  ApplyLanguage();
  LastLanguage_ = state_.Settings.Language;
}

void TMainFrm::ShowToolForm(TToolForm* form) {
  if (!form) return;
  if (CurrentToolForm_ && CurrentToolForm_ != form) {
    // Its close handler runs; it stays docked, hidden, with its contents.
    // Exactly one tool window is visible, even if a handler refused.
    if (!CurrentToolForm_->close()) CurrentToolForm_->hide();
  }
  CurrentToolForm_ = form;
  if (form->parentWidget() != plMain_) {
    form->setParent(plMain_, Qt::Widget);  // no border, filling the panel
    plMain_->layout()->addWidget(form);
  }
  form->show();
}

void TMainFrm::nMessageMonitorClick() {
  if (!monitor_) return;
  monitor_->show();
  monitor_->raise();
  monitor_->activateWindow();
}

void TMainFrm::N2Click() {
  // A fresh snapshot each time, gone when it closes.
  TChannelStatusFrm form(state_, this);
  form.exec();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
  if (state_.OperationRunning) {
    // The operation is waiting in a local event loop further down the
    // stack: end it, let it return, and close once it has.
    for (TToolForm* tool : tools_) {
      if (tool) tool->CancelOperation();
    }
    event->ignore();
    close_retry_->start();
    return;
  }
  if (!FormClose()) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

TMainFrm::UnsavedChoice TMainFrm::AskUnsaved(const QString& error) {
  QMessageBox box(QMessageBox::Critical, windowTitle(), error, QMessageBox::NoButton, this);
  QPushButton* retry = box.addButton(kRetryText, QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(kCloseWithoutSavingText, QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(kCancelText, QMessageBox::RejectRole);
  box.setDefaultButton(retry);
  box.setEscapeButton(cancel);  // closing the box keeps the program
  box.exec();
  if (box.clickedButton() == retry) return UnsavedChoice::kRetry;
  if (box.clickedButton() == discard) return UnsavedChoice::kDiscard;
  return UnsavedChoice::kCancel;
}

bool TMainFrm::FormClose() {
  for (bool saved = false; !saved;) {
    try {
      SaveSysInfo(state_);
      SaveCommInfo(state_);
      saved = true;
    } catch (const FileWriteError& e) {
      // The operator decides: try again (after freeing the folder), end
      // without the changes, or keep the program with its ports open.
      switch (AskUnsaved(QString::fromStdString(e.what()))) {
        case UnsavedChoice::kRetry:
          break;
        case UnsavedChoice::kDiscard:
          saved = true;
          break;
        case UnsavedChoice::kCancel:
          return false;
      }
    }
  }
  for (int n = 1; n <= kPortSlotCount; ++n) {
    PortSlot& slot = state_.Slots[n];
    if (slot.PortOpen && slot.Port) slot.Port->Close();  // `PortOpen` keeps its value
  }
  return true;
}

}  // namespace qv
