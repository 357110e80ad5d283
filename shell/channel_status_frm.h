// The channel-status window: a modal snapshot, taken when it opens, of which
// switch channels the switch has confirmed open (`ChannelState`) and which
// meter rows have an open port. Lime = confirmed or open, red = not.
// Created anew each time it is shown and destroyed when it closes.
#pragma once

#include <QColor>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <array>

#include "ui/meter_grid.h"

namespace qv {

class TChannelStatusFrm : public QDialog {
  Q_OBJECT

 public:
  static inline const QColor& kLime = TMeterGrid::kLime;
  static inline const QColor& kRed = TMeterGrid::kRed;

  explicit TChannelStatusFrm(SharedState& state, QWidget* parent = nullptr);

  // `rzpl1` .. `rzpl20`, one per switch channel 0..19.
  const std::array<QFrame*, kMeterRows>& ChannelPanels() const { return ChannelPanels_; }
  // `rzplCom1` .. `rzplCom20`, one per meter row 0..19.
  const std::array<QFrame*, kMeterRows>& PortPanels() const { return PortPanels_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QGroupBox* BuildGroup(const char* name, const char* panel_prefix,
                        std::array<QFrame*, kMeterRows>& panels);
  static void Paint(QFrame* panel, const QColor& colour);

  SharedState& state_;
  QGroupBox* GroupBox1_;  // ports
  QGroupBox* GroupBox2_;  // channels
  std::array<QFrame*, kMeterRows> ChannelPanels_{};
  std::array<QFrame*, kMeterRows> PortPanels_{};
};

}  // namespace qv
