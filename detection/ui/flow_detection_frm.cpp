#include "detection/ui/flow_detection_frm.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <cmath>

#include "core/number_format.h"
#include "detection/core/flow_arithmetic.h"
#include "detection/ui/flow_bench_group.h"
#include "detection/ui/flow_captions.h"
#include "detection/ui/flow_grid.h"
#include "protocol/entry_value.h"
#include "ui/operator_input.h"
#include "ui/widgets.h"

namespace qv {

namespace {

constexpr Caption kOwnCaptions[] = {
    {"gbBench", "标定", "Coefficient"},
    {"lblFluxTerm", "流体", " Fluid："},
    {"btnCalibration", "标定", "Calibration"},
    {"gbTerm", "温度调整", "Temp. Adjustment"},
    {"lblHighTerm", "高温", " High："},
    {"lblMidTerm", "中温", " Mid："},
    {"lblLowTerm", "低温", " Low："},
    {"BtnFlow", "流量", "Flow"},
    {"btnExit", "结束", "End"},
    {"actCompensate", "补偿", "Compensate"},
};
constexpr Caption kPointCaptions[] = {
    {"lblQ%1Bulk", "流量(L)", "Volume (L)"},
    {"lblQ%1Error", "误差(%)", "Error (%)"},
    {"lblQ%1Coef", "系数", "Coef."},
};

constexpr TDetectionFrm::Kind kFlow{"FlowDetectionFrm", FlowCaptions, FlowOperations, false,
                                    "BtnFlow",          "btnExit"};

// How the values typed here travel, and so the largest each can be: the
// command table's.
constexpr SentField kVolumeSent = ValueField(Command::kCalibrateFlowPoint);
constexpr SentField kTemperatureSent = ValueField(Command::kAdjustTemperature);
constexpr SentField kCoefficientSent = ValueField(Command::kWriteCoefficient);

}  // namespace

const CaptionTable& FlowCaptions() {
  static const CaptionTable table =
      DetectionCaptions({nullptr, "流量检测", "Flow Detection"}, kOwnCaptions, kPointCaptions);
  return table;
}

TFlowDetectionFrm::TFlowDetectionFrm(SharedState& state, QWidget* parent)
    : TDetectionFrm(state, kFlow, parent) {
  Build();
  pmCompensate_ = Named<QMenu>("pmCompensate", this);
  QAction* compensate = pmCompensate_->addAction(QString());
  compensate->setObjectName("actCompensate");
  connect(compensate, &QAction::triggered, this,
          [this] { CompensateCoefficient(compensate_row_, compensate_point_); });
  connect(bench_->btnCalibration, &QPushButton::clicked, this,
          [this] { RunOperation(FlowCalibrateCode(sheet_.SelectedPoint())); });
  WireCoefficients();
  run_.on_served = [this](int row, const OperationRow& op, const CommandRequest& values,
                          bool answered) { JournalWrite(row, op, values, answered); };
  input_->AddEnterChain({bench_->edtWeight0, bench_->edtFluxTerm, bench_->edtWeight1,
                         bench_->edtWeight, bench_->edtVolume, bench_->cbxFlux,
                         bench_->btnCalibration});
  input_->AddEnterChain({edtHighTerm_, edtMidTerm_, edtLowTerm_});
  ShowLanguage();
}

void TFlowDetectionFrm::FillPoint(int k, QGroupBox* group, QLineEdit* flux) {
  flux->setFixedWidth(64);
  volume_limit_[k] = Named<QLabel>(qPrintable(QString("lblError%1").arg(k + 1)), group);
  auto* inner = new QHBoxLayout(group);
  inner->setContentsMargins(4, 2, 4, 4);
  inner->addWidget(flux);
  inner->addWidget(new QLabel("L/h", group));
  inner->addWidget(volume_limit_[k], 1);
}

void TFlowDetectionFrm::AddToHeader(QHBoxLayout* band) {
  band->addWidget(BuildTerm(), 0, Qt::AlignTop);
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
    input_->WatchNumber(edit, [this, label = l.label] { return FieldName(label); }, {});
  }
  return group;
}

void TFlowDetectionFrm::WireCoefficients() {
  for (int r = 0; r < kMeterRows; ++r) {
    for (int k = 0; k < kFlowPoints; ++k) {
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
    w.Value = sent(kVolumeSent.decimals, " L");
  } else if (op.command == Command::kAdjustTemperature) {
    w.What = std::string(op.label);
    w.Value = sent(kTemperatureSent.decimals, " °C");
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
  return TDetectionFrm::eventFilter(watched, event);
}

bool TFlowDetectionFrm::CheckSent(const EntryValue& value, const QString& text,
                                  const QString& field, const SentField& sent) {
  const int decimals = sent.decimals;
  const int64_t max = sent.LargestRaw();
  const std::optional<int64_t> v = value.Scaled(decimals);
  if (!text.isEmpty() && v && *v >= 0 && *v <= max) return true;
  // Nothing is sent for an empty field: it is no value the operator gave.
  const QString range = QString::fromStdString(FormatFixed(0, decimals)) + " – " +
                        QString::fromStdString(FormatFixed(
                            static_cast<double>(max) / std::pow(10.0, decimals), decimals));
  input_->WarnOutOfRange(field, text, range);
  return false;
}

bool TFlowDetectionFrm::OperationValues(const OperationRow& op, CommandRequest& values) {
  if (op.command == Command::kCalibrateFlowPoint) {
    // The standard volume of the selected point; the field shows it.
    const std::optional<double> v = sheet_.StandardVolume(sheet_.SelectedPoint());
    values.value = v ? EntryValue(*v) : EntryValue("");
    return CheckSent(values.value, v ? bench_->edtVolume->text().trimmed() : QString(),
                     FieldName("lblVolume"), kVolumeSent);
  }
  if (op.command == Command::kAdjustTemperature) {
    const bool high = op.choice == static_cast<int8_t>(TemperatureLevel::kHigh);
    const bool mid = op.choice == static_cast<int8_t>(TemperatureLevel::kMid);
    QLineEdit* edit = high ? edtHighTerm_ : mid ? edtMidTerm_ : edtLowTerm_;
    const char* label = high ? "lblHighTerm" : mid ? "lblMidTerm" : "lblLowTerm";
    if (!input_->CheckNumber(edit)) return false;
    const QString text = edit->text().trimmed();
    values.value = EntryValue(text.toStdString());
    return CheckSent(values.value, text, FieldName(label), kTemperatureSent);
  }
  return true;
}

void TFlowDetectionFrm::CompensateCoefficient(int row, int point) {
  if (row < 0 || row >= kMeterRows || point < 0 || point >= kFlowPoints) return;
  const bool english = state_.Settings.English();
  const std::optional<int64_t> old = sheet_.Coefficient(row, point);
  const std::optional<SheetError> error = sheet_.VolumeError(row, point);
  // An empty cell is no coefficient and no error: writing from it would
  // invent a value and could wipe the meter's calibration.
  for (const auto& [empty, kind] :
       {std::pair{!old, CellKind::kCoefficient}, std::pair{!error, CellKind::kError}}) {
    if (!empty) continue;
    const QString name = CellName(row, point, kind, english);
    input_->Inform(english ? QString("%1 is empty; nothing was compensated.").arg(name)
                           : QString::fromUtf8("%1为空，未进行补偿。").arg(name));
    return;
  }
  // The error as its cell shows it.
  const int64_t coefficient = CompensatedCoefficient(*old, *Shown(error->Percent, shown::kPercent));
  const int64_t largest = kCoefficientSent.LargestRaw();
  if (coefficient < 0 || coefficient > largest) {
    input_->WarnOutOfRange(CellName(row, point, CellKind::kCoefficient, english),
                           QString::number(coefficient), QString("0 – %1").arg(largest));
    return;
  }
  compensate_before_ = *old;
  CancelScaleWait();
  run_.Compensate(row, point, coefficient);
}

}  // namespace qv
