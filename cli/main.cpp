// qorvantis-cli: talks to one meter from a terminal, without the windows,
// through the program's own serial ports and transaction cycle. See --help.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "cli/subcommands.h"

namespace {

using namespace qv::cli;

constexpr std::string_view kUsageHead =
    "Usage: qorvantis-cli --device PATH|tcp:HOST:PORT [options] SUBCOMMAND [ARGUMENTS]\n"
    "       qorvantis-cli [--data-dir DIR | --server CONNINFO] [--json|--csv] results [filters]\n"
    "       qorvantis-cli [--data-dir DIR] [--server CONNINFO] [--bench NAME] [--json] upload\n"
    "       qorvantis-cli [--data-dir DIR] certificate ADDRESS... [-o FILE|--out-dir DIR]\n"
    "Talks to one meter over a serial device (2400 baud 8E1 unless --baud and --line say\n"
    "otherwise) or a serial device server, reads the bench scale, lists the results\n"
    "journal, sends it to the factory's PostgreSQL server or makes verification records\n"
    "from it.\n\n"
    "Options:\n"
    "  --device PATH|tcp:HOST:PORT  the serial device (COMn on Windows), or a serial device\n"
    "                               server in TCP server mode\n"
    "  --baud N                     speed of the serial device: 300, 600, 1200, 2400\n"
    "                               (a meter's default), 4800, 9600, 19200, 38400, 57600 or\n"
    "                               115200; scale: the line's speed when not the protocol's\n"
    "  --line DPS                   data bits 5..8, parity N, E or O, stop bits 1 or 2 of\n"
    "                               a meter's serial device (default 8E1); a serial device\n"
    "                               server's line is set on the server\n"
    "  --json                       print the result as one JSON object\n"
    "  --trace                      print every frame sent and every block received, in hex,\n"
    "                               on standard error\n"
    "  --protocol V                 metering protocol: M-BusV2.01, M-BusV2.02, M-BusV2.03,\n"
    "                               M-BusV3.01 (default) or TG, or 1..5\n"
    "  --cold                       the meter is a cold meter\n"
    "  --wait MS                    reply wait of one attempt (default 1000)\n"
    "  --attempts N                 attempts per request (default 3)\n"
    "  --data-dir DIR               results: the folder of results.sqlite\n"
    "  --address PART               results: meters whose address contains PART\n"
    "  --since DAY, --until DAY     results: first and last day yyyy-mm-dd (inclusive)\n"
    "  --csv                        results: print CSV on standard output\n"
    "  --server CONNINFO            upload, results: the factory server, a libpq connection\n"
    "                               string (\"host=db dbname=results user=bench3\"), a URI or\n"
    "                               service=NAME; the password comes from ~/.pgpass or the\n"
    "                               service file (default: [Factory] Server of sysinfo.ini)\n"
    "  --bench NAME                 upload: the bench's name (default: [Bench] Name of\n"
    "                               sysinfo.ini); results --server: only that bench's readings\n"
    "  -o FILE                      certificate: the record's file (one meter)\n"
    "  --out-dir DIR                certificate: the folder of the records (default\n"
    "                               certificates/ in the data folder)\n"
    "  --language zh|en             certificate: the record's language (default Language\n"
    "                               of sysinfo.ini in the data folder)\n"
    "  --scale-protocol P           scale: mt-sics, sbi or ascii\n"
    "  --help                       show this text\n\n"
    "Subcommands:\n";

constexpr std::string_view kUsageTail =
    "\nExit status: 0 done, 2 bad argument, 3 no reply, 4 bad reply (incomplete, checksum\n"
    "wrong or too short), 5 device or server cannot be opened (the factory server cannot\n"
    "be reached), 6 no results journal or it cannot be read (or, in a build without them,\n"
    "no verification records), 7 refused by the factory server (its schema, the role's\n"
    "rights, the bench name), 8 the factory server is not available in this build, 9 a\n"
    "meter has no readings in the journal (no record made for it; the others are), 10 a\n"
    "record cannot be written.\n";

std::string Usage() {
  std::string text(kUsageHead);
  for (const Subcommand& s : Subcommands()) {
    text += "  " + std::string(s.name) + (s.synopsis.empty() ? "" : " ") + std::string(s.synopsis) +
            "\n      " + std::string(s.help) + "\n";
  }
  return text + std::string(kUsageTail);
}

bool ToNumber(const std::string& text, long long lo, long long hi, long long& v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && v >= lo && v <= hi;
}

int Finish(const Context& c, const Outcome& o) {
  if (o.status == Exit::kOk && !o.output.empty()) {
    std::cout << o.output;
  } else if (o.status == Exit::kOk) {
    std::cout << (c.json ? RenderJson(o.report) : RenderText(o.report));
  } else {
    // What was done before the failure (records made) is reported too.
    std::cerr << "qorvantis-cli: " << o.error << "\n";
    if (c.json) {
      // What is known despite the failure (the records waiting, the records
      // made) follows.
      Report report = {{"error", o.error, JsonString(o.error)},
                       {"exit", "", std::to_string(static_cast<int>(o.status))}};
      report.insert(report.end(), o.report.begin(), o.report.end());
      std::cout << RenderJson(report);
    } else if (!o.report.empty()) {
      std::cout << RenderText(o.report);
    }
  }
  return static_cast<int>(o.status);
}

// Parses the options and the subcommand; an error text on a bad argument.
std::string Parse(const std::vector<std::string>& args, Context& c, const Subcommand*& sub,
                  bool& help) {
  bool journal = false;  // an option of the journal's listing was given
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    long long n = 0;
    if (a == "--help" || a == "-h") {
      help = true;
    } else if (a == "--json") {
      c.json = true;
    } else if (a == "--trace") {
      c.trace = true;
    } else if (a == "--cold") {
      c.cold = true;
    } else if (a == "--device") {
      if (!value(c.device)) return "--device needs PATH or tcp:HOST:PORT";
    } else if (a == "--protocol") {
      const auto version = value(v) ? ParseVersion(v) : std::nullopt;
      if (!version) return "--protocol is M-BusV2.01, M-BusV2.02, M-BusV2.03, M-BusV3.01 or TG";
      c.version = *version;
    } else if (a == "--baud") {
      constexpr long long kSpeeds[] = {300,  600,   1200,  2400,  4800,
                                       9600, 19200, 38400, 57600, 115200};
      if (!value(v) || !ToNumber(v, 300, 115200, n) ||
          std::find(std::begin(kSpeeds), std::end(kSpeeds), n) == std::end(kSpeeds)) {
        return "--baud is 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200";
      }
      c.line.BaudRate = static_cast<uint32_t>(n);
      c.baud = v;
    } else if (a == "--line") {
      if (!value(v) || !qv::ParseLineFormat(v, c.line)) {
        return "--line is data bits 5..8, parity N, E or O and stop bits 1 or 2, e.g. 8E1";
      }
    } else if (a == "--wait") {
      if (!value(v) || !ToNumber(v, 1, 65535, n)) return "--wait is 1..65535 milliseconds";
      c.waitMs = static_cast<uint32_t>(n);
    } else if (a == "--attempts") {
      if (!value(v) || !ToNumber(v, 1, 100, n)) return "--attempts is 1..100";
      c.attempts = static_cast<uint16_t>(n);
    } else if (a == "--csv") {
      c.csv = journal = true;
    } else if (a == "--data-dir" || a == "--address" || a == "--since" || a == "--until" ||
               a == "--server" || a == "--bench" || a == "-o" || a == "--out-dir") {
      std::string& out = a == "--data-dir"  ? c.dataDir
                         : a == "--address" ? c.address
                         : a == "--since"   ? c.since
                         : a == "--until"   ? c.until
                         : a == "--server"  ? c.server
                         : a == "--bench"   ? c.bench
                         : a == "-o"        ? c.outFile
                                            : c.outDir;
      if (!value(out) || (out.empty() && a.starts_with("-o"))) return a + " needs a value";
      journal = true;
    } else if (a == "--language") {
      if (!value(c.language) || (c.language != "zh" && c.language != "en"))
        return "--language is zh or en";
      journal = true;
    } else if (a == "--scale-protocol") {
      const auto protocol = value(v) ? qv::ScaleProtocolNamed(v) : std::nullopt;
      if (!protocol) return "--scale-protocol is mt-sics, sbi or ascii";
      c.scaleProtocol = protocol;
    } else if (a.starts_with("--")) {
      return "unknown option " + a + " (see --help)";
    } else if (!sub) {
      sub = FindSubcommand(a);
      if (!sub) return "unknown subcommand " + a + " (see --help)";
    } else {
      c.args.push_back(a);
    }
  }
  if (help) return {};
  if (!sub) return "no subcommand given (see --help)";
  if (c.args.size() < sub->minArgs || c.args.size() > sub->maxArgs) {
    return std::string(sub->name) + " takes: " + std::string(sub->synopsis);
  }
  if (sub->needsDevice && journal) {
    return "--data-dir, --address, --since, --until, --csv, --server, --bench, -o, --out-dir "
           "and --language belong to results, upload and certificate";
  }
  if (sub->needsDevice && c.device.empty()) return "--device is needed";
  const bool scale = sub->run == ReadScale;
  if (!scale && c.scaleProtocol) return "--scale-protocol belongs to scale";
  if (scale && !c.scaleProtocol) return "scale needs --scale-protocol mt-sics|sbi|ascii";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  Context c;
  const Subcommand* sub = nullptr;
  bool help = false;
  const std::string error = Parse({argv + 1, argv + argc}, c, sub, help);
  if (help) {
    std::cout << Usage();
    return 0;
  }
  if (!error.empty()) return Finish(c, {Exit::kBadArgument, {}, error});
  if (!sub->needsDevice || sub->ownLine) return Finish(c, sub->run(c, nullptr));

  MeterSession::Options options{c.device, c.line, c.waitMs, c.attempts, {}};
  if (c.trace) options.trace = [](const std::string& line) { std::cerr << line << "\n"; };
  MeterSession session(options);
  std::string open_error;
  if (!session.Open(open_error)) return Finish(c, {Exit::kNoDevice, {}, open_error});
  return Finish(c, sub->run(c, &session));
}
