// The results journal where the build has no SQLite (the Windows build for
// now): the journal never opens, so the program runs without one, and a
// query reports that there is none. Records, CSV and JSON forms and the
// journal's path are the portable ones (journal_format.cpp).
#include "journal/core/journal.h"
#include "journal/core/journal_store.h"

namespace qv {
namespace {

constexpr const char* kNotAvailable = "the results journal is not available in this build";

}  // namespace

ResultJournal::ResultJournal() = default;
ResultJournal::~ResultJournal() = default;

void ResultJournal::Problem(JournalProblem kind, const std::string& detail) {
  if (reported_) return;
  reported_ = true;
  if (on_problem) on_problem(kind, detail);
}

bool ResultJournal::Open(const std::string& path) {
  path_ = path;
  Problem(JournalProblem::kUnwritable, kNotAvailable);
  return false;
}

uint64_t ResultJournal::Record(ReadingRecord, int64_t* id) {
  if (id) *id = 0;
  return 0;
}

uint64_t ResultJournal::Record(WriteRecord) {
  return 0;
}

uint64_t ResultJournal::Taken() const {
  return 0;
}

uint64_t ResultJournal::Acknowledged() const {
  return 0;
}

bool ResultJournal::WaitAcknowledged(uint64_t, std::chrono::milliseconds) {
  return false;
}

bool ResultJournal::Stopped() const {
  return true;
}

uint64_t ResultJournal::Lost() const {
  return 0;
}

JournalStore::~JournalStore() = default;

bool JournalStore::Open(const std::string&, std::string& error) {
  error = kNotAvailable;
  return false;
}

bool JournalStore::Write(const std::vector<ReadingRecord>&, const std::vector<WriteRecord>&,
                         std::string& error) {
  error = kNotAvailable;
  return false;
}

int64_t LastReadingId(const std::string&) {
  return 0;
}

JournalReader::~JournalReader() = default;

bool JournalReader::Open(const std::string&, std::string& error) {
  error = kNotAvailable;
  return false;
}

std::vector<ReadingRecord> JournalReader::Page(const ReadingFilter&, const std::optional<PageKey>&,
                                               size_t, std::string& error) {
  error = kNotAvailable;
  return {};
}

std::optional<int64_t> JournalReader::Count(const ReadingFilter&, std::string& error) {
  error = kNotAvailable;
  return std::nullopt;
}

void JournalReader::Interrupt() {}

std::vector<ReadingRecord> QueryReadings(const std::string&, const ReadingFilter&,
                                         std::string& error) {
  error = kNotAvailable;
  return {};
}

std::vector<WriteRecord> QueryWrites(const std::string&, const std::string&, std::string& error) {
  error = kNotAvailable;
  return {};
}

}  // namespace qv
