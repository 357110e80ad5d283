// The 20 meter rows of the parameter settings window: besides the selection,
// current address and lamp of every bench window, each row's port and
// switch channel, the new address, the pipe size, the five coefficients and
// the three transit-time values the meter reports, each column kept in an
// array indexed by row. Above the rows: "全选", the communication mode and
// "同" (the pipe size chosen in one row goes to every selected row).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "ui/meter_grid.h"

namespace qv {

class TSetParaGrid : public TMeterGrid {
  Q_OBJECT

 public:
  explicit TSetParaGrid(QWidget* parent = nullptr);

  QCheckBox* cbAllSelected;  // the base's select-all box
  QCheckBox* cbSame;
  QComboBox* cbxCommType;
  Column<QComboBox> cbxComm{};
  Column<QComboBox> cbxChannel{};
  Column<QLineEdit>& edtCurrAddr = edtAddr;
  Column<QLineEdit> edtNewAddr{};
  Column<QComboBox> cbxCaliber{};
  PointColumns<QLineEdit> edtCoef{};  // [coefficient][row]
  Column<QLineEdit> edtTimes{};
  Column<QLineEdit> edtDownStream{};
  Column<QLineEdit> edtReverseFlow{};

 protected:
  void EnableOwnCells(int row, bool on) override;

 private:
  QComboBox* List(const QString& name, int width);
};

}  // namespace qv
