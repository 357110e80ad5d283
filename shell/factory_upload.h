// The program's sender to the factory server, as the windows see it: it
// follows the bench's name and the server of the settings (a change counts
// within a second, without a restart), tells the sender when the journal
// has acknowledged more records, and shows the sender's status, "已上传 N
// 条，待上传 M 条" / "Uploaded N, waiting M" and the reason of the last
// failure, in the main window's status bar and in the monitor; a new
// failure, and the end of one, also reach the operation log. The sender
// runs on its own thread: nothing here waits for the server. With an empty
// server no sender runs and nothing is shown.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <memory>

#include "journal/core/factory_upload.h"
#include "serial/port_slots.h"

namespace qv {

class TMainFrm;
class TShowMessageFrm;

class TFactoryUpload : public QObject {
  Q_OBJECT

 public:
  TFactoryUpload(SharedState& state, TMainFrm* main, TShowMessageFrm* monitor);
  ~TFactoryUpload() override;

  // The status as the status bars show it.
  static QString StatusText(const UploadStatus& status, bool english);
  // The sender, once a server was set.
  const FactorySender* Sender() const { return sender_.get(); }

 private:
  // Each second: the settings and the journal followed.
  void Follow();
  void ShowStatus();

  SharedState& state_;
  QPointer<TMainFrm> main_;
  QPointer<TShowMessageFrm> monitor_;
  std::unique_ptr<FactorySender> sender_;
  QTimer* timer_;
  uint64_t acknowledged_ = 0;
  int language_ = -1;
  std::string reason_;  // of the failure last logged
  std::atomic<bool> show_pending_{false};
};

}  // namespace qv
