// The subcommands of qorvantis-cli as one table: name, arguments, help and
// what runs. A new subcommand is one more row; one that reads no meter
// (a listing of stored results, say) sets `needsDevice` false and gets no
// session.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/meter_session.h"
#include "core/bench_settings.h"

namespace qv::cli {

// One output value: its text for people and its JSON form.
struct Field {
  std::string key;
  std::string text;
  std::string json;
};
using Report = std::vector<Field>;

// The global options and the subcommand's own arguments.
struct Context {
  std::string device;
  LineSettings line;  // of a serial device; a server's line is its own
  bool json = false;
  bool trace = false;
  uint32_t waitMs = 1000;
  uint16_t attempts = 3;
  int version = 4;  // protocol version index, "M-BusV3.01" as the reading window starts
  bool cold = false;
  std::vector<std::string> args;
  // `results`: the data folder (empty: the one the program would choose
  // beside this executable), the filter and CSV instead of lines.
  std::string dataDir;
  std::string address, since, until;
  bool csv = false;
  // `upload`, and `results` from the factory server: its connection text
  // and the bench's name (empty: those of sysinfo.ini in the data folder).
  std::string server, bench;
  // `certificate`: -o FILE, --out-dir DIR, --language zh|en (empty: the
  // data folder's setting).
  std::string outFile, outDir, language;
  // `scale`: what the scale speaks, and its speed when not the protocol's.
  std::optional<ScaleProtocol> scaleProtocol;
  std::string baud;
};

struct Outcome {
  Exit status = Exit::kOk;
  Report report;      // kOk: what to print
  std::string error;  // otherwise: what went wrong
  // kOk: printed as it is instead of the report, when not empty (listings)
  std::string output{};
};

struct Subcommand {
  std::string_view name;
  std::string_view synopsis;  // its arguments
  std::string_view help;
  size_t minArgs;
  size_t maxArgs;
  bool needsDevice;
  Outcome (*run)(const Context& context, MeterSession* session);
  // The subcommand opens --device itself (no meter session is opened).
  bool ownLine = false;
};

std::span<const Subcommand> Subcommands();
// `certificate`: the verification record of each meter given, from the
// results journal (cli/certificate.cpp).
Outcome Certificate(const Context& context, MeterSession* session);

// The data folder of `results` and `certificate`: --data-dir, else the
// folder the program would choose beside this executable.
std::string DataFolder(const Context& c);
const Subcommand* FindSubcommand(std::string_view name);

// One reading of the scale on --device (cli/scale_reading.cpp).
Outcome ReadScale(const Context& context, MeterSession* session);

// Whether `text` is a day "yyyy-mm-dd" of the calendar.
bool IsDay(std::string_view text);

// Protocol version index 1..5 of "M-BusV2.01" .. "TG" (or of the digit).
std::optional<int> ParseVersion(std::string_view text);

// The report as "key: text" lines, or as one JSON object.
std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);
// JSON string literal of `text`.
std::string JsonString(std::string_view text);

}  // namespace qv::cli
