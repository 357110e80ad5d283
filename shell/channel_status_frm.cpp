#include "shell/channel_status_frm.h"

#include <QGridLayout>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/captions.h"

namespace qv {

TChannelStatusFrm::TChannelStatusFrm(SharedState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName("ChannelStatusFrm");
  // Only a close button in the title bar.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  resize(684, 202);
  GroupBox2_ = BuildGroup("GroupBox2", "rzpl", ChannelPanels_);
  GroupBox1_ = BuildGroup("GroupBox1", "rzplCom", PortPanels_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox2_);
  layout->addWidget(GroupBox1_, 1);
}

// A group of 20 numbered labels over 20 coloured panels.
QGroupBox* TChannelStatusFrm::BuildGroup(const char* name, const char* panel_prefix,
                                         std::array<QFrame*, kMeterRows>& panels) {
  auto* group = new QGroupBox(this);
  group->setObjectName(name);
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(6);
  for (int i = 0; i < kMeterRows; ++i) {
    auto* number = new QLabel(QString::number(i + 1), group);
    number->setAlignment(Qt::AlignCenter);
    auto* panel = new QFrame(group);
    panel->setObjectName(QString("%1%2").arg(panel_prefix).arg(i + 1));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMinimumSize(22, 22);
    panel->setAutoFillBackground(true);
    grid->addWidget(number, 0, i);
    grid->addWidget(panel, 1, i);
    panels[static_cast<size_t>(i)] = panel;
  }
  return group;
}

void TChannelStatusFrm::Paint(QFrame* panel, const QColor& colour) {
  QPalette p = panel->palette();
  p.setColor(QPalette::Window, colour);
  panel->setPalette(p);
}

void TChannelStatusFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    const SystemSettings& s = state_.Settings;
    setWindowTitle(ByLanguage(s, "通道状态", "Channel State"));
    GroupBox1_->setTitle(ByLanguage(s, "  串口状态", "  Serial Port State"));
    GroupBox2_->setTitle(ByLanguage(s, "  通道状态", "  Channel State"));
    for (int i = 0; i < kMeterRows; ++i) {
      Paint(ChannelPanels_[static_cast<size_t>(i)], state_.ChannelState[i] == 1 ? kLime : kRed);
    }
    for (int row = 0; row < kMeterRows; ++row) {
      const int32_t comm = state_.Rows[row].Comm;
      // A port whose line has failed since (an adapter pulled while idle)
      // is not open for the rows either.
      const PortSlot* slot = PortSlots::ValidNumber(comm) ? &state_.Slots[comm] : nullptr;
      const bool open = slot && slot->PortOpen && !(slot->Port && slot->Port->Failed());
      Paint(PortPanels_[static_cast<size_t>(row)], open ? kLime : kRed);
    }
  }
  QDialog::showEvent(event);
}

}  // namespace qv
