// The factory server where the build has no PostgreSQL client (the Windows
// build for now): nothing is sent or listed, and every call says so.
#include "journal/core/factory_upload.h"

namespace qv {
namespace {

constexpr const char* kNotAvailable = "the factory server is not available in this build";

}  // namespace

std::string FactoryUnavailable() {
  return kNotAvailable;
}

FactoryOutcome UploadWaiting(const std::string&, const FactoryTarget&, UploadStatus& status,
                             uint64_t& sent) {
  status = {0, 0, FactoryOutcome::kUnavailable, kNotAvailable};
  sent = 0;
  return FactoryOutcome::kUnavailable;
}

FactoryOutcome QueryServerReadings(const std::string&, const ReadingFilter&, const std::string&,
                                   std::vector<ReadingRecord>& readings,
                                   std::vector<std::string>& benches, std::string& error) {
  readings.clear();
  benches.clear();
  error = kNotAvailable;
  return FactoryOutcome::kUnavailable;
}

}  // namespace qv
