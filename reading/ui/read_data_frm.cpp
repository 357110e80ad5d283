#include "reading/ui/read_data_frm.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "reading/ui/reading_list.h"
#include "ui/captions.h"
#include "ui/operator_input.h"
#include "ui/run_timers.h"
#include "ui/widgets.h"

namespace qv {
namespace {

constexpr Caption kCaptions[] = {
    {"rbtn1", "广播对时", "Broadcast Time"},
    {"lbl1", "      数据类型：", " Data Type："},
    {"lbl2", "      操作类型：", " Operating Type："},
    {"lbl3", "      系统时间：", " System Time："},
    {"lbl4", "      系统对时：", " Time Type："},
    {"btn1", "读数据", "Read Data"},
    {"btn2", "系统对时", "Write Time"},
    {"N1", "全部抄表", "All The Meter Reading"},
    {"N2", "批量抄表", "Batch The Meter Reading"},
    {"N3", "单个抄表", "Single The Meter Reading"},
    {"N6", "全部对时", "All The Time"},
    {"N7", "批量对时", "Batch The Time"},
    {"N8", "单个对时", "Single The Time"},
    {"N14", "错误提示", "Error Information"},
};

// cbxDataType: index 0 cold (T 21), 1 heat (T 20).
constexpr ListCaptions kLists[] = {
    {"cbxDataType", {"冷量", "热量"}, {"Cold", "Heat"}},
    {"cbxProType",
     {"全部抄表", "批量抄表", "单个抄表"},
     {"All the meter reading", "Batch the meter reading", "Single the meter reading"}},
    {"cbxDT",
     {"全部对时", "批量对时", "单个对时", "广播对时"},
     {"All the time", "Batch the time", "Single the time", "Broadcast the time"}},
};

const CaptionTable& ReadCaptions() {
  static const CaptionTable table{{nullptr, "抄表", "Read Data"}, kCaptions, kLists};
  return table;
}

// The protocol items of the list menu and the version each writes.
struct ProtocolItem {
  const char* object;
  const char* version;
};
constexpr ProtocolItem kProtocolItems[] = {{"MBusV2011", "M-BusV2.01"},
                                           {"MBusV2021", "M-BusV2.02"},
                                           {"MBusV2031", "M-BusV2.03"},
                                           {"MBusV3011", "M-BusV3.01"},
                                           {"N16", "TG"}};

// cbxDT's broadcast item.
constexpr int kBroadcastItem = 3;

}  // namespace

TReadDataFrm::TReadDataFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), run_(state, Pump()) {
  setObjectName("ReadDataFrm");
  lvMain_ = new TReadingList(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->addWidget(BuildControls());
  column->addWidget(lvMain_, 1);
  BuildMenu();

  BindRun(run_);
  run_.on_row = [this](size_t i) { lvMain_->ShowRow(static_cast<int>(i), run_.rows[i]); };
  // The poll's markers go to the hour's trace file; a marker that cannot be
  // written is dropped, never raised into the poll.
  trace_.SetLog(&state_.Log);
  run_.Cycle().trace = [this](std::string_view text) { trace_.Write(state_.DataFolder(), text); };

  // "Timer1" of the base, following the language, also shows the PC clock.
  connect(findChild<QTimer*>("Timer1", Qt::FindDirectChildrenOnly), &QTimer::timeout, this,
          [this] { Timer1Timer(); });
  connect(lvMain_, &TReadingList::PopupRequested, this,
          [this](const QPoint& at) { lvMainMouseDown(at); });
  ShowLanguage();
  Timer1Timer();
}

QWidget* TReadDataFrm::BuildControls() {
  auto* band = new QWidget(this);
  auto* row = new QHBoxLayout(band);
  row->setContentsMargins(0, 0, 0, 0);
  cbxDataType_ = Named<QComboBox>("cbxDataType", band);
  cbxDataType_->addItems({"", ""});
  cbxDataType_->setMinimumWidth(90);
  // Never shown: the operator cannot change which rows a button serves.
  cbxProType_ = Named<QComboBox>("cbxProType", band);
  cbxProType_->addItems({"", "", ""});
  cbxDT_ = Named<QComboBox>("cbxDT", band);
  cbxDT_->addItems({"", "", "", ""});
  edtDT_ = Named<QLineEdit>("edtDT", band);
  edtDT_->setReadOnly(true);
  edtDT_->setFixedWidth(150);
  btn1_ = Named<QPushButton>("btn1", band);
  btn2_ = Named<QPushButton>("btn2", band);
  rbtn1_ = Named<QRadioButton>("rbtn1", band);
  Button1_ = Named<QPushButton>("Button1", band);
  Button1_->setText("Button1");
  auto* lbl2 = Named<QLabel>("lbl2", band);
  auto* lbl4 = Named<QLabel>("lbl4", band);
  for (QWidget* hidden : {static_cast<QWidget*>(cbxProType_), static_cast<QWidget*>(cbxDT_),
                          static_cast<QWidget*>(lbl2), static_cast<QWidget*>(lbl4),
                          static_cast<QWidget*>(Button1_)}) {
    hidden->hide();
  }
  for (QWidget* w : std::initializer_list<QWidget*>{
           Named<QLabel>("lbl1", band), cbxDataType_, lbl2, cbxProType_, btn1_,
           Named<QLabel>("lbl3", band), edtDT_, lbl4, cbxDT_, btn2_, rbtn1_, Button1_}) {
    row->addWidget(w);
  }
  row->addStretch(1);

  connect(btn1_, &QPushButton::clicked, this, [this] { btn1Click(); });
  connect(btn2_, &QPushButton::clicked, this, [this] { btn2Click(); });
  connect(rbtn1_, &QRadioButton::toggled, this, [this] { rbtn1Click(); });
  return band;
}

void TReadDataFrm::BuildMenu() {
  PopupMenu2_ = Named<QMenu>("PopupMenu2", this);
  auto item = [this](const char* name, void (TReadDataFrm::*handler)()) {
    QAction* a = PopupMenu2_->addAction(QString());
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  item("N1", &TReadDataFrm::N1Click);
  item("N2", &TReadDataFrm::N2Click);
  item("N3", &TReadDataFrm::N3Click);
  PopupMenu2_->addSeparator();
  item("N6", &TReadDataFrm::N6Click);
  N7_ = item("N7", &TReadDataFrm::N7Click);
  N8_ = item("N8", &TReadDataFrm::N8Click);
  PopupMenu2_->addSeparator();
  item("N14", &TReadDataFrm::N14Click);
  PopupMenu2_->addSeparator();
  for (const ProtocolItem& p : kProtocolItems) {
    QAction* a = PopupMenu2_->addAction(QString::fromUtf8(p.version));
    a->setObjectName(p.object);
    const QString version = QString::fromUtf8(p.version);
    connect(a, &QAction::triggered, this, [this, version] { ProtocolClick(version); });
  }
}

void TReadDataFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  TToolForm::showEvent(event);
}

void TReadDataFrm::FormShow() {
  // One row per selected position. A running operation keeps the rows it
  // is serving: the window may be docked again while it waits.
  if (run_.CurrentOperation() == 0) {
    run_.FillFromSelection();
    lvMain_->ShowRows(run_.rows);
  }
  ShowLanguage();
  Timer1Timer();
}

const CaptionTable& TReadDataFrm::Captions() const {
  return ReadCaptions();
}

void TReadDataFrm::ApplyLanguage() {
  const bool english = state_.Settings.English();
  ApplyCaptions(*this, Captions(), english);
  lvMain_->ApplyLanguage(english);
  cbxDataType_->setCurrentIndex(english ? 0 : 1);
  cbxProType_->setCurrentIndex(0);
  cbxDT_->setCurrentIndex(0);
}

std::optional<std::vector<size_t>> TReadDataFrm::RowsFor(Rows rows) const {
  if (lvMain_->topLevelItemCount() == 0) return std::nullopt;
  if (rows == Rows::kAll) {
    std::vector<size_t> all(static_cast<size_t>(lvMain_->topLevelItemCount()));
    for (size_t i = 0; i < all.size(); ++i)
      all[i] = i;
    return all;
  }
  std::vector<size_t> selected = lvMain_->SelectedRows();
  if (selected.empty() || (rows == Rows::kOne && selected.size() != 1)) return std::nullopt;
  return selected;
}

void TReadDataFrm::TakeInputs() {
  for (size_t i = 0; i < run_.rows.size(); ++i)
    lvMain_->TakeRow(static_cast<int>(i), run_.rows[i]);
  run_.cold_meter = cbxDataType_->currentIndex() == 0;
}

void TReadDataFrm::ReadData(Rows rows) {
  const auto list = RowsFor(rows);
  if (list && run_.ReadData(*list, [this] { TakeInputs(); })) {
    input_->Inform(QString::fromUtf8("读数据操作结束"));
  }
}

void TReadDataFrm::SetClock(Rows rows) {
  const auto list = RowsFor(rows);
  if (list && run_.SetClock(*list, [this] { TakeInputs(); })) {
    input_->Inform(QString::fromUtf8("系统对时操作结束"));
  }
}

void TReadDataFrm::BroadcastClock() {
  if (!RowsFor(Rows::kAll) || !run_.BroadcastClock()) return;
  // The log names the lines it went out on, or why none took it.
  input_->Inform(!run_.BroadcastLines().empty()
                     ? QString::fromUtf8("广播对时命令已经下发")
                     : ByLanguage(state_.Settings, "广播对时命令未能下发，请检查串口和通道设置",
                                  "The broadcast time setting could not be sent; check the "
                                  "serial ports and channels."));
}

// Reads the metering data of every row.
void TReadDataFrm::btn1Click() {
  ReadData(Rows::kAll);
}

// Broadcasts the clock when cbxDT shows "广播对时", else sets every row's clock.
void TReadDataFrm::btn2Click() {
  if (cbxDT_->currentIndex() == kBroadcastItem) {
    BroadcastClock();
  } else {
    SetClock(Rows::kAll);
  }
}

// While the broadcast is chosen, the batch and single clock items are off.
void TReadDataFrm::rbtn1Click() {
  N7_->setEnabled(!rbtn1_->isChecked());
  N8_->setEnabled(!rbtn1_->isChecked());
}

// Reads the metering data of every row.
void TReadDataFrm::N1Click() {
  ReadData(Rows::kAll);
}

// Reads the selected rows (at least one).
void TReadDataFrm::N2Click() {
  ReadData(Rows::kSelected);
}

// Reads the one selected row.
void TReadDataFrm::N3Click() {
  ReadData(Rows::kOne);
}

// Broadcasts the clock when rbtn1 is checked, else sets every row's clock.
void TReadDataFrm::N6Click() {
  if (rbtn1_->isChecked()) {
    BroadcastClock();
  } else {
    SetClock(Rows::kAll);
  }
}

// Sets the clocks of the selected rows (at least one).
void TReadDataFrm::N7Click() {
  SetClock(Rows::kSelected);
}

// Sets the clock of the one selected row.
void TReadDataFrm::N8Click() {
  SetClock(Rows::kOne);
}

// "错误提示": nothing in this window.
void TReadDataFrm::N14Click() {}

// Writes `version` into the protocol column of every row.
void TReadDataFrm::ProtocolClick(const QString& version) {
  for (size_t i = 0; i < run_.rows.size(); ++i) {
    run_.rows[i].Version = version.toStdString();
    lvMain_->ShowRow(static_cast<int>(i), run_.rows[i]);
  }
}

// Shows the PC clock.
void TReadDataFrm::Timer1Timer() {
  edtDT_->setText(QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss"));
}

// Opens the list menu where the operator clicked.
void TReadDataFrm::lvMainMouseDown(const QPoint& global) {
  PopupMenu2_->popup(global);
}

}  // namespace qv
