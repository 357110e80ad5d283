#include "detection/ui/flow_detection_frm.h"

#include "detection/ui/base_group.h"
#include "detection/ui/detection_buttons.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
#include "detection/ui/flow_bench_group.h"
#include "detection/ui/flow_captions.h"
#include "detection/ui/flow_errors.h"
#include "detection/ui/flow_grid.h"
#include "detection/ui/grid_reading.h"
#include "detection/ui/result_export.h"
#include "protocol/entry_value.h"
#include "ui/operator_input.h"
#include "ui/run_timers.h"
#include "ui/widgets.h"

namespace qv {

namespace {

// Reply poll and lamp blink periods.
constexpr int kReadTimerMs = 1000;
constexpr int kStatusTimerMs = 100;

}  // namespace

TFlowDetectionFrm::TFlowDetectionFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), values_(state.Settings), run_(state, Pump()) {
  setObjectName("FlowDetectionFrm");
  input_ = new TOperatorInput(state_, this);
  grid_ = new TFlowGrid;
  errors_ = std::make_unique<FlowErrors>(state_.Settings, values_, *grid_);
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

  BindRunTimers(
      this, run_, kReadTimerMs, kStatusTimerMs, [this] { StatusTimerTimer(); },
      [this] { input_->Beep(); });
  FollowLanguage();

  pmCompensate_ = Named<QMenu>("pmCompensate", this);
  actCompensate_ = pmCompensate_->addAction(QString());
  actCompensate_->setObjectName("actCompensate");
  connect(actCompensate_, &QAction::triggered, this,
          [this] { CompensateCoefficient(compensate_row_, compensate_point_); });

  WireGrid();
  WireRun();
  input_->AddEnterChain({cbxCaliber_, cbxLevel_, cbxLocation_});
  input_->AddEnterChain({bench_->edtWeight0, bench_->edtFluxTerm, bench_->edtWeight1,
                         bench_->edtWeight, bench_->edtVolume, bench_->cbxFlux,
                         bench_->btnCalibration});
  input_->AddEnterChain({edtHighTerm_, edtMidTerm_, edtLowTerm_});

  ShowLanguage();
}

TFlowDetectionFrm::~TFlowDetectionFrm() {
  // Closing the window ends the editing of the field holding the focus; the
  // rules that would act on it go first, while the rest is still here.
  delete input_;
}

QWidget* TFlowDetectionFrm::BuildHeader() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(TFlowGrid::kGap);
  // Each flow point's group stands over its three columns of the grid.
  row->addSpacing(TFlowGrid::kRowHeadWidth);
  for (int k = 0; k < kFlowPoints; ++k) {
    const QString n = QString::number(k + 1);
    gbFlux_[k] = new QGroupBox(band);
    gbFlux_[k]->setObjectName("gbFlux" + n);
    gbFlux_[k]->setFixedWidth(TFlowGrid::kPointWidth);
    edtFlux_[k] = new QLineEdit(gbFlux_[k]);
    edtFlux_[k]->setObjectName("edtFlux" + n);
    edtFlux_[k]->setFixedWidth(64);
    lblError_[k] = new QLabel(gbFlux_[k]);
    lblError_[k]->setObjectName("lblError" + n);
    auto* inner = new QHBoxLayout(gbFlux_[k]);
    inner->setContentsMargins(4, 2, 4, 4);
    inner->addWidget(edtFlux_[k]);
    inner->addWidget(new QLabel("L/h", gbFlux_[k]));
    inner->addWidget(lblError_[k], 1);
    row->addWidget(gbFlux_[k]);
    input_->WatchNumber(edtFlux_[k],
                        [this, k] {
                          return CaptionName(FlowCaptions(),
                                             gbFlux_[k]->objectName().toUtf8().constData(),
                                             state_.Settings.English());
                        },
                        {.changed = [this, k] { FluxEdited(k); }, .accepts = IsWholeOrEmpty});
  }
  row->addWidget(BuildTerm(), 0, Qt::AlignTop);
  row->addStretch(1);
  return band;
}

QGroupBox* TFlowDetectionFrm::BuildTerm() {
  auto* group = Named<QGroupBox>("gbTerm", nullptr);
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(4, 2, 4, 4);
  grid->setVerticalSpacing(2);
  struct Level {
    const char* label;
    const char* edit;
    const char* button;
    int code;
    QLineEdit** field;
  };
  const Level levels[] = {
      {"lblHighTerm", "edtHighTerm", "spbtnHighTerm", kFlowHighTerm, &edtHighTerm_},
      {"lblMidTerm", "edtMidTerm", "spbtnMidTerm", kFlowMidTerm, &edtMidTerm_},
      {"lblLowTerm", "edtLowTerm", "spbtnLowTerm", kFlowLowTerm, &edtLowTerm_},
  };
  int column = 0;
  for (const Level& l : levels) {
    auto* edit = Named<QLineEdit>(l.edit, group);
    edit->setFixedWidth(48);
    auto* button = Named<QToolButton>(l.button, group);
    button->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    connect(button, &QToolButton::clicked, this, [this, code = l.code] { RunOperation(code); });
    grid->addWidget(Named<QLabel>(l.label, group), 0, column);
    grid->addWidget(edit, 1, column);
    grid->addWidget(button, 1, column + 1);
    column += 2;
    *l.field = edit;
    const char* label = l.label;
    input_->WatchNumber(
        edit,
        [this, label] { return CaptionName(FlowCaptions(), label, state_.Settings.English()); },
        {});
  }
  return group;
}

QWidget* TFlowDetectionFrm::BuildBottom() {
  auto* band = new QWidget;
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(BuildBase());
  bench_ = new TFlowBenchGroup(state_, values_, *input_, band);
  connect(bench_, &TFlowBenchGroup::StandardVolumeChanged, this,
          [this](int point) { errors_->EvaluatePoint(point); });
  connect(bench_->btnCalibration, &QPushButton::clicked, this,
          [this] { RunOperation(FlowCalibrateCode(values_.SelectedFlowPoint())); });
  row->addWidget(bench_);
  row->addWidget(BuildButtons());
  row->addStretch(1);
  return band;
}

QGroupBox* TFlowDetectionFrm::BuildBase() {
  const BaseGroup base = BuildBaseGroup(false);
  cbxCaliber_ = base.cbxCaliber;
  cbxLevel_ = base.cbxLevel;
  cbxLocation_ = base.cbxLocation;
  lblOperName_ = base.lblOperName;
  lblDateTime1_ = base.lblDateTime1;
  connect(cbxCaliber_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::DN, i, true); });
  connect(cbxLevel_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::MeasurementLevel, i, true); });
  connect(cbxLocation_, &QComboBox::currentIndexChanged, this,
          [this](int i) { ParameterChanged(&SystemSettings::Location, i, false); });
  return base.group;
}

QWidget* TFlowDetectionFrm::BuildButtons() {
  buttons_ =
      new TDetectionButtons({"BtnFlow", "btnExit", [this](int code) { RunOperation(code); },
                             [this] { RunOperation(FlowReadCode(values_.SelectedFlowPoint())); },
                             [this] {
                               grid_->ClearFace();
                               input_->TakeTexts();
                             }});
  connect(buttons_->btnExcel, &QPushButton::clicked, this, &TFlowDetectionFrm::ExportResults);
  return buttons_;
}

void TFlowDetectionFrm::WireGrid() {
  input_->WatchAddresses(*grid_);
  grid_->BindRows(state_);
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
      input_->WatchNumber(
          grid_->edtBulk[k][r],
          [this, r, k] { return CellName(r, k, CellKind::kVolume, state_.Settings.English()); },
          {.changed = [this, r, k] { errors_->EvaluateCell(r, k); }});
      // A coefficient the meter reported is the row's coefficient; an
      // emptied cell keeps the one the row has.
      connect(grid_->edtCoef[k][r], &QLineEdit::textChanged, this,
              [this, r, k](const QString& text) {
                if (text.trimmed().isEmpty() || !IsWholeOrEmpty(text)) return;
                state_.Rows[r].Coefficients[k] =
                    static_cast<int32_t>(*EntryValue(text.toStdString()).Integer());
              });
      QLineEdit* error = grid_->edtError[k][r];
      error->setContextMenuPolicy(Qt::PreventContextMenu);
      error->setProperty("row", r);
      error->setProperty("point", k);
      error->installEventFilter(this);
    }
  }
}

void TFlowDetectionFrm::WireRun() {
  run_.on_lamp = [this](int row, Lamp lamp) { grid_->ShowLamp(row, lamp); };
  run_.on_flow_read = [this](int row, int point, const BenchRead& reading) {
    OnFlowRead(row, point, reading);
  };
  run_.on_served = [this](int row, const OperationRow& op, const CommandRequest& values,
                          bool answered) { JournalWrite(row, op, values, answered); };
}

void TFlowDetectionFrm::JournalWrite(int row, const OperationRow& op, const CommandRequest& values,
                                     bool answered) {
  if (!state_.Journal) return;
  WriteRecord w;
  w.Tester = state_.Settings.OperatorName;
  w.Address = state_.Rows[row].Address;
  w.Row = row + 1;
  w.Confirmed = answered;
  // What went to the meter, at the precision the frame carries it.
  const auto sent = [&](int decimals, const char* unit) {
    const std::optional<int64_t> v = values.value.Scaled(decimals);
    return v ? FormatFixed(static_cast<double>(*v) / std::pow(10.0, decimals), decimals) + unit
             : std::string();
  };
  if (op.command == Command::kCalibrateFlowPoint) {
    w.What = std::string(op.label);
    w.Value = sent(4, " L");
  } else if (op.command == Command::kAdjustTemperature) {
    w.What = std::string(op.label);
    w.Value = sent(2, " °C");
  } else if (op.code == kFlowCompensate) {
    w.What = std::string(FlowPointName(values.variant)) + std::string(op.label);
    w.Value = std::to_string(values.number);
    w.Before = std::to_string(compensate_before_);
  } else {
    return;
  }
  state_.Journal->Record(std::move(w));
}

bool TFlowDetectionFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && watched->property("point").isValid()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      compensate_row_ = watched->property("row").toInt();
      compensate_point_ = watched->property("point").toInt();
      pmCompensate_->popup(mouse->globalPosition().toPoint());
      return true;
    }
  }
  return TToolForm::eventFilter(watched, event);
}

void TFlowDetectionFrm::ExportResults() {
  const BaseGroup base{nullptr, cbxCaliber_, cbxLevel_, cbxLocation_, lblOperName_, lblDateTime1_};
  export_->Export(GatherTable(FlowWorkbook(), base, edtFlux_, *grid_, state_.Settings.FluxNum));
}

void TFlowDetectionFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  TToolForm::showEvent(event);
}

void TFlowDetectionFrm::FormShow() {
  const SystemSettings& s = state_.Settings;
  ShowLanguage();
  cbxCaliber_->setCurrentIndex(ValidDn(s.DN) ? s.DN : -1);
  cbxLevel_->setCurrentIndex(s.MeasurementLevel >= 0 && s.MeasurementLevel < 3 ? s.MeasurementLevel
                                                                               : -1);
  cbxLocation_->setCurrentIndex(s.Location >= 0 && s.Location < 2 ? s.Location : -1);
  lblOperName_->setText(QString::fromStdString(s.OperatorName));
  lblDateTime1_->setText(QString::fromStdString(s.TestDate));
  const auto q = s.FlowPoints();
  for (int k = 0; k < kFlowPoints; ++k)
    input_->SetNumber(edtFlux_[k], QString::number(q[k]));
  grid_->ShowRows(state_);
  ComputeLimits();

  buttons_->btnInit->setVisible(s.MeterType != 0);
  grid_->ApplyLayout(s.MeterNum, s.FluxNum);
  gbFlux_[kFlowPoints - 1]->setVisible(s.FluxNum != 4);
  const bool large = ValidDn(s.DN) && DnSizeTable[s.DN] >= 50;
  buttons_->btnStart->setVisible(large);
  buttons_->btnEnd->setVisible(large);
  buttons_->Pack();
}

void TFlowDetectionFrm::ApplyLanguage() {
  ApplyCaptions(*this, FlowCaptions(), state_.Settings.English());
}

void TFlowDetectionFrm::ComputeLimits() {
  values_.ComputeLimits();
  for (int k = 0; k < kFlowPoints; ++k)
    lblError_[k]->setText(QString::fromStdString(values_.LimitLabel(k)));
}

void TFlowDetectionFrm::ParameterChanged(int32_t SystemSettings::*field, int index, bool limits) {
  if (index < 0) return;
  state_.Settings.*field = index;
  if (!limits) return;
  ComputeLimits();
  errors_->Reevaluate(0);
}

void TFlowDetectionFrm::FluxEdited(int point) {
  const QString text = edtFlux_[point]->text().trimmed();
  if (text.isEmpty()) return;
  std::array<int32_t, kFlowPoints> q = state_.Settings.FlowPoints();
  q[point] = static_cast<int32_t>(*EntryValue(text.toStdString()).Integer());
  state_.Settings.SetFlowPoints(q);
  ComputeLimits();
  errors_->Reevaluate(point + 1);
}

namespace {

// The largest values the frames can carry: a standard volume is sent in
// ten-thousandths of a litre as 32 bits, a temperature in hundredths as four
// BCD digits, a coefficient as eight BCD digits.
constexpr int64_t kMaxVolume = 0xFFFFFFFF;
constexpr int64_t kMaxTemperature = 9999;
constexpr int64_t kMaxCoefficient = 99999999;

}  // namespace

bool TFlowDetectionFrm::CheckSent(QLineEdit* edit, const QString& field, int decimals,
                                  int64_t max) {
  if (!input_->CheckNumber(edit)) return false;
  const QString text = edit->text().trimmed();
  const std::optional<int64_t> v = EntryValue(text.toStdString()).Scaled(decimals);
  if (!text.isEmpty() && v && *v >= 0 && *v <= max) return true;
  // Nothing is sent for an empty field: it is no value the operator gave.
  const QString range = QString::fromStdString(FormatFixed(0, decimals)) + " – " +
                        QString::fromStdString(FormatFixed(
                            static_cast<double>(max) / std::pow(10.0, decimals), decimals));
  input_->WarnOutOfRange(field, text, range);
  return false;
}

void TFlowDetectionFrm::RunOperation(int code) {
  const OperationRow* op = run_.Operation(code);
  if (!op) return;
  const bool english = state_.Settings.English();
  // The field whose value the operation sends besides the address, checked
  // before anything is sent.
  CommandRequest values;
  if (op->command == Command::kCalibrateFlowPoint) {
    if (!CheckSent(bench_->edtVolume, CaptionName(FlowCaptions(), "lblVolume", english), 4,
                   kMaxVolume)) {
      return;
    }
    values.value = EntryValue(bench_->edtVolume->text().trimmed().toStdString());
  } else if (op->command == Command::kAdjustTemperature) {
    const bool high = op->choice == static_cast<int8_t>(TemperatureLevel::kHigh);
    const bool mid = op->choice == static_cast<int8_t>(TemperatureLevel::kMid);
    QLineEdit* edit = high ? edtHighTerm_ : mid ? edtMidTerm_ : edtLowTerm_;
    const char* label = high ? "lblHighTerm" : mid ? "lblMidTerm" : "lblLowTerm";
    if (!CheckSent(edit, CaptionName(FlowCaptions(), label, english), 2, kMaxTemperature)) return;
    values.value = EntryValue(edit->text().trimmed().toStdString());
  }
  run_.Run(code, values);
}

void TFlowDetectionFrm::CompensateCoefficient(int row, int point) {
  if (row < 0 || row >= kMeterRows || point < 0 || point >= kFlowPoints) return;
  const bool english = state_.Settings.English();
  const QString coef_text = grid_->edtCoef[point][row]->text().trimmed();
  const QString error_text = grid_->edtError[point][row]->text().trimmed();
  // An empty cell is no coefficient and no error: writing from it would
  // invent a value and could wipe the meter's calibration.
  for (const auto& [text, kind] :
       {std::pair{coef_text, CellKind::kCoefficient}, std::pair{error_text, CellKind::kError}}) {
    if (text.isEmpty()) {
      const QString name = CellName(row, point, kind, english);
      input_->Inform(english ? QString("%1 is empty; nothing was compensated.").arg(name)
                             : QString::fromUtf8("%1为空，未进行补偿。").arg(name));
      return;
    }
  }
  const std::optional<int64_t> old = EntryValue(coef_text.toStdString()).Integer();
  if (!old) {
    input_->WarnNotNumber(CellName(row, point, CellKind::kCoefficient, english), coef_text);
    return;
  }
  const std::optional<double> err = ParseNumber(error_text.toStdString());
  if (!err) {
    input_->WarnNotNumber(CellName(row, point, CellKind::kError, english), error_text);
    return;
  }
  const int64_t coefficient = CompensatedCoefficient(*old, *err);
  if (coefficient < 0 || coefficient > kMaxCoefficient) {
    input_->WarnOutOfRange(CellName(row, point, CellKind::kCoefficient, english),
                           QString::number(coefficient), QString("0 – %1").arg(kMaxCoefficient));
    return;
  }
  compensate_before_ = *old;
  run_.Compensate(row, point, coefficient);
}

void TFlowDetectionFrm::OnFlowRead(int row, int point, const BenchRead& reading) {
  input_->SetNumber(grid_->edtBulk[point][row],
                    QString::fromStdString(FormatFixed(reading.VolumeL, 2)));
  grid_->edtEntreTerm[row]->setText(QString::fromStdString(FormatFixed(reading.EntreC, 2)));
  grid_->edtExitTerm[row]->setText(QString::fromStdString(FormatFixed(reading.ExitC, 2)));
  for (size_t k = 0; k < reading.Coefficients.size(); ++k)
    grid_->edtCoef[k][row]->setText(QString::number(reading.Coefficients[k]));
  errors_->EvaluateCell(row, point);
  // The journal keeps what the row now shows.
  ReadingRecord r = GridReading(state_, *grid_, row, point, kFlowWindow);
  r.StandardVolume = Shown(values_.StandardVolume(point), shown::kStandardVolume);
  r.VolumeLimit = Shown(values_.Limit(point), shown::kPercent);
  Journal(state_, std::move(r));
}

void TFlowDetectionFrm::StatusTimerTimer() {
  // The served rows blink red until their meters answer.
  grid_->BlinkServed(run_);
}

}  // namespace qv
