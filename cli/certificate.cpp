// `certificate`: verification records made from the results journal, the
// same files the results window makes (journal/core/record_files.h).
#include <filesystem>

#include "cli/subcommands.h"
#include "core/settings_files.h"
#include "journal/core/journal_store.h"
#include "journal/core/record_files.h"

namespace qv::cli {

Outcome Certificate(const Context& c, MeterSession*) {
  if (!c.address.empty() || !c.since.empty() || !c.until.empty() || c.csv || !c.server.empty() ||
      !c.bench.empty()) {
    return {Exit::kBadArgument, {}, "a record is made from the journal in --data-dir alone"};
  }
  if (!c.outFile.empty() && !c.outDir.empty()) {
    return {Exit::kBadArgument, {}, "-o or --out-dir, not both"};
  }
  if (!c.outFile.empty() && c.args.size() > 1) {
    return {Exit::kBadArgument, {}, "-o FILE takes one ADDRESS (see --out-dir)"};
  }
  const std::string folder = DataFolder(c);
  const std::string journal = JournalPath(folder);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(journal, ec)) {
    return {Exit::kNoJournal, {}, "no results journal at " + journal + " (see --data-dir)"};
  }
  bool english = c.language == "en";
  if (c.language.empty()) {
    // The program's language, as the settings beside the journal hold it.
    SystemSettings settings;
    ReadSysInfo(IniFile::Load(folder + "sysinfo.ini"), settings);
    english = settings.English();
  }
  const std::string out_dir = c.outDir.empty()          ? RecordFolder(folder)
                              : c.outDir.ends_with('/') ? c.outDir
                                                        : c.outDir + "/";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);

  Outcome o;
  std::string missing;
  for (const std::string& address : c.args) {
    const RecordOutcome r = c.outFile.empty()
                                ? SaveRecord(journal, address, english, out_dir, local)
                                : SaveRecordAs(journal, address, english, c.outFile);
    switch (r.result) {
      case RecordOutcome::kSaved:
        o.report.push_back({address, r.path, JsonString(r.path)});
        break;
      case RecordOutcome::kNoReadings:
        o.report.push_back({address, "-", "null"});
        missing += (missing.empty() ? "" : ", ") + address;
        break;
      case RecordOutcome::kUnreadable:
        o.status = Exit::kNoJournal;
        o.error = journal + ": " + r.error;
        return o;
      case RecordOutcome::kUnwritable:
        o.status = Exit::kUnwritable;
        o.error = "Unable to write to " + r.path;
        return o;
    }
  }
  if (!missing.empty()) {
    o.status = Exit::kNoReadings;
    o.error = "no readings of meter " + missing + " in " + journal + ": no record made";
  }
  return o;
}

}  // namespace qv::cli
