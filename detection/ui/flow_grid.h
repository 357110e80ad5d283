// The 20 meter rows of the flow detection window: besides the selection,
// address and lamp of every bench window, the volume, error and coefficient
// cells of five flow points and the inlet and outlet temperatures, each
// family kept in an array indexed by flow point and row. The overall
// detection window's rows are the same with volume, volume error, heat and
// heat error cells per flow point instead (no coefficients).
#pragma once

#include <QLabel>
#include <vector>

#include "ui/meter_grid.h"

namespace qv {

class TFlowGrid : public TMeterGrid {
  Q_OBJECT

 public:
  // Width of the three cells of one flow point.
  static constexpr int kPointWidth = 3 * kCellWidth + 2 * kGap;
  // The four narrower cells of one flow point in the heat layout, so that
  // five points fit a 1366 pixel screen.
  static constexpr int kHeatCellWidth = 50;
  static constexpr int kHeatPointWidth = 4 * kHeatCellWidth + 3 * kGap;

  enum class Cells { kFlow, kHeat };
  explicit TFlowGrid(QWidget* parent = nullptr, Cells cells = Cells::kFlow);

  // Shows or hides point `point`'s cells and headings in every row.
  void ShowPoint(int point, bool shown);
  // An error cell's colour in any error family.
  static QColor TextColour(const QLineEdit& cell);

  // An error cell's text, whole, and colour: red outside the limit, black
  // within.
  static void ShowError(QLineEdit* cell, const QString& text, bool outside);
  // The colour of the volume error cell of (row, point).
  QColor ErrorColour(int row, int point) const;

  // The cells of (row, point) that the layout has, left to right.
  std::vector<QLineEdit*> PointCells(int row, int point) const;

  QLabel* lblAddr;
  QLabel* lblTemp;
  QLabel* lblEntre;
  QLabel* lblExit;
  // The headings of each flow point's three (heat layout: four) columns.
  std::array<std::array<QLabel*, 4>, kFlowPoints> lblPoint{};
  PointColumns<QLineEdit> edtBulk{};
  PointColumns<QLineEdit> edtError{};
  // Flow layout only.
  PointColumns<QLineEdit> edtCoef{};
  // Heat layout only.
  PointColumns<QLineEdit> edtHeat{};
  PointColumns<QLineEdit> edtHeatError{};
  Column<QLineEdit> edtEntreTerm{};
  Column<QLineEdit> edtExitTerm{};

 protected:
  void EnableOwnCells(int row, bool on) override;
};

}  // namespace qv
