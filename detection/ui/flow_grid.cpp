#include "detection/ui/flow_grid.h"

namespace qv {

namespace {

// Grid columns after the address: volume, error and coefficient of each
// flow point, the two temperatures and the lamp.
constexpr int kColEntre = TMeterGrid::kColFirstOwn + 3 * kFlowPoints;
constexpr int kColExit = kColEntre + 1;
constexpr int kColLamp = kColExit + 1;

QLabel* Header(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

// A column heading as wide as its cells, a point smaller than the cells'
// text so "Volume (L)" fits the column.
QLabel* ColumnHeading(const QString& name, QWidget* parent) {
  QLabel* label = Header(name.toUtf8().constData(), parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() - 1);
  label->setFont(font);
  label->setFixedWidth(TMeterGrid::kCellWidth);
  return label;
}

}  // namespace

TFlowGrid::TFlowGrid(QWidget* parent) : TMeterGrid(parent) {
  setObjectName("FlowGrid");
  lblAddr = Header("lblAddr", this);
  lblTemp = Header("lblTemp", this);
  lblEntre = Header("lblEntre", this);
  lblExit = Header("lblExit", this);
  layout_->addWidget(lblTemp, 0, kColEntre, 1, 2);
  layout_->addWidget(lblAddr, 1, kColAddr);
  layout_->addWidget(lblEntre, 1, kColEntre);
  layout_->addWidget(lblExit, 1, kColExit);
  for (int k = 0; k < kFlowPoints; ++k) {
    const QString q = QString("lblQ%1").arg(k + 1);
    int col = kColFirstOwn + 3 * k;
    for (const char* column : {"Bulk", "Error", "Coef"}) {
      QLabel* heading = ColumnHeading(q + column, this);
      lblPoint[k][static_cast<size_t>(col - kColFirstOwn - 3 * k)] = heading;
      layout_->addWidget(heading, 1, col++);
    }
  }

  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    const int row = kFirstRow + r;
    for (int k = 0; k < kFlowPoints; ++k) {
      const QString q = QString("edtQ%1").arg(k + 1);
      const int col = kColFirstOwn + 3 * k;
      edtBulk[k][r] = Cell(q + "Bulk" + n, false, kCellWidth);
      edtError[k][r] = Cell(q + "Error" + n, true, kCellWidth);
      edtError[k][r]->setMaxLength(8);
      edtCoef[k][r] = Cell(q + "Coef" + n, true, kCellWidth);
      layout_->addWidget(edtBulk[k][r], row, col);
      layout_->addWidget(edtError[k][r], row, col + 1);
      layout_->addWidget(edtCoef[k][r], row, col + 2);
    }
    edtEntreTerm[r] = Cell("edtEntreTerm" + n, true, kCellWidth);
    edtExitTerm[r] = Cell("edtExitTerm" + n, true, kCellWidth);
    layout_->addWidget(edtEntreTerm[r], row, kColEntre);
    layout_->addWidget(edtExitTerm[r], row, kColExit);
  }
  AddLamps(kColLamp);
}

void TFlowGrid::EnableOwnCells(int r, bool on) {
  edtEntreTerm[r]->setEnabled(on);
  edtExitTerm[r]->setEnabled(on);
  for (int k = 0; k < kFlowPoints; ++k) {
    for (QLineEdit* cell : {edtBulk[k][r], edtError[k][r], edtCoef[k][r]})
      cell->setEnabled(on);
  }
}

void TFlowGrid::ApplyLayout(int meter_num, int flux_num) {
  EnableRows(meter_num);
  const bool fifth = flux_num != 4;
  for (int r = 0; r < kMeterRows; ++r) {
    const int k = kFlowPoints - 1;
    for (QLineEdit* cell : {edtBulk[k][r], edtError[k][r], edtCoef[k][r]})
      cell->setVisible(fifth);
  }
  for (QLabel* heading : lblPoint[kFlowPoints - 1])
    heading->setVisible(fifth);
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
