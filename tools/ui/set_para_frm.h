// The parameter settings window: the bench settings (basic parameters, the
// meter count, the flow points, the waits; below the rows the bench itself:
// parallel lines, name, reference equipment, calibration due date, factory
// server and weighing scale) and each meter position's port,
// switch channel, address, pipe size and coefficients, every change landing
// in the shared state at once; and the meter commands over the selected
// rows (read and write address, set clock, enter and leave verification,
// set pipe size and installation location, write and read coefficients,
// and one coefficient from its cell's popup menu "写系数").
//
// This file holds the layout and the wiring; the rows are a TSetParaGrid,
// the rules for the settings and rows are tools/core/set_para_settings.h,
// the commands a SetParaRun.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <array>
#include <optional>

#include "tools/core/set_para_run.h"
#include "tools/core/set_para_settings.h"
#include "ui/run_timers.h"
#include "ui/tool_form.h"

namespace qv {

class TSetParaGrid;
class TOperatorInput;

class TSetParaFrm : public TToolForm {
  Q_OBJECT

 public:
  const CaptionTable& Captions() const override;
  explicit TSetParaFrm(SharedState& state, QWidget* parent = nullptr);

  // Runs operation `code` (1..8 or 14) as its button does. The values it
  // sends are checked first: when one is not a value nothing is sent.
  void RunOperation(int code);
  // "写系数" on coefficient `k` (0..4) of `row` (0..19).
  void WriteCoefficient(int row, int k);

  SetParaRun& Run() { return run_; }
  TSetParaGrid& Grid() { return *grid_; }
  // The popup menu of the coefficient cells.
  QMenu* WriteCoefMenu() { return pmWriteCoef_; }

 signals:
  // "通道状态": the channel status window is to be shown, modally.
  void ChannelStatusRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void CancelRuns() override { run_.Cancel(); }
  void ApplyLanguage() override;

 private:
  QGroupBox* BuildSettings();
  QWidget* BuildButtons();
  QGroupBox* BuildBench();
  void WireSettings();
  void WireBench();
  void WireRows();
  void WireRun();

  void FormShow();
  // Rows 1..MeterNum enabled, the rest disabled, then the mode's layout.
  void EnableRows();
  void ApplyCommLayout();
  void EnableFluxEdits();
  // The settings edits show the settings.
  void ShowSettingEdits();
  void ShowBench();
  void ShowScale();
  void ListChanged(const SettingList& list, int index);
  void DnChosen(int row, int index);
  void NumberNewAddresses(int row, bool all_following);
  // The rows' inputs for `op`, read when it has started; nothing (the
  // operator told) when a value it would send is not one.
  std::optional<SetParaInputs> TakeInputs(const OperationRow& op);
  std::optional<int32_t> CheckedCoefficient(int row, int k);
  // A coefficient or pipe-size write sent to `row`, for the results journal.
  void JournalWrite(int row, const OperationRow& op, const CommandRequest& values, bool answered);
  void ShowReadBack(int row, const CoefficientReadBack& read);

  SetParaRun run_;
  TSetParaGrid* grid_ = nullptr;
  // The lists of `SettingLists()` and the edits of `SettingEdits()`, in
  // their order.
  std::vector<QComboBox*> lists_;
  std::vector<QLineEdit*> edits_;
  std::array<QLineEdit*, kFlowPoints> edtFlux_{};
  // The bench group: the edits of `TextSettings()` and the lists of
  // `ScaleLists()`, in their order.
  QCheckBox* chkParallel_ = nullptr;
  std::vector<QLineEdit*> texts_;
  std::vector<QComboBox*> scale_lists_;
  QPushButton* btnChannelStatus_ = nullptr;
  QMenu* pmWriteCoef_;
  RunTimers timers_{};
  // The coefficient cell the popup menu was opened on.
  int coef_row_ = -1;
  int coef_k_ = -1;
  // Set while the window fills its own controls: no change handler acts.
  int loading_ = 0;
  // The row whose port list just changed (its "activated" follows).
  int port_changed_row_ = -1;
  bool copying_dn_ = false;
  // The coefficients a row's meter last reported, and the address it had.
  struct ReadBack {
    std::string Address;
    std::optional<std::array<int64_t, 4>> Coefficients;
  };
  std::array<ReadBack, kMeterRows> read_back_{};
};

}  // namespace qv
