// The drawing the verification records share (journal/core/record_pdf.h,
// journal/core/error_curve.h): texts in both languages, the colours, and
// text set by pango on a cairo context. Only the records' own code uses it.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <array>
#include <memory>
#include <string>
#include <utility>

namespace qv::drawing {

// A text in Chinese and in English.
struct Words {
  const char* zh;
  const char* en;
};

inline std::string Say(bool english, Words w) {
  return english ? w.en : w.zh;
}

// What a missing value shows.
inline constexpr const char* kNone = "—";

inline constexpr Words kFlowWindowName = {"流量检测", "Flow detection"};
inline constexpr Words kOverallWindowName = {"总体检测", "Overall detection"};

struct Rgb {
  double r, g, b;
};
inline constexpr Rgb kInk{0.10, 0.10, 0.11};
inline constexpr Rgb kMuted{0.38, 0.40, 0.43};
inline constexpr Rgb kRule{0.62, 0.65, 0.68};
inline constexpr Rgb kBand{0.925, 0.937, 0.953};
inline constexpr Rgb kZebra{0.973, 0.976, 0.980};
inline constexpr Rgb kGreen{0.10, 0.47, 0.20};
inline constexpr Rgb kRed{0.78, 0.13, 0.11};
inline constexpr Rgb kGrid{0.88, 0.89, 0.90};
inline constexpr Rgb kWhite{1, 1, 1};
// The error line of each window's points, and the permitted band.
inline constexpr std::array<Rgb, 2> kSeries = {{{0.11, 0.30, 0.60}, {0.00, 0.45, 0.44}}};
inline constexpr Rgb kEnvelope{0.88, 0.94, 0.88};

void Colour(cairo_t* cr, Rgb c);
void Line(cairo_t* cr, double x0, double y0, double x1, double y1, double width, Rgb c);
void Fill(cairo_t* cr, double x, double y, double w, double h, Rgb c);

enum class Align { kLeft, kCentre, kRight };

struct Style {
  double size = 8.5;  // points
  bool bold = false;
  Rgb colour = kInk;
  Align align = Align::kLeft;
};

// Text set by pango on a cairo context, sizes in the context's units
// (points on a page). Metrics are not hinted, so a record's text is laid
// out the same on paper and on screen.
class Writer {
 public:
  explicit Writer(cairo_t* cr);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  cairo_t* cr() const { return cr_; }

  // The text's width and height, wrapped at `width` when it is above 0.
  std::pair<double, double> Measure(const std::string& text, const Style& s, double width = 0);
  // Draws the text with the top left of its box of `width` (0: as wide as
  // the text) at (x, y); its height.
  double Draw(const std::string& text, double x, double y, double width, const Style& s);
  // Draws the text centred on the height `h` of a box at (x, y).
  void DrawMiddle(const std::string& text, double x, double y, double width, double h,
                  const Style& s);

 private:
  using Layout = std::unique_ptr<PangoLayout, decltype(&g_object_unref)>;
  Layout Make(const std::string& text, const Style& s, double width);

  cairo_t* cr_;
  PangoContext* context_;
};

}  // namespace qv::drawing
