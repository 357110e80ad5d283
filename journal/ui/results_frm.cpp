#include "journal/ui/results_frm.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QScrollBar>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <ctime>

#include "core/ini_file.h"
#include "journal/core/error_curve.h"
#include "journal/core/record_files.h"
#include "journal/ui/results_workbook.h"
#include "ui/widgets.h"

namespace qv {
namespace {

constexpr std::array<Caption, 8> kCaptions = {{
    {"lblAddress", "表地址：", "Meter Address："},
    {"cbSince", "起始日期：", "From："},
    {"cbUntil", "终止日期：", "To："},
    {"lblVerdict", "结论：", "Verdict："},
    {"btnRefresh", "刷新", "Refresh"},
    {"btnCsv", "导出CSV", "Export CSV"},
    {"btnExcel", "Excel", "Excel"},
    {"btnCertificate", "证书", "Certificate"},
}};
constexpr std::array<ListCaptions, 1> kLists = {{
    {"cbxVerdict", {"全部", "合格", "不合格"}, {"All", "Pass", "Fail"}},
}};
// The verdict each position of `cbxVerdict` keeps.
constexpr std::array<const char*, 3> kVerdicts = {"", kVerdictPass, kVerdictFail};

const CaptionTable& ResultsCaptions() {
  static const CaptionTable table{{nullptr, "检测记录", "Results"}, kCaptions, kLists};
  return table;
}

// A column of the list: the journal's key and its heading.
struct ColumnHeading {
  const char* key;
  const char* chinese;
  const char* english;
};

constexpr std::array<ColumnHeading, 26> kReadingHeadings = {{
    {"time", "时间", "Time"},
    {"address", "表地址", "Address"},
    {"row", "表位", "Pos."},
    {"flow_point", "流量点", "Point"},
    {"flow", "流量(L/h)", "Flow (L/h)"},
    {"standard_volume", "标准体积(L)", "Std. Volume (L)"},
    {"weighing", "称量", "Weighing"},
    {"meter_volume", "表体积(L)", "Volume (L)"},
    {"volume_error", "误差(%)", "Error (%)"},
    {"volume_limit", "限值(%)", "Limit (%)"},
    {"reference_heat", "标准热量(kWh)", "Ref. Heat (kWh)"},
    {"meter_heat", "热量(kWh)", "Heat (kWh)"},
    {"heat_error", "热量误差(%)", "Heat Error (%)"},
    {"heat_limit", "热量限值(%)", "Heat Limit (%)"},
    {"verdict", "结论", "Verdict"},
    {"inlet", "进口(℃)", "Entre (℃)"},
    {"outlet", "出口(℃)", "Exit (℃)"},
    {"coef1", "系数一", "Coef. One"},
    {"coef2", "系数二", "Coef. Two"},
    {"coef3", "系数三", "Coef. Three"},
    {"coef4", "系数四", "Coef. Four"},
    {"coef5", "系数五", "Coef. Five"},
    {"dn", "口径", "DN"},
    {"level", "等级", "Level"},
    {"window", "检测", "Detection"},
    {"tester", "检测员", "Tester"},
}};

constexpr std::array<ColumnHeading, 7> kWriteHeadings = {{
    {"time", "时间", "Time"},
    {"what", "操作", "Operation"},
    {"value", "写入值", "Value"},
    {"before", "原值", "Before"},
    {"confirmed", "确认", "Confirmed"},
    {"row", "表位", "Pos."},
    {"tester", "检测员", "Tester"},
}};

template <size_t N>
QStringList Headings(const std::array<ColumnHeading, N>& headings, bool english) {
  QStringList out;
  for (const ColumnHeading& h : headings)
    out << ByLanguage(english, h.chinese, h.english);
  return out;
}

// The text of the reading's column `key` as the list shows it.
QString ReadingText(const ReadingRecord& r, const char* key, bool english) {
  const std::string k = key;
  if (k == "verdict") {
    if (r.Verdict == kVerdictPass) return ByLanguage(english, "合格", "Pass");
    if (r.Verdict == kVerdictFail) return ByLanguage(english, "不合格", "Fail");
    return {};
  }
  if (k == "window") {
    return r.Window == kOverallWindow ? ByLanguage(english, "总体检测", "Total Detection")
                                      : ByLanguage(english, "流量检测", "Flow Detection");
  }
  if (k == "weighing") {
    if (r.Weighing == kWeighingScale) return ByLanguage(english, "秤读取", "From scale");
    if (r.Weighing == kWeighingTyped) return ByLanguage(english, "手工输入", "Typed");
    if (r.Weighing == kWeighingMixed) return ByLanguage(english, "秤与手工", "Scale and typed");
    return {};
  }
  static const std::vector<std::string> keys = ReadingColumns();
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == k) return QString::fromStdString(ReadingField(r, i));
  }
  return {};
}

QTableWidget* Table(const char* name, QWidget* parent) {
  auto* t = Named<QTableWidget>(name, parent);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->verticalHeader()->setVisible(false);
  t->verticalHeader()->setDefaultSectionSize(20);
  return t;
}

void Fill(QTableWidget* t, int row, const QStringList& texts) {
  for (int c = 0; c < texts.size(); ++c)
    t->setItem(row, c, new QTableWidgetItem(texts[c]));
}

// Where the program's journal is read from: the one it writes, else the
// data folder's.
std::string JournalFile(const SharedState& state) {
  return state.Journal ? state.Journal->Path() : JournalPath(state.DataFolder());
}

}  // namespace

TResultsFrm::TResultsFrm(SharedState& state, QWidget* parent)
    : TToolForm(state, parent), open([](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
      }) {
  setObjectName("ResultsFrm");
  pages_ = new ResultsPages(this);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(4, 4, 4, 4);
  auto* filters = new QHBoxLayout;
  column->addLayout(filters);

  filters->addWidget(Named<QLabel>("lblAddress", this));
  edtAddress_ = Named<QLineEdit>("edtAddress", this);
  edtAddress_->setMaxLength(14);
  edtAddress_->setFixedWidth(130);
  filters->addWidget(edtAddress_);
  const QDate today = QDate::currentDate();
  const auto date_filter = [&](const char* check, const char* edit, QCheckBox*& box,
                               QDateEdit*& date) {
    box = Named<QCheckBox>(check, this);
    date = Named<QDateEdit>(edit, this);
    date->setDisplayFormat("yyyy-MM-dd");
    date->setCalendarPopup(true);
    date->setDate(today);
    date->setEnabled(false);
    filters->addSpacing(8);
    filters->addWidget(box);
    filters->addWidget(date);
    connect(box, &QCheckBox::toggled, date, &QWidget::setEnabled);
    connect(box, &QCheckBox::toggled, this, &TResultsFrm::Query);
    connect(date, &QDateEdit::dateChanged, this, [this, box] {
      if (box->isChecked()) Query();
    });
  };
  date_filter("cbSince", "dtpSince", cbSince_, dtpSince_);
  date_filter("cbUntil", "dtpUntil", cbUntil_, dtpUntil_);
  filters->addSpacing(8);
  filters->addWidget(Named<QLabel>("lblVerdict", this));
  cbxVerdict_ = Named<QComboBox>("cbxVerdict", this);
  for (size_t i = 0; i < kVerdicts.size(); ++i)
    cbxVerdict_->addItem(QString());
  cbxVerdict_->setCurrentIndex(0);
  filters->addWidget(cbxVerdict_);
  filters->addSpacing(8);
  btnRefresh_ = Named<QPushButton>("btnRefresh", this);
  btnCsv_ = Named<QPushButton>("btnCsv", this);
  btnExcel_ = Named<QPushButton>("btnExcel", this);
  btnCertificate_ = Named<QPushButton>("btnCertificate", this);
  filters->addWidget(btnRefresh_);
  filters->addWidget(btnCsv_);
  filters->addWidget(btnExcel_);
  filters->addWidget(btnCertificate_);
  filters->addStretch(1);
  lblCount_ = Named<QLabel>("lblCount", this);
  filters->addWidget(lblCount_);

  lvResults_ = Table("lvResults", this);
  // Several meters at once for their records.
  lvResults_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvResults_->setColumnCount(static_cast<int>(kReadingHeadings.size()));
  column->addWidget(lvResults_, 1);

  // Every change of a filter lists anew; typing an address narrows the
  // list as it is typed.
  connect(edtAddress_, &QLineEdit::textChanged, this, &TResultsFrm::Query);
  connect(cbxVerdict_, &QComboBox::currentIndexChanged, this, &TResultsFrm::Query);
  connect(btnRefresh_, &QPushButton::clicked, this, &TResultsFrm::Query);
  connect(btnCsv_, &QPushButton::clicked, this, &TResultsFrm::btnCsvClick);
  connect(btnExcel_, &QPushButton::clicked, this, &TResultsFrm::ExportExcel);
  connect(btnCertificate_, &QPushButton::clicked, this, &TResultsFrm::MakeCertificates);
  connect(lvResults_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    if (row >= 0 && row < static_cast<int>(Readings().size()))
      ShowHistory(QString::fromStdString(Readings()[row].Address));
  });
  // Near the end of the list the next page is read.
  connect(lvResults_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value >= lvResults_->verticalScrollBar()->maximum() - 10) pages_->More();
  });
  connect(pages_, &ResultsPages::Changed, this, [this](bool first) {
    // A new list: what was selected in the old one is not in it.
    if (first) lvResults_->clearSelection();
    ShowReadings(first);
    if (first) emit Listed();
  });

  ShowLanguage();
}

void TResultsFrm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    ShowLanguage();
    Query();
  }
  TToolForm::showEvent(event);
}

const CaptionTable& TResultsFrm::Captions() const {
  return ResultsCaptions();
}

void TResultsFrm::ApplyLanguage() {
  const bool english = state_.Settings.English();
  ApplyCaptions(*this, Captions(), english);
  lvResults_->setHorizontalHeaderLabels(Headings(kReadingHeadings, english));
  fitted_ = false;
  ShowReadings(true);
}

ReadingFilter TResultsFrm::Filter() const {
  ReadingFilter f;
  f.Address = edtAddress_->text().trimmed().toStdString();
  if (cbSince_->isChecked()) f.Since = dtpSince_->date().toString("yyyy-MM-dd").toStdString();
  if (cbUntil_->isChecked()) f.Until = dtpUntil_->date().toString("yyyy-MM-dd").toStdString();
  const int v = cbxVerdict_->currentIndex();
  if (v > 0 && v < static_cast<int>(kVerdicts.size())) f.Verdict = kVerdicts[v];
  return f;
}

void TResultsFrm::Query() {
  pages_->Query(JournalFile(state_), Filter());
}

void TResultsFrm::ShowReadings(bool anew) {
  const bool english = state_.Settings.English();
  const std::vector<ReadingRecord>& readings = Readings();
  const int first = anew ? 0 : std::min(shown_rows_, static_cast<int>(readings.size()));
  lvResults_->setRowCount(static_cast<int>(readings.size()));
  for (int r = first; r < static_cast<int>(readings.size()); ++r) {
    QStringList texts;
    for (const ColumnHeading& h : kReadingHeadings)
      texts << ReadingText(readings[r], h.key, english);
    Fill(lvResults_, r, texts);
    if (readings[r].Verdict == kVerdictFail) {
      // Red as a failed error shows in the grid.
      lvResults_->item(r, 13)->setForeground(QColor(255, 0, 0));
    }
  }
  // The columns fit the first readings shown in a language; they stay so
  // while the operator types, which keeps each key quick.
  if (anew && !fitted_ && !readings.empty()) {
    lvResults_->resizeColumnsToContents();
    fitted_ = true;
  }
  shown_rows_ = static_cast<int>(readings.size());
  const std::optional<int64_t> count = pages_->Count();
  const QString n = count ? QString::number(*count)
                          : QString::number(readings.size()) + (pages_->Complete() ? "" : "+");
  lblCount_->setText(english ? n + " records" : QString::fromUtf8("共%1条").arg(n));
  if (!pages_->Error().empty()) lblCount_->setText(QString::fromStdString(pages_->Error()));
}

std::vector<ReadingRecord> TResultsFrm::AllReadings() {
  std::string error;
  return QueryReadings(JournalFile(state_), Filter(), error);
}

bool TResultsFrm::ExportCsv(const QString& path) {
  // Written beside the target and renamed over it: a full disk leaves no
  // half a file.
  QSaveFile file(path);
  const std::string csv = ReadingsCsv(AllReadings());
  if (file.open(QIODevice::WriteOnly) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.commit()) {
    return true;
  }
  const bool english = state_.Settings.English();
  QMessageBox::warning(this, ByLanguage(english, "提示", "Hint"),
                       ByLanguage(english, "无法写入%1：%2", "Unable to write %1: %2")
                           .arg(path, file.errorString()));
  return false;
}

void TResultsFrm::btnCsvClick() {
  const bool english = state_.Settings.English();
  const QString path = QFileDialog::getSaveFileName(
      this, ByLanguage(english, "导出CSV", "Export CSV"),
      QString::fromStdString(state_.ProgramDir) + "results.csv", "CSV (*.csv)");
  if (!path.isEmpty()) ExportCsv(path);
}

QStringList TResultsFrm::ExportExcel() {
  const bool english = state_.Settings.English();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  QStringList saved;
  for (const ExportTable& table : ReadingTables(AllReadings(), english)) {
    std::string path;
    try {
      path = SaveWorkbook(table, ExportFolder(state_), local);
    } catch (const FileWriteError& e) {
      QMessageBox::critical(this, windowTitle(), QString::fromStdString(e.what()));
      return saved;
    }
    state_.Log.Post(" 导出数据：" + path);
    saved << QString::fromStdString(path);
    // The results are kept whatever happens next: the operator is told where.
    if (!open(saved.back())) {
      QMessageBox::information(
          this, ByLanguage(english, "提示", "Hint"),
          QString::fromUtf8("未安装Microsoft Excel 2000!请安装!\n") + saved.back());
    }
  }
  return saved;
}

QStringList TResultsFrm::MakeCertificates() {
  const bool english = state_.Settings.English();
  const QString hint = ByLanguage(english, "提示", "Hint");
  // The meters of the selected readings, in the order of the list.
  QModelIndexList rows = lvResults_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end());
  const std::vector<ReadingRecord>& readings = Readings();
  std::vector<std::string> meters;
  for (const QModelIndex& row : rows) {
    if (row.row() >= static_cast<int>(readings.size())) continue;
    const std::string& address = readings[row.row()].Address;
    if (std::find(meters.begin(), meters.end(), address) == meters.end()) meters.push_back(address);
  }
  QStringList saved;
  if (meters.empty()) {
    QMessageBox::information(
        this, hint,
        ByLanguage(english, "请先在列表中选择表", "Select the meters in the list first"));
    return saved;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  for (const std::string& address : meters) {
    const RecordOutcome r =
        SaveRecord(JournalFile(state_), address, english, RecordFolder(state_.DataFolder()), local);
    const QString meter = QString::fromStdString(address);
    if (r.result == RecordOutcome::kNoReadings) {
      QMessageBox::information(this, hint,
                               ByLanguage(english, "表%1没有检测数据，未生成证书",
                                          "Meter %1 has no readings: no certificate made")
                                   .arg(meter));
      continue;
    }
    if (r.result != RecordOutcome::kSaved) {
      QMessageBox::critical(this, windowTitle(),
                            QString::fromStdString(r.result == RecordOutcome::kUnwritable
                                                       ? "Unable to write to " + r.path
                                                       : r.error));
      break;
    }
    state_.Log.Post(" 生成证书：" + r.path);
    saved << QString::fromStdString(r.path);
  }
  // The records are kept whatever happens next: the operator is told where.
  if (!saved.isEmpty() && !open(saved.front())) {
    QMessageBox::information(this, hint,
                             ByLanguage(english, "没有可打开证书的程序，证书保存在：\n%1",
                                        "No program opens the certificate; it was saved as:\n%1")
                                 .arg(saved.front()));
  }
  return saved;
}

QDialog* TResultsFrm::ShowHistory(const QString& address) {
  auto* history = new TMeterHistoryFrm(state_, address, this);
  history->setAttribute(Qt::WA_DeleteOnClose);
  history->show();
  return history;
}

// The size of an error curve in the history, in the screen's pixels, and
// its scale: the record's 6.5-point labels become 9 pixels.
constexpr int kCurveWidth = 520;
constexpr int kCurveHeight = 300;
constexpr double kCurveScale = 1.4;

TMeterHistoryFrm::TMeterHistoryFrm(const SharedState& state, const QString& address,
                                   QWidget* parent)
    : QDialog(parent) {
  setObjectName("MeterHistoryFrm");
  const bool english = state.Settings.English();
  setWindowTitle(ByLanguage(english, "表%1的检测记录", "History of meter %1").arg(address));
  resize(1300, 700);
  auto* column = new QVBoxLayout(this);
  auto* lblReadings = Named<QLabel>("lblReadings", this);
  lblReadings->setText(ByLanguage(english, "检测数据", "Readings"));
  lvReadings = Table("lvReadings", this);
  auto* lblWrites = Named<QLabel>("lblWrites", this);
  lblWrites->setText(ByLanguage(english, "写入记录", "Writes"));
  lvWrites = Table("lvWrites", this);
  lblCurve = Named<QLabel>("lblCurve", this);
  lblHeatCurve = Named<QLabel>("lblHeatCurve", this);
  auto* top = new QHBoxLayout;
  auto* curves = new QVBoxLayout;
  curves->addWidget(lblCurve);
  curves->addWidget(lblHeatCurve);
  curves->addStretch(1);
  top->addWidget(lvReadings, 1);
  top->addLayout(curves);
  column->addWidget(lblReadings);
  column->addLayout(top, 3);
  column->addWidget(lblWrites);
  column->addWidget(lvWrites, 2);

  const std::string file = JournalFile(state);
  const std::string meter = address.toStdString();
  std::string error;
  const std::vector<ReadingRecord> readings = MeterReadings(file, meter, error);
  const std::vector<WriteRecord> writes = QueryWrites(file, meter, error);

  // The curves as the meter's verification record draws them.
  const VerificationRecord record = BuildVerificationRecord(meter, readings);
  const qreal ratio = devicePixelRatioF();
  for (const auto& [label, kind] :
       {std::pair{lblCurve, CurveKind::kVolume}, std::pair{lblHeatCurve, CurveKind::kHeat}}) {
    const bool drawn = HasCurve(record, kind);
    label->setVisible(drawn);
    if (!drawn) continue;
    const CurvePicture c = DrawCurvePicture(record, kind, english, qRound(kCurveWidth * ratio),
                                            qRound(kCurveHeight * ratio), kCurveScale * ratio);
    QImage image(c.pixels.data(), c.width, c.height, c.stride, QImage::Format_ARGB32_Premultiplied);
    QPixmap picture = QPixmap::fromImage(image.copy());
    picture.setDevicePixelRatio(ratio);
    label->setPixmap(picture);
  }

  lvReadings->setColumnCount(static_cast<int>(kReadingHeadings.size()));
  lvReadings->setHorizontalHeaderLabels(Headings(kReadingHeadings, english));
  lvReadings->setRowCount(static_cast<int>(readings.size()));
  for (int r = 0; r < static_cast<int>(readings.size()); ++r) {
    QStringList texts;
    for (const ColumnHeading& h : kReadingHeadings)
      texts << ReadingText(readings[r], h.key, english);
    Fill(lvReadings, r, texts);
  }
  lvWrites->setColumnCount(static_cast<int>(kWriteHeadings.size()));
  lvWrites->setHorizontalHeaderLabels(Headings(kWriteHeadings, english));
  lvWrites->setRowCount(static_cast<int>(writes.size()));
  for (int r = 0; r < static_cast<int>(writes.size()); ++r) {
    const WriteRecord& w = writes[r];
    Fill(lvWrites, r,
         {QString::fromStdString(w.Time), QString::fromStdString(w.What),
          QString::fromStdString(w.Value), w.Before ? QString::fromStdString(*w.Before) : "─",
          w.Confirmed ? ByLanguage(english, "是", "Yes") : ByLanguage(english, "否", "No"),
          QString::number(w.Row), QString::fromStdString(w.Tester)});
  }
  lvReadings->resizeColumnsToContents();
  lvWrites->resizeColumnsToContents();
}

}  // namespace qv
