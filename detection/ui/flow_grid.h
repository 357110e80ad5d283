// The 20 meter rows of the flow detection window: besides the selection,
// address and lamp of every bench window, the volume, error and coefficient
// cells of five flow points and the inlet and outlet temperatures, each
// family kept in an array indexed by flow point and row.
#pragma once

#include <QLabel>

#include "ui/meter_grid.h"

namespace qv {

class TFlowGrid : public TMeterGrid {
  Q_OBJECT

 public:
  // Width of the three cells of one flow point.
  static constexpr int kPointWidth = 3 * kCellWidth + 2 * kGap;

  explicit TFlowGrid(QWidget* parent = nullptr);

  // Point 5 hidden when `flux_num` is 4; the cells of rows 1..meter_num
  // enabled, those of the rows after it disabled.
  void ApplyLayout(int meter_num, int flux_num);

  // An error cell's text and colour: red outside the limit, black within.
  void ShowError(int row, int point, const QString& text, bool outside);
  QColor ErrorColour(int row, int point) const;

  // "界面清空": empties the volume, error and coefficient cells of every
  // point and both temperature cells of every row.
  void ClearFace();

  QLabel* lblAddr;
  QLabel* lblTemp;
  QLabel* lblEntre;
  QLabel* lblExit;
  // The headings of each flow point's three columns.
  std::array<std::array<QLabel*, 3>, kFlowPoints> lblPoint{};
  PointColumns<QLineEdit> edtBulk{};
  PointColumns<QLineEdit> edtError{};
  PointColumns<QLineEdit> edtCoef{};
  Column<QLineEdit> edtEntreTerm{};
  Column<QLineEdit> edtExitTerm{};

 protected:
  void EnableOwnCells(int row, bool on) override;
};

}  // namespace qv
