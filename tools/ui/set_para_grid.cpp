#include "tools/ui/set_para_grid.h"

#include <QHBoxLayout>

#include "protocol/address.h"
#include "protocol/switch_frame.h"
#include "tools/core/set_para_settings.h"

namespace qv {

namespace {

// Grid columns: selection, port, channel, current and new address, pipe
// size, five coefficients, the three times, the lamp.
constexpr int kColComm = 1;
constexpr int kColChannel = 2;
constexpr int kColCurrAddr = 3;
constexpr int kColNewAddr = 4;
constexpr int kColDn = 5;
constexpr int kColCoef = 6;
constexpr int kColTimes = kColCoef + kFlowPoints;
constexpr int kColLamp = kColTimes + 3;

constexpr int kPortWidth = 76;
constexpr int kChannelWidth = 48;
constexpr int kAddressWidth = 116;
constexpr int kDnWidth = 60;
constexpr int kCoefWidth = 72;
constexpr int kTimeWidth = 78;

QLabel* Header(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

QComboBox* TSetParaGrid::List(const QString& name, int width) {
  auto* list = new QComboBox(this);
  list->setObjectName(name);
  list->setFixedWidth(width);
  return list;
}

TSetParaGrid::TSetParaGrid(QWidget* parent) : TMeterGrid(parent) {
  setObjectName("SetParaGrid");
  cbAllSelected = cbxAll1;
  cbAllSelected->setObjectName("cbAllSelected");
  layout_->removeWidget(cbAllSelected);
  layout_->addWidget(cbAllSelected, 0, 0);

  // The communication mode over the port and channel columns, "同" over the
  // pipe sizes it copies.
  auto* mode = new QWidget(this);
  auto* mode_row = new QHBoxLayout(mode);
  mode_row->setContentsMargins(0, 0, 0, 0);
  mode_row->addWidget(Header("lblCommType", mode));
  cbxCommType = new QComboBox(mode);
  cbxCommType->setObjectName("cbxCommType");
  cbxCommType->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  mode_row->addWidget(cbxCommType);
  mode_row->addStretch(1);
  layout_->addWidget(mode, 0, kColComm, 1, kColDn - kColComm);
  cbSame = new QCheckBox(this);
  cbSame->setObjectName("cbSame");
  layout_->addWidget(cbSame, 0, kColDn);

  const std::pair<const char*, int> headings[] = {{"lblComm", kColComm},
                                                  {"lblChannel", kColChannel},
                                                  {"lblCurrAddr", kColCurrAddr},
                                                  {"lblNewAddr", kColNewAddr},
                                                  {"lblDN", kColDn},
                                                  {"lblTimes", kColTimes},
                                                  {"lblDownStream", kColTimes + 1},
                                                  {"lblReverseFlow", kColTimes + 2}};
  for (const auto& [name, column] : headings)
    layout_->addWidget(Header(name, this), 1, column);
  for (int k = 0; k < kFlowPoints; ++k) {
    const QByteArray name = QString("lblQ%1Coef").arg(k + 1).toUtf8();
    layout_->addWidget(Header(name.constData(), this), 1, kColCoef + k);
  }

  QStringList ports{"NONE"};
  for (int n = 1; n <= kPortCount; ++n)
    ports << QString("COM%1").arg(n);
  QStringList channels;
  for (int c = 1; c <= kSwitchChannels; ++c)
    channels << QString::number(c);
  QStringList sizes;
  for (int32_t dn : DnSizeTable)
    sizes << QString::number(dn);

  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    const int row = kFirstRow + r;
    cbxComm[r] = List("cbxComm" + n, kPortWidth);
    cbxComm[r]->addItems(ports);
    cbxChannel[r] = List("cbxChannel" + n, kChannelWidth);
    cbxChannel[r]->addItems(channels);
    layout_->addWidget(cbxComm[r], row, kColComm);
    layout_->addWidget(cbxChannel[r], row, kColChannel);

    edtCurrAddr[r]->setObjectName("edtCurrAddr" + n);
    LimitTyping(edtCurrAddr[r], static_cast<int>(kAddressDigits));
    edtCurrAddr[r]->setFixedWidth(kAddressWidth);
    layout_->removeWidget(edtCurrAddr[r]);
    layout_->addWidget(edtCurrAddr[r], row, kColCurrAddr);
    edtNewAddr[r] = Cell("edtNewAddr" + n, false, kAddressWidth);
    LimitTyping(edtNewAddr[r], kNewAddressLength);
    layout_->addWidget(edtNewAddr[r], row, kColNewAddr);

    cbxCaliber[r] = List("cbxCaliber" + n, kDnWidth);
    cbxCaliber[r]->addItems(sizes);
    layout_->addWidget(cbxCaliber[r], row, kColDn);

    for (int k = 0; k < kFlowPoints; ++k) {
      edtCoef[k][r] = Cell(QString("edtQ%1Coef").arg(k + 1) + n, false, kCoefWidth);
      layout_->addWidget(edtCoef[k][r], row, kColCoef + k);
    }
    // What the meter reports: read-only.
    edtTimes[r] = Cell("edtTimes" + n, true, kTimeWidth);
    edtDownStream[r] = Cell("edtDownStream" + n, true, kTimeWidth);
    edtReverseFlow[r] = Cell("edtReverseFlow" + n, true, kTimeWidth);
    layout_->addWidget(edtTimes[r], row, kColTimes);
    layout_->addWidget(edtDownStream[r], row, kColTimes + 1);
    layout_->addWidget(edtReverseFlow[r], row, kColTimes + 2);
  }
  AddLamps(kColLamp);
}

void TSetParaGrid::EnableOwnCells(int r, bool on) {
  for (QWidget* w :
       std::initializer_list<QWidget*>{cbxComm[r], cbxChannel[r], edtNewAddr[r], cbxCaliber[r]})
    w->setEnabled(on);
}

}  // namespace qv
