// A meter's error curve: its errors against the flow rate on a logarithmic
// axis, each detection window's points joined, the ± limits of the points
// as the permitted band, the failed points ringed in red. The record's page
// and the meter history's picture are drawn by this one code.
#pragma once

#include <vector>

#include "journal/core/verification_record.h"

namespace qv {

namespace drawing {
class Writer;
}

// Which errors a curve shows.
enum class CurveKind { kVolume, kHeat };

// Whether the record has a curve of `kind`: a point with that error.
bool HasCurve(const VerificationRecord& record, CurveKind kind);

// Draws the curve of `kind` with its title and legend into the box (x, y,
// w, h) of the writer's page.
void DrawCurve(drawing::Writer& wr, const VerificationRecord& record, CurveKind kind, bool english,
               double x, double y, double w, double h);

// The curve of `kind` as a picture `width` x `height` pixels, drawn as on
// the page at `scale` pixels a point: 32-bit premultiplied ARGB in the
// machine's byte order, rows `stride` bytes apart.
struct CurvePicture {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<unsigned char> pixels;
};
CurvePicture DrawCurvePicture(const VerificationRecord& record, CurveKind kind, bool english,
                              int width, int height, double scale);

}  // namespace qv
