// The results database itself (SQLite, write-ahead log): its schema with a
// version table for later migrations, the inserts the journal's writer
// makes, and the queries the history window and the command line run, with
// their CSV and JSON forms. Nothing here runs on the user-interface thread
// unasked: the journal's writer owns the writing connection, and a query
// opens its own read-only connection, which the write-ahead log lets read
// while the writer writes.
#pragma once

#include <string>
#include <vector>

#include "core/journal_records.h"

struct sqlite3;

namespace qv {

// The schema this program writes and reads.
inline constexpr int kJournalSchemaVersion = 2;

// The journal in the folder that holds the program's files (`DataFolder()`).
std::string JournalPath(const std::string& data_folder);

// A writing connection: opened, in WAL mode, schema made, or brought up to
// this program's version step by step, or checked.
class JournalStore {
 public:
  JournalStore() = default;
  ~JournalStore();
  JournalStore(const JournalStore&) = delete;
  JournalStore& operator=(const JournalStore&) = delete;

  // False with `error` set when the file cannot be opened or written, or
  // holds a schema newer than this program's.
  bool Open(const std::string& path, std::string& error);
  // One transaction: every record or none.
  bool Write(const std::vector<ReadingRecord>& readings, const std::vector<WriteRecord>& writes,
             std::string& error);

 private:
  bool Exec(const char* sql, std::string& error);
  sqlite3* db_ = nullptr;
};

// Which readings a list shows.
struct ReadingFilter {
  std::string Address;  // part of the meter address; empty: any
  std::string Since;    // first day "yyyy-MM-dd", inclusive; empty: no bound
  std::string Until;    // last day "yyyy-MM-dd", inclusive; empty: no bound
  std::string Verdict;  // kVerdictPass, kVerdictFail; empty: any
};

// The readings of the journal at `path` that pass `filter`, newest first.
// A journal that does not exist yet has none; `error` is set (and nothing
// returned) when it cannot be read.
std::vector<ReadingRecord> QueryReadings(const std::string& path, const ReadingFilter& filter,
                                         std::string& error);
// Every write to the meter at `address` (exactly), newest first.
std::vector<WriteRecord> QueryWrites(const std::string& path, const std::string& address,
                                     std::string& error);

// The readings as CSV (a heading line, then one line per reading, numbers
// at their shown precision, RFC 4180 quoting) and as a JSON array of
// objects with the same keys.
std::string ReadingsCsv(const std::vector<ReadingRecord>& readings);
std::string ReadingsJson(const std::vector<ReadingRecord>& readings);

// The CSV columns, in order; the JSON keys.
std::vector<std::string> ReadingColumns();
// The text of column `column` (of ReadingColumns) of `r`; empty for no value.
std::string ReadingField(const ReadingRecord& r, size_t column);

}  // namespace qv
