// The "Excel" button of both detection windows: the workbook read back by an
// independent reader (openpyxl, through dump_workbook.py) for four and five
// flow points, and the exports that end without a workbook opened.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <numeric>

#include "detection/ui/result_export.h"
#include "flow_support.h"
#include "support/temp_files.h"
#include "support/workbook.h"

using namespace qv;
using namespace qv::flow_test;

namespace {

// What the workbook must hold besides the grid's cells: the texts of rows
// 2 and 4 from column A on (row 4 with five flow points), the headings of
// one flow point's columns.
struct Expected {
  QString title;
  int last_column;
  QStringList row2, row4, headings;
};

const Expected kFlow{"流量检测数据",
                     16,
                     {"口径：20", "计量等级：2 级", "", "安装位置：", "回水", "", "检测员：",
                      "Test", "", "检测日期：", "2024-03-05"},
                     {"", "", "流量一：50", "", "", "流量二：25", "", "", "流量三：250", "", "",
                      "流量四：2500", "", "", "流量五：5000"},
                     {"  流量(L)   ", "  流量误差  ", "    系数    "}};
const Expected kOverall{
    "总体检测数据",
    21,
    {"口径：20", "", "计量等级：2 级", "", "安装位置：", "回水", "", "检测人：", "Test", "",
     "检测日期：", "2024-03-05"},
    {"",         "",    "流量一：", "50", "",         "",     "流量二：", "25", "",         "",
     "流量三：", "250", "",         "",   "流量四：", "2500", "",         "",   "流量五：", "5000"},
    {"    流量    ", "  流量误差  ", "    热量    ", "  热量误差  "}};

QString Name(int row, int column) {
  QString letters;
  for (int c = column; c > 0; c = (c - 1) / 26)
    letters.prepend(QChar('A' + (c - 1) % 26));
  return letters + QString::number(row);
}

// Character widths of `text`, a CJK character (or full-width colon) two.
int Units(const QString& text) {
  return std::accumulate(text.begin(), text.end(), 0,
                         [](int n, QChar ch) { return n + (ch.unicode() >= 0x2E80 ? 2 : 1); });
}

// A window on a program directory of its own, whose opener records the
// paths it is given and answers `opens`.
template <typename Frm>
struct ExportWindow : test::TempDir {
  QStringList opened;
  bool opens = true;
  BasicWindow<Frm> w;

  explicit ExportWindow(int flux_num)
      : w(16, [this, flux_num](SharedState& s) {
          s.ProgramDir = Dir();
          s.Settings.FluxNum = flux_num;
        }) {
    w.frm->Export().open = [this](const QString& path) {
      opened << path;
      return opens;
    };
  }
  void Excel() { w.template Find<QPushButton>("btnExcel")->click(); }
  // `before` and the path of a workbook of the window titled `kind`
  QRegularExpression Saved(const QString& before, const QString& kind) const {
    return QRegularExpression(before + QRegularExpression::escape(QString::fromStdString(Dir())) +
                              "exports/" + kind + "检测数据-\\d{8}-\\d{6}\\.xlsx$");
  }
};

// Gives every point the bench values of 100 kg at 20 °C run from 80 to
// 60 °C and every row readings of its own, errors red or black as the
// operator would put them in, ticks `rows`, exports and checks the workbook
// read back against what the grid shows.
template <typename Frm>
void CheckWorkbook(const Expected& e, int flux_num, const std::vector<int>& rows) {
  ExportWindow<Frm> x(flux_num);
  TFlowGrid& grid = x.w.Grid();
  for (int k = 0; k < kFlowPoints; ++k) {
    x.w.template Find<QComboBox>("cbxFlux")->setCurrentIndex(k);
    for (const auto& [field, text] : {std::pair{"edtEntreTerm", "80"},
                                      {"edtExitTerm", "60"},
                                      {"edtFluxTerm", "20"},
                                      {"edtWeight", "100"}}) {
      if (auto* edit = x.w.frm->template findChild<QLineEdit*>(field)) edit->setText(text);
    }
  }
  for (int r = 0; r < kMeterRows; ++r) {
    grid.edtAddr[r]->setText(QString::number(1000 + r));
    for (int k = 0; k < kFlowPoints; ++k) {
      const double error = (r + k) % 3 ? 0.01 : 0.1;  // within the limits, beyond them
      grid.edtBulk[k][r]->setText(QString::number(100.156 * (1 + error), 'f', 2));
      if (grid.edtHeat[k][r])
        grid.edtHeat[k][r]->setText(QString::number(2.2922 * (1 + error), 'f', 3));
    }
  }
  for (int r : rows)
    grid.cbx[r]->setChecked(true);
  x.Excel();
  QCOMPARE(x.opened.size(), 1);
  QVERIFY(x.w.boxes.texts.isEmpty());
  const QJsonObject book = test::ReadBack(x.opened[0]);

  const int points = flux_num == 5 ? 5 : 4;
  const int per = static_cast<int>(e.headings.size());
  const int last_row = std::max<int>(21, 5 + static_cast<int>(rows.size()));
  QCOMPARE(book["sheets"].toInt(), 1);
  QCOMPARE(book["merged"].toArray(), QJsonArray{"A1:" + Name(1, e.last_column)});
  QCOMPARE(book["title_height"].toDouble(), 26.0);
  QCOMPARE(book["rows"].toInt(), last_row);
  // Every text and format, cell by cell; a cell not named here is empty.
  std::map<QString, QString> texts{{"A1", e.title}, {"A5", "    地址    "}};
  std::map<QString, QColor> colours;
  for (int c = 1; c <= e.last_column; ++c) {
    if (!e.row2.value(c - 1).isEmpty()) texts[Name(2, c)] = e.row2[c - 1];
    if (!e.row4.value(c - 1).isEmpty() && c < 2 + per * points) texts[Name(4, c)] = e.row4[c - 1];
  }
  for (int k = 0; k < points; ++k) {
    for (int f = 0; f < per; ++f)
      texts[Name(5, 2 + per * k + f)] = e.headings[f];
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    const int r = rows[i];
    const int at = 6 + static_cast<int>(i);
    texts[Name(at, 1)] = grid.edtAddr[r]->text();
    for (int k = 0; k < points; ++k) {
      const std::vector<QLineEdit*> cells = grid.PointCells(r, k);
      for (int f = 0; f < per; ++f) {
        texts[Name(at, 2 + per * k + f)] = cells[f]->text();
        if (cells[f] == grid.edtError[k][r] || cells[f] == grid.edtHeatError[k][r])
          colours[Name(at, 2 + per * k + f)] = TFlowGrid::TextColour(*cells[f]);
      }
    }
  }
  const auto red = std::count_if(colours.begin(), colours.end(),
                                 [](const auto& c) { return c.second == TFlowGrid::kRed; });
  QVERIFY(red > 0 && red < static_cast<long>(colours.size()));
  const QJsonObject cells = book["cells"].toObject();
  std::vector<int> longest(e.last_column + 1);
  for (int row = 1; row <= last_row; ++row) {
    for (int c = 1; c <= e.last_column; ++c) {
      const QString at = Name(row, c);
      const QJsonObject cell = cells[at].toObject();
      const auto t = texts.find(at);
      const QString text = t == texts.end() ? QString() : t->second;
      QVERIFY2(cell["text"].toString() == text && cell["text"].isNull() == text.isEmpty(),
               qPrintable(at + ": " + cell["text"].toString() + " instead of " + text));
      if (row == 1 && c > 1) continue;  // merged into A1
      if (row > 1) longest[c] = std::max(longest[c], Units(text));
      const bool block = row >= 5 && row <= 21;
      QVERIFY2(cell["bordered"].toBool() == block, qPrintable(at));
      QVERIFY2(cell["centred"].toBool() == (row == 1 || row == 4 || block), qPrintable(at));
      QVERIFY2(cell["bold"].toBool() == (row == 1 || row == 4), qPrintable(at));
      if (row == 1) QCOMPARE(cell["size"].toDouble(), 18.0);
      if (row == 4) QCOMPARE(cell["rgb"].toString(), QString("FF0000"));
      if (colours.contains(at))
        QCOMPARE(cell["rgb"].toString(), colours[at].name().mid(1).toUpper());
    }
  }
  // Columns 1..17 are 10 wide, then those with text fitted to their longest
  // (the reader sees 0.71 more: the margins of the file format).
  const QJsonObject widths = book["widths"].toObject();
  for (int c = 1; c <= std::max(17, e.last_column); ++c) {
    const QString column = Name(1, c).chopped(1);
    const double fitted = c <= e.last_column && longest[c] ? longest[c] + 1.71 : 0;
    const double want = fitted ? fitted : c <= 17 ? 10.71 : 0;
    QVERIFY2(std::abs(widths[column].toDouble() - want) < 1, qPrintable(column));
  }
}

}  // namespace

class ExportTest : public QObject {
  Q_OBJECT

 private slots:
  void WorkbooksReadBack() {
    // All 20 rows, four beyond the 16 meters; rows 22..25 have no lines.
    std::vector<int> all(kMeterRows);
    std::iota(all.begin(), all.end(), 0);
    CheckWorkbook<TFlowDetectionFrm>(kFlow, 5, all);
    CheckWorkbook<TFlowDetectionFrm>(kFlow, 4, {0, 2, 19});
    CheckWorkbook<TOverallDetectionFrm>(kOverall, 5, all);
    CheckWorkbook<TOverallDetectionFrm>(kOverall, 4, {1, 17});
  }

  void NoRowOrAnUnwritableFolderLeavesNothing() {
    ExportWindow<TFlowDetectionFrm> x(5);
    x.Excel();
    QVERIFY(x.opened.isEmpty());
    QCOMPARE(x.Listing(), std::string());
    QVERIFY(x.w.state->Log.TakePending().empty());
    // "exports" is a file: no folder can be made there, whoever runs it.
    test::WriteFile(x.File("exports"), "");
    x.w.Grid().cbx[0]->setChecked(true);
    const QStringList told = x.w.Told([&] { x.Excel(); });
    QVERIFY(x.opened.isEmpty());
    QVERIFY2(told.size() == 1 && x.Saved("^Unable to write to ", "流量").match(told[0]).hasMatch(),
             qPrintable(told.join('|')));
    QCOMPARE(x.Listing(), std::string("exports;"));
  }

  void NothingOpensItTellsWhereItIsKept() {
    ExportWindow<TOverallDetectionFrm> x(4);
    x.opens = false;
    x.w.Grid().cbx[3]->setChecked(true);
    x.w.state->Log.TakePending();
    x.Excel();
    QCOMPARE(x.opened.size(), 1);
    QVERIFY2(x.Saved("^", "总体").match(x.opened[0]).hasMatch(), qPrintable(x.opened[0]));
    QCOMPARE(x.w.boxes.texts, QStringList{"未安装Microsoft Excel 2000!请安装!\n" + x.opened[0]});
    const std::vector<std::string> lines = x.w.state->Log.TakePending();
    QCOMPARE(lines.size(), size_t{1});
    QVERIFY(QString::fromStdString(lines[0]).endsWith(" 导出数据：" + x.opened[0]));
    // The workbook alone: no temporary file stays.
    const QDir exports(QString::fromStdString(x.File("exports")));
    QCOMPARE(exports.entryList(QDir::Files | QDir::Hidden).size(), 1);
  }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
