#include "tools/ui/other_para_frm.h"

#include <QGridLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "tools/ui/other_para_captions.h"
#include "tools/ui/other_para_grid.h"
#include "ui/operator_input.h"

namespace qv {
namespace {

// The lamp of the row being served changes colour this often.
constexpr int kBlinkMs = 200;
constexpr int kButtonsPerRow = 9;

QScrollArea* Scroller(QWidget* content) {
  auto* area = new QScrollArea;
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  return area;
}

QString Hundredths(double v) {
  return QString::number(v, 'f', 2);
}

// What a value `op` sends may be: up to the largest its frame field holds.
QString RangeOf(const OperationRow& op, bool english) {
  const SentField sent = ValueField(op.command, op.choice);
  QString largest = QString::number(sent.LargestRaw());
  if (sent.decimals > 0) largest.insert(largest.size() - sent.decimals, '.');
  return (english ? QString("0 to ") : QString::fromUtf8("0～")) + largest;
}

}  // namespace

TOtherParaFrm::TOtherParaFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), run_(state, Pump()) {
  setObjectName("OtherParaFrm");
  grid_ = new TOtherParaGrid;

  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);
  column->addWidget(grid_, 0, Qt::AlignLeft);
  column->addWidget(BuildButtons(), 0, Qt::AlignLeft);
  lblCN_ = new QLabel;
  lblCN_->setObjectName("lblCN");
  lblEN_ = new QLabel;
  lblEN_->setObjectName("lblEN");
  column->addWidget(lblCN_);
  column->addWidget(lblEN_);
  column->addStretch(1);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(Scroller(content));

  BindRun(run_, *grid_, kBlinkMs);
  run_.on_lamp = [this](int row, Lamp lamp) { grid_->ShowLamp(row, lamp); };
  run_.on_read_back = [this](int row, const OtherParaReadBack& read) { ShowReadBack(row, read); };
  WireRows();
  ShowLanguage();
}

QWidget* TOtherParaFrm::BuildButtons() {
  auto* panel = new QWidget;
  auto* buttons = new QGridLayout(panel);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(3);
  for (int code = 1; code <= kOtherParaOperations; ++code) {
    auto* button = new QPushButton(panel);
    button->setObjectName(QString("btn%1").arg(code));
    button->setMinimumWidth(112);
    connect(button, &QPushButton::clicked, this, [this, code] { RunOperation(code); });
    buttons->addWidget(button, (code - 1) / kButtonsPerRow, (code - 1) % kButtonsPerRow);
  }
  return panel;
}

void TOtherParaFrm::WireRows() {
  grid_->BindRows(state_);
  input_->WatchAddresses(*grid_);
  for (int r = 0; r < kMeterRows; ++r) {
    connect(grid_->edtData[r], &QLineEdit::textChanged, this, [this](const QString& text) {
      if (grid_->cbDataType->isChecked()) CopyText(grid_->edtData, text.trimmed());
    });
    for (const auto& pairing : grid_->edtPairing) {
      connect(pairing[r], &QLineEdit::textChanged, this, [this, &pairing](const QString& text) {
        if (grid_->cbTerm->isChecked()) CopyText(pairing, text.trimmed());
      });
    }
    connect(grid_->edtPtNo[r], &QLineEdit::textChanged, this, [this](const QString& text) {
      if (grid_->cbOther->isChecked()) CopyText(grid_->edtPtNo, text.trimmed());
    });
    connect(grid_->cbxHeatUnit[r], &QComboBox::currentIndexChanged, this, [this](int index) {
      if (grid_->cbOther->isChecked()) CopyIndex(grid_->cbxHeatUnit, index);
    });
    connect(grid_->cbxPipeline[r], &QComboBox::currentIndexChanged, this, [this](int index) {
      if (copying_ || !grid_->cbOther->isChecked() || index < 0) return;
      pipe_mode_ = index;
      CopyIndex(grid_->cbxPipeline, index);
    });
  }
}

void TOtherParaFrm::CopyText(const std::array<QLineEdit*, kMeterRows>& column,
                             const QString& text) {
  if (copying_) return;
  copying_ = true;
  const int count = std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
  for (int r = 0; r < count; ++r) {
    if (column[r]->text().trimmed() != text) column[r]->setText(text);
  }
  copying_ = false;
}

void TOtherParaFrm::CopyIndex(const std::array<QComboBox*, kMeterRows>& column, int index) {
  if (copying_ || index < 0) return;
  copying_ = true;
  const int count = std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
  for (int r = 0; r < count; ++r)
    column[r]->setCurrentIndex(index);
  copying_ = false;
}

void TOtherParaFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    ShowLanguage();
    grid_->EnableRows(std::clamp(state_.Settings.MeterNum, 0, kMeterRows));
    grid_->ShowRows(state_);
  }
  TToolForm::showEvent(event);
}

const CaptionTable& TOtherParaFrm::Captions() const {
  return OtherParaCaptions();
}

void TOtherParaFrm::ApplyLanguage() {
  const bool english = state_.Settings.English();
  ApplyCaptions(*this, Captions(), english);
  grid_->FitHeadings();
  lblCN_->setVisible(!english);
  lblEN_->setVisible(english);
  // The pipe lists in the language, every row on the remembered mode.
  copying_ = true;
  for (QComboBox* list : grid_->cbxPipeline) {
    list->clear();
    list->addItems({ByLanguage(english, "单", "Single"), ByLanguage(english, "双", "Double")});
    list->setCurrentIndex(pipe_mode_);
  }
  copying_ = false;
}

std::optional<OtherParaInputs> TOtherParaFrm::TakeInputs(const OperationRow& op) {
  OtherParaInputs inputs;
  for (int r = 0; r < kMeterRows; ++r) {
    OtherParaRowInputs& in = inputs[r];
    in.Data = grid_->edtData[r]->text().trimmed().toStdString();
    for (size_t k = 0; k < kPairingValues; ++k)
      in.Pairing[k] = grid_->edtPairing[k][r]->text().trimmed().toStdString();
    in.HeatUnit = std::max(0, grid_->cbxHeatUnit[r]->currentIndex());
    in.Pipe = std::max(0, grid_->cbxPipeline[r]->currentIndex());
    in.PtNo = grid_->edtPtNo[r]->text().trimmed().toStdString();
  }
  // Every value a selected row would send, before anything is sent.
  const bool english = state_.Settings.English();
  const int count = std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
  for (int r = 0; r < count; ++r) {
    if (!state_.Rows[r].Selected) continue;
    const std::optional<int> bad = OtherParaBadField(op, inputs[r]);
    if (!bad) continue;
    const QString name = OtherParaFieldName(r, *bad, english);
    const QString text = QString::fromStdString(OtherParaFieldText(inputs[r], *bad));
    const bool whole = ValueField(op.command, op.choice).whole;
    if (text.trimmed().isEmpty()) {
      input_->WarnEmpty(name);
    } else if (whole ? IsWholeOrEmpty(text) : IsNumberOrEmpty(text)) {
      input_->WarnOutOfRange(name, text, RangeOf(op, english));
    } else {
      input_->WarnNotNumber(name, text);
    }
    return std::nullopt;
  }
  return inputs;
}

void TOtherParaFrm::RunOperation(int code) {
  run_.RunOperation(code, [this](const OperationRow& op) { return TakeInputs(op); });
}

void TOtherParaFrm::ShowReadBack(int row, const OtherParaReadBack& read) {
  // A read-back is the matched row's own: no "全同" copying.
  copying_ = true;
  if (read.AccFlow) grid_->edtAccFlow[row]->setText(Hundredths(*read.AccFlow));
  if (read.Flow) grid_->edtFlow[row]->setText(Hundredths(*read.Flow));
  if (read.Status) grid_->edtStatus[row]->setText(QString::fromStdString(*read.Status));
  if (read.Pairing) {
    for (size_t k = 0; k < kPairingValues; ++k)
      grid_->edtPairing[k][row]->setText(Hundredths((*read.Pairing)[k]));
  }
  if (read.PtNumber) grid_->edtPtNo[row]->setText(QString::number(*read.PtNumber));
  if (read.HeatUnit) grid_->cbxHeatUnit[row]->setCurrentIndex(*read.HeatUnit);
  if (read.Pipe) grid_->cbxPipeline[row]->setCurrentIndex(*read.Pipe);
  copying_ = false;
}

}  // namespace qv
