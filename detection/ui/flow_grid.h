// The 20 meter rows of the flow detection window: per row the check box,
// the address, the volume, error and coefficient cells of five flow points,
// the inlet and outlet temperatures and the status lamp, each family kept
// in an array indexed by row (and flow point). The columns have fixed
// widths so the flow point groups above the grid line up with their cells.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <array>

#include "core/shared_state.h"

namespace qv {

class TFlowGrid : public QWidget {
  Q_OBJECT

 public:
  template <typename T>
  using Column = std::array<T*, kMeterRows>;
  template <typename T>
  using PointColumns = std::array<Column<T>, kFlowPoints>;

  // Column widths in pixels and the gap between columns.
  static constexpr int kCheckWidth = 44;
  static constexpr int kAddrWidth = 96;
  static constexpr int kCellWidth = 58;
  static constexpr int kLampWidth = 26;
  static constexpr int kGap = 2;
  // Width of the check box and address columns together, and of the three
  // cells of one flow point.
  static constexpr int kRowHeadWidth = kCheckWidth + kGap + kAddrWidth;
  static constexpr int kPointWidth = 3 * kCellWidth + 2 * kGap;

  // Lamp colours: the meter answered, it did not.
  static const QColor kLime;
  static const QColor kRed;

  explicit TFlowGrid(QWidget* parent = nullptr);

  // Point 5 hidden when `flux_num` is 4; the cells of rows 1..meter_num
  // enabled, those of the rows after it disabled.
  void ApplyLayout(int meter_num, int flux_num);

  // The button-face colour of an idle lamp.
  QColor ButtonFace() const;
  void PaintLamp(int row, const QColor& colour);
  QColor LampColour(int row) const;

  // An error cell's text and colour: red outside the limit, black within.
  void ShowError(int row, int point, const QString& text, bool outside);
  QColor ErrorColour(int row, int point) const;

  // "界面清空": empties the volume, error and coefficient cells of every
  // point and both temperature cells of every row.
  void ClearFace();

  QCheckBox* cbxAll1;
  QLabel* lblAddr;
  QLabel* lblTemp;
  QLabel* lblEntre;
  QLabel* lblExit;
  Column<QCheckBox> cbx{};
  Column<QLineEdit> edtAddr{};
  PointColumns<QLineEdit> edtBulk{};
  PointColumns<QLineEdit> edtError{};
  PointColumns<QLineEdit> edtCoef{};
  Column<QLineEdit> edtEntreTerm{};
  Column<QLineEdit> edtExitTerm{};
  Column<QFrame> rzpl{};

 private:
  QLineEdit* Cell(const QString& name, bool read_only, int width);
};

}  // namespace qv
