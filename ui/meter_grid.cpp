#include "ui/meter_grid.h"

#include <algorithm>

#include "ui/address_numbering.h"

namespace qv {

void LimitTyping(QLineEdit* edit, int max_length) {
  edit->setMaxLength(max_length);
  // The edit's maximum follows the text it holds, so a longer text shown
  // by the program stays whole until the operator shortens it.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, max_length](const QString& text) {
    edit->setMaxLength(std::max(max_length, static_cast<int>(text.size())));
  });
}

void ShowWhole(QLineEdit* edit, const QString& text) {
  // QLineEdit cuts a text longer than its maximum length.
  if (text.size() > edit->maxLength()) edit->setMaxLength(static_cast<int>(text.size()));
  edit->setText(text);
}

const QColor TMeterGrid::kLime(0, 255, 0);
const QColor TMeterGrid::kRed(255, 0, 0);

void SetTextColour(QLineEdit* edit, const QColor& colour) {
  QPalette p = edit->palette();
  p.setColor(QPalette::Text, colour);
  edit->setPalette(p);
}

TMeterGrid::TMeterGrid(QWidget* parent) : QWidget(parent) {
  layout_ = new QGridLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setHorizontalSpacing(kGap);
  layout_->setVerticalSpacing(1);

  cbxAll1 = new QCheckBox(this);
  cbxAll1->setObjectName("cbxAll1");
  layout_->addWidget(cbxAll1, 0, 0, 1, 2);
  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    cbx[r] = new QCheckBox(n, this);
    cbx[r]->setObjectName("cbx" + n);
    cbx[r]->setFixedWidth(kCheckWidth);
    layout_->addWidget(cbx[r], kFirstRow + r, 0);
    edtAddr[r] = Cell("edtAddr" + n, false, kAddrWidth);
    LimitTyping(edtAddr[r], kAddressMaxLength);
    SetTextColour(edtAddr[r], Qt::blue);
    layout_->addWidget(edtAddr[r], kFirstRow + r, kColAddr);
  }
}

void TMeterGrid::AddLamps(int column) {
  for (int r = 0; r < kMeterRows; ++r) {
    rzpl[r] = new QFrame(this);
    rzpl[r]->setObjectName("rzpl" + QString::number(r + 1));
    rzpl[r]->setFrameShape(QFrame::Panel);
    rzpl[r]->setFrameShadow(QFrame::Raised);
    rzpl[r]->setFixedSize(kLampWidth, kRowHeight);
    rzpl[r]->setAutoFillBackground(true);
    layout_->addWidget(rzpl[r], kFirstRow + r, column);
    PaintLamp(r, ButtonFace());
  }
  layout_->setColumnStretch(column + 1, 1);
  layout_->setRowStretch(kFirstRow + kMeterRows, 1);
}

QLineEdit* TMeterGrid::Cell(const QString& name, bool read_only, int width) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setReadOnly(read_only);
  edit->setFixedWidth(width);
  edit->setFixedHeight(kRowHeight);
  if (read_only) {
    // The cells the meters fill look apart from those the operator types in.
    QPalette p = edit->palette();
    const QColor shade = p.color(QPalette::AlternateBase);
    p.setColor(QPalette::Active, QPalette::Base, shade);
    p.setColor(QPalette::Inactive, QPalette::Base, shade);
    edit->setPalette(p);
  }
  return edit;
}

void TMeterGrid::BindRows(SharedState& state) {
  for (int r = 0; r < kMeterRows; ++r) {
    connect(cbx[r], &QCheckBox::toggled, this,
            [&state, r](bool on) { state.Rows[r].Selected = on; });
    connect(edtAddr[r], &QLineEdit::textChanged, this, [&state, r](const QString& text) {
      state.Rows[r].Address = text.trimmed().toStdString();
    });
  }
  connect(cbxAll1, &QCheckBox::clicked, this, [this, &state](bool on) {
    const int count = std::clamp(state.Settings.MeterNum, 0, kMeterRows);
    for (int r = 0; r < count; ++r)
      cbx[r]->setChecked(on);
  });
}

void TMeterGrid::ShowRows(const SharedState& state) {
  const int count = std::clamp(state.Settings.MeterNum, 0, kMeterRows);
  for (int r = 0; r < count; ++r) {
    cbx[r]->setChecked(state.Rows[r].Selected);
    ShowWhole(edtAddr[r], QString::fromStdString(state.Rows[r].Address));
  }
}

void TMeterGrid::EnableRows(int meter_num) {
  for (int r = 0; r < kMeterRows; ++r) {
    const bool on = r < meter_num;
    cbx[r]->setEnabled(on);
    edtAddr[r]->setEnabled(on);
    EnableOwnCells(r, on);
  }
}

QColor TMeterGrid::ButtonFace() const {
  return palette().color(QPalette::Button);
}

void TMeterGrid::PaintLamp(int row, const QColor& colour) {
  QPalette p = rzpl.at(row)->palette();
  p.setColor(QPalette::Window, colour);
  rzpl[row]->setPalette(p);
}

QColor TMeterGrid::LampColour(int row) const {
  return rzpl.at(row)->palette().color(QPalette::Window);
}

void TMeterGrid::ShowLamp(int row, Lamp lamp) {
  PaintLamp(row, lamp == Lamp::Lime ? kLime : lamp == Lamp::Red ? kRed : ButtonFace());
}

void TMeterGrid::BlinkLamp(int row) {
  PaintLamp(row, LampColour(row) == ButtonFace() ? kRed : ButtonFace());
}

void TMeterGrid::BlinkServed(const BenchRun& run) {
  for (int row = 0; row < kMeterRows; ++row) {
    if (run.InService(row) && run.LampOf(row) != Lamp::Lime) BlinkLamp(row);
  }
}

}  // namespace qv
