#include "cli/subcommands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "core/data_dir.h"
#include "core/hex.h"
#include "core/program_dir.h"
#include "core/settings_files.h"
#include "journal/core/factory_upload.h"
#include "journal/core/journal_store.h"
#include "protocol/address.h"
#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/reply_layout.h"

namespace qv::cli {
namespace {

// Fault bits of the first status byte, bits 0..3.
constexpr std::array<std::string_view, 4> kFaultNames = {
    "undervoltage", "supply temperature fault", "return temperature fault", "flow sensor fault"};
// The address word that sends to every meter and awaits no reply.
constexpr std::string_view kBroadcastWord = "broadcast";

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

Field Text(std::string key, std::string text) {
  std::string json = JsonString(text);
  return {std::move(key), std::move(text), std::move(json)};
}
Field Number(std::string key, double v, int decimals) {
  std::string text = Fixed(v, decimals);
  return {std::move(key), text, text};
}
Field Integers(std::string key, std::span<const int64_t> values) {
  std::string text, json = "[";
  for (int64_t v : values) {
    text += (text.empty() ? "" : " ") + std::to_string(v);
    json += (json.size() > 1 ? "," : "") + std::to_string(v);
  }
  return {std::move(key), text, json + "]"};
}
Field Missing(std::string key) {
  return {std::move(key), "-", "null"};
}

Outcome Fail(Exit status, std::string error) {
  return {status, {}, std::move(error)};
}

// What an unanswered request reports.
Outcome Unanswered(const Answer& a, std::string_view what) {
  switch (a.status) {
    case Exit::kBadReply:
      return Fail(a.status, std::string(what) + ": the reply was incomplete or its checksum wrong");
    case Exit::kNoDevice:
      return Fail(a.status, std::string(what) + ": the device was lost");
    default:
      return Fail(Exit::kNoReply, std::string(what) + ": no reply");
  }
}

bool ToInt(std::string_view text, int64_t& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');)
    parts.push_back(part);
  return parts;
}

// The bytes of a frame from its 68.
std::span<const uint8_t> FromStart(const Bytes& frame) {
  const auto start = std::find(frame.begin(), frame.end(), kFrameStart);
  return {frame.data() + (start - frame.begin()), static_cast<size_t>(frame.end() - start)};
}

std::string DataHex(std::span<const uint8_t> frame) {
  const size_t end = FrameOffset::Checksum(frame[FrameOffset::kLength]);
  return HexText(frame.subspan(FrameOffset::kData, end - FrameOffset::kData)).substr(1);
}

Outcome ReadAddress(const Context&, MeterSession* session) {
  const Answer a = session->Ask(Command::kReadAddress, *BuildRequest(Command::kReadAddress, {}));
  if (a.status != Exit::kOk) return Unanswered(a, "read-address");
  return {Exit::kOk, {Text("address", ReplyAddressText(a.reply))}, {}};
}

Outcome BenchReadOne(const Context& c, MeterSession* session) {
  const std::optional<Bytes> frame = BuildRequest(Command::kBenchReadData, {.address = c.args[0]});
  if (!frame) return Fail(Exit::kBadArgument, "not a meter address: " + c.args[0]);
  const Answer a = session->Ask(Command::kBenchReadData, *frame);
  if (a.status != Exit::kOk) return Unanswered(a, "bench-read");
  const std::optional<BenchRead> r = DecodeBenchRead(a.reply);
  if (!r) return Fail(Exit::kBadReply, "bench-read: the reply is too short for a bench read");
  return {Exit::kOk,
          {Text("address", ReplyAddressText(a.reply)), Number("volume_l", r->VolumeL, 3),
           Number("heat_kwh", r->HeatKWh, 3), Number("inlet_c", r->EntreC, 2),
           Number("outlet_c", r->ExitC, 2), Integers("coefficients", r->Coefficients)},
          {}};
}

Outcome Metering(const Context& c, MeterSession* session) {
  const std::optional<Bytes> frame = BuildRequest(
      Command::kReadMeterData, {.selector = c.version, .address = c.args[0], .coldMeter = c.cold});
  if (!frame) return Fail(Exit::kBadArgument, "not a meter address: " + c.args[0]);
  const Answer a = session->Ask(Command::kReadMeterData, *frame);
  if (a.status != Exit::kOk) return Unanswered(a, "metering");
  const std::string_view version = kVersionNames[static_cast<size_t>(c.version)];
  // Meters answering with the identifier exchanged use the TG layout.
  const std::optional<MeteringData> d = DecodeMeteringData(a.reply, version);
  if (!d) return Fail(Exit::kBadReply, "metering: the reply is too short for metering data");
  static constexpr std::array<std::string_view, kMeteringQuantities> kKeys = {
      "settlement_kwh", "current_heat_kwh", "current_cold_kwh",
      "heat_power_kw",  "flow_rate_m3h",    "accumulated_flow_m3"};
  Report report = {Text("address", ReplyAddressText(a.reply)),
                   Text("version", std::string(d->tg ? kVersionNames[kVersionTG] : version))};
  for (size_t q = 0; q < kKeys.size(); ++q) {
    const auto& n = d->quantities[q];
    report.push_back(n ? Number(std::string(kKeys[q]), n->value, n->decimals)
                       : Missing(std::string(kKeys[q])));
  }
  std::string faults, faults_json = "[";
  for (size_t bit = 0; bit < kFaultNames.size(); ++bit) {
    if (!(d->status[0] & (1u << bit))) continue;
    faults += (faults.empty() ? "" : ", ") + std::string(kFaultNames[bit]);
    faults_json += (faults_json.size() > 1 ? "," : "") + JsonString(kFaultNames[bit]);
  }
  report.insert(report.end(), {Number("supply_c", d->supplyC, 2),
                               Number("return_c", d->returnC, 2),
                               Number("hours", d->hours, 0),
                               Text("meter_clock", BcdDateTimeText(d->clock)),
                               Text("status", HexText(d->status).substr(1)),
                               {"faults", faults.empty() ? "none" : faults, faults_json + "]"}});
  return {Exit::kOk, std::move(report), {}};
}

Outcome SetClock(const Context& c, MeterSession* session) {
  const bool broadcast = c.args[0] == kBroadcastWord;
  const std::string address = broadcast ? std::string(kBroadcastAddressText) : c.args[0];
  // Built at each attempt: the time is the computer's when it is sent.
  const FrameBuilder build = [&] {
    return BuildRequest(
        Command::kSetClock,
        {.selector = c.version, .address = address, .now = std::chrono::system_clock::now()});
  };
  if (!build()) return Fail(Exit::kBadArgument, "not a meter address: " + c.args[0]);
  const Answer a = session->Ask(Command::kSetClock, build, !broadcast);
  if (a.status != Exit::kOk) return Unanswered(a, "set-clock");
  // The time sent: ss mm hh DD MM YY and the century, right after SER.
  const auto sent = FromStart(a.sent).subspan(FrameOffset::kData).first<7>();
  return {Exit::kOk,
          {Text("address", broadcast ? std::string(kBroadcastWord) : ReplyAddressText(a.reply)),
           Text("clock_sent", BcdDateTimeText(sent))},
          {}};
}

// The values of `send`, kept alive while the request refers to them.
struct SendValues {
  std::string address, newAddress;
  CommandRequest request;
};

bool ParseSendValue(const std::string& pair, SendValues& v, std::string& error) {
  const size_t eq = pair.find('=');
  const std::string key = pair.substr(0, eq),
                    value = eq == std::string::npos ? "" : pair.substr(eq + 1);
  CommandRequest& r = v.request;
  int64_t n = 0;
  const bool is_int = ToInt(value, n);
  if (key == "value") {
    r.value = EntryValue(value);
  } else if (key == "new-address") {
    v.newAddress = value;
  } else if (key == "coefficients" || key == "pairing") {
    const std::vector<std::string> parts = SplitList(value);
    const bool pairing = key == "pairing";
    if (parts.size() != (pairing ? 3u : 4u) && (pairing || parts.size() != 5)) {
      error = key + " takes " + (pairing ? "3" : "4 or 5") + " values: " + value;
      return false;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
      if (pairing) {
        r.pairing[i] = EntryValue(parts[i]);
      } else if (!ToInt(parts[i], n) || n < 0 || n > INT32_MAX) {
        error = "not a coefficient: " + parts[i];
        return false;
      } else {
        r.coefficients[i] = static_cast<int32_t>(n);
      }
    }
    if (!pairing) r.fluxNum = static_cast<int32_t>(parts.size());
  } else if (!is_int) {
    error = "not a value: " + pair;
    return false;
  } else if (key != "number" && (n < INT32_MIN || n > INT32_MAX)) {
    // Never cut to fit: 4294967297 is not variant 1.
    error = "out of range: " + pair;
    return false;
  } else if (key == "protocol") {
    r.selector = static_cast<int>(n);
  } else if (key == "variant") {
    r.variant = static_cast<int>(n - 1);
  } else if (key == "choice") {
    r.choice = static_cast<int>(n);
  } else if (key == "number") {
    r.number = n;
  } else if (key == "cold") {
    r.coldMeter = n != 0;
  } else {
    error = "unknown value " + key + " (see --help)";
    return false;
  }
  return true;
}

Outcome Send(const Context& c, MeterSession* session) {
  const auto row = std::find_if(kCommands.begin(), kCommands.end(), [&](const CommandRow& r) {
    return std::equal(r.name.begin(), r.name.end(), c.args[0].begin(), c.args[0].end(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
  });
  if (row == kCommands.end()) return Fail(Exit::kBadArgument, "no such command: " + c.args[0]);
  SendValues v;
  size_t first_value = 1;
  if (c.args.size() > 1 && c.args[1].find('=') == std::string::npos) {
    v.address = c.args[1];
    first_value = 2;
  }
  const bool broadcast = v.address == kBroadcastWord;
  if (broadcast) v.address = kBroadcastAddressText;
  v.request.selector = row->family == Family::kStandard ? c.version : 0;
  v.request.coldMeter = c.cold;
  for (size_t i = first_value; i < c.args.size(); ++i) {
    std::string error;
    if (!ParseSendValue(c.args[i], v, error)) return Fail(Exit::kBadArgument, error);
  }
  v.request.address = v.address;
  v.request.newAddress = v.newAddress;
  // Built at each attempt: a time in it is the computer's when it is sent.
  const FrameBuilder build = [&v, row] {
    v.request.now = std::chrono::system_clock::now();
    return BuildRequest(row->id, v.request);
  };
  if (!build()) {
    return Fail(Exit::kBadArgument, std::string(row->name) +
                                        ": cannot be built from these values (address, "
                                        "protocol, variant or a value out of range)");
  }
  const Answer a = session->Ask(row->id, build, !broadcast);
  if (a.status != Exit::kOk) return Unanswered(a, row->name);
  Report report = {Text("command", std::string(row->name)),
                   Text("sent", HexText(a.sent).substr(1))};
  if (!broadcast) {
    report.push_back(Text("address", ReplyAddressText(a.reply)));
    report.push_back(Text("reply", HexText(a.reply).substr(1)));
    report.push_back(Text("data", DataHex(a.reply)));
  }
  return {Exit::kOk, std::move(report), {}};
}

// The columns of the plain listing, enough to find a reading again; --csv
// and --json carry every column of the journal.
constexpr std::string_view kListed[] = {"time",       "address",      "window",       "flow_point",
                                        "flow",       "meter_volume", "volume_error", "meter_heat",
                                        "heat_error", "verdict"};

// The readings as aligned columns under a heading line; "-" for no value.
// With `benches`, each reading's bench comes first.
std::string Listing(const std::vector<ReadingRecord>& readings,
                    const std::vector<std::string>* benches) {
  const std::vector<std::string> keys = ReadingColumns();
  std::vector<std::vector<std::string>> table(1);
  std::vector<size_t> columns;
  if (benches) table[0].emplace_back("bench");
  for (std::string_view key : kListed) {
    columns.push_back(static_cast<size_t>(std::find(keys.begin(), keys.end(), key) - keys.begin()));
    table[0].emplace_back(key);
  }
  for (size_t n = 0; n < readings.size(); ++n) {
    const ReadingRecord& r = readings[n];
    std::vector<std::string>& line = table.emplace_back();
    if (benches) line.push_back(benches->at(n));
    for (size_t column : columns) {
      std::string text = ReadingField(r, column);
      line.push_back(text.empty() ? "-" : std::move(text));
    }
  }
  std::vector<size_t> widths(table[0].size());
  for (const auto& line : table) {
    for (size_t i = 0; i < line.size(); ++i)
      widths[i] = std::max(widths[i], line[i].size());
  }
  std::string out;
  for (const auto& line : table) {
    for (size_t i = 0; i < line.size(); ++i) {
      out += line[i];
      if (i + 1 < line.size()) out += std::string(widths[i] - line[i].size() + 2, ' ');
    }
    out += "\n";
  }
  return out;
}

}  // namespace

// The data folder: --data-dir, else the folder the program would choose if
// it stood beside this executable (core/data_dir.h): this executable's
// folder when it is writable and not under /usr, else the user's data folder.
std::string DataFolder(const Context& c) {
  if (c.dataDir.empty()) {
    return ChooseDataDir(ExecutableDir(), [](const char* name) { return std::getenv(name); }).Dir;
  }
  return c.dataDir.ends_with('/') ? c.dataDir : c.dataDir + "/";
}

namespace {

// The exit status of a factory server's answer.
Exit ExitOf(FactoryOutcome outcome) {
  switch (outcome) {
    case FactoryOutcome::kDone:
      return Exit::kOk;
    case FactoryOutcome::kRefused:
      return Exit::kRefused;
    case FactoryOutcome::kNoJournal:
      return Exit::kNoJournal;
    case FactoryOutcome::kUnavailable:
      return Exit::kNotInBuild;
    default:
      return Exit::kNoDevice;
  }
}

// The readings on the factory server, each with its bench.
Outcome ServerResults(const Context& c) {
  if (!c.dataDir.empty()) return Fail(Exit::kBadArgument, "--data-dir or --server, not both");
  if (const std::string why = FactoryUnavailable(); !why.empty()) {
    return Fail(Exit::kNotInBuild, why);
  }
  std::vector<ReadingRecord> readings;
  std::vector<std::string> benches;
  std::string error;
  const FactoryOutcome got = QueryServerReadings(c.server, {c.address, c.since, c.until, ""},
                                                 c.bench, readings, benches, error);
  if (got != FactoryOutcome::kDone) return Fail(ExitOf(got), error);
  Outcome o;
  o.output = c.csv    ? ReadingsCsv(readings, &benches)
             : c.json ? ReadingsJson(readings, &benches)
                      : Listing(readings, &benches);
  return o;
}

// -o, --out-dir and --language, which only `certificate` takes.
constexpr const char* kRecordOptions = "-o, --out-dir and --language belong to certificate";
bool RecordOptions(const Context& c) {
  return !c.outFile.empty() || !c.outDir.empty() || !c.language.empty();
}

Outcome Results(const Context& c, MeterSession*) {
  if (RecordOptions(c)) return Fail(Exit::kBadArgument, kRecordOptions);
  for (const auto& [option, day] : {std::pair{"--since", &c.since}, {"--until", &c.until}}) {
    if (!day->empty() && !IsDay(*day))
      return Fail(Exit::kBadArgument, std::string(option) + " is a day yyyy-mm-dd: " + *day);
  }
  if (c.csv && c.json) return Fail(Exit::kBadArgument, "--csv or --json, not both");
  if (!c.server.empty()) return ServerResults(c);
  if (!c.bench.empty()) return Fail(Exit::kBadArgument, "--bench lists from a --server");
  const std::string path = JournalPath(DataFolder(c));
  std::error_code ec;
  // A query of a missing journal would list nothing, as if no meter had been
  // tested; a wrong folder is told instead.
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Fail(Exit::kNoJournal, "no results journal at " + path + " (see --data-dir)");
  }
  std::string error;
  const std::vector<ReadingRecord> readings =
      QueryReadings(path, {c.address, c.since, c.until, ""}, error);
  if (!error.empty()) return Fail(Exit::kNoJournal, path + ": " + error);
  Outcome o;
  o.output = c.csv    ? ReadingsCsv(readings)
             : c.json ? ReadingsJson(readings)
                      : Listing(readings, nullptr);
  return o;
}

// Sends what waits in the journal to the factory server, with the server
// and the bench's name of the options, else of the sysinfo.ini beside the
// journal.
Outcome Upload(const Context& c, MeterSession*) {
  if (!c.address.empty() || !c.since.empty() || !c.until.empty() || c.csv) {
    return Fail(Exit::kBadArgument, "--address, --since, --until and --csv belong to results");
  }
  if (RecordOptions(c)) return Fail(Exit::kBadArgument, kRecordOptions);
  if (const std::string why = FactoryUnavailable(); !why.empty()) {
    return Fail(Exit::kNotInBuild, why);
  }
  const std::string folder = DataFolder(c);
  const std::string ini = folder + "sysinfo.ini";
  SystemSettings settings;
  ReadSysInfo(IniFile::Load(ini), settings);
  const FactoryTarget target{c.server.empty() ? settings.FactoryServer : c.server,
                             c.bench.empty() ? settings.BenchName : c.bench};
  if (target.Server.empty()) {
    return Fail(Exit::kBadArgument,
                "no factory server: --server, or Server in [Factory] of " + ini);
  }
  if (target.Bench.empty()) {
    return Fail(Exit::kBadArgument, "no bench name: --bench, or Name in [Bench] of " + ini);
  }
  const std::string path = JournalPath(folder);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return Fail(Exit::kNoJournal, "no results journal at " + path + " (see --data-dir)");
  }
  UploadStatus status;
  uint64_t sent = 0;
  const FactoryOutcome done = UploadWaiting(path, target, status, sent);
  Report counts = {Number("sent", static_cast<double>(sent), 0),
                   Number("uploaded", static_cast<double>(status.Uploaded), 0),
                   Number("waiting", static_cast<double>(status.Waiting), 0)};
  if (done == FactoryOutcome::kDone) return {Exit::kOk, std::move(counts), {}};
  return {ExitOf(done), std::move(counts),
          status.Reason + " (" + std::to_string(status.Waiting) + " records waiting)"};
}

// clang-format off
constexpr Subcommand kSubcommands[] = {
    {"read-address", "", "read the address of the one meter on the line (bench frame 23)",
     0, 0, true, ReadAddress},
    {"bench-read", "ADDRESS", "bench read of one meter: volume, heat, inlet and outlet "
     "temperatures, coefficients of flow points 1..4", 1, 1, true, BenchReadOne},
    {"metering", "ADDRESS", "metering data under --protocol (default M-BusV3.01; --cold for a "
     "cold meter): energies, power, flow, temperatures, hours, meter clock, status",
     1, 1, true, Metering},
    {"set-clock", "ADDRESS|broadcast", "set the meter's clock to this computer's time (plus "
     "one second) under --protocol; broadcast sets every meter and awaits no reply",
     1, 1, true, SetClock},
    {"send", "COMMAND [ADDRESS|broadcast] [KEY=VALUE...]", "send any catalogue command by name "
     "(e.g. WriteCoefficient) and print its reply; KEY is protocol (selector), variant (flow "
     "point or coefficient 1..5), choice (list index: level, register, unit or pipe mode), "
     "value, number, new-address, coefficients=C1,C2,C3,C4[,C5], pairing=STD,SUPPLY,RETURN, "
     "cold=1", 1, 64, true, Send},
    {"results", "[--address PART] [--since DAY] [--until DAY] [--csv]",
     "list the readings of the results journal, newest first, the current record of each (no "
     "device needed): --address "
     "keeps meters whose address contains PART, --since and --until the days yyyy-mm-dd from "
     "and to (inclusive); --csv prints CSV and --json a JSON array of every column on standard "
     "output. The journal is results.sqlite in --data-dir DIR, else in the folder the program "
     "would use beside this executable: that folder when it is writable and not under /usr, "
     "else $XDG_DATA_HOME/qorvantis or ~/.local/share/qorvantis. With --server CONNINFO it "
     "lists the factory server's readings, the same columns after each one's bench (--bench "
     "NAME: that bench's only)", 0, 0, false, Results},
    {"upload", "[--server CONNINFO] [--bench NAME]",
     "send the readings and writes of the results journal (in --data-dir DIR, or found as "
     "results finds it) that the factory's PostgreSQL server has not acknowledged yet, and "
     "print the records sent, uploaded and waiting; the server and the bench's name default "
     "to [Factory] Server and [Bench] Name of the sysinfo.ini beside the journal",
     0, 0, false, Upload},
    {"scale", "--scale-protocol mt-sics|sbi|ascii [--baud N]",
     "one reading of the weighing scale on --device, for setting it up: asks with SI (MT-SICS) "
     "or ESC P (SBI), or listens (continuous ASCII), on the protocol's line (mt-sics 9600 8N1, "
     "sbi 1200 7O1, ascii 2400 7E1; --baud 1200..115200 sets another speed); prints state "
     "(stable, moving, overload, underload or error), stable (true/false), mass_kg (null when "
     "the scale sent no mass), the unit and the reply; an unknown unit is an error. Exit 3 when "
     "the scale does not answer within 3 s", 0, 0, true, ReadScale, true},
    {"certificate", "ADDRESS... [-o FILE|--out-dir DIR] [--language zh|en]",
     "make the verification record of each meter from the results journal (no device "
     "needed): one PDF per meter with its newest reading of every flow point, the error "
     "curve and the verdict, saved in certificates/ of the data folder (see results) as "
     "ADDRESS-yyyyMMdd-hhmmss.pdf, in --out-dir DIR instead, or as -o FILE (one meter); in "
     "Chinese or English (--language, else Language of sysinfo.ini beside the journal). "
     "Prints each meter's file; a meter without readings gets none (exit 9)",
     1, 1000, false, Certificate},
};
// clang-format on

}  // namespace

std::span<const Subcommand> Subcommands() {
  return kSubcommands;
}

const Subcommand* FindSubcommand(std::string_view name) {
  for (const Subcommand& s : kSubcommands)
    if (s.name == name) return &s;
  return nullptr;
}

bool IsDay(std::string_view text) {
  int y = 0;
  unsigned m = 0, d = 0;
  const auto part = [&](size_t at, size_t n, auto& v) {
    const char* end = text.data() + at + n;
    return std::from_chars(text.data() + at, end, v).ptr == end;
  };
  return text.size() == 10 && text[4] == '-' && text[7] == '-' && part(0, 4, y) && part(5, 2, m) &&
         part(8, 2, d) &&
         std::chrono::year_month_day(std::chrono::year(y), std::chrono::month(m),
                                     std::chrono::day(d))
             .ok();
}

std::optional<int> ParseVersion(std::string_view text) {
  for (int i = 1; i < kVersionCount; ++i) {
    if (text == std::to_string(i)) return i;
  }
  const int named = VersionIndex(text);
  return named > 0 ? std::optional<int>(named) : std::nullopt;
}

std::string RenderText(const Report& report) {
  std::string out;
  for (const Field& f : report)
    out += f.key + ": " + f.text + "\n";
  return out;
}

std::string RenderJson(const Report& report) {
  std::string out = "{";
  for (const Field& f : report)
    out += (out.size() > 1 ? ", " : "") + JsonString(f.key) + ": " + f.json;
  return out + "}\n";
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += ch;  // UTF-8 passes as it is
    }
  }
  return out + "\"";
}

}  // namespace qv::cli
