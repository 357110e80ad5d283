#include "tools/ui/set_para_frm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "protocol/switch_frame.h"
#include "tools/ui/set_para_captions.h"
#include "tools/ui/set_para_grid.h"
#include "ui/address_numbering.h"
#include "ui/operator_input.h"
#include "ui/widgets.h"

namespace qv {

namespace {

// The basic parameters as they stand in their group: label, control (its
// width, which the longest item of a list may exceed) and the unit after
// it, five to a row.
struct SettingPlace {
  const char* label;
  const char* control;
  int width;
  const char* unit = nullptr;
  const char* unit_name = nullptr;
};
constexpr int kEdit = 70;
// clang-format off
constexpr SettingPlace kSettingPlaces[4][5] = {
    {{"lblCommProtocol", "cbxCommProtocol", 150}, {"lblMeterType", "cbxMeterType", 145},
     {"lblCaliber", "cbxCaliber", 70}, {"lblLevel", "cbxLevel", 110}, {"lblLocation", "cbxLocation", 80}},
    {{"lblError", "edtError", kEdit, "", "lblStandard"}, {"lblCorrection", "edtCorrection", kEdit},
     {"lblMeterNum", "cbxMeterNum", 70}, {"lblLanguage", "cbxLanguage", 180},
     {"lblFluxNum", "cbxFluxNum", 70}},
    {{"lblFlux1", "edtFlux1", kEdit}, {"lblFlux2", "edtFlux2", kEdit}, {"lblFlux3", "edtFlux3", kEdit},
     {"lblFlux4", "edtFlux4", kEdit}, {"lblFlux5", "edtFlux5", kEdit}},
    {{"lblEntreTerm", "edtEntreTerm", kEdit}, {"lblExitTerm", "edtExitTerm", kEdit},
     {"lblFluidTerm", "edtFluidTerm", kEdit}, {"lblWaitTime", "edtWaitTime", kEdit, "ms", "lblMs"},
     {"lblReadAgainTimes", "edtReadAgainTimes", kEdit}},
};
// clang-format on

// The bench group, two lines of label and control (its width; 0: the rest
// of the line, or the check box's own).
struct BenchPlace {
  const char* label;
  const char* control;
  int width;
};
// clang-format off
constexpr BenchPlace kBenchPlaces[2][6] = {
    {{nullptr, "chkParallel", 0}, {"lblBenchName", "edtBenchName", 150},
     {"lblReference", "edtReference", 180}, {"lblCalibrationDue", "edtCalibrationDue", 85},
     {"lblServer", "edtServer", 0}, {}},
    {{"lblScaleDevice", "edtScaleDevice", 0}, {"lblScaleProtocol", "cbxScaleProtocol", 85},
     {"lblScaleBaud", "cbxScaleBaud", 80}, {"lblScaleDataBits", "cbxScaleDataBits", 45},
     {"lblScaleParity", "cbxScaleParity", 45}, {"lblScaleStopBits", "cbxScaleStopBits", 45}},
};
// clang-format on

// The items of a list: the same texts in both languages, the counts, the
// pipe sizes, or (for the lists captioned per language) empty items that
// the captions fill.
QStringList Items(const SettingList& list) {
  const std::string_view name = list.object;
  if (name == "cbxCommProtocol") return {"188", QString::fromUtf8("欧标(European standard)")};
  if (name == "cbxLanguage") {
    return {QString::fromUtf8("Simplified Chinese(简体中文)"), QString::fromUtf8("English(英文)")};
  }
  QStringList items;
  for (int i = 0; i < list.count; ++i) {
    items << (name == "cbxCaliber" ? QString::number(DnSizeTable[i])
              : list.offset != 0   ? QString::number(i + list.offset)
                                   : QString());
  }
  return items;
}

// The eight hex digits of a transit time, a "-" before a negative one.
QString TimeText(uint32_t value, bool negative = false) {
  return (negative ? "-" : "") + QString("%1").arg(value, 8, 16, QChar('0')).toUpper();
}

}  // namespace

TSetParaFrm::TSetParaFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), run_(state, Pump()) {
  setObjectName("SetParaFrm");
  grid_ = new TSetParaGrid;

  // The basic parameters over the rows and the command buttons beside
  // them; the rows scroll when the window is short, and the whole scrolls
  // when it is smaller than all of it.
  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);
  column->addWidget(BuildSettings());
  auto* band = new QHBoxLayout;
  auto* rows = Scroller(grid_);
  rows->setMinimumHeight(200);
  band->addWidget(rows, 1);
  band->addWidget(BuildButtons(), 0, Qt::AlignTop);
  column->addLayout(band, 1);
  column->addWidget(BuildBench());
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(Scroller(content));

  lists_.reserve(SettingLists().size());
  for (const SettingList& l : SettingLists()) {
    auto* list = findChild<QComboBox*>(QString::fromUtf8(l.object.data(), l.object.size()));
    list->addItems(Items(l));
    lists_.push_back(list);
  }

  timers_ = BindRun(run_, *grid_);

  pmWriteCoef_ = Named<QMenu>("pmWriteCoef", this);
  QAction* write = pmWriteCoef_->addAction(QString());
  write->setObjectName("actWriteCoef");
  connect(write, &QAction::triggered, this, [this] { WriteCoefficient(coef_row_, coef_k_); });

  WireSettings();
  WireBench();
  WireRows();
  WireRun();

  std::vector<QWidget*> chain;
  for (const char* name : {"cbxCommProtocol", "cbxMeterType", "cbxCaliber", "cbxLevel",
                           "cbxLocation", "edtError", "edtCorrection", "cbxMeterNum", "cbxLanguage",
                           "cbxFluxNum", "edtFlux1", "edtFlux2", "edtFlux3", "edtFlux4", "edtFlux5",
                           "edtEntreTerm", "edtExitTerm", "edtFluidTerm", "cbxCommType"}) {
    chain.push_back(findChild<QWidget*>(name));
  }
  chain.insert(chain.end(), grid_->cbxComm.begin(), grid_->cbxComm.end());
  chain.insert(chain.end(), grid_->cbxChannel.begin(), grid_->cbxChannel.begin() + kSwitchChannels);
  input_->AddEnterChain(chain);

  ShowLanguage();
}

QGroupBox* TSetParaFrm::BuildSettings() {
  auto* group = Named<QGroupBox>("GroupBox1", nullptr);
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(6, 2, 6, 4);
  grid->setVerticalSpacing(3);
  grid->setHorizontalSpacing(6);
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 5; ++col) {
      const SettingPlace& p = kSettingPlaces[row][col];
      grid->addWidget(Named<QLabel>(p.label, group), row, 2 * col, Qt::AlignRight);
      QWidget* control = nullptr;
      if (FindSettingList(p.control)) {
        control = Named<QComboBox>(p.control, group);
      } else {
        control = Named<QLineEdit>(p.control, group);
      }
      control->setFixedWidth(p.width);
      if (p.unit) {
        auto* cell = new QWidget(group);
        auto* line = new QHBoxLayout(cell);
        line->setContentsMargins(0, 0, 0, 0);
        control->setParent(cell);
        line->addWidget(control);
        auto* unit = Named<QLabel>(p.unit_name, cell);
        unit->setText(p.unit);
        line->addWidget(unit);
        line->addStretch(1);
        control = cell;
      }
      grid->addWidget(control, row, 2 * col + 1);
    }
  }
  grid->setColumnStretch(10, 1);
  return group;
}

QWidget* TSetParaFrm::BuildButtons() {
  auto* panel = new QWidget;
  auto* buttons = new QVBoxLayout(panel);
  buttons->setContentsMargins(0, 0, 0, 0);
  const std::pair<const char*, int> commands[] = {
      {"btn2", kParaReadAddress},    {"btn3", kParaWriteAddress},
      {"btn4", kParaSetClock},       {"btn5", kParaEnterCheck},
      {"btn8", kParaExitCheck},      {"btn6", kParaSetCaliber},
      {"btn7", kParaSetLocation},    {"btnSetCoef", kParaWriteAllCoef},
      {"btnReadCoef", kParaReadCoef}};
  for (const auto& [name, code] : commands) {
    auto* button = Named<QPushButton>(name, panel);
    connect(button, &QPushButton::clicked, this, [this, code = code] { RunOperation(code); });
    buttons->addWidget(button);
  }
  btnChannelStatus_ = Named<QPushButton>("btnChannelStatus", panel);
  connect(btnChannelStatus_, &QPushButton::clicked, this, &TSetParaFrm::ChannelStatusRequested);
  buttons->addWidget(btnChannelStatus_);
  buttons->addStretch(1);
  return panel;
}

QGroupBox* TSetParaFrm::BuildBench() {
  auto* group = Named<QGroupBox>("grpBench", nullptr);
  // Tight: all 20 rows above it still fit a 1366 x 768 screen in Chinese.
  auto* lines = new QVBoxLayout(group);
  lines->setContentsMargins(6, 0, 6, 2);
  lines->setSpacing(2);
  for (const auto& places : kBenchPlaces) {
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    bool filled = false;  // a control takes the rest of the line
    for (const BenchPlace& p : places) {
      if (!p.control) continue;
      if (p.label) line->addWidget(Named<QLabel>(p.label, group));
      const std::string_view name = p.control;
      QWidget* control = nullptr;
      if (name.starts_with("chk")) {
        control = Named<QCheckBox>(p.control, group);
      } else if (name.starts_with("cbx")) {
        control = Named<QComboBox>(p.control, group);
      } else {
        control = Named<QLineEdit>(p.control, group);
      }
      const bool rest = p.label && !p.width;
      if (p.width) control->setFixedWidth(p.width);
      line->addWidget(control, rest ? 1 : 0);
      line->addSpacing(10);
      filled = filled || rest;
    }
    if (!filled) line->addStretch(1);
    lines->addLayout(line);
  }
  // The forms these fields take, in every language.
  group->findChild<QLineEdit*>("edtCalibrationDue")->setPlaceholderText("yyyy-mm-dd");
  group->findChild<QLineEdit*>("edtServer")->setPlaceholderText("service=NAME");
  group->findChild<QLineEdit*>("edtScaleDevice")->setPlaceholderText("/dev/ttyUSB1, tcp:HOST:PORT");
  return group;
}

void TSetParaFrm::WireSettings() {
  const auto lists = SettingLists();
  for (size_t i = 0; i < lists.size(); ++i) {
    connect(lists_[i], &QComboBox::currentIndexChanged, this,
            [this, &list = lists[i]](int index) { ListChanged(list, index); });
  }
  for (const SettingEdit& e : SettingEdits()) {
    auto* edit = findChild<QLineEdit*>(QString::fromUtf8(e.object.data(), e.object.size()));
    edits_.push_back(edit);
    // Typed or set, a value counts at once; a text that is not one is
    // refused when the editing ends and the setting keeps its value.
    connect(edit, &QLineEdit::textChanged, this, [this, &e](const QString& text) {
      if (!loading_) StoreSettingText(state_, e, text.toStdString());
    });
    input_->WatchNumber(
        edit, [this, &e] { return SettingName(e.object.data(), state_.Settings.English()); },
        {.accepts = [&e](const QString& text) {
          return AcceptsSettingText(e, text.toStdString());
        }});
  }
  for (int k = 0; k < kFlowPoints; ++k)
    edtFlux_[k] = findChild<QLineEdit*>(QString("edtFlux%1").arg(k + 1));
}

void TSetParaFrm::WireBench() {
  chkParallel_ = findChild<QCheckBox*>("chkParallel");
  connect(chkParallel_, &QCheckBox::toggled, this, [this](bool on) {
    if (!loading_) state_.Settings.ParallelLines = on;
  });
  for (const TextSetting& t : TextSettings()) {
    auto* edit = findChild<QLineEdit*>(QString::fromUtf8(t.object.data(), t.object.size()));
    texts_.push_back(edit);
    connect(edit, &QLineEdit::textChanged, this, [this, &t](const QString& text) {
      if (!loading_) StoreTextSetting(state_, t, text.toStdString());
    });
    if (t.rule == TextRule::kAny) continue;
    // A refused text is not stored; when the editing ends the field gets
    // back its value and the operator is told why.
    input_->WatchNumber(
        edit, [this, &t] { return SettingName(t.object.data(), state_.Settings.English()); },
        {.accepts = [&t](const QString& text) { return AcceptsTextSetting(t, text.toStdString()); },
         .refusal =
             [this, &t](const QString& text) {
               return RefusedTextMessage(t, text, state_.Settings.English());
             }});
  }
  for (const ScaleList& l : ScaleLists()) {
    auto* list = findChild<QComboBox*>(QString::fromUtf8(l.object.data(), l.object.size()));
    for (const std::string& item : ScaleListItems(l))
      list->addItem(QString::fromStdString(item));
    scale_lists_.push_back(list);
    connect(list, &QComboBox::currentIndexChanged, this, [this, &l](int index) {
      // A new protocol brings its own line settings.
      if (!loading_ && StoreScaleIndex(state_.Scale, l, index) && !l.key) ShowScale();
    });
  }
}

void TSetParaFrm::WireRows() {
  grid_->BindRows(state_);
  // Ticked by hand or set by the window: rows 1..MeterNum follow.
  connect(grid_->cbAllSelected, &QCheckBox::toggled, this, [this](bool on) {
    const int count = std::clamp(state_.Settings.MeterNum, 0, kMeterRows);
    for (int r = 0; r < count; ++r)
      grid_->cbx[r]->setChecked(on);
  });
  input_->WatchAddressCells(grid_->edtNewAddr,
                            [this](int row, bool all) { NumberNewAddresses(row, all); });
  for (int r = 0; r < kMeterRows; ++r) {
    // A port chosen again (the same item) opens it when it was closed.
    connect(grid_->cbxComm[r], &QComboBox::currentIndexChanged, this, [this, r](int index) {
      if (loading_ || index < 0) return;
      port_changed_row_ = r;
      QTimer::singleShot(0, this, [this] { port_changed_row_ = -1; });
      ChooseRowPort(state_, r, index);
    });
    connect(grid_->cbxComm[r], &QComboBox::activated, this, [this, r](int index) {
      if (port_changed_row_ == r) {
        port_changed_row_ = -1;
        return;
      }
      if (!loading_ && index >= 0) ChooseRowPort(state_, r, index);
    });
    connect(grid_->cbxChannel[r], &QComboBox::currentIndexChanged, this, [this, r](int index) {
      if (!loading_ && index >= 0) state_.Rows[r].Channel = index;
    });
    connect(grid_->cbxCaliber[r], &QComboBox::currentIndexChanged, this,
            [this, r](int index) { DnChosen(r, index); });
    for (int k = 0; k < kFlowPoints; ++k) {
      QLineEdit* coef = grid_->edtCoef[k][r];
      connect(coef, &QLineEdit::textChanged, this, [this, r, k](const QString& text) {
        if (const auto v = CoefficientValue(text.toStdString()))
          state_.Rows[r].Coefficients[k] = *v;
      });
      input_->WatchNumber(coef,
                          [this, r, k] { return CoefficientName(r, k, state_.Settings.English()); },
                          {.accepts = [](const QString& text) {
                            return CoefficientValue(text.toStdString()).has_value();
                          }});
      coef->setContextMenuPolicy(Qt::PreventContextMenu);
      coef->setProperty("row", r);
      coef->setProperty("coefficient", k);
      coef->installEventFilter(this);
    }
  }
}

void TSetParaFrm::WireRun() {
  run_.on_lamp = [this](int row, Lamp lamp) { grid_->ShowLamp(row, lamp); };
  run_.on_address = [this](int row, const std::string& address) {
    ShowWhole(grid_->edtCurrAddr[row], QString::fromStdString(address));
  };
  run_.on_read_back = [this](int row, const CoefficientReadBack& read) {
    read_back_[row] = {state_.Rows[row].Address, read.Coefficients};
    ShowReadBack(row, read);
  };
  run_.on_served = [this](int row, const OperationRow& op, const CommandRequest& values,
                          bool answered) { JournalWrite(row, op, values, answered); };
  const auto run_timer = [](QTimer* timer) {
    return [timer](bool on) {
      if (on) {
        timer->start();
      } else {
        timer->stop();
      }
    };
  };
  run_.on_status_timer = run_timer(timers_.StatusTimer);
  run_.on_read_timer = run_timer(timers_.ReadTimer);
}

bool TSetParaFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && watched->property("coefficient").isValid()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      coef_row_ = watched->property("row").toInt();
      coef_k_ = watched->property("coefficient").toInt();
      pmWriteCoef_->popup(mouse->globalPosition().toPoint());
      return true;
    }
  }
  return TToolForm::eventFilter(watched, event);
}

void TSetParaFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  TToolForm::showEvent(event);
}

void TSetParaFrm::FormShow() {
  const SystemSettings& s = state_.Settings;
  ++loading_;
  ShowLanguage();
  EnableRows();
  const auto lists = SettingLists();
  for (size_t i = 0; i < lists.size(); ++i)
    lists_[i]->setCurrentIndex(SettingIndex(s, lists[i]));
  ShowSettingEdits();
  for (QComboBox* dn : grid_->cbxCaliber)
    dn->setCurrentIndex(ValidDn(s.DN) ? s.DN : -1);
  grid_->ShowRows(state_);
  const int count = std::clamp(s.MeterNum, 0, kMeterRows);
  for (int r = 0; r < count; ++r) {
    const MeterRow& row = state_.Rows[r];
    grid_->cbxComm[r]->setCurrentIndex(row.Comm >= 0 && row.Comm <= kPortCount ? row.Comm : -1);
    grid_->cbxChannel[r]->setCurrentIndex(row.Channel < grid_->cbxChannel[r]->count() ? row.Channel
                                                                                      : -1);
  }
  EnableFluxEdits();
  ShowBench();
  --loading_;
  lists_.front()->setFocus(Qt::OtherFocusReason);
}

void TSetParaFrm::ShowSettingEdits() {
  ++loading_;
  const auto edits = SettingEdits();
  for (size_t i = 0; i < edits.size(); ++i)
    input_->SetNumber(edits_[i], QString::fromStdString(SettingText(state_.Settings, edits[i])));
  --loading_;
}

void TSetParaFrm::ShowBench() {
  ++loading_;
  chkParallel_->setChecked(state_.Settings.ParallelLines);
  const auto texts = TextSettings();
  for (size_t i = 0; i < texts.size(); ++i)
    input_->SetNumber(texts_[i], QString::fromStdString(texts[i].field(state_)));
  ShowScale();
  --loading_;
}

void TSetParaFrm::ShowScale() {
  ++loading_;
  const auto lists = ScaleLists();
  for (size_t i = 0; i < lists.size(); ++i)
    scale_lists_[i]->setCurrentIndex(ScaleListIndex(state_.Scale, lists[i]));
  --loading_;
}

const CaptionTable& TSetParaFrm::Captions() const {
  return SetParaCaptions();
}

void TSetParaFrm::ApplyLanguage() {
  const SystemSettings& s = state_.Settings;
  ++loading_;
  ApplyCaptions(*this, Captions(), s.English());
  // The lists captioned per language show the settings' items again.
  for (const char* name :
       {"cbxMeterType", "cbxLevel", "cbxLocation", "cbxCommType", "cbxLanguage"}) {
    const SettingList& list = *FindSettingList(name);
    findChild<QComboBox*>(name)->setCurrentIndex(SettingIndex(s, list));
  }
  --loading_;
}

void TSetParaFrm::EnableRows() {
  grid_->EnableRows(std::clamp(state_.Settings.MeterNum, 0, kMeterRows));
  ApplyCommLayout();
}

void TSetParaFrm::ApplyCommLayout() {
  const SystemSettings& s = state_.Settings;
  for (int r = 0; r < kMeterRows; ++r) {
    const CommLayout layout = CommModeLayout(s.CommType, s.MeterNum, r);
    if (layout.port) grid_->cbxComm[r]->setEnabled(*layout.port);
    if (layout.channel) grid_->cbxChannel[r]->setEnabled(*layout.channel);
  }
  if (s.CommType == kCommSingle) CloseOtherPorts(state_);
  btnChannelStatus_->setVisible(s.CommType == kCommChannel);
}

void TSetParaFrm::EnableFluxEdits() {
  for (int k = 0; k < kFlowPoints; ++k)
    edtFlux_[k]->setEnabled(k < state_.Settings.FluxNum);
}

void TSetParaFrm::ListChanged(const SettingList& list, int index) {
  if (loading_ || !StoreSettingIndex(state_.Settings, list, index)) return;
  if (list.member == &SystemSettings::MeterNum) {
    EnableRows();
  } else if (list.member == &SystemSettings::FluxNum) {
    EnableFluxEdits();
  } else if (list.member == &SystemSettings::CommType) {
    ApplyCommLayout();
  } else if (list.member == &SystemSettings::DN) {
    ShowSettingEdits();  // the new pipe size's default flow points
  }
}

void TSetParaFrm::DnChosen(int row, int index) {
  if (loading_ || copying_dn_ || index < 0) return;
  copying_dn_ = true;
  for (int r : RowsTakingDn(state_.Rows, state_.Settings.MeterNum, row, grid_->cbSame->isChecked()))
    grid_->cbxCaliber[r]->setCurrentIndex(index);
  copying_dn_ = false;
}

void TSetParaFrm::NumberNewAddresses(int row, bool all_following) {
  std::array<std::string, kMeterRows> texts;
  for (int r = 0; r < kMeterRows; ++r)
    texts[r] = grid_->edtNewAddr[r]->text().toStdString();
  const auto numbering = NumberFollowingTexts(texts, state_.Rows, state_.Settings.MeterNum, row,
                                              all_following, kNewAddressLength);
  QLineEdit* own = grid_->edtNewAddr[row];
  if (!numbering) {
    input_->WarnNotNumber(NewAddressName(row, state_.Settings.English()), own->text());
    return;
  }
  ShowWhole(own, QString::fromStdString(numbering->Normalised));
  for (const auto& [r, address] : numbering->Assigned)
    ShowWhole(grid_->edtNewAddr[r], QString::fromStdString(address));
  if (!all_following && !numbering->Assigned.empty()) {
    grid_->edtNewAddr[numbering->Assigned.front().first]->setFocus(Qt::OtherFocusReason);
  }
}

std::optional<int32_t> TSetParaFrm::CheckedCoefficient(int row, int k) {
  QLineEdit* edit = grid_->edtCoef[k][row];
  // Text that is not a number gets its value back, and the operator is told.
  if (!input_->CheckNumber(edit)) return std::nullopt;
  const std::optional<int32_t> value = CoefficientToSend(edit->text().toStdString());
  const bool english = state_.Settings.English();
  if (!value && edit->text().trimmed().isEmpty()) {
    // An empty cell is no value: say so rather than call it out of range.
    input_->WarnEmpty(CoefficientName(row, k, english));
  } else if (!value) {
    input_->WarnOutOfRange(
        CoefficientName(row, k, english), edit->text(),
        (english ? QString("0 to %1") : QString::fromUtf8("0～%1")).arg(kCoefficientMax));
  }
  return value;
}

std::optional<SetParaInputs> TSetParaFrm::TakeInputs(const OperationRow& op) {
  const SystemSettings& s = state_.Settings;
  const bool coefficients =
      op.command == Command::kSetCaliber || op.command == Command::kWriteAllCoefficients;
  const int sent = s.FluxNum == kFlowPoints ? kFlowPoints : kFlowPoints - 1;
  const int count = std::clamp(s.MeterNum, 0, kMeterRows);
  SetParaInputs inputs;
  for (int r = 0; r < kMeterRows; ++r) {
    inputs[r].NewAddress = grid_->edtNewAddr[r]->text().trimmed().toStdString();
    inputs[r].Dn = grid_->cbxCaliber[r]->currentIndex();
  }
  // Every value a selected row would send, before anything is sent.
  for (int r = 0; r < count; ++r) {
    if (!state_.Rows[r].Selected) continue;
    SetParaRowInputs& in = inputs[r];
    if (op.command == Command::kWriteAddress && !IsNewAddress(in.NewAddress)) {
      input_->WarnNotNumber(NewAddressName(r, s.English()), grid_->edtNewAddr[r]->text());
      return std::nullopt;
    }
    for (int k = 0; coefficients && k < sent; ++k) {
      const std::optional<int32_t> v = CheckedCoefficient(r, k);
      if (!v) return std::nullopt;
      in.Coefficients[k] = *v;
    }
  }
  return inputs;
}

void TSetParaFrm::RunOperation(int code) {
  if (code == kParaReadAddress) {
    run_.ReadAddresses();
  } else {
    run_.RunOperation(code, [this](const OperationRow& op) { return TakeInputs(op); });
  }
}

void TSetParaFrm::WriteCoefficient(int row, int k) {
  if (row < 0 || row >= kMeterRows || k < 0 || k >= kFlowPoints) return;
  run_.WriteCoefficient(row, k, [this, row, k] { return CheckedCoefficient(row, k); });
}

void TSetParaFrm::ShowReadBack(int row, const CoefficientReadBack& read) {
  if (read.Coefficients) {
    for (size_t k = 0; k < read.Coefficients->size(); ++k)
      input_->SetNumber(grid_->edtCoef[k][row], QString::number((*read.Coefficients)[k]));
  }
  if (read.Times) {
    grid_->edtTimes[row]->setText(TimeText(read.Times->Difference, read.Times->Negative));
    grid_->edtDownStream[row]->setText(TimeText(read.Times->Downstream));
    grid_->edtReverseFlow[row]->setText(TimeText(read.Times->Upstream));
  }
}

void TSetParaFrm::JournalWrite(int row, const OperationRow& op, const CommandRequest& values,
                               bool answered) {
  const bool all = op.command == Command::kWriteAllCoefficients;
  if (!state_.Journal ||
      (!all && op.command != Command::kWriteCoefficient && op.command != Command::kSetCaliber)) {
    return;
  }
  WriteRecord w;
  w.Tester = state_.Settings.OperatorName;
  w.Address = state_.Rows[row].Address;
  w.Row = row + 1;
  w.What = std::string(op.label);
  w.Confirmed = answered;
  // The coefficients the meter last reported, while the row still holds
  // the meter it read them from.
  ReadBack& known = read_back_[row];
  if (known.Address != w.Address) known = {};
  if (op.command == Command::kSetCaliber) {
    w.Value = ValidDn(static_cast<int32_t>(values.number))
                  ? std::to_string(DnSizeTable[values.number])
                  : std::to_string(values.number);
  } else if (all) {
    const int sent = values.fluxNum == kFlowPoints ? kFlowPoints : kFlowPoints - 1;
    std::string before;
    for (int k = 0; k < sent; ++k) {
      w.Value += (k ? " " : "") + std::to_string(values.coefficients[k]);
      if (known.Coefficients && k < 4)
        before += (k ? " " : "") + std::to_string((*known.Coefficients)[k]);
    }
    if (known.Coefficients) w.Before = before;
    if (answered && known.Coefficients) {
      for (int k = 0; k < 4; ++k)
        (*known.Coefficients)[k] = values.coefficients[k];
    }
  } else {
    const int k = op.variant;
    w.Value = std::to_string(values.number);
    if (known.Coefficients && k < 4) {
      w.Before = std::to_string((*known.Coefficients)[k]);
      if (answered) (*known.Coefficients)[k] = values.number;
    }
  }
  state_.Journal->Record(std::move(w));
}

}  // namespace qv
