// The 20 meter rows of the other-parameters window: besides the selection,
// address and lamp of every bench window, each row's write value, the nine
// temperature-pairing values, the seven ultrasonic read-backs, the heat
// unit, the pipe mode and the PT number, each column an array by row. Over
// the columns their group boxes with the "全同" boxes.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include "protocol/reply_layout.h"
#include "ui/meter_grid.h"

namespace qv {

class TOtherParaGrid : public TMeterGrid {
  Q_OBJECT

 public:
  explicit TOtherParaGrid(QWidget* parent = nullptr);

  QCheckBox* cbDataType;
  QCheckBox* cbTerm;
  QCheckBox* cbOther;
  Column<QLineEdit> edtData{};
  // Low standard, inlet, return, then middle, then high.
  std::array<Column<QLineEdit>, kPairingValues> edtPairing{};
  Column<QLineEdit> edtTimeDiff{}, edtDownstream{}, edtUpstream{}, edtPipeline{};
  Column<QLineEdit> edtAccFlow{}, edtFlow{}, edtStatus{};
  Column<QComboBox> cbxHeatUnit{};
  Column<QComboBox> cbxPipeline{};
  Column<QLineEdit> edtPtNo{};

  // The pairing column names: "edtLoStad" ... "edtHiExit".
  static QString PairingName(size_t k);
  // After the captions: each column heading takes the largest font (at
  // most a point below the window's) in which its text fits the column, so
  // a long English heading is drawn smaller rather than cut.
  void FitHeadings();

 protected:
  void EnableOwnCells(int row, bool on) override;

 private:
  QLabel* Heading(const QString& name, int width);

  std::vector<std::pair<QLabel*, int>> headings_;  // with their columns' widths
};

}  // namespace qv
