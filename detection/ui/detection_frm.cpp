#include "detection/ui/detection_frm.h"

#include <QPointer>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
#include "detection/ui/base_group.h"
#include "detection/ui/detection_buttons.h"
#include "detection/ui/flow_bench_group.h"
#include "detection/ui/flow_captions.h"
#include "detection/ui/flow_grid.h"
#include "detection/ui/result_export.h"
#include "protocol/entry_value.h"
#include "ui/operator_input.h"
#include "ui/run_timers.h"
#include "ui/widgets.h"

namespace qv {

namespace {

// The scale's reader ends every wait within its limit (a silent scale is
// noticed within 3 s, a connection attempt takes at most 3 s); a wait still
// running this much later ends as if the scale were silent.
constexpr std::chrono::milliseconds kScaleWaitBackstop{5000};

// A typed number; nothing for an emptied field.
std::optional<double> Typed(const QString& text) {
  const QString t = text.trimmed();
  return t.isEmpty() ? std::nullopt : ParseNumber(t.toStdString());
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

// The bench fields and the labels that name them.
struct BenchLabel {
  BenchField field;
  const char* label;
};
constexpr BenchLabel kBenchLabels[] = {
    {BenchField::kInitial, "lblWeight0"}, {BenchField::kFinal, "lblWeight1"},
    {BenchField::kWeight, "lblWeight"},   {BenchField::kVolume, "lblVolume"},
    {BenchField::kFluid, "lblFluxTerm"},  {BenchField::kEntre, "lblEntreTerm"},
    {BenchField::kExit, "lblExitTerm"}};

}  // namespace

TDetectionFrm::TDetectionFrm(SharedState& state, const Kind& kind, QWidget* parent)
    : TToolForm(state, parent),
      kind_(kind),
      sheet_(state.Settings, kind.heat),
      run_(state, Pump(), kind.operations()),
      scale_(TScaleLink::Of(state)) {
  setObjectName(kind.name);
  sheet_.journal = [this](const ReadingRecord& record) {
    int64_t id = 0;
    if (state_.Journal) state_.Journal->Record(record, &id);
    return id;
  };
}

TDetectionFrm::~TDetectionFrm() {
  CancelScaleWait();
  scale_->Watch(this, false);
}

void TDetectionFrm::Build() {
  grid_ = new TFlowGrid(nullptr, kind_.heat ? TFlowGrid::Cells::kHeat : TFlowGrid::Cells::kFlow);
  export_ = std::make_unique<ResultExport>(state_, *input_, this);

  // Flow point groups over the grid, the grid (scrolling when the window is
  // short), the parameters, bench values and buttons below; the whole
  // scrolls when the window is smaller than all of it.
  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  column->addWidget(BuildHeader());
  auto* rows = Scroller(grid_);
  rows->setMinimumHeight(160);
  column->addWidget(rows, 1);
  column->addWidget(BuildBottom());
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(Scroller(content));

  BindRun(run_, *grid_);
  WatchBench();
  WatchScale();
  WatchGrid();
  run_.on_lamp = [this](int row, Lamp lamp) { grid_->ShowLamp(row, lamp); };
  run_.on_flow_read = [this](int row, int point, const BenchRead& reading) {
    OnFlowRead(row, point, reading);
  };
  input_->AddEnterChain({cbxCaliber_, cbxLevel_, cbxLocation_});
  ShowSheet();
  ShowLanguage();
}

QWidget* TDetectionFrm::BuildHeader() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(TFlowGrid::kGap);
  // Each flow point's group stands over its columns of the grid.
  row->addSpacing(TFlowGrid::kRowHeadWidth);
  for (int k = 0; k < kFlowPoints; ++k) {
    const QString n = QString::number(k + 1);
    gbFlux_[k] = new QGroupBox(band);
    gbFlux_[k]->setObjectName("gbFlux" + n);
    gbFlux_[k]->setFixedWidth(kind_.heat ? TFlowGrid::kHeatPointWidth : TFlowGrid::kPointWidth);
    edtFlux_[k] = new QLineEdit(gbFlux_[k]);
    edtFlux_[k]->setObjectName("edtFlux" + n);
    FillPoint(k, gbFlux_[k], edtFlux_[k]);
    row->addWidget(gbFlux_[k]);
    const QByteArray group = gbFlux_[k]->objectName().toUtf8();
    input_->WatchValue(
        edtFlux_[k], [this, group] { return FieldName(group.constData()); },
        {.enter =
             [this, k](const QString& text) {
               // An emptied flow point is no value: the field shows the one
               // the settings hold again.
               if (text.trimmed().isEmpty()) return QString();
               std::array<int32_t, kFlowPoints> q = state_.Settings.FlowPoints();
               q[k] = static_cast<int32_t>(*EntryValue(text.trimmed().toStdString()).Integer());
               state_.Settings.SetFlowPoints(q);
               sheet_.Recompute();
               ShowSheet();
               return QString();
             },
         .shown = [this, k] { return QString::number(state_.Settings.FlowPoints()[k]); },
         .accepts = IsWholeOrEmpty});
  }
  AddToHeader(row);
  row->addStretch(1);
  return band;
}

QWidget* TDetectionFrm::BuildBottom() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  const BaseGroup base = BuildBaseGroup();
  cbxCaliber_ = base.cbxCaliber;
  cbxLevel_ = base.cbxLevel;
  cbxLocation_ = base.cbxLocation;
  lblOperName_ = base.lblOperName;
  lblDateTime1_ = base.lblDateTime1;
  for (auto [list, field] : {std::pair{cbxCaliber_, &SystemSettings::DN},
                             {cbxLevel_, &SystemSettings::MeasurementLevel},
                             {cbxLocation_, &SystemSettings::Location}}) {
    connect(list, &QComboBox::currentIndexChanged, this,
            [this, field](int i) { SettingChanged(field, i); });
  }
  row->addWidget(base.group);
  bench_ = new TFlowBenchGroup(band);
  if (kind_.heat) bench_->AddTemperatures();
  row->addWidget(bench_);
  buttons_ = new TDetectionButtons({kind_.flow_button, kind_.end_button,
                                    [this](int code) { RunOperation(code); },
                                    [this] { RunOperation(FlowReadCode(sheet_.SelectedPoint())); },
                                    [this] {
                                      sheet_.ClearReadings();
                                      ShowSheet();
                                    }});
  connect(buttons_->btnExcel, &QPushButton::clicked, this, &TDetectionFrm::ExportResults);
  row->addWidget(buttons_);
  row->addStretch(1);
  return band;
}

void TDetectionFrm::WatchBench() {
  for (const BenchLabel& b : kBenchLabels) {
    QLineEdit* edit = BenchEdit(b.field);
    if (!edit) continue;
    input_->WatchValue(edit, [this, label = b.label] { return FieldName(label); },
                       {.enter = [this, field = b.field](
                                     const QString& text) { return EnterBenchText(field, text); },
                        .shown = [this, field = b.field] { return BenchText(field); }});
  }
  connect(bench_->cbxFlux, &QComboBox::currentIndexChanged, this, [this](int index) {
    // A reading awaited for one point is not entered into another.
    CancelScaleWait();
    sheet_.SelectPoint(index);
    ShowSheet();
  });
}

void TDetectionFrm::WatchGrid() {
  input_->WatchAddresses(*grid_);
  grid_->BindRows(state_);
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
      for (auto [cells, cell, kind] :
           {std::tuple{&TFlowGrid::edtBulk, SheetCell::kVolume, CellKind::kVolume},
            {&TFlowGrid::edtHeat, SheetCell::kHeat, CellKind::kHeat}}) {
        QLineEdit* edit = ((*grid_).*cells)[k][r];
        if (!edit) continue;
        input_->WatchValue(
            edit, [this, r, k, kind] { return CellName(r, k, kind, state_.Settings.English()); },
            {.enter =
                 [this, r, k, cell](const QString& text) {
                   if (cell == SheetCell::kVolume) {
                     sheet_.EnterVolume(r, k, Typed(text));
                   } else {
                     sheet_.EnterHeat(r, k, Typed(text));
                   }
                   ShowSheet();
                   return QString();
                 },
             .shown = [this, r, k, cell] { return Text(sheet_.Cell(r, k, cell).Text); }});
      }
    }
  }
}

QLineEdit* TDetectionFrm::BenchEdit(BenchField field) const {
  switch (field) {
    case BenchField::kInitial:
      return bench_->edtWeight0;
    case BenchField::kFinal:
      return bench_->edtWeight1;
    case BenchField::kWeight:
      return bench_->edtWeight;
    case BenchField::kVolume:
      return bench_->edtVolume;
    case BenchField::kFluid:
      return bench_->edtFluxTerm;
    case BenchField::kEntre:
      return bench_->edtEntreTerm;
    case BenchField::kExit:
      return bench_->edtExitTerm;
  }
  return nullptr;
}

QString TDetectionFrm::BenchText(BenchField field) const {
  const std::optional<double> v = sheet_.Bench(sheet_.SelectedPoint(), field);
  if (!v) return {};
  return Text(field == BenchField::kVolume ? FormatFixed(*v, shown::kStandardVolume)
                                           : ShortestDecimal(*v));
}

QString TDetectionFrm::EnterBenchText(BenchField field, const QString& text) {
  const Entry entry = sheet_.Enter(field, Typed(text));
  ShowSheet();
  return EntryMessage(field, entry, text);
}

QString TDetectionFrm::EntryMessage(BenchField field, Entry entry, const QString& text) const {
  if (entry == Entry::kNegativeWeighing) return QString::fromUtf8("称末值不能小于称初值");
  if (entry != Entry::kOutOfRange) return {};
  const auto* b = std::find_if(std::begin(kBenchLabels), std::end(kBenchLabels),
                               [field](const BenchLabel& l) { return l.field == field; });
  return input_->OutOfRangeText(FieldName(b->label), text.trimmed(),
                                ByLanguage(state_.Settings, "1 至 150 ℃", "1 to 150 °C"));
}

void TDetectionFrm::WatchScale() {
  connect(bench_->btnScaleInitial, &QPushButton::clicked, this, [this] { ReadScale(false); });
  connect(bench_->btnScaleFinal, &QPushButton::clicked, this, [this] { ReadScale(true); });
  connect(scale_.get(), &TScaleLink::StatusChanged, this, [this] {
    if (isVisible()) ShowScale();
  });
  connect(scale_.get(), &TScaleLink::Waited, this, [this](const ScaleWaitResult& result) {
    if (!scale_wait_ || result.Id != scale_wait_->id) return;  // a wait given up
    scale_wait_->result = result;
    scale_wait_->loop->quit();
  });
}

void TDetectionFrm::ShowScale() {
  const ScaleStatus status = scale_->Status();
  const bool english = state_.Settings.English();
  QString text = ScaleStatusText(status, scale_->Present(), english);
  if (scale_wait_)
    text += ByLanguage(english, "  等待稳定读数…（Esc 取消）",
                       "  waiting for a stable reading… (Esc cancels)");
  QLabel* label = bench_->lblScale;
  label->setText(text);
  label->setToolTip(QString::fromStdString(status.Problem));
  // Green for a stable reading, amber while it moves, red for a scale that
  // cannot be read.
  QColor colour = palette().color(QPalette::WindowText);
  switch (ScaleMarkOf(status)) {
    case ScaleMark::kStable:
      colour = QColor(0, 112, 0);
      break;
    case ScaleMark::kMoving:
      colour = QColor(176, 96, 0);
      break;
    case ScaleMark::kNone:
      if (scale_->Present() && status.Link != ScaleLink::kClosed) colour = QColor(192, 0, 0);
      break;
  }
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, colour);
  label->setPalette(p);
}

void TDetectionFrm::ReadScale(bool final_reading) {
  // One reading at a time; and a wait within an operation's wait would hold
  // the operation up.
  if (scale_wait_ || state_.OperationRunning) {
    input_->Beep();
    return;
  }
  const bool english = state_.Settings.English();
  const QString field = FieldName(final_reading ? "lblWeight1" : "lblWeight0");
  const QString unchanged = ByLanguage(english, "，未取值。", "; the field is unchanged.");
  if (!scale_->Present()) {
    input_->Inform(field +
                   ByLanguage(english, "：未设置秤（参数设置中的秤设备），请手工输入",
                              ": no scale is set up (the scale device in the parameter "
                              "settings); type the reading") +
                   unchanged);
    return;
  }
  ScaleWait wait;
  QEventLoop loop;
  wait.loop = &loop;
  wait.id = scale_->BeginWait(kScaleWait);
  scale_wait_ = &wait;
  ShowScale();
  QTimer::singleShot(kScaleWait + kScaleWaitBackstop, &loop, &QEventLoop::quit);
  const QPointer<TDetectionFrm> alive(this);
  loop.exec();
  if (!alive) return;
  scale_->CancelWait(wait.id);
  scale_wait_ = nullptr;
  ShowScale();
  if (wait.cancelled) return;
  const ScaleWaitResult result =
      wait.result.value_or(ScaleWaitResult{wait.id, ScaleWaitEnd::kSilent, {}, {}, {}});
  if (result.End != ScaleWaitEnd::kTaken || !result.Reading || !result.Reading->MassKg) {
    input_->Inform(field + ByLanguage(english, "：", ": ") +
                   ScaleWaitProblem(result, kScaleWait, english) + unchanged);
    return;
  }
  EnterScaleReading(final_reading, *result.Reading->MassKg);
}

void TDetectionFrm::EnterScaleReading(bool final_reading, double kg) {
  const BenchField field = final_reading ? BenchField::kFinal : BenchField::kInitial;
  // A text half typed into the field gives way to the reading.
  BenchEdit(field)->setModified(false);
  const Entry entry = sheet_.EnterScaleReading(final_reading, kg);
  ShowSheet();
  // The initial reading of a point not weighed yet is below its final one
  // of 0: nothing is wrong.
  const std::optional<double> end = sheet_.Bench(sheet_.SelectedPoint(), BenchField::kFinal);
  if (!final_reading && end.value_or(0) == 0) return;
  const QString message = EntryMessage(field, entry, Text(ShortestDecimal(kg)));
  if (!message.isEmpty()) input_->Inform(message);
}

void TDetectionFrm::CancelScaleWait() {
  if (!scale_wait_) return;
  scale_wait_->cancelled = true;
  scale_->CancelWait(scale_wait_->id);
  scale_wait_->loop->quit();
}

void TDetectionFrm::CancelRuns() {
  run_.Cancel();
  CancelScaleWait();
}

void TDetectionFrm::EnterBench(BenchField field, const QString& text) {
  // A text put in by the program counts as a finished editing.
  if (QLineEdit* edit = BenchEdit(field)) edit->setText(text);
}

QString TDetectionFrm::FieldName(const char* object) const {
  return CaptionName(kind_.captions(), object, state_.Settings.English());
}

void TDetectionFrm::SettingChanged(int32_t SystemSettings::*field, int index) {
  if (index < 0) return;
  state_.Settings.*field = index;
  sheet_.Recompute();
  ShowSheet();
}

void TDetectionFrm::ShowSheet() {
  input_->ShowValues();
  for (int k = 0; k < kFlowPoints; ++k) {
    volume_limit_[k]->setText(Text(ErrorLimitLabel(sheet_.VolumeLimit(k))));
    if (heat_limit_[k]) heat_limit_[k]->setText(Text(ErrorLimitLabel(sheet_.HeatLimit(k))));
  }
  const auto fixed = [](std::optional<double> v) {
    return v ? Text(FormatFixed(*v, shown::kTemperature)) : QString();
  };
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
      for (auto [cells, cell] : {std::pair{&TFlowGrid::edtError, SheetCell::kVolumeError},
                                 {&TFlowGrid::edtHeatError, SheetCell::kHeatError}}) {
        if (QLineEdit* edit = ((*grid_).*cells)[k][r]) {
          const CellText shown = sheet_.Cell(r, k, cell);
          TFlowGrid::ShowError(edit, Text(shown.Text), shown.Red);
        }
      }
      if (QLineEdit* coefficient = grid_->edtCoef[k][r])
        ShowWhole(coefficient, Text(sheet_.Cell(r, k, SheetCell::kCoefficient).Text));
    }
    ShowWhole(grid_->edtEntreTerm[r], fixed(sheet_.Entre(r)));
    ShowWhole(grid_->edtExitTerm[r], fixed(sheet_.Exit(r)));
  }
}

void TDetectionFrm::RunOperation(int code) {
  // A reading still awaited from the scale is not taken into a sheet an
  // operation has begun to use.
  CancelScaleWait();
  // What an operation sends is what the operator sees.
  input_->FinishValues();
  const OperationRow* op = run_.Operation(code);
  if (!op) return;
  CommandRequest values;
  if (OperationValues(*op, values)) run_.Run(code, values);
}

void TDetectionFrm::OnFlowRead(int row, int point, const BenchRead& reading) {
  sheet_.Read(row, point, reading.VolumeL, reading.HeatKWh, reading.EntreC, reading.ExitC,
              reading.Coefficients, state_.Rows[row].Address);
  ShowSheet();
}

void TDetectionFrm::ExportResults() {
  export_->Export(GatherTable(kind_.heat ? OverallWorkbook() : FlowWorkbook(), sheet_, state_,
                              kind_.captions()));
}

void TDetectionFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  // The scale of the settings now in force, read live while shown.
  scale_->Follow(state_.Scale);
  scale_->Watch(this, true);
  ShowScale();
  TToolForm::showEvent(event);
}

void TDetectionFrm::hideEvent(QHideEvent* event) {
  CancelScaleWait();
  scale_->Watch(this, false);
  TToolForm::hideEvent(event);
}

void TDetectionFrm::FormShow() {
  const SystemSettings& s = state_.Settings;
  ShowLanguage();
  cbxCaliber_->setCurrentIndex(ValidDn(s.DN) ? s.DN : -1);
  cbxLevel_->setCurrentIndex(s.MeasurementLevel >= 0 && s.MeasurementLevel < 3 ? s.MeasurementLevel
                                                                               : -1);
  cbxLocation_->setCurrentIndex(s.Location >= 0 && s.Location < 2 ? s.Location : -1);
  lblOperName_->setText(Text(s.OperatorName));
  lblDateTime1_->setText(Text(s.TestDate));
  grid_->ShowRows(state_);
  // The bench temperatures of the settings, where the operator gave none.
  if (kind_.heat) sheet_.DefaultTemperatures(s.FluidTerm, s.EntreTerm, s.ExitTerm);

  buttons_->btnInit->setVisible(s.MeterType != 0);
  grid_->EnableRows(s.MeterNum);
  // The overall detection shows the fifth flow point only for five points,
  // the flow detection hides it only for four.
  const bool fifth = kind_.heat ? s.FluxNum == kFlowPoints : s.FluxNum != 4;
  grid_->ShowPoint(kFlowPoints - 1, fifth);
  gbFlux_[kFlowPoints - 1]->setVisible(fifth);
  const bool large = ValidDn(s.DN) && DnSizeTable[s.DN] >= 50;
  buttons_->btnStart->setVisible(large);
  buttons_->btnEnd->setVisible(large);
  buttons_->Pack();
  // Settings changed in another window reach every value shown.
  sheet_.Recompute();
  ShowSheet();
}

const CaptionTable& TDetectionFrm::Captions() const {
  return kind_.captions();
}

void TDetectionFrm::ApplyLanguage() {
  ApplyCaptions(*this, Captions(), state_.Settings.English());
  ShowScale();
}

}  // namespace qv
