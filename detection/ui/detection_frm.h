// What the flow detection and the overall detection windows are made of:
// the meter rows with their lamps, the flow point groups above them, the
// basic parameters, the bench group and the operation buttons below, the
// verification operations over the selected meters, the "Excel" export and
// the results journal.
//
// Every value either window shows lives in its DetectionSheet; the widgets
// are views of it. A field the operator types in hands its value to the
// sheet when the editing ends; the sheet derives the rest; `ShowSheet`
// shows it all again. The export and the journal read the sheet. The
// bench's scale shows its live reading while the window is shown, and its
// buttons take the scale readings from it.
//
// A window class derives from this one and adds its own: the limit labels
// of its flow point groups, its extra bench fields, the flow detection's
// calibration, temperature adjustment and compensation.
#pragma once

#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include "detection/core/detection_sheet.h"
#include "detection/core/flow_detection_run.h"
#include "ui/captions.h"
#include "ui/scale_link.h"
#include "ui/tool_form.h"

namespace qv {

class TFlowGrid;
class TDetectionButtons;
class TFlowBenchGroup;
class TOperatorInput;
class ResultExport;

class TDetectionFrm : public TToolForm {
  Q_OBJECT

 public:
  const CaptionTable& Captions() const override;
  // What tells the two windows apart besides their own widgets.
  struct Kind {
    const char* name;  // the object name
    const CaptionTable& (*captions)();
    std::span<const OperationRow> (*operations)();
    bool heat;  // volume and heat; the fifth flow point only for five
    const char* flow_button;
    const char* end_button;
  };

  ~TDetectionFrm() override;

  // Runs operation `code` of the window's table as its button does: the
  // editing in progress ends first, and values the operation sends that
  // are not usable stop it before anything is sent.
  void RunOperation(int code);
  // Enters `text` into bench field `field` of the selected flow point
  // exactly as the operator's typing does when the editing ends: taken, or
  // refused with the operator told why; the field then shows the sheet's
  // value.
  void EnterBench(BenchField field, const QString& text);
  // Takes the initial (or final) reading from the bench scale, as its
  // button does: waits up to `kScaleWait` for a stable reading (a local
  // event loop; Esc, hiding the window, another flow point or an operation
  // starting cancels), then enters it as typing it does, message included,
  // but for the initial reading of a point not weighed yet (its final
  // reading empty or 0). Why no reading was taken (no stable one, an
  // overload, a unit that is not a mass, a silent, lost or no scale) is
  // told, and the field stays as it was. A press while a reading is
  // awaited, or while an operation runs, beeps and changes nothing.
  void ReadScale(bool final_reading);
  static constexpr std::chrono::milliseconds kScaleWait{10000};

  FlowDetectionRun& Run() { return run_; }
  const DetectionSheet& Sheet() const { return sheet_; }
  TFlowGrid& Grid() { return *grid_; }
  // The "Excel" button's export; its `open` is replaced by tests.
  ResultExport& Export() { return *export_; }
  // "Excel": the header and the ticked rows saved as a workbook and opened.
  void ExportResults();

 protected:
  TDetectionFrm(SharedState& state, const Kind& kind, QWidget* parent);
  // Makes the widgets, calling the hooks below on the way; the derived
  // window's constructor calls it first.
  void Build();

  // The labels and the layout of flow point `k`'s group over its columns,
  // which holds `flux` (edtFlux1 ..) already; sets `volume_limit_[k]` (and
  // `heat_limit_[k]`).
  virtual void FillPoint(int k, QGroupBox* group, QLineEdit* flux) = 0;
  // After the flow point groups in the band above the grid.
  virtual void AddToHeader(QHBoxLayout* /*band*/) {}
  // Values of the operation of row `op` besides the address, checked
  // before anything is sent; false stops it (the operator was told).
  virtual bool OperationValues(const OperationRow& /*op*/, CommandRequest& /*values*/) {
    return true;
  }

  // Shows every value of the sheet.
  virtual void ShowSheet();
  // The name of a field in messages, from the window's captions.
  QString FieldName(const char* object) const;

  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void CancelRuns() override;
  void CancelWait() override { CancelScaleWait(); }
  // Ends a wait for the scale without taking its reading.
  void CancelScaleWait();
  void ApplyLanguage() override;

  const Kind& kind_;
  DetectionSheet sheet_;
  FlowDetectionRun run_;
  TFlowGrid* grid_ = nullptr;
  TFlowBenchGroup* bench_ = nullptr;
  TDetectionButtons* buttons_ = nullptr;
  std::unique_ptr<ResultExport> export_;
  std::array<QGroupBox*, kFlowPoints> gbFlux_{};
  std::array<QLineEdit*, kFlowPoints> edtFlux_{};
  std::array<QLabel*, kFlowPoints> volume_limit_{};
  std::array<QLabel*, kFlowPoints> heat_limit_{};
  QComboBox* cbxCaliber_ = nullptr;
  QComboBox* cbxLevel_ = nullptr;
  QComboBox* cbxLocation_ = nullptr;
  QLabel* lblOperName_ = nullptr;
  QLabel* lblDateTime1_ = nullptr;
  std::shared_ptr<TScaleLink> scale_;

 private:
  // A scale reading being awaited by `ReadScale`.
  struct ScaleWait {
    uint64_t id = 0;
    QEventLoop* loop = nullptr;
    std::optional<ScaleWaitResult> result;
    bool cancelled = false;
  };
  QWidget* BuildHeader();
  QWidget* BuildBottom();
  void WatchBench();
  void WatchGrid();
  void FormShow();
  // A settings change made here: the sheet follows it.
  void SettingChanged(int32_t SystemSettings::*field, int index);
  QString EnterBenchText(BenchField field, const QString& text);
  // What the operator is told of `entry` of `text` into `field`.
  QString EntryMessage(BenchField field, Entry entry, const QString& text) const;
  void WatchScale();
  void ShowScale();
  void EnterScaleReading(bool final_reading, double kg);
  QString BenchText(BenchField field) const;
  QLineEdit* BenchEdit(BenchField field) const;
  void OnFlowRead(int row, int point, const BenchRead& reading);

  ScaleWait* scale_wait_ = nullptr;
};

}  // namespace qv
