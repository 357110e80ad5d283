#include "journal/core/error_curve.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/number_format.h"
#include "journal/core/record_drawing.h"

namespace qv {

using namespace drawing;

namespace {

constexpr Words kFlowAxis = {"流量 q (L/h)", "Flow rate q (L/h)"};
constexpr Words kErrorAxis = {"误差 (%)", "Error (%)"};
constexpr Words kVolumeCurve = {"体积误差曲线", "Volume error curve"};
constexpr Words kHeatCurve = {"热量误差曲线", "Heat error curve"};
constexpr Words kErrorLegend = {"示值误差", "Meter error"};
constexpr Words kLimitLegend = {"最大允许误差", "Permissible error"};
constexpr Words kFailedLegend = {"超差点", "Beyond its limit"};

struct CurvePoint {
  double flow;
  double error;
  std::optional<double> limit;
  bool failed;
};

struct Series {
  std::vector<CurvePoint> points;  // by flow
  Rgb colour;
  bool squares;
  std::string name;
};

std::vector<Series> CurveSeries(const VerificationRecord& record, CurveKind kind, bool english) {
  std::vector<Series> out;
  for (bool overall : {false, true}) {
    Series s{{},
             kSeries[overall],
             overall,
             Say(english, overall ? kOverallWindowName : kFlowWindowName)};
    for (const RecordPoint& p : record.Points) {
      const ReadingRecord& r = p.Reading;
      if ((r.Window == kOverallWindow) != overall || r.Flow <= 0) continue;
      const bool volume = kind == CurveKind::kVolume;
      const std::optional<double> e = volume ? r.VolumeError : r.HeatError;
      if (!e) continue;
      s.points.push_back({static_cast<double>(r.Flow), *e, volume ? r.VolumeLimit : r.HeatLimit,
                          volume ? p.VolumeFailed : p.HeatFailed});
    }
    std::stable_sort(s.points.begin(), s.points.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.flow < b.flow; });
    if (!s.points.empty()) out.push_back(std::move(s));
  }
  return out;
}

// A tick step of 1, 2 or 5 times a power of ten giving at most `ticks`
// steps up to `span`.
double NiceStep(double span, int ticks) {
  const double raw = span / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

// The 1, 2 or 5 times a power of ten at or below `q`, and at or above it.
double NiceBelow(double q) {
  const double power = std::pow(10.0, std::floor(std::log10(q)));
  for (double m : {5.0, 2.0, 1.0}) {
    if (m * power <= q * 1.0001) return m * power;
  }
  return power;
}

double NiceAbove(double q) {
  const double power = std::pow(10.0, std::floor(std::log10(q)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= q * 0.9999) return m * power;
  }
  return 10 * power;
}

// An error tick: signed, with a true minus sign.
std::string TickText(double v, double step) {
  if (std::abs(v) < step / 1000) return "0";
  const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
  return (v > 0 ? "+" : "−") + FormatFixed(std::abs(v), decimals);
}

std::string FlowText(double q) {
  if (q >= 1e6) return FormatFixed(q / 1e6, 0) + "M";
  if (q >= 1e4) return FormatFixed(q / 1e3, 0) + "k";
  return FormatFixed(q, q < 1 ? 1 : 0);
}

void Marker(cairo_t* cr, double x, double y, bool square, double r) {
  if (square) {
    cairo_rectangle(cr, x - r, y - r, 2 * r, 2 * r);
  } else {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  }
}

}  // namespace

// The curve of `kind` in the box (x, y, w, h): its title, the error
// against the flow rate on a logarithmic axis, each window's points
// joined, the ± limit of the points as the permitted band, failed points
// in red with a ring, and a legend.
void DrawCurve(Writer& wr, const VerificationRecord& record, CurveKind kind, bool english, double x,
               double y, double w, double h) {
  cairo_t* cr = wr.cr();
  const std::vector<Series> series = CurveSeries(record, kind, english);
  wr.Draw(Say(english, kind == CurveKind::kVolume ? kVolumeCurve : kHeatCurve), x, y, 0, {9, true});
  const Style tick{6.5, false, kMuted};
  const double left = x + 38, right = x + w - 8, top = y + 20, bottom = y + h - 40;

  // Ranges: flow from the 1, 2 or 5 times a power of ten below the points
  // to the one above them, with some room; errors and limits symmetric
  // about zero. An error far beyond every limit would flatten the
  // band: the axis stops at three times the largest limit, and such a
  // point sits on the edge, drawn as an arrow head.
  double qmin = 1e300, qmax = 0, limit_max = 0, error_max = 0;
  for (const Series& s : series) {
    for (const CurvePoint& p : s.points) {
      qmin = std::min(qmin, p.flow);
      qmax = std::max(qmax, p.flow);
      if (p.limit) limit_max = std::max(limit_max, std::abs(*p.limit));
      error_max = std::max(error_max, std::abs(p.error));
    }
  }
  if (series.empty()) qmin = qmax = 100;
  const double q0 = NiceBelow(qmin / 1.25), q1 = NiceAbove(qmax * 1.25);
  const double d0 = std::log10(q0), d1 = std::log10(q1);
  double span = std::max(error_max, limit_max) * 1.2;
  if (limit_max > 0) span = std::min(span, limit_max * 3);
  span = std::max(span, 0.5);
  const double step = NiceStep(span, 4);
  span = std::ceil(span / step - 1e-9) * step;
  const auto px = [&](double q) {
    return left + (std::log10(q) - d0) / (d1 - d0) * (right - left);
  };
  const auto py = [&](double e) {
    return top + (span - std::clamp(e, -span, span)) / (2 * span) * (bottom - top);
  };

  // Grid: every 1..9 of a decade, labels at 1, 2 and 5 (1 alone over more
  // than three decades); errors at each step.
  cairo_save(cr);
  for (double d = std::floor(d0); d < d1; ++d) {
    for (int m = 1; m <= 9; ++m) {
      const double q = m * std::pow(10.0, d);
      if (q < q0 * 0.999 || q > q1 * 1.001) continue;
      const double gx = px(q);
      Line(cr, gx, top, gx, bottom, m == 1 ? 0.5 : 0.25, kGrid);
      if (m == 1 || ((m == 2 || m == 5) && d1 - d0 <= 3.5))
        wr.Draw(FlowText(q), gx - 20, bottom + 3, 40, {tick.size, false, kMuted, Align::kCentre});
    }
  }
  for (double e = -span; e <= span + step / 2; e += step) {
    Line(cr, left, py(e), right, py(e), std::abs(e) < step / 2 ? 0.8 : 0.25,
         std::abs(e) < step / 2 ? kRule : kGrid);
    const std::string t = TickText(e, step);
    wr.Draw(t, left - 34, py(e) - wr.Measure(t, tick).second / 2, 30,
            {tick.size, false, kMuted, Align::kRight});
  }
  Colour(cr, kRule);
  cairo_set_line_width(cr, 0.6);
  cairo_rectangle(cr, left, top, right - left, bottom - top);
  cairo_stroke(cr);
  wr.Draw(Say(english, kFlowAxis), left, bottom + 13, right - left,
          {7, false, kMuted, Align::kCentre});
  // The error axis title stands upright along the axis.
  const std::string error_axis = Say(english, kErrorAxis);
  const double ew = wr.Measure(error_axis, {7}).first;
  cairo_save(cr);
  cairo_translate(cr, x, (top + bottom) / 2 + ew / 2);
  cairo_rotate(cr, -M_PI / 2);
  wr.Draw(error_axis, 0, 0, 0, {7, false, kMuted});
  cairo_restore(cr);

  cairo_rectangle(cr, left, top, right - left, bottom - top);
  cairo_clip(cr);
  // The permitted band of each window's points, then its limit lines.
  for (size_t n = 0; n < series.size(); ++n) {
    std::vector<const CurvePoint*> limited;
    for (const CurvePoint& p : series[n].points)
      if (p.limit) limited.push_back(&p);
    if (limited.empty()) continue;
    const auto edge = [&](double sign) {
      for (size_t i = 0; i < limited.size(); ++i) {
        const double lx = px(limited[i]->flow), ly = py(sign * std::abs(*limited[i]->limit));
        i == 0 ? cairo_move_to(cr, lx, ly) : cairo_line_to(cr, lx, ly);
      }
    };
    if (n == 0 && limited.size() > 1) {
      edge(1);
      for (size_t i = limited.size(); i-- > 0;)
        cairo_line_to(cr, px(limited[i]->flow), py(-std::abs(*limited[i]->limit)));
      cairo_close_path(cr);
      Colour(cr, kEnvelope);
      cairo_fill(cr);
    }
    const double dashes[] = {4, 2.5};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_line_width(cr, 0.9);
    Colour(cr, n == 0 ? kRed : series[n].colour);
    for (double sign : {1.0, -1.0}) {
      if (limited.size() > 1) {
        edge(sign);
      } else {  // one point: a short bar at its limit
        const double lx = px(limited[0]->flow), ly = py(sign * std::abs(*limited[0]->limit));
        cairo_move_to(cr, lx - 10, ly);
        cairo_line_to(cr, lx + 10, ly);
      }
      cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
  }
  // The errors, joined, each point marked and labelled with its error.
  for (const Series& s : series) {
    Colour(cr, s.colour);
    cairo_set_line_width(cr, 1.3);
    for (size_t i = 0; i < s.points.size(); ++i) {
      const double lx = px(s.points[i].flow), ly = py(s.points[i].error);
      i == 0 ? cairo_move_to(cr, lx, ly) : cairo_line_to(cr, lx, ly);
    }
    cairo_stroke(cr);
  }
  cairo_reset_clip(cr);
  for (const Series& s : series) {
    for (const CurvePoint& p : s.points) {
      const double lx = px(p.flow), ly = py(p.error);
      const bool beyond = std::abs(p.error) > span;
      if (beyond) {  // off the scale: an arrow head on the edge, pointing out
        const double dir = p.error > 0 ? -1 : 1;
        cairo_move_to(cr, lx, ly + dir * 5);
        cairo_line_to(cr, lx - 4.5, ly - dir * 2);
        cairo_line_to(cr, lx + 4.5, ly - dir * 2);
        cairo_close_path(cr);
      } else {
        Marker(cr, lx, ly, s.squares, p.failed ? 3.4 : 2.8);
      }
      Colour(cr, p.failed ? kRed : s.colour);
      cairo_fill_preserve(cr);
      Colour(cr, kWhite);
      cairo_set_line_width(cr, 0.8);
      cairo_stroke(cr);
      if (p.failed) {
        Colour(cr, kRed);
        cairo_set_line_width(cr, 1);
        cairo_new_sub_path(cr);
        cairo_arc(cr, lx, ly, 6.5, 0, 2 * M_PI);
        cairo_stroke(cr);
      }
      const std::string label = FormatFixed(p.error, shown::kPercent);
      const Style ls{6.5, p.failed, p.failed ? kRed : s.colour, Align::kCentre};
      const double lh = wr.Measure(label, ls).second;
      const double off = p.failed ? 8 : 5;  // clear of the ring
      const bool above = p.error >= 0 ? ly - off - lh > top : ly + off + lh > bottom;
      wr.Draw(label, lx - 20, above ? ly - off - lh : ly + off, 40, ls);
    }
  }
  cairo_restore(cr);

  // Legend: each window's line (when there are two), the band, the mark.
  double lx = left;
  const double ly = bottom + 29;
  const Style ls{6.8, false, kMuted};
  const auto text = [&](const std::string& t) {
    wr.Draw(t, lx, ly - wr.Measure(t, ls).second / 2, 0, ls);
    lx += wr.Measure(t, ls).first + 12;
  };
  for (const Series& s : series) {
    if (series.size() < 2 && !s.points.empty()) {
      Line(cr, lx, ly, lx + 14, ly, 1.3, s.colour);
      Marker(cr, lx + 7, ly, s.squares, 2.6);
      Colour(cr, s.colour);
      cairo_fill(cr);
      lx += 18;
      text(Say(english, kErrorLegend));
      continue;
    }
    Line(cr, lx, ly, lx + 14, ly, 1.3, s.colour);
    Marker(cr, lx + 7, ly, s.squares, 2.6);
    Colour(cr, s.colour);
    cairo_fill(cr);
    lx += 18;
    text(s.name);
  }
  Fill(cr, lx, ly - 4, 14, 8, kEnvelope);
  const double dashes[] = {4, 2.5};
  cairo_set_dash(cr, dashes, 2, 0);
  Line(cr, lx, ly - 4, lx + 14, ly - 4, 0.9, kRed);
  cairo_set_dash(cr, nullptr, 0, 0);
  lx += 18;
  text(Say(english, kLimitLegend));
  Marker(cr, lx + 5, ly, false, 3);
  Colour(cr, kRed);
  cairo_fill(cr);
  cairo_set_line_width(cr, 1);
  cairo_new_sub_path(cr);
  cairo_arc(cr, lx + 5, ly, 6, 0, 2 * M_PI);
  cairo_stroke(cr);
  lx += 15;
  text(Say(english, kFailedLegend));
}

bool HasCurve(const VerificationRecord& record, CurveKind kind) {
  return std::any_of(record.Points.begin(), record.Points.end(), [&](const RecordPoint& p) {
    return (kind == CurveKind::kVolume ? p.Reading.VolumeError : p.Reading.HeatError) &&
           p.Reading.Flow > 0;
  });
}

CurvePicture DrawCurvePicture(const VerificationRecord& record, CurveKind kind, bool english,
                              int width, int height, double scale) {
  CurvePicture picture;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  Fill(cr, 0, 0, width, height, kWhite);
  // Drawn as on the page, `scale` pixels a point.
  const double design_width = width / scale;
  cairo_scale(cr, scale, scale);
  {
    Writer w(cr);
    DrawCurve(w, record, kind, english, 6, 6, design_width - 12, height / scale - 8);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  picture.width = cairo_image_surface_get_width(surface);
  picture.height = cairo_image_surface_get_height(surface);
  picture.stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  if (data) picture.pixels.assign(data, data + picture.stride * picture.height);
  cairo_surface_destroy(surface);
  return picture;
}

}  // namespace qv
