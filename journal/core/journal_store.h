// The results database itself (SQLite, write-ahead log): its schema with a
// version table for later migrations, the inserts the journal's writer
// makes, and the queries the history window and the command line run, with
// their CSV and JSON forms. Nothing here runs on the user-interface thread
// unasked: the journal's writer owns the writing connection, and a query
// opens its own read-only connection, which the write-ahead log lets read
// while the writer writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/journal_records.h"

struct sqlite3;

namespace qv {

// The schema this program writes and reads: version 1 and the steps that
// followed it, each applied in order when a journal is opened for writing
// (journal_store.cpp). Version 2 adds the record a reading supersedes and
// the table of meters that finds an address part without reading every
// record; version 3 what the factory server has acknowledged
// (JournalOutbox); version 4 the bench, the meter type and the bench
// temperatures a verification record shows; version 5 where each reading's
// weighing came from.
inline constexpr int kJournalSchemaVersion = 5;

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

// The id of the newest reading in the journal at `path`; 0 when there is
// none (or no journal).
int64_t LastReadingId(const std::string& path);

// Where a page of readings goes on from: below the reading at `Time`, `Id`
// in the list's order (newest first).
struct PageKey {
  std::string Time;
  int64_t Id = 0;
};

// A read-only connection to a journal for a list that shows it page by
// page. Only current readings are listed (those no other record
// supersedes). A page whose filter names an address part reads the meters
// whose address holds it, newest first, and only as many of their readings
// as the page can show, so the first page of any filter comes without
// reading the whole journal.
class JournalReader {
 public:
  JournalReader() = default;
  ~JournalReader();
  JournalReader(const JournalReader&) = delete;
  JournalReader& operator=(const JournalReader&) = delete;

  // A journal that does not exist yet opens as an empty one; false (with
  // `error` set) when it cannot be read.
  bool Open(const std::string& path, std::string& error);
  // At most `limit` (0: all) readings passing `filter` after `after`
  // (none: from the newest), newest first.
  std::vector<ReadingRecord> Page(const ReadingFilter& filter, const std::optional<PageKey>& after,
                                  size_t limit, std::string& error);
  // How many readings pass `filter`; nothing when it failed or was
  // interrupted.
  std::optional<int64_t> Count(const ReadingFilter& filter, std::string& error);
  // Makes the query running on another thread return at once (with an
  // error); safe from any thread while the reader is open.
  void Interrupt();

 private:
  sqlite3* db_ = nullptr;
  bool versioned_ = true;  // version 2 or later
  std::string select_;     // the select list of a reading, as this journal has it
};

// The LIKE pattern (with backslash as its escape character) that finds
// `part` anywhere in an address: "%" and "_" typed in it match themselves.
std::string AddressPattern(const std::string& part);

// The readings of the journal at `path` that pass `filter`, newest first:
// the current record of each. A journal that does not exist yet has none;
// `error` is set (and nothing returned) when it cannot be read.
std::vector<ReadingRecord> QueryReadings(const std::string& path, const ReadingFilter& filter,
                                         std::string& error);
// Every write to the meter at `address` (exactly), newest first.
std::vector<WriteRecord> QueryWrites(const std::string& path, const std::string& address,
                                     std::string& error);

// The readings as CSV (a heading line, then one line per reading, numbers
// at their shown precision, RFC 4180 quoting) and as a JSON array of
// objects with the same keys. With `benches` (readings listed from the
// factory server), a first column "bench" holds each reading's bench.
std::string ReadingsCsv(const std::vector<ReadingRecord>& readings,
                        const std::vector<std::string>* benches = nullptr);
std::string ReadingsJson(const std::vector<ReadingRecord>& readings,
                         const std::vector<std::string>* benches = nullptr);

// The CSV columns, in order; the JSON keys.
std::vector<std::string> ReadingColumns();
// The text of column `column` (of ReadingColumns) of `r`; empty for no value.
std::string ReadingField(const ReadingRecord& r, size_t column);

// The journal as the outbox of the factory server: which records the server
// has acknowledged (the marks: every reading and every write up to an id),
// what waits after them, in the order it was recorded, and the journal's
// own identity. Its connection writes only the marks; it may be open while
// the program's writer writes.
class JournalOutbox {
 public:
  struct Marks {
    int64_t Readings = 0;
    int64_t Writes = 0;
    bool operator==(const Marks&) const = default;
  };
  struct Batch {
    std::vector<ReadingRecord> Readings;
    std::vector<WriteRecord> Writes;
    size_t Size() const { return Readings.size() + Writes.size(); }
  };

  JournalOutbox() = default;
  ~JournalOutbox();
  JournalOutbox(const JournalOutbox&) = delete;
  JournalOutbox& operator=(const JournalOutbox&) = delete;

  // Opens the journal at `path` (made or upgraded as the writer would);
  // false with `error` set when it cannot.
  bool Open(const std::string& path, std::string& error);
  const std::string& JournalId() const { return journal_id_; }
  bool ReadMarks(Marks& marks, std::string& error);
  bool WriteMarks(const Marks& marks, std::string& error);
  // Records up to the marks, and after them; `sent` only when asked (it
  // counts the whole journal, `waiting` only what follows the marks).
  bool Count(const Marks& marks, uint64_t* sent, uint64_t& waiting, std::string& error);
  // The last reading and write id of the journal.
  bool LastIds(Marks& last, std::string& error);
  // Up to `limit` readings and `limit` writes after the marks, oldest first.
  bool Next(const Marks& marks, size_t limit, Batch& batch, std::string& error);

 private:
  sqlite3* db_ = nullptr;
  std::string journal_id_;
};

}  // namespace qv
