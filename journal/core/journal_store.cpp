#include "journal/core/journal_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>

namespace qv {

namespace {

// Times are local "yyyy-MM-dd hh:mm:ss"; numbers are REAL at the precision
// the window showed them; a missing value is NULL. The tables of version 1;
// the later versions are the steps of kMigrations.
constexpr const char* kTables = R"(
CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS readings (
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  window TEXT NOT NULL,
  tester TEXT NOT NULL,
  dn INTEGER, level INTEGER, location INTEGER,
  standard_error REAL, error_correction REAL,
  address TEXT NOT NULL,
  row INTEGER, flow_point INTEGER, flow INTEGER,
  standard_volume REAL, reference_heat REAL,
  meter_volume REAL, meter_heat REAL,
  volume_error REAL, volume_limit REAL,
  heat_error REAL, heat_limit REAL,
  verdict TEXT NOT NULL,
  inlet REAL, outlet REAL,
  coef1 INTEGER, coef2 INTEGER, coef3 INTEGER, coef4 INTEGER, coef5 INTEGER);
CREATE TABLE IF NOT EXISTS writes (
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  tester TEXT NOT NULL,
  address TEXT NOT NULL,
  row INTEGER,
  what TEXT NOT NULL,
  value TEXT NOT NULL,
  before TEXT,
  confirmed INTEGER NOT NULL);
)";

constexpr const char* kIndexes = R"(
CREATE INDEX IF NOT EXISTS readings_time ON readings (time);
CREATE INDEX IF NOT EXISTS readings_address_time ON readings (address, time);
CREATE INDEX IF NOT EXISTS readings_supersedes ON readings (supersedes)
  WHERE supersedes IS NOT NULL;
CREATE INDEX IF NOT EXISTS meters_last ON meters (last);
CREATE INDEX IF NOT EXISTS writes_address ON writes (address);
)";

// Each step takes a journal from the version before it to its own; a
// journal is brought up to date, step by step in order, when the writer
// opens it, a new one from version 1 like any other. Steps only add: an
// older program's records stay as they were, and what they lack reads as
// NULL.
struct Migration {
  int version;
  const char* sql;
};
constexpr Migration kMigrations[] = {
    // Records are only ever added: `supersedes` names the reading a record
    // replaces. `meters` holds each address once with its number of
    // readings and the time of its newest, so that a part of an address is
    // looked for among the meters, not among all their readings.
    {2, R"(
ALTER TABLE readings ADD COLUMN supersedes INTEGER;
CREATE TABLE meters (
  address TEXT PRIMARY KEY,
  readings INTEGER NOT NULL,
  last TEXT NOT NULL) WITHOUT ROWID;
INSERT INTO meters (address, readings, last)
  SELECT address, count(*), max(time) FROM readings GROUP BY address;
DROP INDEX IF EXISTS readings_address;
)"},
    // What the factory server has acknowledged. One row: the journal's own
    // identity (random, so that a journal made anew under a bench name the
    // server knows is told apart from the one it replaces) and the last
    // reading and write id the server holds.
    {3, R"(
CREATE TABLE upload_state (
  journal_id TEXT NOT NULL,
  readings_sent INTEGER NOT NULL,
  writes_sent INTEGER NOT NULL);
INSERT INTO upload_state VALUES (lower(hex(randomblob(16))), 0, 0);
)"},
    // The bench, the meter type and the bench temperatures of each reading,
    // for the verification record.
    {4, R"(
ALTER TABLE readings ADD COLUMN bench_name TEXT;
ALTER TABLE readings ADD COLUMN bench_reference TEXT;
ALTER TABLE readings ADD COLUMN calibration_due TEXT;
ALTER TABLE readings ADD COLUMN meter_type INTEGER;
ALTER TABLE readings ADD COLUMN fluid REAL;
ALTER TABLE readings ADD COLUMN bench_inlet REAL;
ALTER TABLE readings ADD COLUMN bench_outlet REAL;
)"},
    // Where each reading's weighing came from: read from the scale, typed,
    // or both (journal_records.h).
    {5, R"(
ALTER TABLE readings ADD COLUMN weighing TEXT;
)"},
};
// One step to each version after the first, in order, up to this program's.
constexpr bool StepsInOrder() {
  for (size_t i = 0; i < std::size(kMigrations); ++i) {
    if (kMigrations[i].version != static_cast<int>(i) + 2) return false;
  }
  return std::size(kMigrations) == kJournalSchemaVersion - 1;
}
static_assert(StepsInOrder());

// The columns of a reading, in the order ReadingAt takes them.
// clang-format off
constexpr const char* kReadingColumns[] = {
    "id", "time", "window", "tester", "dn", "level", "location", "standard_error",
    "error_correction", "address", "row", "flow_point", "flow", "standard_volume",
    "reference_heat", "meter_volume", "meter_heat", "volume_error", "volume_limit", "heat_error",
    "heat_limit", "verdict", "inlet", "outlet", "coef1", "coef2", "coef3", "coef4", "coef5",
    "bench_name", "bench_reference", "calibration_due", "meter_type", "fluid", "bench_inlet",
    "bench_outlet", "weighing"};
// clang-format on

// How long a statement waits for the writer's lock before it gives up.
// The writer holds it for one commit, a few milliseconds.
constexpr int kBusyTimeoutMs = 2000;

std::string Message(sqlite3* db, const std::string& what) {
  return what + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
}

struct Statement {
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
  ~Statement() { sqlite3_finalize(s); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* s = nullptr;

  void Text(int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void Real(int i, std::optional<double> v) {
    v ? sqlite3_bind_double(s, i, *v) : sqlite3_bind_null(s, i);
  }
  void Int(int i, std::optional<int64_t> v) {
    v ? sqlite3_bind_int64(s, i, *v) : sqlite3_bind_null(s, i);
  }
  std::string TextAt(int i) const {
    const auto* t = sqlite3_column_text(s, i);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  std::optional<double> RealAt(int i) const {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_double(s, i);
  }
  std::optional<int64_t> IntAt(int i) const {
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(s, i);
  }
};

// Runs `sql`; false with `error` set (naming the statement) when it fails.
bool Run(sqlite3* db, const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = std::string(sql).substr(0, 40) + ": " + (message ? message : sqlite3_errmsg(db));
  sqlite3_free(message);
  return false;
}

// A writing connection to the journal at `path` in WAL mode, its schema made
// or brought up to this program's version in one transaction: an old
// journal is upgraded in place, nothing lost.
bool OpenWritable(const std::string& path, sqlite3*& db, std::string& error) {
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    error = Message(db, path);
    return false;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // WAL: readers (the history window, the command line) never block the
  // writer. FULL: a commit is on the disk before it is acknowledged.
  if (!Run(db, "PRAGMA journal_mode=WAL", error) || !Run(db, "PRAGMA synchronous=FULL", error) ||
      !Run(db, "BEGIN IMMEDIATE", error)) {
    error = path + ": " + error;
    return false;
  }
  std::optional<int64_t> version;
  if (Run(db, kTables, error)) {
    Statement q(db, "SELECT max(version) FROM schema_version");
    if (q.s && sqlite3_step(q.s) == SQLITE_ROW) version = q.IntAt(0);
  }
  bool ok = error.empty();
  if (ok && !version) {
    version = 1;
    ok = Run(db, "INSERT INTO schema_version (version) VALUES (1)", error);
  } else if (ok && *version > kJournalSchemaVersion) {
    error = path + ": schema version " + std::to_string(*version) + " is newer than this program's";
    ok = false;
  }
  for (const Migration& step : kMigrations) {
    if (!ok || step.version <= *version) continue;
    ok = Run(db, step.sql, error) &&
         Run(db, ("UPDATE schema_version SET version = " + std::to_string(step.version)).c_str(),
             error);
  }
  ok = ok && Run(db, kIndexes, error);
  if (!ok || !Run(db, "COMMIT", error)) {
    std::string ignored;
    Run(db, "ROLLBACK", ignored);
    if (error.find(path) == std::string::npos) error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace

JournalStore::~JournalStore() {
  sqlite3_close(db_);
}

bool JournalStore::Exec(const char* sql, std::string& error) {
  return Run(db_, sql, error);
}

bool JournalStore::Open(const std::string& path, std::string& error) {
  return OpenWritable(path, db_, error);
}

bool JournalStore::Write(const std::vector<ReadingRecord>& readings,
                         const std::vector<WriteRecord>& writes, std::string& error) {
  if (!Exec("BEGIN IMMEDIATE", error)) return false;
  bool ok = true;
  {
    Statement ins(db_,
                  "INSERT INTO readings (id, time, window, tester, dn, level, location, "
                  "standard_error, error_correction, address, row, flow_point, flow, "
                  "standard_volume, reference_heat, meter_volume, meter_heat, volume_error, "
                  "volume_limit, heat_error, heat_limit, verdict, inlet, outlet, coef1, coef2, "
                  "coef3, coef4, coef5, supersedes, bench_name, bench_reference, "
                  "calibration_due, meter_type, fluid, bench_inlet, bench_outlet, weighing) "
                  "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,"
                  "?,?)");
    Statement meter(db_,
                    "INSERT INTO meters (address, readings, last) VALUES (?, 1, ?) "
                    "ON CONFLICT (address) DO UPDATE SET readings = readings + 1, "
                    "last = max(last, excluded.last)");
    const auto id = [](int64_t v) { return v ? std::optional<int64_t>(v) : std::nullopt; };
    for (const ReadingRecord& r : readings) {
      if (!ins.s || !meter.s) break;
      sqlite3_reset(ins.s);
      int i = 0;
      ins.Int(++i, id(r.Id));
      ins.Text(++i, r.Time);
      ins.Text(++i, r.Window);
      ins.Text(++i, r.Tester);
      ins.Int(++i, r.Dn);
      ins.Int(++i, r.Level);
      ins.Int(++i, r.Location);
      ins.Real(++i, r.StandardError);
      ins.Real(++i, r.ErrorCorrection);
      ins.Text(++i, r.Address);
      ins.Int(++i, r.Row);
      ins.Int(++i, r.FlowPoint);
      ins.Int(++i, r.Flow);
      for (const auto& v : {r.StandardVolume, r.ReferenceHeat, r.MeterVolume, r.MeterHeat,
                            r.VolumeError, r.VolumeLimit, r.HeatError, r.HeatLimit})
        ins.Real(++i, v);
      ins.Text(++i, r.Verdict);
      ins.Real(++i, r.Inlet);
      ins.Real(++i, r.Outlet);
      for (const auto& c : r.Coefficients)
        ins.Int(++i, c);
      ins.Int(++i, id(r.Supersedes));
      ins.Text(++i, r.BenchName);
      ins.Text(++i, r.BenchReference);
      ins.Text(++i, r.CalibrationDue);
      ins.Int(++i, r.MeterType);
      ins.Real(++i, r.Fluid);
      ins.Real(++i, r.BenchInlet);
      ins.Real(++i, r.BenchOutlet);
      r.Weighing.empty() ? static_cast<void>(sqlite3_bind_null(ins.s, ++i))
                         : ins.Text(++i, r.Weighing);
      sqlite3_reset(meter.s);
      meter.Text(1, r.Address);
      meter.Text(2, r.Time);
      if (sqlite3_step(ins.s) != SQLITE_DONE || sqlite3_step(meter.s) != SQLITE_DONE) {
        ok = false;
        break;
      }
    }
    ok = ok && (readings.empty() || (ins.s && meter.s));
  }
  if (ok && !writes.empty()) {
    Statement ins(db_,
                  "INSERT INTO writes (time, tester, address, row, what, value, before, "
                  "confirmed) VALUES (?,?,?,?,?,?,?,?)");
    for (const WriteRecord& w : writes) {
      if (!ins.s) break;
      sqlite3_reset(ins.s);
      ins.Text(1, w.Time);
      ins.Text(2, w.Tester);
      ins.Text(3, w.Address);
      ins.Int(4, w.Row);
      ins.Text(5, w.What);
      ins.Text(6, w.Value);
      w.Before ? ins.Text(7, *w.Before) : static_cast<void>(sqlite3_bind_null(ins.s, 7));
      ins.Int(8, w.Confirmed ? 1 : 0);
      if (sqlite3_step(ins.s) != SQLITE_DONE) {
        ok = false;
        break;
      }
    }
    ok = ok && ins.s;
  }
  if (!ok) {
    error = Message(db_, "insert");
    std::string ignored;
    Exec("ROLLBACK", ignored);
    return false;
  }
  if (!Exec("COMMIT", error)) {
    std::string ignored;
    Exec("ROLLBACK", ignored);
    return false;
  }
  return true;
}

namespace {

// A read-only connection, or none (with `error` set unless the file does
// not exist yet).
struct Reader {
  Reader(const std::string& path, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      // A journal nobody has written yet holds no records.
      if (sqlite3_errcode(db) != SQLITE_CANTOPEN) error = Message(db, path);
      sqlite3_close(db);
      db = nullptr;
      return;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
  }
  ~Reader() { sqlite3_close(db); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  sqlite3* db = nullptr;
};

ReadingRecord ReadingAt(const Statement& q) {
  ReadingRecord r;
  int i = 0;
  r.Id = *q.IntAt(i++);
  r.Time = q.TextAt(i++);
  r.Window = q.TextAt(i++);
  r.Tester = q.TextAt(i++);
  r.Dn = static_cast<int>(q.IntAt(i++).value_or(0));
  r.Level = static_cast<int>(q.IntAt(i++).value_or(0));
  r.Location = static_cast<int>(q.IntAt(i++).value_or(0));
  r.StandardError = q.RealAt(i++).value_or(0);
  r.ErrorCorrection = q.RealAt(i++).value_or(0);
  r.Address = q.TextAt(i++);
  r.Row = static_cast<int>(q.IntAt(i++).value_or(0));
  r.FlowPoint = static_cast<int>(q.IntAt(i++).value_or(0));
  r.Flow = static_cast<int>(q.IntAt(i++).value_or(0));
  for (std::optional<double>* v :
       {&r.StandardVolume, &r.ReferenceHeat, &r.MeterVolume, &r.MeterHeat, &r.VolumeError,
        &r.VolumeLimit, &r.HeatError, &r.HeatLimit})
    *v = q.RealAt(i++);
  r.Verdict = q.TextAt(i++);
  r.Inlet = q.RealAt(i++);
  r.Outlet = q.RealAt(i++);
  for (auto& c : r.Coefficients)
    c = q.IntAt(i++);
  r.BenchName = q.TextAt(i++);
  r.BenchReference = q.TextAt(i++);
  r.CalibrationDue = q.TextAt(i++);
  if (const std::optional<int64_t> type = q.IntAt(i++)) r.MeterType = static_cast<int>(*type);
  r.Fluid = q.RealAt(i++);
  r.BenchInlet = q.RealAt(i++);
  r.BenchOutlet = q.RealAt(i++);
  r.Weighing = q.TextAt(i++);
  return r;
}

// The select list of a reading `r`. A journal that an older program wrote
// and this one has not opened for writing yet lacks the newer columns: they
// read as NULL, as a journal brought up to date would hold them. (When the
// columns cannot be told, all are named, and a query fails as it should.)
std::string ReadingSelect(sqlite3* db) {
  std::set<std::string> present;
  Statement info(db, "PRAGMA table_info(readings)");
  while (info.s && sqlite3_step(info.s) == SQLITE_ROW)
    present.insert(info.TextAt(1));
  std::string list;
  for (const char* column : kReadingColumns) {
    list += list.empty() ? "SELECT " : ", ";
    list += present.empty() || present.count(column) ? "r." + std::string(column) : "NULL";
  }
  return list;
}

// A write from "SELECT id, time, tester, address, row, what, value, before,
// confirmed".
WriteRecord WriteAt(const Statement& q) {
  WriteRecord w;
  w.Id = *q.IntAt(0);
  w.Time = q.TextAt(1);
  w.Tester = q.TextAt(2);
  w.Address = q.TextAt(3);
  w.Row = static_cast<int>(q.IntAt(4).value_or(0));
  w.What = q.TextAt(5);
  w.Value = q.TextAt(6);
  if (sqlite3_column_type(q.s, 7) != SQLITE_NULL) w.Before = q.TextAt(7);
  w.Confirmed = q.IntAt(8).value_or(0) != 0;
  return w;
}

bool Finished(sqlite3* db, int rc, std::string& error) {
  if (rc == SQLITE_DONE) return true;
  error = Message(db, "query");
  return false;
}

}  // namespace

namespace {

// The conditions of `filter` on readings `r` besides the address part, with
// the values they are bound to: current records only, the days, the
// verdict, and below `after` in the list's order.
struct Conditions {
  std::string sql;
  std::vector<std::string> values;
};

Conditions ConditionsOf(const ReadingFilter& filter, const std::optional<PageKey>& after,
                        bool versioned) {
  Conditions c{
      versioned ? " AND NOT EXISTS (SELECT 1 FROM readings s WHERE s.supersedes = r.id)" : "", {}};
  if (!filter.Since.empty()) {
    c.sql += " AND r.time >= ?";
    c.values.push_back(filter.Since);
  }
  if (!filter.Until.empty()) {
    // The whole last day: every time of that day sorts below "day~".
    c.sql += " AND r.time < ?";
    c.values.push_back(filter.Until + "~");
  }
  if (!filter.Verdict.empty()) {
    c.sql += " AND r.verdict = ?";
    c.values.push_back(filter.Verdict);
  }
  if (after) {
    c.sql += " AND r.time <= ? AND (r.time < ? OR r.id < " + std::to_string(after->Id) + ")";
    c.values.insert(c.values.end(), {after->Time, after->Time});
  }
  return c;
}

// Binds `values` from parameter `first` on.
void Bind(Statement& q, int first, const std::vector<std::string>& values) {
  for (size_t i = 0; i < values.size(); ++i)
    q.Text(first + static_cast<int>(i), values[i]);
}

bool Newer(const ReadingRecord& a, const ReadingRecord& b) {
  return a.Time != b.Time ? a.Time > b.Time : a.Id > b.Id;
}

}  // namespace

std::string AddressPattern(const std::string& part) {
  std::string out = "%";
  for (char c : part) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  return out + "%";
}

int64_t LastReadingId(const std::string& path) {
  std::string error;
  Reader reader(path, error);
  if (!reader.db) return 0;
  Statement q(reader.db, "SELECT max(id) FROM readings");
  return q.s && sqlite3_step(q.s) == SQLITE_ROW ? q.IntAt(0).value_or(0) : 0;
}

JournalReader::~JournalReader() {
  sqlite3_close(db_);
}

bool JournalReader::Open(const std::string& path, std::string& error) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    // A journal nobody has written yet holds no records.
    const bool missing = sqlite3_errcode(db_) == SQLITE_CANTOPEN;
    if (!missing) error = Message(db_, path);
    sqlite3_close(db_);
    db_ = nullptr;
    return missing;
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // A journal of version 1 that no program of this version has written yet
  // has neither superseded records nor the meters: it is read as it is.
  Statement q(db_, "SELECT 1 FROM sqlite_master WHERE name = 'meters'");
  versioned_ = q.s && sqlite3_step(q.s) == SQLITE_ROW;
  select_ = ReadingSelect(db_);
  return true;
}

void JournalReader::Interrupt() {
  if (db_) sqlite3_interrupt(db_);
}

std::vector<ReadingRecord> JournalReader::Page(const ReadingFilter& filter,
                                               const std::optional<PageKey>& after, size_t limit,
                                               std::string& error) {
  std::vector<ReadingRecord> out;
  if (!db_) return out;
  const Conditions c = ConditionsOf(filter, after, versioned_);
  const std::string order = " ORDER BY r.time DESC, r.id DESC" +
                            (limit ? " LIMIT " + std::to_string(limit) : std::string());
  const auto run = [&](Statement& q) {
    int rc;
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW)
      out.push_back(ReadingAt(q));
    return Finished(db_, rc, error);
  };
  if (filter.Address.empty() || !versioned_) {
    const std::string part = filter.Address.empty() ? "" : " AND r.address LIKE ? ESCAPE '\\'";
    Statement q(db_, (select_ + " FROM readings r WHERE 1" + part + c.sql + order).c_str());
    if (!q.s) {
      error = Message(db_, "query");
      return out;
    }
    if (!part.empty()) q.Text(1, AddressPattern(filter.Address));
    Bind(q, part.empty() ? 1 : 2, c.values);
    if (!run(q)) out.clear();
    return out;
  }
  // The meters whose address holds the part, newest first; each gives its
  // own newest readings until no meter left can have a reading newer than
  // the page's last.
  Statement meters(db_, filter.Since.empty()
                            ? "SELECT address, last FROM meters WHERE address LIKE ? ESCAPE '\\' "
                              "ORDER BY last DESC"
                            : "SELECT address, last FROM meters WHERE address LIKE ? ESCAPE '\\' "
                              "AND last >= ? ORDER BY last DESC");
  Statement own(db_, (select_ + " FROM readings r WHERE r.address = ?" + c.sql + order).c_str());
  if (!meters.s || !own.s) {
    error = Message(db_, "query");
    return out;
  }
  meters.Text(1, AddressPattern(filter.Address));
  if (!filter.Since.empty()) meters.Text(2, filter.Since);
  int rc;
  while ((rc = sqlite3_step(meters.s)) == SQLITE_ROW) {
    if (limit && out.size() == limit && meters.TextAt(1) < out.back().Time) return out;
    sqlite3_reset(own.s);
    own.Text(1, meters.TextAt(0));
    Bind(own, 2, c.values);
    if (!run(own)) {
      out.clear();
      return out;
    }
    std::sort(out.begin(), out.end(), Newer);
    if (limit && out.size() > limit) out.resize(limit);
  }
  if (!Finished(db_, rc, error)) out.clear();
  return out;
}

std::optional<int64_t> JournalReader::Count(const ReadingFilter& filter, std::string& error) {
  if (!db_) return 0;
  const Conditions c = ConditionsOf(filter, std::nullopt, versioned_);
  std::string part;
  if (!filter.Address.empty()) {
    part = versioned_ ? " AND r.address IN (SELECT address FROM meters WHERE address LIKE ? "
                        "ESCAPE '\\')"
                      : " AND r.address LIKE ? ESCAPE '\\'";
  }
  Statement q(db_, ("SELECT count(*) FROM readings r WHERE 1" + part + c.sql).c_str());
  if (q.s) {
    if (!part.empty()) q.Text(1, AddressPattern(filter.Address));
    Bind(q, part.empty() ? 1 : 2, c.values);
    if (sqlite3_step(q.s) == SQLITE_ROW) return q.IntAt(0).value_or(0);
  }
  error = Message(db_, "query");
  return std::nullopt;
}

std::vector<ReadingRecord> QueryReadings(const std::string& path, const ReadingFilter& filter,
                                         std::string& error) {
  JournalReader reader;
  if (!reader.Open(path, error)) return {};
  return reader.Page(filter, std::nullopt, 0, error);
}

std::vector<WriteRecord> QueryWrites(const std::string& path, const std::string& address,
                                     std::string& error) {
  std::vector<WriteRecord> out;
  Reader reader(path, error);
  if (!reader.db) return out;
  Statement q(reader.db,
              "SELECT id, time, tester, address, row, what, value, before, confirmed FROM writes "
              "WHERE address = ? ORDER BY time DESC, id DESC");
  if (!q.s) {
    error = Message(reader.db, path);
    return out;
  }
  q.Text(1, address);
  int rc;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW)
    out.push_back(WriteAt(q));
  if (!Finished(reader.db, rc, error)) out.clear();
  return out;
}

JournalOutbox::~JournalOutbox() {
  sqlite3_close(db_);
}

bool JournalOutbox::Open(const std::string& path, std::string& error) {
  if (!OpenWritable(path, db_, error)) return false;
  Statement id(db_, "SELECT journal_id FROM upload_state");
  if (!id.s || sqlite3_step(id.s) != SQLITE_ROW) {
    error = Message(db_, path);
    return false;
  }
  journal_id_ = id.TextAt(0);
  return true;
}

bool JournalOutbox::ReadMarks(Marks& marks, std::string& error) {
  Statement q(db_, "SELECT readings_sent, writes_sent FROM upload_state");
  if (!q.s || sqlite3_step(q.s) != SQLITE_ROW) {
    error = Message(db_, "upload state");
    return false;
  }
  marks = {q.IntAt(0).value_or(0), q.IntAt(1).value_or(0)};
  return true;
}

bool JournalOutbox::WriteMarks(const Marks& marks, std::string& error) {
  Statement u(db_, "UPDATE upload_state SET readings_sent = ?, writes_sent = ?");
  if (u.s) {
    u.Int(1, marks.Readings);
    u.Int(2, marks.Writes);
  }
  if (!u.s || sqlite3_step(u.s) != SQLITE_DONE) {
    error = Message(db_, "upload state");
    return false;
  }
  return true;
}

bool JournalOutbox::Count(const Marks& marks, uint64_t* sent, uint64_t& waiting,
                          std::string& error) {
  Statement q(db_, sent ? "SELECT (SELECT count(*) FROM readings WHERE id > ?1) + "
                          "(SELECT count(*) FROM writes WHERE id > ?2), "
                          "(SELECT count(*) FROM readings WHERE id <= ?1) + "
                          "(SELECT count(*) FROM writes WHERE id <= ?2)"
                        : "SELECT (SELECT count(*) FROM readings WHERE id > ?1) + "
                          "(SELECT count(*) FROM writes WHERE id > ?2)");
  if (q.s) {
    q.Int(1, marks.Readings);
    q.Int(2, marks.Writes);
  }
  if (!q.s || sqlite3_step(q.s) != SQLITE_ROW) {
    error = Message(db_, "count");
    return false;
  }
  waiting = static_cast<uint64_t>(q.IntAt(0).value_or(0));
  if (sent) *sent = static_cast<uint64_t>(q.IntAt(1).value_or(0));
  return true;
}

bool JournalOutbox::LastIds(Marks& last, std::string& error) {
  Statement q(db_,
              "SELECT coalesce((SELECT max(id) FROM readings), 0), "
              "coalesce((SELECT max(id) FROM writes), 0)");
  if (!q.s || sqlite3_step(q.s) != SQLITE_ROW) {
    error = Message(db_, "outbox");
    return false;
  }
  last = {q.IntAt(0).value_or(0), q.IntAt(1).value_or(0)};
  return true;
}

bool JournalOutbox::Next(const Marks& marks, size_t limit, Batch& batch, std::string& error) {
  batch = {};
  const std::string readings =
      ReadingSelect(db_) + ", r.supersedes FROM readings r WHERE r.id > ? ORDER BY r.id LIMIT ?";
  Statement r(db_, readings.c_str());
  if (r.s) {
    r.Int(1, marks.Readings);
    r.Int(2, static_cast<int64_t>(limit));
  }
  int rc = r.s ? SQLITE_ROW : SQLITE_ERROR;
  while (r.s && (rc = sqlite3_step(r.s)) == SQLITE_ROW) {
    ReadingRecord& reading = batch.Readings.emplace_back(ReadingAt(r));
    reading.Supersedes = r.IntAt(sqlite3_column_count(r.s) - 1).value_or(0);
  }
  Statement w(db_,
              "SELECT id, time, tester, address, row, what, value, before, confirmed FROM writes "
              "WHERE id > ? ORDER BY id LIMIT ?");
  if (rc == SQLITE_DONE && w.s) {
    w.Int(1, marks.Writes);
    w.Int(2, static_cast<int64_t>(limit));
    while ((rc = sqlite3_step(w.s)) == SQLITE_ROW)
      batch.Writes.push_back(WriteAt(w));
  }
  if (rc != SQLITE_DONE) {
    error = Message(db_, "outbox");
    batch = {};
    return false;
  }
  return true;
}

}  // namespace qv
