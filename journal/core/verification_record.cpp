#include "journal/core/verification_record.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "journal/core/journal_store.h"

namespace qv {
namespace {

bool ErrorFailed(const ReadingRecord& r, std::optional<double> error, std::optional<double> limit) {
  if (r.Verdict != kVerdictFail || !error) return false;
  const std::optional<double> e = Shown(error, shown::kPercent);
  const std::optional<double> l = Shown(limit, shown::kPercent);
  return !l || std::abs(*e) >= std::abs(*l);
}

// Newer first: by time, then by the order the journal took them.
bool Newer(const ReadingRecord& a, const ReadingRecord& b) {
  return std::tie(a.Time, a.Id) > std::tie(b.Time, b.Id);
}

}  // namespace

bool VolumeFailed(const ReadingRecord& r) {
  return ErrorFailed(r, r.VolumeError, r.VolumeLimit);
}

bool HeatFailed(const ReadingRecord& r) {
  return ErrorFailed(r, r.HeatError, r.HeatLimit);
}

int VerificationRecord::Failed() const {
  return static_cast<int>(std::count_if(Points.begin(), Points.end(), [](const RecordPoint& p) {
    return p.Reading.Verdict == kVerdictFail;
  }));
}

bool VerificationRecord::HasHeat() const {
  return std::any_of(Points.begin(), Points.end(),
                     [](const RecordPoint& p) { return p.Reading.HeatError.has_value(); });
}

bool VerificationRecord::BothWindows() const {
  return std::any_of(Points.begin(), Points.end(),
                     [](const RecordPoint& p) { return p.Reading.Window == kOverallWindow; }) &&
         std::any_of(Points.begin(), Points.end(),
                     [](const RecordPoint& p) { return p.Reading.Window != kOverallWindow; });
}

const ReadingRecord& VerificationRecord::Newest() const {
  return std::min_element(
             Points.begin(), Points.end(),
             [](const RecordPoint& a, const RecordPoint& b) { return Newer(a.Reading, b.Reading); })
      ->Reading;
}

std::vector<std::string> VerificationRecord::Distinct(
    const std::function<std::string(const ReadingRecord&)>& text) const {
  std::vector<std::string> out;
  for (const RecordPoint& p : Points) {
    std::string t = text(p.Reading);
    if (!t.empty() && std::find(out.begin(), out.end(), t) == out.end())
      out.push_back(std::move(t));
  }
  return out;
}

VerificationRecord BuildVerificationRecord(const std::string& address,
                                           const std::vector<ReadingRecord>& readings) {
  VerificationRecord record;
  record.Address = address;
  // (the flow detection first, flow point) -> the point
  std::map<std::pair<bool, int>, RecordPoint> points;
  for (const ReadingRecord& r : readings) {
    if (r.Address != address || r.FlowPoint < 1 || r.FlowPoint > 5) continue;
    const auto [at, added] =
        points.try_emplace({r.Window == kOverallWindow, r.FlowPoint}, RecordPoint{r});
    if (added) continue;
    ++at->second.Taken;
    if (Newer(r, at->second.Reading)) at->second.Reading = r;
  }
  bool all_pass = true;
  for (auto& [key, p] : points) {
    p.VolumeFailed = VolumeFailed(p.Reading);
    p.HeatFailed = HeatFailed(p.Reading);
    all_pass = all_pass && p.Reading.Verdict == kVerdictPass;
    record.Points.push_back(std::move(p));
  }
  if (record.Failed() > 0) {
    record.Verdict = kVerdictFail;
  } else if (all_pass && !record.Points.empty()) {
    record.Verdict = kVerdictPass;
  }
  return record;
}

std::vector<ReadingRecord> MeterReadings(const std::string& journal, const std::string& address,
                                         std::string& error) {
  ReadingFilter only;
  only.Address = address;
  // Current records only: a reading corrected after it was recorded counts
  // once, as it stands now.
  std::vector<ReadingRecord> readings = QueryReadings(journal, only, error);
  // The filter takes a part of the address: keep this meter's alone.
  std::erase_if(readings, [&](const ReadingRecord& r) { return r.Address != address; });
  return readings;
}

}  // namespace qv
