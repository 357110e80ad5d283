#include "journal/core/factory_server.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "core/number_format.h"
#include "journal/core/factory_upload.h"

namespace qv {

namespace {

// The steps from each server schema version to the next, from none to 1
// first. Everything lives in the schema "qorvantis" of the database the
// connection names. Times are absolute (timestamptz): the bench's clock
// when the record was made, and the server's when it arrived; the bench's
// own text of its time is kept as it was. Volumes, heats, errors, limits
// and temperatures are exact decimals, as the bench showed them.
constexpr const char* kFactorySteps[] = {
    R"(
CREATE SCHEMA IF NOT EXISTS qorvantis;
CREATE TABLE qorvantis.schema_version (version integer NOT NULL);
CREATE TABLE qorvantis.benches (
  name text PRIMARY KEY,
  journal text NOT NULL,
  registered timestamptz NOT NULL DEFAULT now());
CREATE TABLE qorvantis.readings (
  bench text NOT NULL REFERENCES qorvantis.benches,
  local_id bigint NOT NULL,
  bench_clock text NOT NULL,
  bench_time timestamptz,
  received timestamptz NOT NULL DEFAULT now(),
  supersedes bigint,
  window_name text NOT NULL,
  tester text NOT NULL,
  dn integer, level integer, location integer,
  standard_error numeric, error_correction numeric,
  address text NOT NULL,
  meter_row integer, flow_point integer, flow integer,
  standard_volume numeric, reference_heat numeric, meter_volume numeric, meter_heat numeric,
  volume_error numeric, volume_limit numeric, heat_error numeric, heat_limit numeric,
  verdict text NOT NULL,
  inlet numeric, outlet numeric,
  coef1 bigint, coef2 bigint, coef3 bigint, coef4 bigint, coef5 bigint,
  PRIMARY KEY (bench, local_id));
CREATE INDEX readings_address ON qorvantis.readings (address);
CREATE INDEX readings_bench_time ON qorvantis.readings (bench_time);
CREATE INDEX readings_supersedes ON qorvantis.readings (bench, supersedes)
  WHERE supersedes IS NOT NULL;
CREATE TABLE qorvantis.writes (
  bench text NOT NULL REFERENCES qorvantis.benches,
  local_id bigint NOT NULL,
  bench_clock text NOT NULL,
  bench_time timestamptz,
  received timestamptz NOT NULL DEFAULT now(),
  tester text NOT NULL,
  address text NOT NULL,
  meter_row integer,
  what text NOT NULL,
  value text NOT NULL,
  before text,
  confirmed boolean NOT NULL,
  PRIMARY KEY (bench, local_id));
CREATE INDEX writes_address ON qorvantis.writes (address);
-- The readings no later reading of the same bench replaces.
CREATE VIEW qorvantis.current_readings AS
  SELECT * FROM qorvantis.readings r WHERE NOT EXISTS (
    SELECT 1 FROM qorvantis.readings n WHERE n.bench = r.bench AND n.supersedes = r.local_id);
-- Each meter's latest verdict at each flow point, whichever bench gave it.
CREATE VIEW qorvantis.latest_verdicts AS
  SELECT DISTINCT ON (address, flow_point)
         address, flow_point, verdict, volume_error, heat_error, bench, local_id, bench_clock,
         bench_time
    FROM qorvantis.current_readings
   ORDER BY address, flow_point, bench_time DESC NULLS LAST, received DESC, local_id DESC;
-- A bench registers itself and learns what the server holds of it. It runs
-- with its owner's rights, so that a bench's role needs no more than to
-- insert records and call it.
CREATE FUNCTION qorvantis.bench_progress(bench_name text, journal_id text)
  RETURNS TABLE (journal text, readings bigint, writes bigint)
  LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    INSERT INTO qorvantis.benches (name, journal) VALUES (bench_name, journal_id)
      ON CONFLICT DO NOTHING;
    SELECT b.journal,
           (SELECT coalesce(max(r.local_id), 0) FROM qorvantis.readings r WHERE r.bench = b.name),
           (SELECT coalesce(max(w.local_id), 0) FROM qorvantis.writes w WHERE w.bench = b.name)
      FROM qorvantis.benches b WHERE b.name = bench_name
  $$;
)",
    // What a verification record shows besides the grid: the bench and its
    // reference equipment, the meter type and the bench's temperatures, as
    // the journal keeps them for each reading. The view takes the new
    // columns after the others.
    R"(
ALTER TABLE qorvantis.readings
  ADD COLUMN bench_name text, ADD COLUMN bench_reference text, ADD COLUMN calibration_due text,
  ADD COLUMN meter_type integer, ADD COLUMN fluid numeric, ADD COLUMN bench_inlet numeric,
  ADD COLUMN bench_outlet numeric;
CREATE OR REPLACE VIEW qorvantis.current_readings AS
  SELECT * FROM qorvantis.readings r WHERE NOT EXISTS (
    SELECT 1 FROM qorvantis.readings n WHERE n.bench = r.bench AND n.supersedes = r.local_id);
)",
};
static_assert(std::size(kFactorySteps) == kFactorySchemaVersion, "one step per version");

// Both transactions that change the schema take this lock first, so two
// benches meeting a new server make it once.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(hashtext('qorvantis schema'))";

constexpr const char* kReadingColumns =
    "bench, local_id, bench_clock, bench_time, supersedes, window_name, tester, dn, level, "
    "location, standard_error, error_correction, address, meter_row, flow_point, flow, "
    "standard_volume, reference_heat, meter_volume, meter_heat, volume_error, volume_limit, "
    "heat_error, heat_limit, verdict, inlet, outlet, coef1, coef2, coef3, coef4, coef5, "
    "bench_name, bench_reference, calibration_due, meter_type, fluid, bench_inlet, bench_outlet";
constexpr int kReadingParams = 39;
constexpr const char* kWriteColumns =
    "bench, local_id, bench_clock, bench_time, tester, address, meter_row, what, value, before, "
    "confirmed";
constexpr int kWriteParams = 11;

FactoryOutcome ReadVersion(PgLink& link, int& version, std::string& error) {
  PgRows rows;
  FactoryOutcome o =
      link.Exec("SELECT to_regclass('qorvantis.schema_version') IS NOT NULL", error, &rows);
  version = 0;
  if (o != FactoryOutcome::kDone || rows.at(0).at(0) != "t") return o;
  o = link.Exec("SELECT coalesce(max(version), 0) FROM qorvantis.schema_version", error, &rows);
  if (o == FactoryOutcome::kDone) version = std::stoi(rows.at(0).at(0).value_or("0"));
  return o;
}

FactoryOutcome Newer(int version, std::string& error) {
  error = "the server's schema is version " + std::to_string(version) +
          ", newer than this program knows (" + std::to_string(kFactorySchemaVersion) +
          "): update the program";
  return FactoryOutcome::kRefused;
}

// Parameter texts of a batch insert, NULL as nothing; the pointers libpq
// takes point into them.
struct Params {
  std::vector<std::optional<std::string>> texts;

  void Text(std::string v) { texts.emplace_back(std::move(v)); }
  void Int(std::optional<int64_t> v) {
    v ? texts.emplace_back(std::to_string(*v)) : texts.emplace_back();
  }
  // The shortest text that reads back as the same double: the server's
  // numeric holds exactly the value the bench kept.
  void Real(std::optional<double> v) {
    if (!v) {
      texts.emplace_back();
      return;
    }
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, *v).ptr;
    texts.emplace_back(std::string(buf, end));
  }
  void Maybe(std::optional<std::string> v) { texts.push_back(std::move(v)); }
  std::vector<const char*> Pointers() const {
    std::vector<const char*> out;
    out.reserve(texts.size());
    for (const auto& t : texts)
      out.push_back(t ? t->c_str() : nullptr);
    return out;
  }
};

// "INSERT INTO table (columns) VALUES ($1, ...), (...) ON CONFLICT DO
// NOTHING" for `rows` rows: a record the server has already is kept as it
// is and counted once.
std::string InsertSql(const char* table, const char* columns, int per_row, size_t rows) {
  std::string sql = std::string("INSERT INTO qorvantis.") + table + " (" + columns + ") VALUES ";
  int n = 0;
  for (size_t r = 0; r < rows; ++r) {
    sql += r ? ",(" : "(";
    for (int c = 0; c < per_row; ++c)
      sql += (c ? ",$" : "$") + std::to_string(++n);
    sql += ")";
  }
  return sql + " ON CONFLICT DO NOTHING";
}

FactoryOutcome Insert(PgLink& link, const char* table, const char* columns, int per_row,
                      size_t rows, const Params& p, std::string& error) {
  if (rows == 0) return FactoryOutcome::kDone;
  return link.Exec(InsertSql(table, columns, per_row, rows), p.Pointers(), error);
}

std::optional<double> Number(const std::optional<std::string>& v) {
  return v ? ParseNumber(*v) : std::nullopt;
}
std::optional<int64_t> Integer(const std::optional<std::string>& v) {
  int64_t n = 0;
  if (!v || std::from_chars(v->data(), v->data() + v->size(), n).ec != std::errc()) return {};
  return n;
}

}  // namespace

std::optional<std::string> ServerTime(const std::string& local) {
  std::tm tm{};
  char tail = 0;
  if (std::sscanf(local.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                  &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &tail) != 6) {
    return std::nullopt;
  }
  const std::tm given = tm;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  tm.tm_isdst = -1;  // whatever the summer time was then
  const std::time_t t = std::mktime(&tm);
  // mktime moves a day that does not exist (02-30) to one that does.
  if (t == static_cast<std::time_t>(-1) || tm.tm_mday != given.tm_mday ||
      tm.tm_mon != given.tm_mon - 1) {
    return std::nullopt;
  }
  std::tm utc{};
  gmtime_r(&t, &utc);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S+00", &utc);
  return std::string(buf);
}

FactoryOutcome EnsureFactorySchema(PgLink& link, std::string& error) {
  int version = 0;
  FactoryOutcome o = ReadVersion(link, version, error);
  if (o != FactoryOutcome::kDone || version == kFactorySchemaVersion) return o;
  if (version > kFactorySchemaVersion) return Newer(version, error);
  o = link.Exec("BEGIN", error);
  if (o == FactoryOutcome::kDone) o = link.Exec(kSchemaLock, error);
  // Another bench may have made it meanwhile.
  if (o == FactoryOutcome::kDone) o = ReadVersion(link, version, error);
  if (o == FactoryOutcome::kDone && version > kFactorySchemaVersion) o = Newer(version, error);
  for (int v = version + 1; o == FactoryOutcome::kDone && v <= kFactorySchemaVersion; ++v)
    o = link.Exec(kFactorySteps[v - 1], error);
  if (o == FactoryOutcome::kDone && version < kFactorySchemaVersion) {
    o = link.Exec("DELETE FROM qorvantis.schema_version", error);
    if (o == FactoryOutcome::kDone) {
      o = link.Exec("INSERT INTO qorvantis.schema_version VALUES ($1)",
                    {std::to_string(kFactorySchemaVersion).c_str()}, error);
    }
  }
  if (o == FactoryOutcome::kDone) o = link.Exec("COMMIT", error);
  if (o != FactoryOutcome::kDone) {
    if (link.SqlState() == "42501") {
      error =
          "this role may not make the server's schema (" + error + "); connect once as its owner";
    }
    link.Close();  // the transaction ends with the connection
  }
  return o;
}

FactoryOutcome ReadBenchProgress(PgLink& link, const std::string& bench,
                                 const std::string& journal_id, BenchProgress& progress,
                                 std::string& error) {
  PgRows rows;
  const FactoryOutcome o = link.Exec(
      "SELECT journal, readings, writes FROM "
      "qorvantis.bench_progress($1, $2)",
      {bench.c_str(), journal_id.c_str()}, error, &rows);
  if (o != FactoryOutcome::kDone) return o;
  if (rows.size() != 1 || rows[0].size() != 3) {
    error = "the server did not tell what it holds of bench " + bench;
    return FactoryOutcome::kRefused;
  }
  progress.JournalId = rows[0][0].value_or("");
  progress.Held = {Integer(rows[0][1]).value_or(0), Integer(rows[0][2]).value_or(0)};
  return o;
}

FactoryOutcome SendBatch(PgLink& link, const std::string& bench, const JournalOutbox::Batch& batch,
                         std::string& error) {
  Params readings;
  for (const ReadingRecord& r : batch.Readings) {
    readings.Text(bench);
    readings.Int(r.Id);
    readings.Text(r.Time);
    readings.Maybe(ServerTime(r.Time));
    readings.Int(r.Supersedes ? std::optional<int64_t>(r.Supersedes) : std::nullopt);
    readings.Text(r.Window);
    readings.Text(r.Tester);
    for (int v : {r.Dn, r.Level, r.Location})
      readings.Int(v);
    readings.Real(r.StandardError);
    readings.Real(r.ErrorCorrection);
    readings.Text(r.Address);
    for (int v : {r.Row, r.FlowPoint, r.Flow})
      readings.Int(v);
    for (const auto& v : {r.StandardVolume, r.ReferenceHeat, r.MeterVolume, r.MeterHeat,
                          r.VolumeError, r.VolumeLimit, r.HeatError, r.HeatLimit})
      readings.Real(v);
    readings.Text(r.Verdict);
    readings.Real(r.Inlet);
    readings.Real(r.Outlet);
    for (const auto& c : r.Coefficients)
      readings.Int(c);
    readings.Text(r.BenchName);
    readings.Text(r.BenchReference);
    readings.Text(r.CalibrationDue);
    readings.Int(r.MeterType);
    for (const auto& v : {r.Fluid, r.BenchInlet, r.BenchOutlet})
      readings.Real(v);
  }
  Params writes;
  for (const WriteRecord& w : batch.Writes) {
    writes.Text(bench);
    writes.Int(w.Id);
    writes.Text(w.Time);
    writes.Maybe(ServerTime(w.Time));
    writes.Text(w.Tester);
    writes.Text(w.Address);
    writes.Int(w.Row);
    writes.Text(w.What);
    writes.Text(w.Value);
    writes.Maybe(w.Before);
    writes.Text(w.Confirmed ? "t" : "f");
  }
  FactoryOutcome o = link.Exec("BEGIN", error);
  if (o == FactoryOutcome::kDone) {
    o = Insert(link, "readings", kReadingColumns, kReadingParams, batch.Readings.size(), readings,
               error);
  }
  if (o == FactoryOutcome::kDone) {
    o = Insert(link, "writes", kWriteColumns, kWriteParams, batch.Writes.size(), writes, error);
  }
  if (o == FactoryOutcome::kDone) o = link.Exec("COMMIT", error);
  // Whether a COMMIT whose answer was lost took effect is learnt from the
  // server when connecting again.
  if (o != FactoryOutcome::kDone) link.Close();
  return o;
}

FactoryOutcome QueryServerReadings(const std::string& server, const ReadingFilter& filter,
                                   const std::string& bench, std::vector<ReadingRecord>& readings,
                                   std::vector<std::string>& benches, std::string& error) {
  readings.clear();
  benches.clear();
  PgLink link;
  FactoryOutcome o = link.Connect(server, error);
  int version = 0;
  if (o == FactoryOutcome::kDone) o = ReadVersion(link, version, error);
  if (o != FactoryOutcome::kDone) return o;
  if (version == 0) {
    error = "the server holds no results yet (no qorvantis schema)";
    return FactoryOutcome::kNoJournal;
  }
  if (version > kFactorySchemaVersion) return Newer(version, error);
  // A server no bench of this version has sent to yet lacks the record's
  // columns: its readings have none of them.
  std::string sql =
      std::string(
          "SELECT bench, local_id, bench_clock, window_name, tester, dn, level, location, "
          "standard_error, error_correction, address, meter_row, flow_point, flow, "
          "standard_volume, reference_heat, meter_volume, meter_heat, volume_error, "
          "volume_limit, heat_error, heat_limit, verdict, inlet, outlet, coef1, coef2, "
          "coef3, coef4, coef5, ") +
      (version >= 2 ? "bench_name, bench_reference, calibration_due, meter_type, fluid, "
                      "bench_inlet, bench_outlet"
                    : "NULL, NULL, NULL, NULL, NULL, NULL, NULL") +
      " FROM qorvantis.current_readings WHERE true";
  std::vector<std::string> values;
  const auto where = [&](const char* condition, std::string value) {
    values.push_back(std::move(value));
    sql += std::string(" AND ") + condition + std::to_string(values.size());
  };
  // The days are the bench's own, as its journal lists them.
  if (!filter.Address.empty()) where("address LIKE $", AddressPattern(filter.Address));
  if (!filter.Since.empty()) where("bench_clock >= $", filter.Since);
  if (!filter.Until.empty()) where("bench_clock < $", filter.Until + "~");
  if (!filter.Verdict.empty()) where("verdict = $", filter.Verdict);
  if (!bench.empty()) where("bench = $", bench);
  sql += " ORDER BY bench_time DESC NULLS LAST, bench_clock DESC, bench, local_id DESC";
  std::vector<const char*> params;
  for (const std::string& v : values)
    params.push_back(v.c_str());
  PgRows rows;
  o = link.Exec(sql, params, error, &rows);
  if (o != FactoryOutcome::kDone) return o;
  for (const auto& row : rows) {
    size_t i = 0;
    const auto next = [&]() -> const std::optional<std::string>& { return row.at(i++); };
    const auto number = [&] { return static_cast<int>(Integer(next()).value_or(0)); };
    benches.push_back(next().value_or(""));
    ReadingRecord& r = readings.emplace_back();
    r.Id = Integer(next()).value_or(0);
    r.Time = next().value_or("");
    r.Window = next().value_or("");
    r.Tester = next().value_or("");
    r.Dn = number();
    r.Level = number();
    r.Location = number();
    r.StandardError = Number(next()).value_or(0);
    r.ErrorCorrection = Number(next()).value_or(0);
    r.Address = next().value_or("");
    r.Row = number();
    r.FlowPoint = number();
    r.Flow = number();
    for (std::optional<double>* v :
         {&r.StandardVolume, &r.ReferenceHeat, &r.MeterVolume, &r.MeterHeat, &r.VolumeError,
          &r.VolumeLimit, &r.HeatError, &r.HeatLimit})
      *v = Number(next());
    r.Verdict = next().value_or("");
    r.Inlet = Number(next());
    r.Outlet = Number(next());
    for (auto& c : r.Coefficients)
      c = Integer(next());
    r.BenchName = next().value_or("");
    r.BenchReference = next().value_or("");
    r.CalibrationDue = next().value_or("");
    if (const auto type = Integer(next())) r.MeterType = static_cast<int>(*type);
    for (std::optional<double>* v : {&r.Fluid, &r.BenchInlet, &r.BenchOutlet})
      *v = Number(next());
  }
  return o;
}

}  // namespace qv
