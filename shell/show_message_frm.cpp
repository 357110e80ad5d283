#include "shell/show_message_frm.h"

#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "ui/captions.h"

namespace qv {

namespace {
// Widths of the three (empty) status panels.
constexpr int kStatusPanels[] = {150, 150, 50};

// The bottom edge of the owner's menu bar on the screen, or `fallback`.
int MenuBarBottom(const QWidget* owner, int fallback) {
  const QMenuBar* bar = owner ? owner->findChild<QMenuBar*>() : nullptr;
  if (!bar || !bar->isVisible()) return fallback;
  return bar->mapToGlobal(QPoint(0, bar->height())).y();
}
}  // namespace

QRect MonitorFrame(const QRect& available, QSize frame, int top_limit) {
  const int top = std::clamp(top_limit, available.top(), available.bottom());
  frame = frame.boundedTo(QSize(available.width(), available.bottom() + 1 - top));
  return {QPoint(available.right() + 1 - frame.width(), available.bottom() + 1 - frame.height()),
          frame};
}

TShowMessageFrm::TShowMessageFrm(SharedState& state, QWidget* owner)
    : QWidget(owner), state_(state) {
  setObjectName("ShowMessageFrm");
  // A tool window of its owner (the main window): above it, but never over
  // other programs, and below the program's own message boxes, which are
  // shown later over the same owner.
  setWindowFlags(Qt::Tool);
  setWindowTitle(QString::fromUtf8("通讯信息"));
  resize(928, 480);

  mmInfo_ = new QPlainTextEdit(this);
  mmInfo_->setObjectName("mmInfo");
  mmInfo_->setReadOnly(true);
  mmInfo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The mouse is handled here: double-click clears, right button opens the
  // save menu only when there is something to save.
  mmInfo_->setContextMenuPolicy(Qt::PreventContextMenu);
  mmInfo_->viewport()->installEventFilter(this);

  StatusBar1_ = new QStatusBar(this);
  StatusBar1_->setObjectName("StatusBar1");
  StatusBar1_->setSizeGripEnabled(false);
  for (int width : kStatusPanels) {
    auto* panel = new QLabel(StatusBar1_);
    panel->setFixedWidth(width);
    StatusBar1_->addWidget(panel);
    if (!DroppedPanel_) DroppedPanel_ = panel;
  }
  UploadPanel_ = new QLabel(StatusBar1_);
  UploadPanel_->setObjectName("lblUploadStatus");
  UploadPanel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  StatusBar1_->addWidget(UploadPanel_, 1);

  PopupMenu1_ = new QMenu(this);
  PopupMenu1_->setObjectName("PopupMenu1");
  XT1_ = PopupMenu1_->addAction(QString::fromUtf8(" 保存为TXT"));
  XT1_->setObjectName("XT1");
  connect(XT1_, &QAction::triggered, this, &TShowMessageFrm::XT1Click);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(mmInfo_);
  layout->addWidget(StatusBar1_);

  // Until it is first shown the monitor keeps the lines it would show.
  state_.Log.SetSink([this](const std::string& line) {
    ShowDropped();
    if (shown_once_) {
      ShowMessage(line);
      return;
    }
    backlog_.push_back(line);
    if (backlog_.size() > kMaxLines + 1) backlog_.pop_front();
  });
}

TShowMessageFrm::~TShowMessageFrm() {
  state_.Log.SetSink({});
}

void TShowMessageFrm::PlaceAtLowerRight() {
  const QWidget* owner = parentWidget();
  const QScreen* screen = owner ? owner->screen() : this->screen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  // The frame's margins; before the window has been mapped they are not
  // known yet, and the owner's are the best guess.
  const QWidget* framed = frameGeometry() != geometry() || !owner ? this : owner;
  const QRect outer = framed->frameGeometry();
  const QRect inner = framed->geometry();
  const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
  const QRect frame =
      MonitorFrame(available, size().grownBy(margins), MenuBarBottom(owner, available.top()));
  setGeometry(frame.marginsRemoved(margins));
}

void TShowMessageFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    setWindowTitle(ByLanguage(state_.Settings, "信息监控", "Message Monitor"));
    if (!shown_once_) {
      PlaceAtLowerRight();  // afterwards it stays where the operator puts it
      // The window manager tells the frame's size only once the window is
      // up: its first exposure corrects the place with it.
      if (windowHandle()) windowHandle()->installEventFilter(this);
      // What was logged before the monitor was first opened, so the reason
      // for a red lamp is there to read.
      shown_once_ = true;
      for (const std::string& line : backlog_)
        ShowMessage(line);
      backlog_.clear();
    }
    ShowDropped(true);
  }
  QWidget::showEvent(event);
}

void TShowMessageFrm::ShowDropped(bool relabel) {
  const uint64_t dropped = state_.Log.Dropped();
  if (dropped == 0 || (dropped == dropped_shown_ && !relabel)) return;
  dropped_shown_ = dropped;
  DroppedPanel_->setText(ByLanguage(state_.Settings, "丢失日志：%1 行", "Lines dropped: %1")
                             .arg(QString::number(dropped)));
}

void TShowMessageFrm::ShowUploadStatus(const QString& text) {
  UploadPanel_->setText(text);
  UploadPanel_->setToolTip(text);
}

int TShowMessageFrm::LineCount() const {
  const QTextDocument* doc = mmInfo_->document();
  return doc->isEmpty() ? 0 : doc->blockCount();
}

void TShowMessageFrm::ShowMessage(const std::string& line) {
  if (line.empty()) return;
  if (LineCount() > kMaxLines) mmInfo_->clear();
  mmInfo_->appendPlainText(QString::fromStdString(line));
}

bool TShowMessageFrm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose) {
    windowHandle()->removeEventFilter(this);
    if (frameGeometry() != geometry()) PlaceAtLowerRight();
    return false;
  }
  if (watched == mmInfo_->viewport()) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      mmInfo_->clear();
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        if (LineCount() > 0) PopupMenu1_->popup(QCursor::pos());
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

QString TShowMessageFrm::InfoPath() const {
  return QString::fromStdString(state_.DataFolder()) + "Info.txt";
}

bool TShowMessageFrm::SaveLines(const QString& path, QString& error) const {
  QByteArray text;
  for (QTextBlock b = mmInfo_->document()->begin(); b.isValid() && LineCount() > 0; b = b.next()) {
    text += b.text().toUtf8();
    text += "\r\n";
  }
  // Written beside the target and renamed over it: an earlier file is
  // replaced whole or not at all.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    error = QString("Cannot create file \"%1\". %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

void TShowMessageFrm::XT1Click() {
  QString error;
  if (!SaveLines(InfoPath(), error)) QMessageBox::critical(this, windowTitle(), error);
}

}  // namespace qv
