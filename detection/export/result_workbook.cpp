#include "detection/export/result_workbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <tuple>

#include "core/ini_file.h"
#include "core/new_file.h"

namespace qv {

namespace {

constexpr HeaderCell kFlowHeader[] = {
    {1, "口径：", HeaderValue::kCaliber},   {2, "计量等级：", HeaderValue::kLevel},
    {4, "安装位置：", HeaderValue::kNone},  {5, "", HeaderValue::kLocation},
    {7, "检测员：", HeaderValue::kNone},    {8, "", HeaderValue::kTester},
    {10, "检测日期：", HeaderValue::kNone}, {11, "", HeaderValue::kDate},
};
constexpr HeaderCell kOverallHeader[] = {
    {1, "口径：", HeaderValue::kCaliber},   {3, "计量等级：", HeaderValue::kLevel},
    {5, "安装位置：", HeaderValue::kNone},  {6, "", HeaderValue::kLocation},
    {8, "检测人：", HeaderValue::kNone},    {9, "", HeaderValue::kTester},
    {11, "检测日期：", HeaderValue::kNone}, {12, "", HeaderValue::kDate},
};
constexpr PointColumn kFlowColumns[] = {
    {"  流量(L)   ", false}, {"  流量误差  ", true}, {"    系数    ", false}};
constexpr PointColumn kOverallColumns[] = {{"    流量    ", false},
                                           {"  流量误差  ", true},
                                           {"    热量    ", false},
                                           {"  热量误差  ", true}};
constexpr std::string_view kFlowPointLabels[kFlowPoints] = {"流量一：", "流量二：", "流量三：",
                                                            "流量四：", "流量五："};
constexpr std::string_view kAddressHeading = "    地址    ";

// The rows of the sheet (1-based, as the spreadsheet counts them).
constexpr int kTitleRow = 1;
constexpr int kHeaderRow = 2;
constexpr int kFlowPointRow = 4;
constexpr int kHeadingRow = 5;
constexpr int kFirstDataRow = 6;
// The bordered block: the heading row and 16 rows below it, whatever the
// number of meters; data rows past it have no grid lines.
constexpr int kLastBorderedRow = 21;
// The title row's height in points, and its font size.
constexpr double kTitleHeight = 26;
constexpr double kTitleFontSize = 18;
// Columns 1..17 first get this width (in character widths).
constexpr int kPresetColumns = 17;
constexpr double kPresetWidth = 10;
constexpr uint32_t kRed = 0xFF0000;

// One cell of the sheet before it is written.
struct SheetCell {
  std::string text;
  std::optional<uint32_t> rgb;  // the window's colour, for the error cells
};

// The sheet as cells, rows and columns from 1.
class Sheet {
 public:
  Sheet(int rows, int columns)
      : rows_(rows), columns_(columns), cells_(static_cast<size_t>(rows * columns)) {}
  SheetCell& At(int row, int column) {
    return cells_.at(static_cast<size_t>((row - 1) * columns_ + column - 1));
  }
  int Rows() const { return rows_; }
  int Columns() const { return columns_; }

 private:
  int rows_;
  int columns_;
  std::vector<SheetCell> cells_;
};

int Points(const ExportTable& t) {
  return t.flux_num == kFlowPoints ? kFlowPoints : kFlowPoints - 1;
}

Sheet BuildSheet(const ExportTable& t) {
  const WorkbookLayout& l = *t.layout;
  const int data_rows = static_cast<int>(t.rows.size());
  Sheet sheet(std::max(kLastBorderedRow, kFirstDataRow + data_rows - 1), l.last_column);
  sheet.At(kTitleRow, 1).text = l.title;
  for (const HeaderCell& h : l.header) {
    SheetCell& cell = sheet.At(kHeaderRow, h.column);
    cell.text = h.label;
    if (h.value != HeaderValue::kNone) cell.text += t.header.at(static_cast<size_t>(h.value));
  }
  const int per_point = static_cast<int>(l.columns.size());
  sheet.At(kHeadingRow, 1).text = kAddressHeading;
  for (int k = 0; k < Points(t); ++k) {
    const int first = 2 + k * per_point;
    const int label = first + 1;
    sheet.At(kFlowPointRow, label).text = kFlowPointLabels[k];
    sheet.At(kFlowPointRow, label + l.flux_value_offset).text += t.flow_points.at(k);
    for (int c = 0; c < per_point; ++c)
      sheet.At(kHeadingRow, first + c).text = l.columns[c].heading;
  }
  int row = kFirstDataRow;
  for (const ExportRow& r : t.rows) {
    sheet.At(row, 1).text = r.address;
    for (int k = 0; k < Points(t); ++k) {
      const std::vector<ExportCell>& cells = r.points.at(k);
      for (int c = 0; c < per_point && c < static_cast<int>(cells.size()); ++c) {
        SheetCell& cell = sheet.At(row, 2 + k * per_point + c);
        cell.text = cells[c].text;
        if (l.columns[c].coloured) cell.rgb = cells[c].rgb;
      }
    }
    ++row;
  }
  return sheet;
}

// Spreadsheet programs measure a column in widths of the digit "0" of the
// default font. There is no auto-fit in the file format, so a column is
// fitted the way a spreadsheet program fits it, by its longest text: each
// character counts as one such width, a CJK (wide) character as two, plus
// one for the margins around the text. The merged title is left out, as
// auto-fit leaves out merged cells. A column without any text keeps the
// width it had.
constexpr double kFitMargin = 1;
// The widest column a spreadsheet program takes.
constexpr double kMaxWidth = 255;

std::vector<std::optional<double>> ColumnWidths(Sheet& sheet) {
  const int columns = std::max(sheet.Columns(), kPresetColumns);
  std::vector<std::optional<double>> widths(static_cast<size_t>(columns) + 1);
  for (int c = 1; c <= kPresetColumns; ++c)
    widths[c] = kPresetWidth;
  for (int c = 1; c <= sheet.Columns(); ++c) {
    int longest = 0;
    for (int r = kTitleRow + 1; r <= sheet.Rows(); ++r)
      longest = std::max(longest, TextWidth(sheet.At(r, c).text));
    if (longest > 0) widths[c] = std::min(kMaxWidth, longest + kFitMargin);
  }
  return widths;
}

lxw_color_t Colour(uint32_t rgb) {
  // 0 means "automatic" to the library; black is asked for by name.
  return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : static_cast<lxw_color_t>(rgb);
}

// The formats the sheet uses, made once each.
class Formats {
 public:
  explicit Formats(lxw_workbook* book) : book_(book) {}

  lxw_format* Title() {
    if (!title_) {
      title_ = Centred(workbook_add_format(book_));
      format_set_font_size(title_, kTitleFontSize);
      format_set_bold(title_);
    }
    return title_;
  }
  // A cell of the flow point row, of the bordered block, or elsewhere,
  // in `rgb` when given.
  lxw_format* Cell(int row, std::optional<uint32_t> rgb) {
    const bool flow_points = row == kFlowPointRow;
    const bool bordered = row >= kHeadingRow && row <= kLastBorderedRow;
    if (flow_points) rgb = kRed;
    if (!flow_points && !bordered && !rgb) return nullptr;
    lxw_format*& f = cells_[{flow_points, bordered, rgb}];
    if (f) return f;
    f = workbook_add_format(book_);
    if (flow_points || bordered) Centred(f);
    if (flow_points) format_set_bold(f);
    if (bordered) format_set_border(f, LXW_BORDER_THIN);
    if (rgb) format_set_font_color(f, Colour(*rgb));
    return f;
  }

 private:
  static lxw_format* Centred(lxw_format* f) {
    format_set_align(f, LXW_ALIGN_CENTER);
    format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    return f;
  }

  lxw_workbook* book_;
  lxw_format* title_ = nullptr;
  std::map<std::tuple<bool, bool, std::optional<uint32_t>>, lxw_format*> cells_;
};

bool Ok(lxw_error e) {
  return e == LXW_NO_ERROR;
}

}  // namespace

const WorkbookLayout& FlowWorkbook() {
  static constexpr WorkbookLayout layout{"流量检测数据", 16, kFlowHeader, kFlowColumns, 0};
  return layout;
}

const WorkbookLayout& OverallWorkbook() {
  static constexpr WorkbookLayout layout{"总体检测数据", 21, kOverallHeader, kOverallColumns, 1};
  return layout;
}

int TextWidth(std::string_view text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? lead : lead & (0x7F >> n);
    for (size_t j = 1; j < n && i + j < text.size(); ++j)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + j]) & 0x3F);
    i += n;
    // East Asian wide and full-width ranges: Hangul Jamo, CJK radicals to
    // Yi, Hangul syllables, compatibility ideographs, vertical and small
    // forms, full-width forms (the colon "："), the supplementary planes.
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
    width += wide ? 2 : 1;
  }
  return width;
}

bool WriteWorkbook(const ExportTable& table, const std::string& path) {
  if (!table.layout) return false;
  Sheet sheet = BuildSheet(table);
  lxw_workbook* book = workbook_new(path.c_str());
  if (!book) return false;
  lxw_worksheet* ws = workbook_add_worksheet(book, nullptr);
  bool ok = ws != nullptr;
  Formats formats(book);
  const auto at = [](int n) { return static_cast<lxw_row_t>(n - 1); };
  const auto col = [](int n) { return static_cast<lxw_col_t>(n - 1); };
  if (ok) {
    ok = Ok(worksheet_merge_range(ws, 0, 0, 0, col(sheet.Columns()),
                                  sheet.At(kTitleRow, 1).text.c_str(), formats.Title())) &&
         Ok(worksheet_set_row(ws, 0, kTitleHeight, nullptr));
  }
  for (int r = kTitleRow + 1; ok && r <= sheet.Rows(); ++r) {
    for (int c = 1; ok && c <= sheet.Columns(); ++c) {
      const SheetCell& cell = sheet.At(r, c);
      lxw_format* f = formats.Cell(r, cell.rgb);
      if (!cell.text.empty()) {
        // Every cell is a string cell, whatever it holds: a text that looks
        // like a formula (StartsLikeFormula, an address typed as "=1+2")
        // stays that text, and is never written as a formula.
        ok = Ok(worksheet_write_string(ws, at(r), col(c), cell.text.c_str(), f));
      } else if (f) {
        ok = Ok(worksheet_write_blank(ws, at(r), col(c), f));
      }
    }
  }
  const std::vector<std::optional<double>> widths = ColumnWidths(sheet);
  for (int c = 1; ok && c < static_cast<int>(widths.size()); ++c) {
    if (widths[c]) ok = Ok(worksheet_set_column(ws, col(c), col(c), *widths[c], nullptr));
  }
  // Closing writes the file; it frees the workbook whatever happened.
  const lxw_error closed = workbook_close(book);
  return ok && Ok(closed);
}

std::string ExportFolder(const BenchState& state) {
  return state.DataFolder() + "exports/";
}

std::string SaveWorkbook(const ExportTable& table, const std::string& folder, const std::tm& when) {
  return SaveNewFile(folder, std::string(table.layout ? table.layout->title : ""), ".xlsx", when,
                     [&](const std::string& tmp) { return WriteWorkbook(table, tmp); });
}

}  // namespace qv
