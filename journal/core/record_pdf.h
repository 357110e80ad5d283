// Verification records drawn with cairo and pango, with no window system:
// the A4 pages of a record as PDF (fonts embedded as subsets, text that a
// reader can select and search) and its error curves, which a window can
// show as pictures. The program and the command-line tool draw records
// with this one code, so a record of the same journal is the same file
// whichever made it.
#pragma once

#include <string>
#include <vector>

#include "journal/core/verification_record.h"

namespace qv {

// Which errors a curve shows.
enum class CurveKind { kVolume, kHeat };

// Whether the record has a curve of `kind`: a point with that error.
bool HasCurve(const VerificationRecord& record, CurveKind kind);

// Writes `record` (with at least one point) to `path` as PDF, in English
// or Chinese; false when the file cannot be written.
bool WriteRecordPdf(const VerificationRecord& record, bool english, const std::string& path);

// The error curve of `kind` as a picture `width` x `height` pixels, drawn
// as on the page at `scale` pixels a point: 32-bit premultiplied ARGB in
// the machine's byte order, rows `stride` bytes apart.
struct CurvePicture {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<unsigned char> pixels;
};
CurvePicture DrawCurvePicture(const VerificationRecord& record, CurveKind kind, bool english,
                              int width, int height, double scale);

}  // namespace qv
