#include "journal/core/record_pdf.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>

#include "core/number_format.h"
#include "journal/core/error_curve.h"
#include "journal/core/record_drawing.h"

namespace qv {

using namespace drawing;

namespace {

// ---- Texts -----------------------------------------------------------------

constexpr Words kTitle = {"检定记录", "Verification Record"};
constexpr Words kMeterNo = {"表号 ", "Meter "};
constexpr Words kRecordNo = {"记录编号：", "Record No. "};
constexpr Words kBench = {"检定装置", "Bench"};
constexpr Words kMeter = {"被检表", "Meter"};
constexpr Words kConditions = {"检定条件", "Conditions"};
constexpr Words kBenchName = {"装置名称", "Name"};
constexpr Words kReference = {"标准器", "Reference"};
constexpr Words kCalibrationDue = {"校准有效期至", "Calibration due"};
constexpr Words kTester = {"检定员", "Tester"};
constexpr Words kAddress = {"表地址", "Address"};
constexpr Words kMeterType = {"表类型", "Meter type"};
constexpr Words kHeatOrCold = {"热量/冷量", "Heat or cold"};
constexpr Words kDn = {"口径", "Size"};
constexpr Words kLevel = {"准确度等级", "Accuracy class"};
constexpr Words kLocation = {"安装位置", "Installed in"};
constexpr Words kFluid = {"流体温度", "Fluid"};
constexpr Words kInlet = {"进口温度", "Inlet"};
constexpr Words kOutlet = {"出口温度", "Outlet"};
constexpr Words kMeterMeasured = {"（表测）", " (meter)"};
constexpr Words kDates = {"检定日期", "Date"};
constexpr Words kVolumeSection = {"体积误差", "Volume Error"};
constexpr Words kHeatSection = {"热量误差", "Heat Error"};
constexpr Words kPass = {"合格", "Pass"};
constexpr Words kFail = {"不合格", "Fail"};
constexpr Words kVerdict = {"检定结论", "Verdict"};
constexpr Words kNoVerdict = {"无结论", "No verdict"};
constexpr Words kChecker = {"核验员", "Checker"};
constexpr Words kSignature = {"签名", "Signature"};
constexpr Words kDate = {"日期", "Date"};
constexpr Words kContinued = {"检定记录（续）", "Verification Record (continued)"};
constexpr Words kFromJournal = {"数据取自检测记录", "All figures from the results journal"};
constexpr Words kNote = {
    "每个流量点取其最新一次读数，“次数”为该点的读数次数；误差 = (表示值 − 标准值) / 标准值 × "
    "100 %，|误差| 不大于限值为合格。",
    "Each flow point shows its newest reading; \"Readings\" is how many were taken at it. "
    "Error = (meter − reference) / reference × 100 %; a point passes when |error| is within "
    "its limit."};

constexpr std::array<Words, 2> kMeterTypes = {
    {{"机械表", "Mechanical meter"}, {"热量表", "Heat meter"}}};
constexpr std::array<Words, 2> kLocations = {{{"回水", "Return pipe"}, {"进水", "Supply pipe"}}};
constexpr std::array<Words, 3> kLevels = {
    {{"1 级", "Class 1"}, {"2 级", "Class 2"}, {"3 级", "Class 3"}}};

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
  std::string out;
  for (const std::string& p : parts)
    out += (out.empty() ? "" : between) + p;
  return out.empty() ? kNone : out;
}

std::string Fixed(std::optional<double> v, int decimals) {
  return v ? FormatFixed(*v, decimals) : kNone;
}

std::string Given(std::optional<double> v) {
  return v ? GivenTemperatureText(*v) : kNone;
}

std::string VerdictText(const std::string& verdict, bool english) {
  if (verdict == kVerdictPass) return Say(english, kPass);
  if (verdict == kVerdictFail) return Say(english, kFail);
  return kNone;
}

// ---- Page and colours -------------------------------------------------------

// A4 in points.
constexpr double kPageWidth = 595.276;
constexpr double kPageHeight = 841.890;
constexpr double kMargin = 50;
constexpr double kTop = 44;
constexpr double kBottom = kPageHeight - 56;  // the footer lies below
constexpr double kContent = kPageWidth - 2 * kMargin;
constexpr double kGap = 12;  // between blocks

// ---- Tables -------------------------------------------------------------------

struct Column {
  Words heading;
  double width;  // share of the content width
  Align align;
};

struct Cell {
  std::string text;
  Rgb colour = kInk;
  bool bold = false;
};

// A table line: a group heading across the table, or a row of cells.
struct TableLine {
  std::string group;
  std::vector<Cell> cells;
};

constexpr double kRowHeight = 16;
constexpr double kGroupHeight = 15;
constexpr double kCellPad = 4;

class Table {
 public:
  Table(std::vector<Column> columns, std::vector<TableLine> lines, bool english)
      : columns_(std::move(columns)), lines_(std::move(lines)), english_(english) {
    double total = 0;
    for (const Column& c : columns_)
      total += c.width;
    for (const Column& c : columns_)
      widths_.push_back(c.width / total * kContent);
  }

  double HeadHeight(Writer& wr) const {
    double h = 0;
    for (size_t i = 0; i < columns_.size(); ++i)
      h = std::max(
          h,
          wr.Measure(Say(english_, columns_[i].heading), kHead, widths_[i] - 2 * kCellPad).second);
    return h + 8;
  }

  double Height(Writer& wr) const {
    double h = HeadHeight(wr);
    for (const TableLine& l : lines_)
      h += l.group.empty() ? kRowHeight : kGroupHeight;
    return h;
  }

  void Draw(Writer& wr, double y) const {
    cairo_t* cr = wr.cr();
    const double head = HeadHeight(wr);
    Fill(cr, kMargin, y, kContent, head, kBand);
    double x = kMargin;
    for (size_t i = 0; i < columns_.size(); ++i) {
      Style s = kHead;
      s.align = Align::kCentre;
      wr.DrawMiddle(Say(english_, columns_[i].heading), x + kCellPad, y, widths_[i] - 2 * kCellPad,
                    head, s);
      x += widths_[i];
    }
    Line(cr, kMargin, y, kMargin + kContent, y, 0.9, kInk);
    Line(cr, kMargin, y + head, kMargin + kContent, y + head, 0.5, kInk);
    double ry = y + head;
    int n = 0;
    for (const TableLine& l : lines_) {
      if (!l.group.empty()) {
        wr.DrawMiddle(l.group, kMargin + kCellPad, ry, kContent, kGroupHeight, {7.5, true, kMuted});
        ry += kGroupHeight;
        Line(cr, kMargin, ry, kMargin + kContent, ry, 0.25, kRule);
        n = 0;
        continue;
      }
      if (n++ % 2) Fill(cr, kMargin, ry, kContent, kRowHeight, kZebra);
      x = kMargin;
      for (size_t i = 0; i < columns_.size() && i < l.cells.size(); ++i) {
        const Cell& c = l.cells[i];
        wr.DrawMiddle(c.text, x + kCellPad, ry, widths_[i] - 2 * kCellPad, kRowHeight,
                      {8.2, c.bold, c.colour, columns_[i].align});
        x += widths_[i];
      }
      ry += kRowHeight;
      Line(cr, kMargin, ry, kMargin + kContent, ry, 0.25, kRule);
    }
    Line(cr, kMargin, ry, kMargin + kContent, ry, 0.9, kInk);
  }

 private:
  static constexpr Style kHead{7.2, true, kInk};
  std::vector<Column> columns_;
  std::vector<TableLine> lines_;
  std::vector<double> widths_;
  bool english_;
};

Cell VerdictCell(const std::string& verdict, bool english) {
  if (verdict == kVerdictPass) return {Say(english, kPass), kGreen};
  if (verdict == kVerdictFail) return {Say(english, kFail), kRed, true};
  return {kNone, kMuted};
}

// The verdict of one error of a reading: its reading's, unless that failed
// on the other error only.
std::string ErrorVerdict(const ReadingRecord& r, std::optional<double> error, bool failed) {
  if (!error || r.Verdict.empty()) return "";
  return failed ? kVerdictFail : kVerdictPass;
}

// The lines of a table: a group heading before each window's points when
// the record has both windows.
std::vector<TableLine> Lines(const VerificationRecord& record, bool english,
                             const std::function<bool(const RecordPoint&)>& keep,
                             const std::function<std::vector<Cell>(const RecordPoint&)>& cells) {
  std::vector<TableLine> lines;
  const bool groups = record.BothWindows();
  std::string window;
  for (const RecordPoint& p : record.Points) {
    if (!keep(p)) continue;
    if (groups && p.Reading.Window != window) {
      window = p.Reading.Window;
      lines.push_back(
          {Say(english, window == kOverallWindow ? kOverallWindowName : kFlowWindowName), {}});
    }
    lines.push_back({"", cells(p)});
  }
  return lines;
}

Table VolumeTable(const VerificationRecord& record, bool english) {
  // Headings break where they are written to; widths fit the longest text.
  std::vector<Column> columns = {
      {{"流量点", "Point"}, 30, Align::kCentre},
      {{"流量\n(L/h)", "Flow\n(L/h)"}, 40, Align::kRight},
      {{"流体温度\n(°C)", "Fluid\n(°C)"}, 38, Align::kRight},
      {{"标准体积\n(L)", "Reference\nvolume (L)"}, 52, Align::kRight},
      {{"表体积\n(L)", "Meter\nvolume (L)"}, 52, Align::kRight},
      {{"误差\n(%)", "Error\n(%)"}, 38, Align::kRight},
      {{"限值\n(±%)", "Limit\n(±%)"}, 38, Align::kRight},
      {{"结论", "Verdict"}, 38, Align::kCentre},
      {{"读数时间", "Time of reading"}, 104, Align::kCentre},
      {{"次数", "Readings"}, 42, Align::kCentre},
  };
  return Table(std::move(columns),
               Lines(
                   record, english, [](const RecordPoint&) { return true; },
                   [&](const RecordPoint& p) -> std::vector<Cell> {
                     const ReadingRecord& r = p.Reading;
                     const Rgb error_colour = p.VolumeFailed ? kRed : kInk;
                     return {{std::to_string(r.FlowPoint)},
                             {std::to_string(r.Flow)},
                             {Given(r.Fluid)},
                             {Fixed(r.StandardVolume, shown::kStandardVolume)},
                             {Fixed(r.MeterVolume, shown::kVolume)},
                             {Fixed(r.VolumeError, shown::kPercent), error_colour, p.VolumeFailed},
                             {Fixed(r.VolumeLimit, shown::kPercent)},
                             VerdictCell(ErrorVerdict(r, r.VolumeError, p.VolumeFailed), english),
                             {r.Time},
                             {std::to_string(p.Taken)}};
                   }),
               english);
}

Table HeatTable(const VerificationRecord& record, bool english) {
  std::vector<Column> columns = {
      {{"流量点", "Point"}, 34, Align::kCentre},
      {{"流量\n(L/h)", "Flow\n(L/h)"}, 44, Align::kRight},
      {{"进口温度\n(°C)", "Inlet\n(°C)"}, 44, Align::kRight},
      {{"出口温度\n(°C)", "Outlet\n(°C)"}, 44, Align::kRight},
      {{"标准热量\n(kWh)", "Reference\nheat (kWh)"}, 60, Align::kRight},
      {{"表热量\n(kWh)", "Meter\nheat (kWh)"}, 60, Align::kRight},
      {{"热量误差\n(%)", "Heat error\n(%)"}, 48, Align::kRight},
      {{"热量限值\n(±%)", "Heat limit\n(±%)"}, 48, Align::kRight},
      {{"结论", "Verdict"}, 40, Align::kCentre},
  };
  return Table(
      std::move(columns),
      Lines(
          record, english, [](const RecordPoint& p) { return p.Reading.Window == kOverallWindow; },
          [&](const RecordPoint& p) -> std::vector<Cell> {
            const ReadingRecord& r = p.Reading;
            return {{std::to_string(r.FlowPoint)},
                    {std::to_string(r.Flow)},
                    {Given(r.BenchInlet)},
                    {Given(r.BenchOutlet)},
                    {Fixed(r.ReferenceHeat, shown::kReferenceHeat)},
                    {Fixed(r.MeterHeat, shown::kHeat)},
                    {Fixed(r.HeatError, shown::kPercent), p.HeatFailed ? kRed : kInk, p.HeatFailed},
                    {Fixed(r.HeatLimit, shown::kPercent)},
                    VerdictCell(ErrorVerdict(r, r.HeatError, p.HeatFailed), english)};
          }),
      english);
}

// ---- The blocks of a record -------------------------------------------------------

// Values that may differ between the points' readings: each different one,
// in the order of the points.
std::string Values(const VerificationRecord& record,
                   const std::function<std::string(const ReadingRecord&)>& text,
                   const std::string& between = " / ") {
  return Join(record.Distinct(text), between);
}

// The lowest and highest of a temperature over the points ("20.00 °C",
// "20.00 – 20.50 °C"), empty when no point has one.
std::string Range(const VerificationRecord& record,
                  const std::function<std::optional<double>(const ReadingRecord&)>& value) {
  std::optional<double> lo, hi;
  for (const RecordPoint& p : record.Points) {
    if (const std::optional<double> v = value(p.Reading)) {
      lo = lo ? std::min(*lo, *v) : *v;
      hi = hi ? std::max(*hi, *v) : *v;
    }
  }
  if (!lo) return "";
  return GivenTemperatureText(*lo) + (*hi != *lo ? " – " + GivenTemperatureText(*hi) : "") + " °C";
}

// The bench's temperature, else (the flow detection takes none) what the
// meter measured, so marked.
std::string Temperature(const VerificationRecord& record, bool inlet, bool english) {
  const std::string bench =
      Range(record, [&](const ReadingRecord& r) { return inlet ? r.BenchInlet : r.BenchOutlet; });
  if (!bench.empty()) return bench;
  const std::string meter =
      Range(record, [&](const ReadingRecord& r) { return inlet ? r.Inlet : r.Outlet; });
  return meter.empty() ? kNone : meter + Say(english, kMeterMeasured);
}

// Heat or cold, from the bench's temperatures: a heat meter's test runs
// with the inlet warmer than the outlet, a cold meter's the other way.
std::string HeatOrCold(const VerificationRecord& record, bool english) {
  return Values(record, [&](const ReadingRecord& r) -> std::string {
    if (!r.BenchInlet || !r.BenchOutlet || *r.BenchInlet == *r.BenchOutlet) return "";
    return *r.BenchInlet > *r.BenchOutlet ? Say(english, {"热量", "Heat"})
                                          : Say(english, {"冷量", "Cold"});
  });
}

using Facts = std::vector<std::pair<Words, std::string>>;

// Three cards side by side: the bench, the meter, the conditions.
class InfoCards {
 public:
  InfoCards(const VerificationRecord& record, bool english) : english_(english) {
    const auto text = [&](auto field) {
      return Values(record, [&](const ReadingRecord& r) { return field(r); });
    };
    const auto listed = [&](const auto& names, int index) -> std::string {
      return index >= 0 && index < static_cast<int>(names.size()) ? Say(english, names[index]) : "";
    };
    cards_ = {
        {kBench,
         {{kBenchName, text([](const ReadingRecord& r) { return r.BenchName; })},
          {kReference, text([](const ReadingRecord& r) { return r.BenchReference; })},
          {kCalibrationDue, text([](const ReadingRecord& r) { return r.CalibrationDue; })},
          {kTester,
           Values(
               record, [](const ReadingRecord& r) { return r.Tester; }, english ? ", " : "、")}}},
        {kMeter,
         {{kAddress, record.Address},
          {kMeterType, text([&](const ReadingRecord& r) {
             return r.MeterType ? listed(kMeterTypes, *r.MeterType) : "";
           })},
          {kHeatOrCold, HeatOrCold(record, english)},
          {kDn, text([](const ReadingRecord& r) {
             return r.Dn ? "DN" + std::to_string(r.Dn) : std::string();
           })},
          {kLevel, text([&](const ReadingRecord& r) { return listed(kLevels, r.Level - 1); })},
          {kLocation,
           text([&](const ReadingRecord& r) { return listed(kLocations, r.Location); })}}},
        {kConditions,
         {{kFluid,
           [&] {
             const std::string fluid =
                 Range(record, [](const ReadingRecord& r) { return r.Fluid; });
             return fluid.empty() ? std::string(kNone) : fluid;
           }()},
          {kInlet, Temperature(record, true, english)},
          {kOutlet, Temperature(record, false, english)},
          {kDates,
           [&] {
             std::string first = "~", last;
             for (const RecordPoint& p : record.Points) {
               first = std::min(first, p.Reading.Time.substr(0, 10));
               last = std::max(last, p.Reading.Time.substr(0, 10));
             }
             return first == last ? last : first + " – " + last;
           }()}}},
    };
  }

  double Height(Writer& wr) const {
    double h = 0;
    for (const auto& [heading, facts] : cards_)
      h = std::max(h, CardHeight(wr, facts));
    return h;
  }

  void Draw(Writer& wr, double y) const {
    cairo_t* cr = wr.cr();
    const double h = Height(wr);
    for (size_t i = 0; i < cards_.size(); ++i) {
      const double x = kMargin + i * (kCardWidth + kCardGap);
      Fill(cr, x, y, kCardWidth, kCardHead, kBand);
      wr.DrawMiddle(Say(english_, cards_[i].first), x + 6, y, kCardWidth - 12, kCardHead,
                    {8.5, true});
      Colour(cr, kRule);
      cairo_set_line_width(cr, 0.5);
      cairo_rectangle(cr, x, y, kCardWidth, h);
      cairo_stroke(cr);
      double fy = y + kCardHead + 4;
      for (const auto& [label, value] : cards_[i].second) {
        const double lh = wr.Draw(Say(english_, label), x + 6, fy + 0.8, kLabelWidth, kLabel);
        const double vh = wr.Draw(value, x + 6 + kLabelWidth, fy, kValueWidth, kValue);
        fy += std::max(lh, vh) + 2.5;
      }
    }
  }

 private:
  static constexpr double kCardGap = 9;
  static constexpr double kCardWidth = (kContent - 2 * kCardGap) / 3;
  static constexpr double kCardHead = 17;
  static constexpr double kLabelWidth = 60;
  static constexpr double kValueWidth = kCardWidth - 12 - kLabelWidth;
  static constexpr Style kLabel{7, false, kMuted};
  static constexpr Style kValue{8.2, false, kInk};

  double CardHeight(Writer& wr, const Facts& facts) const {
    double h = kCardHead + 4;
    for (const auto& [label, value] : facts)
      h += std::max(wr.Measure(Say(english_, label), kLabel, kLabelWidth).second + 0.8,
                    wr.Measure(value, kValue, kValueWidth).second) +
           2.5;
    return h + 4;
  }

  bool english_;
  std::vector<std::pair<Words, Facts>> cards_;
};

// A block of a page: its height and how it is drawn at a height y.
struct Block {
  double height;
  bool new_page;  // starts a page of its own
  std::function<void(Writer&, double y)> draw;
};

Block SectionBlock(Writer& wr, Words heading, const Table& table, bool english, bool new_page) {
  const double head = wr.Measure(Say(english, heading), {10, true}).second + 5;
  return {head + table.Height(wr), new_page, [=, &table](Writer& w, double y) {
            w.Draw(Say(english, heading), kMargin, y, 0, {10, true});
            table.Draw(w, y + head);
          }};
}

Block CurveBlock(const VerificationRecord& record, CurveKind kind, bool english) {
  constexpr double kHeight = 220;
  return {kHeight, false, [&record, kind, english](Writer& w, double y) {
            DrawCurve(w, record, kind, english, kMargin, y, kContent, kHeight);
          }};
}

std::string Summary(const VerificationRecord& record, bool english) {
  const int n = static_cast<int>(record.Points.size());
  const int failed = record.Failed();
  const std::string all = std::to_string(n), bad = std::to_string(failed);
  if (record.Verdict == kVerdictPass) {
    return english ? "All " + all + " flow points within their limits"
                   : "全部 " + all + " 个流量点合格";
  }
  if (record.Verdict == kVerdictFail) {
    return english ? bad + " of " + all + " flow points beyond their limits"
                   : all + " 个流量点中 " + bad + " 个不合格";
  }
  int open = 0;
  for (const RecordPoint& p : record.Points)
    open += p.Reading.Verdict.empty();
  return english ? std::to_string(open) + " of " + all + " flow points without a verdict"
                 : all + " 个流量点中 " + std::to_string(open) + " 个无结论";
}

Block VerdictBlock(const VerificationRecord& record, bool english) {
  constexpr double kHeight = 134;
  return {kHeight, false, [&record, english](Writer& w, double y) {
            cairo_t* cr = w.cr();
            const Rgb tone = record.Verdict == kVerdictPass   ? kGreen
                             : record.Verdict == kVerdictFail ? kRed
                                                              : kMuted;
            // The verdict: a box with a coloured edge.
            constexpr double kBox = 46;
            Fill(cr, kMargin, y, kContent, kBox, kZebra);
            Fill(cr, kMargin, y, 4, kBox, tone);
            w.DrawMiddle(Say(english, kVerdict), kMargin + 14, y, 90, kBox, {9, true, kMuted});
            const std::string verdict = record.Verdict.empty()
                                            ? Say(english, kNoVerdict)
                                            : VerdictText(record.Verdict, english);
            w.DrawMiddle(verdict, kMargin + 110, y, 120, kBox, {19, true, tone});
            w.DrawMiddle(Summary(record, english), kMargin + 240, y, kContent - 250, kBox,
                         {8.5, false, kInk, Align::kRight});
            double ny = y + kBox + 6;
            ny += w.Draw(Say(english, kNote), kMargin, ny, kContent, {6.8, false, kMuted});
            // Signatures: the tester's name as the journal has it, and
            // empty lines for the checker.
            const std::string tester = Values(
                record, [](const ReadingRecord& r) { return r.Tester; }, english ? ", " : "、");
            const Style label{8, false, kMuted};
            for (int row = 0; row < 2; ++row) {
              const double ly = ny + 22 + row * 28;
              w.Draw(Say(english, row == 0 ? kTester : kChecker), kMargin, ly - 12, 0, label);
              if (row == 0 && tester != kNone) w.Draw(tester, kMargin + 58, ly - 13, 110, {9});
              Line(cr, kMargin + 56, ly, kMargin + 176, ly, 0.5, kInk);
              w.Draw(Say(english, kSignature), kMargin + 190, ly - 12, 0, label);
              Line(cr, kMargin + 246, ly, kMargin + 366, ly, 0.5, kInk);
              w.Draw(Say(english, kDate), kMargin + 380, ly - 12, 0, label);
              Line(cr, kMargin + 415, ly, kMargin + kContent, ly, 0.5, kInk);
            }
          }};
}

std::string RecordNumber(const VerificationRecord& record) {
  return record.Address + "-" + std::to_string(record.Newest().Id);
}

Block TitleBlock(const VerificationRecord& record, bool english) {
  constexpr double kHeight = 62;
  return {
      kHeight, false, [&record, english](Writer& w, double y) {
        const std::string bench =
            Values(record, [](const ReadingRecord& r) { return r.BenchName; });
        if (bench != kNone) w.Draw(bench, kMargin, y, kContent / 2, {7.5, false, kMuted});
        w.Draw(Say(english, kRecordNo) + RecordNumber(record), kMargin, y, kContent,
               {7.5, false, kMuted, Align::kRight});
        w.Draw(Say(english, kTitle), kMargin, y + 11, kContent, {18, true, kInk, Align::kCentre});
        w.Draw(Say(english, kMeterNo) + record.Address, kMargin, y + 37, kContent,
               {9.5, false, kMuted, Align::kCentre});
        Line(w.cr(), kMargin, y + kHeight - 2, kMargin + kContent, y + kHeight - 2, 1.1, kInk);
      }};
}

void PageFrame(Writer& w, const VerificationRecord& record, bool english, int page, int pages) {
  if (page > 1) {
    w.Draw(Say(english, kContinued) + "  " + record.Address, kMargin, kTop - 18, kContent,
           {7.5, false, kMuted});
    Line(w.cr(), kMargin, kTop - 6, kMargin + kContent, kTop - 6, 0.5, kRule);
  }
  const double fy = kPageHeight - 40;
  Line(w.cr(), kMargin, fy - 4, kMargin + kContent, fy - 4, 0.5, kRule);
  w.Draw("Qorvantis · " + Say(english, kRecordNo) + RecordNumber(record) + " · " +
             Say(english, kFromJournal),
         kMargin, fy, kContent * 0.75, {6.8, false, kMuted});
  const std::string n = std::to_string(page), of = std::to_string(pages);
  w.Draw(english ? "Page " + n + " of " + of : "第 " + n + " 页 共 " + of + " 页", kMargin, fy,
         kContent, {6.8, false, kMuted, Align::kRight});
}

// "yyyy-MM-dd hh:mm:ss" as a PDF date of ISO 8601 form.
std::string IsoTime(const std::string& time) {
  std::string t = time;
  if (t.size() > 10 && t[10] == ' ') t[10] = 'T';
  return t;
}

cairo_status_t Append(void* out, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool WriteRecordPdf(const VerificationRecord& record, bool english, const std::string& path) {
  if (record.Points.empty()) return false;
  // The document is made in memory and written at once: a failed drawing
  // never leaves a file that looks whole.
  std::string pdf;
  cairo_surface_t* surface =
      cairo_pdf_surface_create_for_stream(Append, &pdf, kPageWidth, kPageHeight);
  // The record's time is its newest reading's, so the same journal gives
  // the same file whenever and wherever the record is made.
  const std::string title = Say(english, kTitle) + " " + record.Address;
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Qorvantis");
  const std::string time = IsoTime(record.Newest().Time);
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, time.c_str());
  cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE, time.c_str());
  cairo_t* cr = cairo_create(surface);
  {
    Writer w(cr);
    const Table volume = VolumeTable(record, english);
    const Table heat = HeatTable(record, english);
    std::vector<Block> blocks = {TitleBlock(record, english)};
    InfoCards cards(record, english);
    blocks.push_back(
        {cards.Height(w), false, [&cards](Writer& wr, double y) { cards.Draw(wr, y); }});
    blocks.push_back(SectionBlock(w, kVolumeSection, volume, english, false));
    if (HasCurve(record, CurveKind::kVolume))
      blocks.push_back(CurveBlock(record, CurveKind::kVolume, english));
    if (record.HasHeat()) {
      // Heat has a page of its own.
      blocks.push_back(SectionBlock(w, kHeatSection, heat, english, true));
      if (HasCurve(record, CurveKind::kHeat))
        blocks.push_back(CurveBlock(record, CurveKind::kHeat, english));
    }
    blocks.push_back(VerdictBlock(record, english));

    // Pages: a block goes to the next page when it must or does not fit.
    std::vector<std::vector<std::pair<const Block*, double>>> pages(1);
    double y = kTop;
    for (const Block& b : blocks) {
      if (!pages.back().empty() && (b.new_page || y + b.height > kBottom)) {
        pages.emplace_back();
        y = kTop;
      }
      pages.back().push_back({&b, y});
      y += b.height + kGap;
    }
    for (size_t p = 0; p < pages.size(); ++p) {
      for (const auto& [block, at] : pages[p])
        block->draw(w, at);
      PageFrame(w, record, english, static_cast<int>(p + 1), static_cast<int>(pages.size()));
      cairo_show_page(cr);
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const bool drawn = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!drawn) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(pdf.data(), 1, pdf.size(), f) == pdf.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace qv
