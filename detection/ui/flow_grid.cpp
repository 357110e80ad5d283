#include "detection/ui/flow_grid.h"

#include <span>

namespace qv {

namespace {

// Grid columns after the address: the cells of each flow point (volume,
// error and coefficient; or volume, volume error, heat and heat error), the
// two temperatures and the lamp.
// The characters an error cell takes when typed in.
constexpr int kErrorLength = 8;

struct CellFamily {
  const char* name;  // "Bulk" for edtQ1Bulk1 and lblQ1Bulk
  bool read_only;
  TFlowGrid::PointColumns<QLineEdit> TFlowGrid::*cells;
};
constexpr CellFamily kFlowFamilies[] = {{"Bulk", false, &TFlowGrid::edtBulk},
                                        {"Error", true, &TFlowGrid::edtError},
                                        {"Coef", true, &TFlowGrid::edtCoef}};
constexpr CellFamily kHeatFamilies[] = {{"Bulk", false, &TFlowGrid::edtBulk},
                                        {"BulkError", true, &TFlowGrid::edtError},
                                        {"Heat", false, &TFlowGrid::edtHeat},
                                        {"HeatError", true, &TFlowGrid::edtHeatError}};

QLabel* Header(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

// A column heading as wide as its cells, a point smaller than the cells'
// text so "Volume (L)" fits the column.
QLabel* ColumnHeading(const QString& name, QWidget* parent, int width) {
  QLabel* label = Header(name.toUtf8().constData(), parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() - 1);
  label->setFont(font);
  label->setFixedWidth(width);
  return label;
}

}  // namespace

TFlowGrid::TFlowGrid(QWidget* parent, Cells cells) : TMeterGrid(parent) {
  setObjectName(cells == Cells::kFlow ? "FlowGrid" : "OverallGrid");
  const std::span<const CellFamily> families =
      cells == Cells::kFlow ? std::span<const CellFamily>(kFlowFamilies) : kHeatFamilies;
  const int per_point = static_cast<int>(families.size());
  const int kColEntre = kColFirstOwn + per_point * kFlowPoints;
  const int kColExit = kColEntre + 1;
  const int kColLamp = kColExit + 1;
  const int width = cells == Cells::kFlow ? kCellWidth : kHeatCellWidth;
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
    for (int f = 0; f < per_point; ++f) {
      QLabel* heading = ColumnHeading(q + families[f].name, this, width);
      lblPoint[k][static_cast<size_t>(f)] = heading;
      layout_->addWidget(heading, 1, kColFirstOwn + per_point * k + f);
    }
  }

  for (int r = 0; r < kMeterRows; ++r) {
    const QString n = QString::number(r + 1);
    const int row = kFirstRow + r;
    for (int k = 0; k < kFlowPoints; ++k) {
      const QString q = QString("edtQ%1").arg(k + 1);
      for (int f = 0; f < per_point; ++f) {
        const CellFamily& family = families[f];
        QLineEdit* cell = Cell(q + family.name + n, family.read_only, width);
        (this->*family.cells)[k][r] = cell;
        layout_->addWidget(cell, row, kColFirstOwn + per_point * k + f);
      }
      for (QLineEdit* error : {edtError[k][r], edtHeatError[k][r]}) {
        if (error) LimitTyping(error, kErrorLength);
      }
    }
    edtEntreTerm[r] = Cell("edtEntreTerm" + n, true, width);
    edtExitTerm[r] = Cell("edtExitTerm" + n, true, width);
    layout_->addWidget(edtEntreTerm[r], row, kColEntre);
    layout_->addWidget(edtExitTerm[r], row, kColExit);
  }
  AddLamps(kColLamp);
}

void TFlowGrid::EnableOwnCells(int r, bool on) {
  edtEntreTerm[r]->setEnabled(on);
  edtExitTerm[r]->setEnabled(on);
  for (int k = 0; k < kFlowPoints; ++k) {
    for (QLineEdit* cell : PointCells(r, k))
      cell->setEnabled(on);
  }
}

std::vector<QLineEdit*> TFlowGrid::PointCells(int r, int k) const {
  std::vector<QLineEdit*> cells;
  for (QLineEdit* cell :
       {edtBulk[k][r], edtError[k][r], edtCoef[k][r], edtHeat[k][r], edtHeatError[k][r]}) {
    if (cell) cells.push_back(cell);
  }
  return cells;
}

void TFlowGrid::ShowPoint(int point, bool shown) {
  for (int r = 0; r < kMeterRows; ++r) {
    for (QLineEdit* cell : PointCells(r, point))
      cell->setVisible(shown);
  }
  for (QLabel* heading : lblPoint.at(point)) {
    if (heading) heading->setVisible(shown);
  }
}

QColor TFlowGrid::TextColour(const QLineEdit& cell) {
  return cell.palette().color(QPalette::Text);
}

void TFlowGrid::ShowError(QLineEdit* cell, const QString& text, bool outside) {
  ShowWhole(cell, text);
  const QColor colour = outside ? kRed : QColor(Qt::black);
  if (TextColour(*cell) != colour) SetTextColour(cell, colour);
}

QColor TFlowGrid::ErrorColour(int row, int point) const {
  return TextColour(*edtError.at(point).at(row));
}

}  // namespace qv
