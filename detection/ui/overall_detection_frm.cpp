#include "detection/ui/overall_detection_frm.h"

#include "detection/ui/base_group.h"
#include "detection/ui/detection_buttons.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
#include "detection/core/heat_arithmetic.h"
#include "detection/ui/flow_bench_group.h"
#include "detection/ui/flow_captions.h"
#include "detection/ui/flow_errors.h"
#include "detection/ui/flow_grid.h"
#include "detection/ui/grid_reading.h"
#include "detection/ui/result_export.h"
#include "protocol/entry_value.h"
#include "ui/operator_input.h"
#include "ui/run_timers.h"

namespace qv {

namespace {

// Reply poll and lamp blink periods.
constexpr int kReadTimerMs = 1000;
constexpr int kStatusTimerMs = 100;

constexpr Caption kCaptions[] = {
    {"cbxAll1", "全选", "Select All"},
    {"lblAddr", "地址", "Addr."},
    {"lblTemp", "温度", "Temp."},
    {"lblEntre", "进水", " Entre "},
    {"lblExit", "回水", " Exit "},
    {"gbBase", "基本参数", "Base Parameters"},
    {"lblCaliber", "口径", " D/N："},
    {"lblLevel", "计量等级", " Meas. Accu："},
    {"lblLocation", "安装位置", " Installed Loca.："},
    {"lblOperNameCaption", "检测员", " Test Person："},
    {"lblDateTimeCaption", "检测日期", " Test Date："},
    {"gbBench", "体积、温度", "Volume、Temp."},
    {"lblWeight0", "称初值", " Initial Value："},
    {"lblWeight1", "称末值", " Final Value："},
    {"lblWeight", "重量", " Weight："},
    {"lblVolume", "标准体积", " Standard Volume："},
    {"lblFlux", "流量", " Flux："},
    {"lblEntreTerm", "进口：", " Entre："},
    {"lblExitTerm", "出口：", " Exit："},
    {"lblFluxTerm", "流体：", " Fluid："},
    {"gbFlux1", "流量一", "Flow One"},
    {"gbFlux2", "流量二", "Flow Two"},
    {"gbFlux3", "流量三", "Flow Three"},
    {"gbFlux4", "流量四", "Flow Four"},
    {"gbFlux5", "流量五", "Flow Five"},
    {"btnCheckIn", "进入检定", "Enter Detection"},
    {"btnInit", "初始化", "Initialization"},
    {"btnStart", "开始", "Start"},
    {"btnFlow", "流量", "Flow"},
    {"btnEnd", "结束", "End"},
    {"btnExitCheck", "退出检定", "Exit Detection"},
    {"btnClear", "数据清空", "Data Clear"},
    {"btnClearFace", "界面清空", "Clear Interface"},
    {"btnExcel", "Excel", "Excel"},
    {"btnMonitorInfo", "信息监控", "Info. Monitoring"},
    {"lblQ1Bulk", "体积(L)", "Vol.(L)"},
    {"lblQ1BulkError", "误差(%)", "Err.(%)"},
    {"lblQ1Heat", "热量", "Heat"},
    {"lblQ1HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit1", "(kWh)", "(kWh)"},
    {"lblQ2Bulk", "体积(L)", "Vol.(L)"},
    {"lblQ2BulkError", "误差(%)", "Err.(%)"},
    {"lblQ2Heat", "热量", "Heat"},
    {"lblQ2HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit2", "(kWh)", "(kWh)"},
    {"lblQ3Bulk", "体积(L)", "Vol.(L)"},
    {"lblQ3BulkError", "误差(%)", "Err.(%)"},
    {"lblQ3Heat", "热量", "Heat"},
    {"lblQ3HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit3", "(kWh)", "(kWh)"},
    {"lblQ4Bulk", "体积(L)", "Vol.(L)"},
    {"lblQ4BulkError", "误差(%)", "Err.(%)"},
    {"lblQ4Heat", "热量", "Heat"},
    {"lblQ4HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit4", "(kWh)", "(kWh)"},
    {"lblQ5Bulk", "体积(L)", "Vol.(L)"},
    {"lblQ5BulkError", "误差(%)", "Err.(%)"},
    {"lblQ5Heat", "热量", "Heat"},
    {"lblQ5HeatError", "误差(%)", "Err.(%)"},
    {"lblHeatUnit5", "(kWh)", "(kWh)"},
};

// By position: "回水" (return pipe) is position 0, "进水" (supply) 1.
constexpr ListCaptions kLists[] = {
    {"cbxLevel", {"1 级", "2 级", "3 级"}, {"Level one", "Level two", "Level three"}},
    {"cbxLocation", {"回水", "进水"}, {"Exit", "Entre"}},
    {"cbxFlux",
     {"流量一", "流量二", "流量三", "流量四", "流量五"},
     {"Flux one", "Flux two", "Flux three", "Flux four", "Flux five"}},
};

template <typename W>
W* Named(const char* name, QWidget* parent) {
  auto* w = new W(parent);
  w->setObjectName(name);
  return w;
}

QScrollArea* Scroller(QWidget* content) {
  auto* area = new QScrollArea;
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  return area;
}

QString Fixed(double v, int decimals) {
  return QString::fromStdString(FormatFixed(v, decimals));
}

}  // namespace

const CaptionTable& OverallCaptions() {
  static const CaptionTable table{{nullptr, "总体检测", "Total Detection"}, kCaptions, kLists};
  return table;
}

TOverallDetectionFrm::TOverallDetectionFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), values_(state.Settings), run_(state, Pump(), OverallOperations()) {
  setObjectName("OverallDetectionFrm");
  input_ = new TOperatorInput(state_, this);
  grid_ = new TFlowGrid(nullptr, TFlowGrid::Cells::kHeat);
  errors_ = std::make_unique<FlowErrors>(state_.Settings, values_, *grid_);
  export_ = std::make_unique<ResultExport>(state_, *input_, this);

  // Flow point groups over the grid, the grid (scrolling when the window is
  // short), the parameters, bench values and buttons below.
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

  BindRunTimers(
      this, run_, kReadTimerMs, kStatusTimerMs, [this] { StatusTimerTimer(); },
      [this] { input_->Beep(); });
  FollowLanguage();

  WireGrid();
  run_.on_lamp = [this](int row, Lamp lamp) { grid_->ShowLamp(row, lamp); };
  run_.on_flow_read = [this](int row, int point, const BenchRead& reading) {
    OnFlowRead(row, point, reading);
  };
  input_->AddEnterChain({cbxCaliber_, cbxLevel_, cbxLocation_});
  input_->AddEnterChain({bench_->edtWeight0, bench_->edtWeight1, bench_->edtWeight,
                         bench_->edtVolume, bench_->cbxFlux, bench_->edtEntreTerm,
                         bench_->edtExitTerm, bench_->edtFluxTerm});
  ShowLanguage();
}

TOverallDetectionFrm::~TOverallDetectionFrm() {
  // The input rules go first, while the fields they act on are still here.
  delete input_;
}

QWidget* TOverallDetectionFrm::BuildHeader() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(TFlowGrid::kGap);
  // Each flow point's group stands over its four columns of the grid.
  row->addSpacing(TFlowGrid::kRowHeadWidth);
  for (int k = 0; k < kFlowPoints; ++k) {
    const QString n = QString::number(k + 1);
    gbFlux_[k] = new QGroupBox(band);
    gbFlux_[k]->setObjectName("gbFlux" + n);
    gbFlux_[k]->setFixedWidth(TFlowGrid::kHeatPointWidth);
    edtFlux_[k] = new QLineEdit(gbFlux_[k]);
    edtFlux_[k]->setObjectName("edtFlux" + n);
    edtFlux_[k]->setFixedWidth(56);
    lblBulkError_[k] = new QLabel(gbFlux_[k]);
    lblBulkError_[k]->setObjectName("lblBulkError" + n);
    lblHeatError_[k] = new QLabel(gbFlux_[k]);
    lblHeatError_[k]->setObjectName("lblHeatError" + n);
    auto* unit = new QLabel(gbFlux_[k]);
    unit->setObjectName("lblHeatUnit" + n);
    auto* inner = new QGridLayout(gbFlux_[k]);
    inner->setContentsMargins(4, 2, 4, 2);
    inner->setVerticalSpacing(0);
    inner->addWidget(edtFlux_[k], 0, 0);
    inner->addWidget(new QLabel("L/h", gbFlux_[k]), 0, 1);
    inner->addWidget(lblBulkError_[k], 0, 2);
    inner->addWidget(unit, 1, 1);
    inner->addWidget(lblHeatError_[k], 1, 2);
    inner->setColumnStretch(2, 1);
    row->addWidget(gbFlux_[k]);
    input_->WatchNumber(edtFlux_[k],
                        [this, k] {
                          return CaptionName(OverallCaptions(),
                                             gbFlux_[k]->objectName().toUtf8().constData(),
                                             state_.Settings.English());
                        },
                        {.changed = [this, k] { FluxEdited(k); }, .accepts = IsWholeOrEmpty});
  }
  row->addStretch(1);
  return band;
}

QWidget* TOverallDetectionFrm::BuildBottom() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(BuildBase());
  bench_ = new TFlowBenchGroup(state_, values_, *input_, band);
  bench_->AddTemperatures(OverallCaptions());
  connect(bench_, &TFlowBenchGroup::StandardVolumeChanged, this,
          [this](int point) { errors_->EvaluatePoint(point); });
  connect(bench_, &TFlowBenchGroup::BenchChanged, this, &TOverallDetectionFrm::BenchChanged);
  row->addWidget(bench_);
  row->addWidget(BuildButtons());
  row->addStretch(1);
  return band;
}

QGroupBox* TOverallDetectionFrm::BuildBase() {
  const BaseGroup base = BuildBaseGroup(true);
  cbxCaliber_ = base.cbxCaliber;
  cbxLevel_ = base.cbxLevel;
  cbxLocation_ = base.cbxLocation;
  lblOperName_ = base.lblOperName;
  lblDateTime1_ = base.lblDateTime1;
  connect(cbxCaliber_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::DN, i); });
  connect(cbxLevel_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::MeasurementLevel, i); });
  connect(cbxLocation_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::Location, i); });
  return base.group;
}

QWidget* TOverallDetectionFrm::BuildButtons() {
  buttons_ =
      new TDetectionButtons({"btnFlow", "btnEnd", [this](int code) { RunOperation(code); },
                             [this] { RunOperation(FlowReadCode(values_.SelectedFlowPoint())); },
                             [this] {
                               grid_->ClearFace();
                               input_->TakeTexts();
                             }});
  connect(buttons_->btnExcel, &QPushButton::clicked, this, &TOverallDetectionFrm::ExportResults);
  return buttons_;
}

void TOverallDetectionFrm::WireGrid() {
  input_->WatchAddresses(*grid_);
  grid_->BindRows(state_);
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
      input_->WatchNumber(
          grid_->edtBulk[k][r],
          [this, r, k] { return CellName(r, k, CellKind::kVolume, state_.Settings.English()); },
          {.changed = [this, r, k] { errors_->EvaluateCell(r, k); }});
      input_->WatchNumber(
          grid_->edtHeat[k][r],
          [this, r, k] { return CellName(r, k, CellKind::kHeat, state_.Settings.English()); },
          {.changed = [this, r, k] { EvaluateHeatCell(r, k); }});
    }
  }
}

void TOverallDetectionFrm::ExportResults() {
  const BaseGroup base{nullptr, cbxCaliber_, cbxLevel_, cbxLocation_, lblOperName_, lblDateTime1_};
  export_->Export(GatherTable(OverallWorkbook(), base, edtFlux_, *grid_, state_.Settings.FluxNum));
}

void TOverallDetectionFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  TToolForm::showEvent(event);
}

void TOverallDetectionFrm::FormShow() {
  const SystemSettings& s = state_.Settings;
  ShowLanguage();
  cbxCaliber_->setCurrentIndex(ValidDn(s.DN) ? s.DN : -1);
  cbxLevel_->setCurrentIndex(s.MeasurementLevel >= 0 && s.MeasurementLevel < 3 ? s.MeasurementLevel
                                                                               : -1);
  cbxLocation_->setCurrentIndex(s.Location >= 0 && s.Location < 2 ? s.Location : -1);
  lblOperName_->setText(QString::fromStdString(s.OperatorName));
  lblDateTime1_->setText(QString::fromStdString(s.TestDate));
  // The bench temperatures of the settings, for the selected flow point.
  FlowPointTerm& terms = state_.FlowPointTerms[values_.SelectedFlowPoint()];
  terms = {s.EntreTerm, s.ExitTerm, s.FluidTerm};
  input_->SetNumber(bench_->edtEntreTerm, QString::fromStdString(ShortestDecimal(s.EntreTerm)));
  input_->SetNumber(bench_->edtExitTerm, QString::fromStdString(ShortestDecimal(s.ExitTerm)));
  input_->SetNumber(bench_->edtFluxTerm, QString::fromStdString(ShortestDecimal(s.FluidTerm)));
  const auto q = s.FlowPoints();
  for (int k = 0; k < kFlowPoints; ++k)
    input_->SetNumber(edtFlux_[k], QString::number(q[k]));
  grid_->ShowRows(state_);

  buttons_->btnInit->setVisible(s.MeterType != 0);
  grid_->EnableRows(s.MeterNum);
  // Here the fifth flow point shows only for five points.
  const bool fifth = s.FluxNum == kFlowPoints;
  grid_->ShowPoint(kFlowPoints - 1, fifth);
  gbFlux_[kFlowPoints - 1]->setVisible(fifth);
  const bool large = ValidDn(s.DN) && DnSizeTable[s.DN] >= 50;
  buttons_->btnStart->setVisible(large);
  buttons_->btnEnd->setVisible(large);
  buttons_->Pack();
  ComputeLimits();
}

void TOverallDetectionFrm::ApplyLanguage() {
  ApplyCaptions(*this, OverallCaptions(), state_.Settings.English());
}

void TOverallDetectionFrm::ComputeLimits() {
  values_.ComputeLimits();
  for (int k = 0; k < kFlowPoints; ++k) {
    lblBulkError_[k]->setText(QString::fromStdString(values_.LimitLabel(k)));
    ComputeHeatLimit(k);
  }
}

void TOverallDetectionFrm::ComputeHeatLimit(int point) {
  const SystemSettings& s = state_.Settings;
  const int32_t nominal = ValidDn(s.DN) ? NominalFlowTable[s.DN] : 0;
  const FlowPointTerm& t = state_.FlowPointTerms[point];
  const double formula =
      HeatErrorLimitFormula(s.MeasurementLevel, nominal, s.FlowPoints()[point], t.Exit, t.Entre);
  heat_limits_[point] = ErrorLimit(formula, s.StandardError, s.ErrorCorrection);
  lblHeatError_[point]->setText(QString::fromStdString(ErrorLimitLabel(heat_limits_[point])));
}

void TOverallDetectionFrm::ParameterChanged(int32_t SystemSettings::*field, int index) {
  if (index < 0) return;
  state_.Settings.*field = index;
  // The limits follow the class and size; the reference heat follows where
  // the meter sits. Every error shown is measured anew.
  ComputeLimits();
  errors_->Reevaluate(0);
  for (int k = 0; k < kFlowPoints; ++k)
    EvaluateHeatPoint(k);
}

void TOverallDetectionFrm::FluxEdited(int point) {
  const QString text = edtFlux_[point]->text().trimmed();
  if (text.isEmpty()) return;
  std::array<int32_t, kFlowPoints> q = state_.Settings.FlowPoints();
  q[point] = static_cast<int32_t>(*EntryValue(text.toStdString()).Integer());
  state_.Settings.SetFlowPoints(q);
  values_.ComputeLimits();
  for (int k = 0; k < kFlowPoints; ++k)
    lblBulkError_[k]->setText(QString::fromStdString(values_.LimitLabel(k)));
  ComputeHeatLimit(point);
  errors_->Reevaluate(point + 1);
  EvaluateHeatPoint(point);
}

void TOverallDetectionFrm::BenchChanged(int point) {
  // The heat errors shown stay until a heat is read or typed again: a
  // temperature being typed passes through values that mean nothing.
  ComputeHeatLimit(point);
}

void TOverallDetectionFrm::EvaluateHeatCell(int row, int point) {
  const QString text = grid_->edtHeat.at(point).at(row)->text().trimmed();
  if (text.isEmpty()) return;
  const std::optional<double> v = ParseNumber(text.toStdString());
  if (!v) return;
  const FlowPointTerm& t = state_.FlowPointTerms.at(point);
  const std::optional<HeatErrorCell> cell = EvaluateHeatError(
      *v,
      StandardHeat(t.Exit, t.Entre, t.Fluid, values_.WeighedMass(point), state_.Settings.Location),
      heat_limits_.at(point));
  if (!cell) return;  // no reference heat: the cell stays as it is
  QLineEdit* error = grid_->edtHeatError[point][row];
  error->setText(QString::fromStdString(cell->Text));
  SetTextColour(error, cell->Outside ? TFlowGrid::kRed : QColor(Qt::black));
}

void TOverallDetectionFrm::EvaluateHeatPoint(int point) {
  for (int r = 0; r < std::clamp(state_.Settings.MeterNum, 0, kMeterRows); ++r)
    EvaluateHeatCell(r, point);
}

void TOverallDetectionFrm::OnFlowRead(int row, int point, const BenchRead& reading) {
  input_->SetNumber(grid_->edtBulk[point][row], Fixed(reading.VolumeL, 2));
  input_->SetNumber(grid_->edtHeat[point][row], Fixed(reading.HeatKWh, 3));
  grid_->edtEntreTerm[row]->setText(Fixed(reading.EntreC, 2));
  grid_->edtExitTerm[row]->setText(Fixed(reading.ExitC, 2));
  errors_->EvaluateCell(row, point);
  EvaluateHeatCell(row, point);
  // The journal keeps what the row now shows.
  ReadingRecord r = GridReading(state_, *grid_, row, point, kOverallWindow);
  const FlowPointTerm& t = state_.FlowPointTerms.at(point);
  r.StandardVolume = Shown(values_.StandardVolume(point), shown::kStandardVolume);
  r.ReferenceHeat = Shown(
      StandardHeat(t.Exit, t.Entre, t.Fluid, values_.WeighedMass(point), state_.Settings.Location),
      shown::kReferenceHeat);
  r.VolumeLimit = Shown(values_.Limit(point), shown::kPercent);
  r.HeatLimit = Shown(heat_limits_.at(point), shown::kPercent);
  Journal(state_, std::move(r));
}

void TOverallDetectionFrm::StatusTimerTimer() {
  // The served rows blink red until their meters answer.
  grid_->BlinkServed(run_);
}

}  // namespace qv
