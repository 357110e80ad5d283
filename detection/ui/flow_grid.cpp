#include "detection/ui/flow_grid.h"

#include <QGridLayout>

namespace qv {

const QColor TFlowGrid::kLime(0, 255, 0);
const QColor TFlowGrid::kRed(255, 0, 0);

namespace {

// Grid columns: check box, address, then volume, error and coefficient of
// each flow point, the two temperatures and the lamp. Rows: two header rows,
// then the meters.
constexpr int kColAddr = 1;
constexpr int kColFirstPoint = 2;
constexpr int kColEntre = kColFirstPoint + 3 * kFlowPoints;
constexpr int kColExit = kColEntre + 1;
constexpr int kColLamp = kColExit + 1;
constexpr int kFirstRow = 2;

QLabel* Header(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

void SetTextColour(QLineEdit* edit, const QColor& colour) {
  QPalette p = edit->palette();
  p.setColor(QPalette::Text, colour);
  edit->setPalette(p);
}

}  // namespace

TFlowGrid::TFlowGrid(QWidget* parent) : QWidget(parent) {
  setObjectName("FlowGrid");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(kGap);
  grid->setVerticalSpacing(1);

  cbxAll1 = new QCheckBox(this);
  cbxAll1->setObjectName("cbxAll1");
  lblAddr = Header("lblAddr", this);
  lblTemp = Header("lblTemp", this);
  lblEntre = Header("lblEntre", this);
  lblExit = Header("lblExit", this);
  grid->addWidget(cbxAll1, 0, 0, 1, 2);
  grid->addWidget(lblTemp, 0, kColEntre, 1, 2);
  grid->addWidget(lblAddr, 1, kColAddr);
  grid->addWidget(lblEntre, 1, kColEntre);
  grid->addWidget(lblExit, 1, kColExit);

  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    const int row = kFirstRow + r;
    cbx[r] = new QCheckBox(n, this);
    cbx[r]->setObjectName("cbx" + n);
    cbx[r]->setFixedWidth(kCheckWidth);
    grid->addWidget(cbx[r], row, 0);

    edtAddr[r] = Cell("edtAddr" + n, false, kAddrWidth);
    edtAddr[r]->setMaxLength(10);
    SetTextColour(edtAddr[r], Qt::blue);
    grid->addWidget(edtAddr[r], row, kColAddr);

    for (int k = 0; k < kFlowPoints; ++k) {
      const QString q = QString("edtQ%1").arg(k + 1);
      const int col = kColFirstPoint + 3 * k;
      edtBulk[k][r] = Cell(q + "Bulk" + n, false, kCellWidth);
      edtError[k][r] = Cell(q + "Error" + n, true, kCellWidth);
      edtError[k][r]->setMaxLength(8);
      edtCoef[k][r] = Cell(q + "Coef" + n, true, kCellWidth);
      grid->addWidget(edtBulk[k][r], row, col);
      grid->addWidget(edtError[k][r], row, col + 1);
      grid->addWidget(edtCoef[k][r], row, col + 2);
    }
    edtEntreTerm[r] = Cell("edtEntreTerm" + n, true, kCellWidth);
    edtExitTerm[r] = Cell("edtExitTerm" + n, true, kCellWidth);
    grid->addWidget(edtEntreTerm[r], row, kColEntre);
    grid->addWidget(edtExitTerm[r], row, kColExit);

    rzpl[r] = new QFrame(this);
    rzpl[r]->setObjectName("rzpl" + n);
    rzpl[r]->setFrameShape(QFrame::Panel);
    rzpl[r]->setFrameShadow(QFrame::Raised);
    rzpl[r]->setFixedWidth(kLampWidth);
    rzpl[r]->setAutoFillBackground(true);
    grid->addWidget(rzpl[r], row, kColLamp);
  }
  grid->setColumnStretch(kColLamp + 1, 1);
  grid->setRowStretch(kFirstRow + kMeterRows, 1);
}

QLineEdit* TFlowGrid::Cell(const QString& name, bool read_only, int width) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setReadOnly(read_only);
  edit->setFixedWidth(width);
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

void TFlowGrid::ApplyLayout(int meter_num, int flux_num) {
  const bool fifth = flux_num != 4;
  for (int r = 0; r < kMeterRows; ++r) {
    const bool on = r < meter_num;
    cbx[r]->setEnabled(on);
    edtAddr[r]->setEnabled(on);
    edtEntreTerm[r]->setEnabled(on);
    edtExitTerm[r]->setEnabled(on);
    for (int k = 0; k < kFlowPoints; ++k) {
      for (QLineEdit* cell : {edtBulk[k][r], edtError[k][r], edtCoef[k][r]}) {
        cell->setEnabled(on);
        if (k == kFlowPoints - 1) cell->setVisible(fifth);
      }
    }
  }
}

QColor TFlowGrid::ButtonFace() const {
  return palette().color(QPalette::Button);
}

void TFlowGrid::PaintLamp(int row, const QColor& colour) {
  QPalette p = rzpl.at(row)->palette();
  p.setColor(QPalette::Window, colour);
  rzpl[row]->setPalette(p);
}

QColor TFlowGrid::LampColour(int row) const {
  return rzpl.at(row)->palette().color(QPalette::Window);
}

void TFlowGrid::ShowError(int row, int point, const QString& text, bool outside) {
  QLineEdit* cell = edtError.at(point).at(row);
  cell->setText(text);
  SetTextColour(cell, outside ? kRed : QColor(Qt::black));
}

QColor TFlowGrid::ErrorColour(int row, int point) const {
  return edtError.at(point).at(row)->palette().color(QPalette::Text);
}

void TFlowGrid::ClearFace() {
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
      edtBulk[k][r]->clear();
      edtError[k][r]->clear();
      edtCoef[k][r]->clear();
    }
    edtEntreTerm[r]->clear();
    edtExitTerm[r]->clear();
  }
}

}  // namespace qv
