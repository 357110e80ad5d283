// The rows every bench window shows its meters in: per row the selection
// box "cbx<n>", the address "edtAddr<n>" and the status lamp "rzpl<n>",
// with "cbxAll1" over them. A window's grid derives from it and adds its own
// columns between the address and the lamp. Columns have fixed widths so
// groups drawn above the grid line up with their cells.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QGridLayout>
#include <QLineEdit>
#include <QWidget>
#include <array>

#include "protocol/operation_runner.h"

namespace qv {

class TMeterGrid : public QWidget {
  Q_OBJECT

 public:
  template <typename T>
  using Column = std::array<T*, kMeterRows>;
  template <typename T>
  using PointColumns = std::array<Column<T>, kFlowPoints>;

  // Column widths in pixels and the gap between columns.
  static constexpr int kCheckWidth = 44;
  static constexpr int kAddrWidth = 96;
  static constexpr int kCellWidth = 60;
  // Height of a row's cells: 20 rows and the bench groups fit a 1366 x 768
  // screen with the window's title and menu bars.
  static constexpr int kRowHeight = 20;
  static constexpr int kLampWidth = 26;
  static constexpr int kGap = 2;
  // Width of the check box and address columns together.
  static constexpr int kRowHeadWidth = kCheckWidth + kGap + kAddrWidth;
  // Grid rows: two header rows, then the meters.
  static constexpr int kFirstRow = 2;
  // Columns of the selection box and the address; a window's own columns
  // start after them.
  static constexpr int kColAddr = 1;
  static constexpr int kColFirstOwn = 2;

  // Lamp colours: the meter answered, it did not.
  static const QColor kLime;
  static const QColor kRed;

  explicit TMeterGrid(QWidget* parent = nullptr);

  // Ties the selection boxes, the addresses and "cbxAll1" to the rows of
  // `state`: ticking and typing change the row at once, "cbxAll1" ticks or
  // clears rows 1..MeterNum.
  void BindRows(SharedState& state);
  // Shows the selection and address of rows 1..MeterNum.
  void ShowRows(const SharedState& state);
  // Enables rows 1..meter_num (selection, address and `extra` cells of the
  // row) and disables the rest.
  void EnableRows(int meter_num);

  // The button-face colour of an idle lamp.
  QColor ButtonFace() const;
  void PaintLamp(int row, const QColor& colour);
  QColor LampColour(int row) const;
  void ShowLamp(int row, Lamp lamp);
  // The served row's lamp blinks red until its meter answers.
  void BlinkLamp(int row);
  // So does the lamp of every row `run` is serving (several with parallel
  // lines).
  void BlinkServed(const BenchRun& run);

  QCheckBox* cbxAll1;
  Column<QCheckBox> cbx{};
  Column<QLineEdit> edtAddr{};
  Column<QFrame> rzpl{};

 protected:
  // A cell of the grid; read-only cells (those the meters fill) are shaded.
  QLineEdit* Cell(const QString& name, bool read_only, int width);
  // Places the lamps in `column` and lets the column after it stretch.
  void AddLamps(int column);
  // The row's own cells, enabled and disabled with the row.
  virtual void EnableOwnCells(int /*row*/, bool /*on*/) {}

  QGridLayout* layout_;
};

// A cell's text colour (the error cells: red outside the limit).
void SetTextColour(QLineEdit* edit, const QColor& colour);
// Lets the operator type at most `max_length` characters into `edit`. A
// longer text the program shows through `ShowWhole` (a meter's whole
// address) is kept as it is: the operator may shorten it, not lengthen it.
void LimitTyping(QLineEdit* edit, int max_length);
// Shows `text` in `edit` whole, whatever the limit of typing into it: a
// widget's limits never cut what the program puts in.
void ShowWhole(QLineEdit* edit, const QString& text);

}  // namespace qv
