// The bench scale as the windows see it: one reader of the scale's line for
// the whole program, shared by the windows that show its readings, whose
// reports arrive on the user-interface thread.
//
// A window takes the link of its bench when it is made and keeps it; the
// link goes with the last window holding it. While a window is shown it
// asks for live readings (`Watch`), which the reader then takes a few times
// a second; `StatusChanged` tells it a new reading or a change of the line
// has come. A window that needs one stable reading begins a wait; its end
// arrives as `Waited`, on the same thread.
//
//   scale_ = TScaleLink::Of(state);
//   scale_->Follow(state.Scale);   // when shown: the settings now in force
//   scale_->Watch(this, true);
//   const uint64_t id = scale_->BeginWait(10s);
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>

#include "core/shared_state.h"
#include "protocol/scale_reader.h"

namespace qv {

class TScaleLink : public QObject {
  Q_OBJECT

 public:
  // The link of `bench`, made at the first call and shared by every holder.
  static std::shared_ptr<TScaleLink> Of(const BenchState& bench);
  ~TScaleLink() override;

  // Takes the scale settings in force: a scale set up anew (another device,
  // protocol or line) gets a reader of its own, the old one closes. Not
  // while a wait runs.
  void Follow(const ScaleSettings& settings);
  // Whether the bench has a scale (a device is set up).
  bool Present() const { return reader_ != nullptr; }
  const ScaleSettings& Settings() const { return settings_; }
  // `viewer` shows live readings (or no longer does): the reader takes
  // them while any window does.
  void Watch(const QObject* viewer, bool live);
  // The latest reading or state of the line.
  ScaleStatus Status() const;

  // Begins a wait of at most `limit` for a stable reading in a known unit;
  // 0 without a scale. `Waited` reports its end unless it is cancelled.
  uint64_t BeginWait(std::chrono::milliseconds limit);
  void CancelWait(uint64_t id);

 signals:
  void StatusChanged();
  void Waited(const ScaleWaitResult& result);

 private:
  TScaleLink() = default;

  ScaleSettings settings_;
  std::unique_ptr<ScaleReader> reader_;
  std::set<const QObject*> viewers_;
  // A status report is on its way to this thread: one at a time, however
  // fast the scale answers.
  std::atomic<bool> status_posted_{false};
};

// The live reading as a window shows it: "秤：12.345 kg  稳定" / "Scale:
// 12.345 kg  stable", "... 不稳定" / "... moving", "秤：超载" / "Scale:
// overload", "无秤：..." / "No scale: ...", ...
QString ScaleStatusText(const ScaleStatus& status, bool present, bool english);
// Whether `status` shows a stable reading, a reading on the move, or
// neither (an overload, an error, no reading).
enum class ScaleMark { kStable, kMoving, kNone };
ScaleMark ScaleMarkOf(const ScaleStatus& status);
// Why a wait took no reading, in words for the operator ("the scale
// reports an overload"); empty for a reading taken.
QString ScaleWaitProblem(const ScaleWaitResult& result, std::chrono::milliseconds limit,
                         bool english);

}  // namespace qv
