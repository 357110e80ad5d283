// The meter list of the reading window, "lvMain": a report list with grid
// lines, several rows selectable, whole rows selected, one row per meter
// position. Column 0 shows the row's state icon, 1 the address, 2 the
// protocol version, 3..14 what the meter reported and how the exchange went,
// and the hidden column 15 the meter position the row stands for.
#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <vector>

#include "reading/core/reading_run.h"

namespace qv {

class TReadingList : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kColumns = 16;
  static constexpr int kColAddress = 1;
  static constexpr int kColVersion = 2;
  static constexpr int kColFirstData = 3;  // ReadingColumn 0
  static constexpr int kColClock = 12;
  static constexpr int kColPosition = 15;

  explicit TReadingList(QWidget* parent = nullptr);

  // Column captions in the language of the settings.
  void ApplyLanguage(bool english);
  // Replaces the rows by `rows`.
  void ShowRows(const std::vector<ReadingRow>& rows);
  // Shows row `i` as `row` says.
  void ShowRow(int i, const ReadingRow& row);
  // What the list shows of row `i` (address, version, position) back into
  // `row`: the operations use the list's texts.
  void TakeRow(int i, ReadingRow& row) const;
  // The selected rows in list order.
  std::vector<size_t> SelectedRows() const;

  // The icon of a state: pending, in progress, answered, failed.
  static QIcon StateIcon(RowState state);

 signals:
  // A right click on the list while it has rows and a row is selected.
  void PopupRequested(const QPoint& global);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // A column's width: the address and meter clock columns at least as
  // wide as a whole address and a clock with its seconds need.
  int ColumnWidth(int column) const;
};

}  // namespace qv
