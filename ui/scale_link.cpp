#include "ui/scale_link.h"

#include <map>

#include "ui/captions.h"

namespace qv {

namespace {

bool SameScale(const ScaleSettings& a, const ScaleSettings& b) {
  return a.Device == b.Device && a.Protocol == b.Protocol && a.Line() == b.Line();
}

// A mass in kg with at least three decimals and as many more as it has.
QString Kg(double kg) {
  QString t = QString::number(kg, 'f', 6);
  while (t.endsWith('0') && t.indexOf('.') < t.size() - 4)
    t.chop(1);
  return t + " kg";
}

}  // namespace

std::shared_ptr<TScaleLink> TScaleLink::Of(const BenchState& bench) {
  // The windows live on one thread; so does this map.
  static std::map<const BenchState*, std::weak_ptr<TScaleLink>> links;
  std::weak_ptr<TScaleLink>& held = links[&bench];
  std::shared_ptr<TScaleLink> link = held.lock();
  if (!link) {
    link.reset(new TScaleLink);
    link->Follow(bench.Scale);
    held = link;
  }
  return link;
}

TScaleLink::~TScaleLink() {
  // The reader's thread stops before anything it reports to is gone.
  reader_.reset();
}

void TScaleLink::Follow(const ScaleSettings& settings) {
  if (reader_ && SameScale(settings, settings_)) return;
  if (!reader_ && !settings.Present()) return;
  reader_.reset();
  settings_ = settings;
  if (!settings.Present()) {
    emit StatusChanged();
    return;
  }
  ScaleReader::Listener listener;
  listener.Status = [this](const ScaleStatus&) {
    if (status_posted_.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
          status_posted_ = false;
          emit StatusChanged();
        },
        Qt::QueuedConnection);
  };
  listener.Waited = [this](const ScaleWaitResult& result) {
    QMetaObject::invokeMethod(
        this, [this, result] { emit Waited(result); }, Qt::QueuedConnection);
  };
  reader_ = std::make_unique<ScaleReader>(settings, std::move(listener));
  reader_->SetLive(!viewers_.empty());
  emit StatusChanged();
}

void TScaleLink::Watch(const QObject* viewer, bool live) {
  const bool before = !viewers_.empty();
  if (live) {
    viewers_.insert(viewer);
  } else {
    viewers_.erase(viewer);
  }
  if (reader_ && before != !viewers_.empty()) reader_->SetLive(!viewers_.empty());
}

ScaleStatus TScaleLink::Status() const {
  return reader_ ? reader_->Status() : ScaleStatus{};
}

uint64_t TScaleLink::BeginWait(std::chrono::milliseconds limit) {
  return reader_ ? reader_->BeginWait(ScaleWaitKind::kStable, limit) : 0;
}

void TScaleLink::CancelWait(uint64_t id) {
  if (reader_) reader_->CancelWait(id);
}

ScaleMark ScaleMarkOf(const ScaleStatus& status) {
  if (status.Link != ScaleLink::kConnected || !status.Reading || !status.Reading->MassKg)
    return ScaleMark::kNone;
  return status.Reading->Stable() ? ScaleMark::kStable : ScaleMark::kMoving;
}

QString ScaleStatusText(const ScaleStatus& status, bool present, bool english) {
  if (!present) {
    return ByLanguage(english, "无秤：参数设置中未设置秤设备",
                      "No scale: none is set up in the parameter settings");
  }
  const QString head = ByLanguage(english, "秤：", "Scale: ");
  switch (status.Link) {
    case ScaleLink::kClosed:
      return head + ByLanguage(english, "连接中…", "connecting…");
    case ScaleLink::kNotConnected:
      return head + ByLanguage(english, "未连接", "not connected");
    case ScaleLink::kSilent:
      return head + ByLanguage(english, "无应答", "no answer");
    case ScaleLink::kConnected:
      break;
  }
  if (!status.Reading) return head + ByLanguage(english, "已连接", "connected");
  const ScaleReading& r = *status.Reading;
  switch (r.State) {
    case ScaleState::kStable:
    case ScaleState::kMoving:
      if (r.MassKg) {
        return head + Kg(*r.MassKg) + "  " +
               (r.Stable() ? ByLanguage(english, "稳定", "stable")
                           : ByLanguage(english, "不稳定", "moving"));
      }
      break;
    case ScaleState::kOverload:
      return head + ByLanguage(english, "超载", "overload");
    case ScaleState::kUnderload:
      return head + ByLanguage(english, "欠载", "underload");
    case ScaleState::kError:
      break;
  }
  switch (r.Error) {
    case ScaleError::kBusy:
      return head + ByLanguage(english, "忙", "busy");
    case ScaleError::kUnknownUnit:
      return head + ByLanguage(english, "单位“%1”无法换算", "unknown unit \"%1\"")
                        .arg(QString::fromStdString(r.Unit));
    default:
      return head + ByLanguage(english, "错误", "error");
  }
}

QString ScaleWaitProblem(const ScaleWaitResult& result, std::chrono::milliseconds limit,
                         bool english) {
  switch (result.End) {
    case ScaleWaitEnd::kTaken:
      return {};
    case ScaleWaitEnd::kNoStable: {
      const QString s = QString::number(limit.count() / 1000);
      return ByLanguage(english, "秤在 %1 秒内没有稳定读数",
                        "the scale gave no stable reading within %1 s")
          .arg(s);
    }
    case ScaleWaitEnd::kOverload:
      return ByLanguage(english, "秤超载", "the scale reports an overload");
    case ScaleWaitEnd::kUnderload:
      return ByLanguage(english, "秤欠载", "the scale reports an underload");
    case ScaleWaitEnd::kUnknownUnit: {
      const QString unit = result.Reading ? QString::fromStdString(result.Reading->Unit) : "";
      return ByLanguage(english, "秤的单位“%1”无法换算为千克",
                        "the scale's unit \"%1\" cannot be converted to kg")
          .arg(unit);
    }
    case ScaleWaitEnd::kSilent:
      return ByLanguage(english, "秤没有应答", "the scale does not answer");
    case ScaleWaitEnd::kNotConnected:
      return ByLanguage(english, "秤未连接（%1）", "the scale is not connected (%1)")
          .arg(QString::fromStdString(result.Problem));
  }
  return {};
}

}  // namespace qv
