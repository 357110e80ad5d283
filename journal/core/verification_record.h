// A meter's verification record as content, made from the results journal
// alone (never from a window), so that it can be made again later for any
// meter in it: for each flow point of each detection window the newest
// reading and how many were taken (current records only), which errors are
// beyond their limits, and the overall verdict. The bench, the meter and the conditions are
// those the chosen readings were taken under.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/journal_records.h"

namespace qv {

// One flow point of the record.
struct RecordPoint {
  ReadingRecord Reading;  // the newest reading of the point
  // How many readings of the point the journal holds: its current records
  // only. A superseded record is the same reading corrected (weighed later,
  // a temperature or the class changed), not another one taken.
  int Taken = 1;
  bool VolumeFailed = false;  // its volume error is beyond its limit (marked)
  bool HeatFailed = false;    // its heat error is beyond its limit (marked)
};

struct VerificationRecord {
  std::string Address;
  // The flow detection's points, then the overall detection's, each in the
  // order of their flow point number.
  std::vector<RecordPoint> Points;
  // kVerdictPass when every point passed, kVerdictFail when one failed,
  // empty when no point failed but one has no verdict.
  std::string Verdict;

  // Points that failed.
  int Failed() const;
  // A point holds a heat error (the overall detection's).
  bool HasHeat() const;
  // Points come from both detection windows.
  bool BothWindows() const;
  // The newest of the chosen readings (there must be one).
  const ReadingRecord& Newest() const;
  // The different non-empty texts `text` gives over the points, in the
  // order of the points.
  std::vector<std::string> Distinct(
      const std::function<std::string(const ReadingRecord&)>& text) const;
};

// The record of the meter at `address` from its readings (in any order;
// other meters' readings are left out). A reading whose flow point is not
// 1..5 belongs to no point. No point at all: the meter has no readings.
VerificationRecord BuildVerificationRecord(const std::string& address,
                                           const std::vector<ReadingRecord>& readings);

// Whether a reading failed on its volume (heat) error: it failed, and that
// error as shown is not within its limit as shown (a shown error equal to
// the limit was beyond it before rounding); a failed reading's error with
// no limit counts as failed.
bool VolumeFailed(const ReadingRecord& r);
bool HeatFailed(const ReadingRecord& r);

// The readings of the meter at `address` (exactly) in the journal at
// `journal`, newest first, the current record of each (a superseded record
// is left out: the record that supersedes it is the same reading as it
// stands now); `error` is set when the journal cannot be read.
std::vector<ReadingRecord> MeterReadings(const std::string& journal, const std::string& address,
                                         std::string& error);

}  // namespace qv
