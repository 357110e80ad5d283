#include "shell/factory_upload.h"

#include "shell/main_frm.h"
#include "shell/show_message_frm.h"
#include "ui/captions.h"

namespace qv {

namespace {

// The settings are looked at as often as the language is.
constexpr int kFollowMs = 1000;

QString FailureKind(FactoryOutcome failure, bool english) {
  switch (failure) {
    case FactoryOutcome::kRefused:
      return ByLanguage(english, "服务器拒绝", "refused by the server");
    case FactoryOutcome::kNoJournal:
      return ByLanguage(english, "检测记录无法读取", "the journal cannot be read");
    default:
      return ByLanguage(english, "服务器无法连接", "server unreachable");
  }
}

}  // namespace

QString TFactoryUpload::StatusText(const UploadStatus& status, bool english) {
  QString text = ByLanguage(english, "已上传 %1 条，待上传 %2 条", "Uploaded %1, waiting %2")
                     .arg(status.Uploaded)
                     .arg(status.Waiting);
  if (status.Reason.empty()) return text;
  const QString reason = FailureKind(status.Failure, english) + ByLanguage(english, "：", ": ") +
                         QString::fromStdString(status.Reason);
  return text + ByLanguage(english, "（%1）", " (%1)").arg(reason);
}

TFactoryUpload::TFactoryUpload(SharedState& state, TMainFrm* main, TShowMessageFrm* monitor)
    : state_(state), main_(main), monitor_(monitor), timer_(new QTimer(this)) {
  timer_->setInterval(kFollowMs);
  connect(timer_, &QTimer::timeout, this, &TFactoryUpload::Follow);
  timer_->start();
  Follow();
}

TFactoryUpload::~TFactoryUpload() {
  sender_.reset();  // no status comes after this
}

void TFactoryUpload::Follow() {
  const SystemSettings& s = state_.Settings;
  const FactoryTarget target{s.FactoryServer, s.BenchName};
  // The journal is the outbox; without one (another program writes it)
  // there is nothing of this program's to send.
  if (!sender_ && (target.Server.empty() || !state_.Journal || !state_.Journal->IsOpen())) return;
  if (!sender_) {
    sender_ = std::make_unique<FactorySender>(state_.Journal->Path());
    // Many changes in a row reach the windows as one.
    sender_->on_change = [this] {
      if (show_pending_.exchange(true)) return;
      QMetaObject::invokeMethod(
          this,
          [this] {
            show_pending_ = false;
            ShowStatus();
          },
          Qt::QueuedConnection);
    };
  }
  sender_->Configure(target);
  const uint64_t acknowledged = state_.Journal ? state_.Journal->Acknowledged() : 0;
  if (acknowledged != acknowledged_) {
    acknowledged_ = acknowledged;
    sender_->Nudge();
  }
  if (s.Language != language_) ShowStatus();
}

void TFactoryUpload::ShowStatus() {
  const bool english = state_.Settings.English();
  language_ = state_.Settings.Language;
  const UploadStatus status = sender_ ? sender_->Status() : UploadStatus{};
  const bool shown = sender_ && !state_.Settings.FactoryServer.empty();
  const QString text = shown ? StatusText(status, english) : QString();
  if (main_) main_->ShowUploadStatus(text);
  if (monitor_) monitor_->ShowUploadStatus(text);
  if (status.Reason == reason_) return;
  if (!status.Reason.empty()) {
    state_.Log.Post(" " + ByLanguage(english, "工厂服务器上传失败：%1",
                                     "Upload to the factory server failed: %1")
                              .arg(QString::fromStdString(status.Reason))
                              .toStdString());
  } else if (shown) {
    state_.Log.Post(
        " " + ByLanguage(english, "工厂服务器上传恢复", "Upload to the factory server resumed")
                  .toStdString());
  }
  reason_ = status.Reason;
}

}  // namespace qv
