// Verification records drawn with cairo and pango, with no window system:
// the A4 pages of a record as PDF, fonts embedded as subsets and text that
// a reader can select and search. The program and the command-line tool
// draw records with this one code, so a record of the same journal is the
// same file whichever made it.
#pragma once

#include <string>

#include "journal/core/verification_record.h"

namespace qv {

// Writes `record` (with at least one point) to `path` as PDF, in English
// or Chinese; false when the file cannot be written.
bool WriteRecordPdf(const VerificationRecord& record, bool english, const std::string& path);

}  // namespace qv
