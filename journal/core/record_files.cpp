#include "journal/core/record_files.h"

#include <functional>

#include "core/ini_file.h"
#include "core/new_file.h"
#include "journal/core/record_pdf.h"

namespace qv {
namespace {

// Reads the meter's readings and, when there are any, saves the record
// through `save`, which returns the path or throws FileWriteError.
RecordOutcome Make(const std::string& journal, const std::string& address, bool english,
                   const std::function<std::string(const FileWriter&)>& save) {
  RecordOutcome out;
  const VerificationRecord record =
      BuildVerificationRecord(address, MeterReadings(journal, address, out.error));
  if (!out.error.empty()) {
    out.result = RecordOutcome::kUnreadable;
    return out;
  }
  if (record.Points.empty()) {
    out.result = RecordOutcome::kNoReadings;
    return out;
  }
  try {
    out.path = save([&](const std::string& tmp) { return WriteRecordPdf(record, english, tmp); });
  } catch (const FileWriteError& e) {
    out.result = RecordOutcome::kUnwritable;
    out.path = e.Path();
  }
  return out;
}

}  // namespace

std::string RecordFolder(const std::string& data_folder) {
  return data_folder + "certificates/";
}

std::string RecordStem(const std::string& address) {
  std::string stem = address;
  for (char& c : stem) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return stem.empty() ? "_" : stem;
}

RecordOutcome SaveRecord(const std::string& journal, const std::string& address, bool english,
                         const std::string& folder, const std::tm& when) {
  return Make(journal, address, english, [&](const FileWriter& write) {
    return SaveNewFile(folder, RecordStem(address), ".pdf", when, write);
  });
}

RecordOutcome SaveRecordAs(const std::string& journal, const std::string& address, bool english,
                           const std::string& path) {
  return Make(journal, address, english, [&](const FileWriter& write) {
    ReplaceFile(path, write);
    return path;
  });
}

}  // namespace qv
