// The meter reading window: reads the metering data of the meters in its
// list and sets their clocks, one meter at a time or all at once by
// broadcast. The list holds one row per selected meter position, with the
// row's protocol version, what its meter reported and how the exchange
// went. The operations are a ReadingRun; this file holds the layout and
// the wiring.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "reading/core/debug_trace.h"
#include "reading/core/reading_run.h"
#include "ui/tool_form.h"

namespace qv {

class TOperatorInput;
class TReadingList;

class TReadDataFrm : public TToolForm {
  Q_OBJECT

 public:
  const CaptionTable& Captions() const override;
  explicit TReadDataFrm(SharedState& state, QWidget* parent = nullptr);

  ReadingRun& Run() { return run_; }
  TReadingList& List() { return *lvMain_; }
  QMenu* PopupMenu() { return PopupMenu2_; }
  // Trace entries that could not be written.
  uint64_t DroppedTraces() const { return trace_.Dropped(); }

  // Which rows a command serves.
  enum class Rows { kAll, kSelected, kOne };

  // Reads the metering data of `rows`, as the button and menu items do.
  void ReadData(Rows rows);
  // Sets the clocks of `rows`.
  void SetClock(Rows rows);
  // Sends the broadcast clock setting.
  void BroadcastClock();

 protected:
  void showEvent(QShowEvent* event) override;
  void CancelRuns() override { run_.Cancel(); }
  void ApplyLanguage() override;

 private:
  QWidget* BuildControls();
  void BuildMenu();
  void FormShow();
  // The list rows a command serves; nothing when the list is empty or the
  // selection does not fit the command.
  std::optional<std::vector<size_t>> RowsFor(Rows rows) const;
  // What the list shows (the rows' addresses and versions) and the data
  // type, into the run once an operation has started.
  void TakeInputs();

  // Handlers named after the controls they serve.
  void btn1Click();   // "读数据": read every row
  void btn2Click();   // "系统对时": set the clocks (broadcast when chosen)
  void rbtn1Click();  // "广播对时" chosen: the row-wise clock items go grey
  void N1Click();     // read all rows
  void N2Click();     // read the selected rows
  void N3Click();     // read the one selected row
  void N6Click();     // set all clocks, or broadcast when "广播对时" is chosen
  void N7Click();     // set the clocks of the selected rows
  void N8Click();     // set the clock of the one selected row
  void N14Click();    // "错误提示": nothing in this window
  void ProtocolClick(const QString& version);
  void Timer1Timer();
  void lvMainMouseDown(const QPoint& global);

  ReadingRun run_;
  DebugTrace trace_;
  TReadingList* lvMain_;
  QComboBox* cbxDataType_ = nullptr;
  QComboBox* cbxProType_ = nullptr;
  QComboBox* cbxDT_ = nullptr;
  QPushButton* btn1_ = nullptr;
  QPushButton* btn2_ = nullptr;
  QPushButton* Button1_ = nullptr;
  QRadioButton* rbtn1_ = nullptr;
  QLineEdit* edtDT_ = nullptr;
  QMenu* PopupMenu2_ = nullptr;
  QAction* N7_ = nullptr;
  QAction* N8_ = nullptr;
};

}  // namespace qv
