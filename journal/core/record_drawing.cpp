#include "journal/core/record_drawing.h"

namespace qv::drawing {
namespace {

// Latin letters and figures in DejaVu Sans, Chinese in Noto Sans CJK. (Noto
// CJK has Latin letters too, but cairo's subset of that font grows to most
// of a megabyte when it holds some Latin capitals beside Chinese.)
constexpr const char* kFamily = "DejaVu Sans, Noto Sans CJK SC";

}  // namespace

void Colour(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void Line(cairo_t* cr, double x0, double y0, double x1, double y1, double width, Rgb c) {
  Colour(cr, c);
  cairo_set_line_width(cr, width);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_stroke(cr);
}

void Fill(cairo_t* cr, double x, double y, double w, double h, Rgb c) {
  Colour(cr, c);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

Writer::Writer(cairo_t* cr) : cr_(cr), context_(pango_cairo_create_context(cr)) {
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
}

Writer::~Writer() {
  g_object_unref(context_);
}

std::pair<double, double> Writer::Measure(const std::string& text, const Style& s, double width) {
  const Layout l = Make(text, s, width);
  int w = 0, h = 0;
  pango_layout_get_size(l.get(), &w, &h);
  return {static_cast<double>(w) / PANGO_SCALE, static_cast<double>(h) / PANGO_SCALE};
}

double Writer::Draw(const std::string& text, double x, double y, double width, const Style& s) {
  const Layout l = Make(text, s, width);
  int w = 0, h = 0;
  pango_layout_get_size(l.get(), &w, &h);
  Colour(cr_, s.colour);
  cairo_move_to(cr_, x, y);
  pango_cairo_show_layout(cr_, l.get());
  return static_cast<double>(h) / PANGO_SCALE;
}

void Writer::DrawMiddle(const std::string& text, double x, double y, double width, double h,
                        const Style& s) {
  Draw(text, x, y + (h - Measure(text, s, width).second) / 2, width, s);
}

Writer::Layout Writer::Make(const std::string& text, const Style& s, double width) {
  pango_cairo_update_context(cr_, context_);
  Layout l(pango_layout_new(context_), &g_object_unref);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, kFamily);
  pango_font_description_set_weight(font, s.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(font, s.size * PANGO_SCALE);
  pango_layout_set_font_description(l.get(), font);
  pango_font_description_free(font);
  if (width > 0) {
    pango_layout_set_width(l.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(l.get(), PANGO_WRAP_WORD);
  }
  pango_layout_set_alignment(l.get(), s.align == Align::kCentre  ? PANGO_ALIGN_CENTER
                                      : s.align == Align::kRight ? PANGO_ALIGN_RIGHT
                                                                 : PANGO_ALIGN_LEFT);
  // No ligatures: "fi" stays two letters a reader finds in a search.
  PangoAttrList* attributes = pango_attr_list_new();
  pango_attr_list_insert(attributes, pango_attr_font_features_new("liga=0, clig=0"));
  pango_layout_set_attributes(l.get(), attributes);
  pango_attr_list_unref(attributes);
  pango_layout_set_text(l.get(), text.c_str(), static_cast<int>(text.size()));
  return l;
}

}  // namespace qv::drawing
