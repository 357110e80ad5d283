// The workbook the "Excel" button of both detection windows writes: a title
// row, the bench's basic parameters, the flow points, and one row per selected
// meter with the texts of its cells and the colours of its error cells.
//
// The two windows' workbooks differ only in data: the title, the last column,
// where the header values go and which cells a flow point has. Each is one
// `WorkbookLayout`; one writer serves both. A window gathers what it shows
// into an `ExportTable` and hands it over; nothing here knows a window.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/shared_state.h"

namespace qv {

// The basic parameters a header cell of row 2 shows after its label.
enum class HeaderValue { kNone, kCaliber, kLevel, kLocation, kTester, kDate };
inline constexpr int kHeaderValues = 6;

// One text of row 2: `label` followed by the value (columns from 1 = A).
struct HeaderCell {
  int column;
  std::string_view label;
  HeaderValue value;
};

// One of a flow point's columns: its heading in row 5 (blanks included)
// and whether its cells take the colour of the window's cell (the errors).
struct PointColumn {
  std::string_view heading;
  bool coloured;
};

struct WorkbookLayout {
  // A1, merged over A..last_column; also the start of the file name.
  std::string_view title;
  int last_column;
  std::span<const HeaderCell> header;
  // The columns of each flow point; point k (1..5) starts in column
  // 2 + (k - 1) × columns. The label "流量一：" .. "流量五：" of row 4
  // stands in its second column; the flow point value follows in the same
  // cell (offset 0) or in the next one (offset 1).
  std::span<const PointColumn> columns;
  int flux_value_offset;
};

// The flow detection window's workbook (A..P) and the overall detection
// window's (A..U).
const WorkbookLayout& FlowWorkbook();
const WorkbookLayout& OverallWorkbook();

// A cell as the window shows it. `rgb` is its text colour (0xRRGGBB).
struct ExportCell {
  std::string text;
  uint32_t rgb = 0;
};

// A selected grid row: the address and, per flow point 1..5, the cells of
// the layout's columns in order.
struct ExportRow {
  std::string address;
  std::array<std::vector<ExportCell>, kFlowPoints> points;
};

// What the window shows, for one export.
struct ExportTable {
  const WorkbookLayout* layout = nullptr;
  // Indexed by HeaderValue (kNone unused), each text trimmed.
  std::array<std::string, kHeaderValues> header{};
  // The texts of the flow point fields `edtFlux1` .. `edtFlux5`.
  std::array<std::string, kFlowPoints> flow_points{};
  // `FluxNum`: the fifth point is written only when it is 5.
  int flux_num = 0;
  // The selected rows, in grid order.
  std::vector<ExportRow> rows{};
};

// Writes the workbook of `table` to `path`; false when it could not be
// written completely (the file may then hold anything).
bool WriteWorkbook(const ExportTable& table, const std::string& path);

// The folder workbooks are saved in, with its trailing '/': "exports/"
// beside the program.
std::string ExportFolder(const BenchState& state);

// Saves the workbook of `table` in `folder` (made when missing) as
// "<title>-yyyyMMdd-hhmmss.xlsx" of the local time `when`, and returns that
// path. The workbook is written to a temporary file and renamed into place,
// so the name never shows half a workbook; a name already taken gets "-2",
// "-3" .. before ".xlsx". Throws FileWriteError naming the path when the
// workbook cannot be saved; nothing is left behind then.
std::string SaveWorkbook(const ExportTable& table, const std::string& folder, const std::tm& when);

// The width of `text` in character widths of the default font: a CJK or
// other wide character counts as two.
int TextWidth(std::string_view text);

}  // namespace qv
