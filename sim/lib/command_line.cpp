#include "sim/lib/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <sstream>

namespace qv::sim {

namespace {

using Parser = bool (*)(const std::string& value, SimCommandLine& out, std::string& error);

bool ToInt(const std::string& text, long long& v) {
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, v);
  return r.ec == std::errc() && r.ptr == end;
}

bool ToDouble(const std::string& text, double& v) {
  try {
    size_t used = 0;
    v = std::stod(text, &used);
    return used == text.size();
  } catch (...) {
    return false;
  }
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');)
    parts.push_back(part);
  return parts;
}

MeterSetup& Setup(SimCommandLine& out, size_t i) {
  if (out.bench.meters.size() <= i) out.bench.meters.resize(i + 1);
  return out.bench.meters[i];
}

// "3,5,7" or "all" -> 0-based positions.
bool Positions(const std::string& text, std::vector<size_t>& out, std::string& error) {
  out.clear();
  if (text == "all") {
    for (size_t i = 0; i < kMaxMeters; ++i)
      out.push_back(i);
    return true;
  }
  for (const std::string& p : Split(text)) {
    long long v = 0;
    if (!ToInt(p, v) || v < 1 || v > kMaxMeters) {
      error = "meter positions are 1.." + std::to_string(kMaxMeters) + " or \"all\": " + text;
      return false;
    }
    out.push_back(static_cast<size_t>(v - 1));
  }
  return true;
}

bool ParseFault(const std::string& value, SimCommandLine& out, std::string& error) {
  const size_t colon = value.rfind(':');
  if (colon == std::string::npos) {
    error = "--fault needs KIND:METERS, e.g. silent:3";
    return false;
  }
  const std::string kind = value.substr(0, colon);
  std::vector<size_t> meters;
  if (!Positions(value.substr(colon + 1), meters, error)) return false;
  long long delay = 0;
  const bool is_delay = kind.rfind("delay=", 0) == 0;
  if (is_delay && (!ToInt(kind.substr(6), delay) || delay < 0)) {
    error = "--fault delay=MS needs a whole number of milliseconds";
    return false;
  }
  for (size_t m : meters) {
    MeterFaults& f = Setup(out, m).faults;
    if (kind == "silent")
      f.silent = true;
    else if (kind == "bad-checksum")
      f.bad_checksum = true;
    else if (kind == "missing-end")
      f.missing_end = true;
    else if (kind == "split")
      f.split = true;
    else if (kind == "noise")
      f.noise = true;
    else if (kind == "miss-first")
      f.missed_frames = 1;
    else if (is_delay)
      f.delay = std::chrono::milliseconds(delay);
    else {
      error = "unknown fault \"" + kind + "\"";
      return false;
    }
  }
  return true;
}

bool ParseInt(const std::string& value, long long lo, long long hi, long long& v, const char* what,
              std::string& error) {
  if (!ToInt(value, v) || v < lo || v > hi) {
    error = std::string(what) + " must be " + std::to_string(lo) + ".." + std::to_string(hi);
    return false;
  }
  return true;
}

bool ParseTemperature(const std::string& value, std::optional<double>& target, std::string& error) {
  double v = 0;
  if (!ToDouble(value, v) || v < 1 || v > 150) {
    error = "temperatures must be 1..150 degC: " + value;
    return false;
  }
  target = v;
  return true;
}

// A largest error in percent, 0..50, kept as a fraction.
bool ParseSpread(const std::string& value, double& target, const char* what, std::string& error) {
  double v = 0;
  if (!ToDouble(value, v) || v < 0 || v > 50) {
    error = std::string(what) + " must be 0..50";
    return false;
  }
  target = v / 100;
  return true;
}

struct Option {
  const char* name;
  const char* argument;  // nullptr: a flag
  const char* help;
  Parser parse;
};

const Option kOptions[] = {
    {"--wiring", "single|multi|channel",
     "how the meters are wired (default single): one line for all, one line per meter, or one "
     "line behind the 16-channel switch",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       const auto w = ParseWiring(v);
       if (!w) e = "--wiring is single, multi or channel";
       if (w) o.bench.wiring = *w;
       return w.has_value();
     }},
    {"--meters", "N", "number of meters, 1..20 (1..16 behind the switch; default 16)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 1, kMaxMeters, n, "--meters", e)) return false;
       o.bench.meter_count = static_cast<int>(n);
       return true;
     }},
    {"--first-address", "DIGITS",
     "address of meter 1; the others count up from it (default 2024000001)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 0, 99999999999999LL, n, "--first-address", e)) return false;
       o.bench.first_address = static_cast<uint64_t>(n);
       return true;
     }},
    {"--addresses", "A1,A2,...", "addresses of meters 1, 2, ... (hex digits, up to 14)",
     [](const std::string& v, SimCommandLine& o, std::string&) {
       const auto parts = Split(v);
       for (size_t i = 0; i < parts.size(); ++i)
         Setup(o, i).address = parts[i];
       return true;
     }},
    {"--protocol", "V1,V2,...",
     "metering-data version of meters 1, 2, ... (the last one given holds for the rest): "
     "M-BusV2.01, M-BusV2.02 (default), M-BusV2.03, M-BusV3.01 or TG; a TG meter's default "
     "address is 111100 followed by the last eight digits (the program's row holds those eight)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       const auto parts = Split(v);
       for (size_t i = 0; i < kMaxMeters; ++i) {
         const auto p = ParseProtocol(parts[std::min(i, parts.size() - 1)]);
         if (!p) {
           e = "unknown protocol version in \"" + v + "\"";
           return false;
         }
         Setup(o, i).protocol = *p;
       }
       return true;
     }},
    {"--cold", "METERS", "these meters (e.g. 2,4 or all) are cold meters; the rest heat meters",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       std::vector<size_t> meters;
       if (!Positions(v, meters, e)) return false;
       for (size_t m : meters)
         Setup(o, m).kind = MeterKind::kCold;
       return true;
     }},
    {"--seed", "N", "seed of the meters' errors and the bench volumes (default 1)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 0, INT64_MAX, n, "--seed", e)) return false;
       o.bench.seed = static_cast<uint64_t>(n);
       return true;
     }},
    {"--spread", "PERCENT", "largest systematic error of a meter (default 2)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       return ParseSpread(v, o.bench.error_spread, "--spread", e);
     }},
    {"--heat-spread", "PERCENT",
     "largest error of a meter's heat calculation, on top of what its volume and probe errors "
     "make of the heat (default 1)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       return ParseSpread(v, o.bench.heat_error_spread, "--heat-spread", e);
     }},
    {"--flow-point", "K",
     "flow point 1..5 the bench runs at first (default 1; type 'point K' "
     "on standard input to change it)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 1, 5, n, "--flow-point", e)) return false;
       o.flow_point = static_cast<int>(n);
       return true;
     }},
    {"--inlet", "DEGC", "inlet (supply) temperature of the bench, 1..150 (default 80)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       return ParseTemperature(v, o.inlet_c, e);
     }},
    {"--outlet", "DEGC", "outlet (return) temperature of the bench, 1..150 (default 60)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       return ParseTemperature(v, o.outlet_c, e);
     }},
    {"--fluid", "DEGC", "temperature of the water on the scale, 1..150 (default 20)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       return ParseTemperature(v, o.fluid_c, e);
     }},
    {"--fault", "KIND:METERS",
     "inject a fault into meters (e.g. silent:3 or noise:all); KIND is silent, bad-checksum, "
     "missing-end, split, noise, miss-first (the first frame to it is lost) or delay=MS; may "
     "be repeated",
     ParseFault},
    {"--fault-rate", "PERCENT",
     "inject a fault into this share of all replies, drawn at random from silent, bad sum, "
     "missing end, split, noise and corrupted length (default 0)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       double share = 0;
       if (!ParseSpread(v, share, "--fault-rate", e)) return false;
       o.bench.injected.rate = share;
       return true;
     }},
    {"--fault-seed", "N", "seed of the injected faults (default 1)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 0, INT64_MAX, n, "--fault-seed", e)) return false;
       o.bench.injected.seed = static_cast<uint64_t>(n);
       return true;
     }},
    {"--switch-silent", nullptr, "the channel switch never answers",
     [](const std::string&, SimCommandLine& o, std::string&) {
       o.bench.switch_silent = true;
       return true;
     }},
    {"--no-pacing", nullptr, "answer at once instead of at the speed of 2400 baud 8E1",
     [](const std::string&, SimCommandLine& o, std::string&) {
       o.bench.pacing = false;
       return true;
     }},
    {"--tcp", "PORT",
     "serve the lines on TCP ports of 127.0.0.1 (line 1 on PORT, line 2 on PORT+1, ...; 0 = "
     "free ports, as printed), as serial device servers do; the program's device is then "
     "tcp:127.0.0.1:PORT",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       long long n = 0;
       if (!ParseInt(v, 0, 65535, n, "--tcp", e)) return false;
       o.bench.tcp_port = static_cast<uint16_t>(n);
       return true;
     }},
    {"--scale", "mt-sics|sbi|ascii",
     "add a weighing scale speaking MT-SICS level 0 (SI, S), SBI print (ESC P) or continuous "
     "ASCII on a line of its own (with --tcp, the port after the meters' lines): its net mass "
     "rises while a flow point runs (after 'point K' or the program's first StartTest), moves "
     "for a second after the water stops, then stands still at the reference mass of the water "
     "delivered",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       const auto p = ScaleProtocolNamed(v);
       if (!p) e = "--scale is mt-sics, sbi or ascii";
       if (p) o.bench.scale = *p;
       return p.has_value();
     }},
    {"--scale-fault", "silent|overload|unstable",
     "the scale never answers, reports an overload, or never becomes stable (type 'scale KIND' "
     "on standard input to change it, 'scale none' to mend it)",
     [](const std::string& v, SimCommandLine& o, std::string& e) {
       const auto f = ParseScaleFault(v);
       if (!f) e = "--scale-fault is silent, overload or unstable";
       if (f) o.bench.scale_fault = *f;
       return f.has_value();
     }},
    {"--program-dir", "DIR",
     "write each virtual line's device into DIR/comminfo.ini, section \"Devices\", and the "
     "scale's device and protocol into its section \"Scale\"",
     [](const std::string& v, SimCommandLine& o, std::string&) {
       o.program_dir = v;
       return true;
     }},
    {"--configure", nullptr,
     "with --program-dir: also set the rows' ports and channels and sysinfo.ini's CommType and "
     "MeterNum to match the wiring",
     [](const std::string&, SimCommandLine& o, std::string&) {
       o.configure = true;
       return true;
     }},
    {"--help", nullptr, "show this text",
     [](const std::string&, SimCommandLine& o, std::string&) {
       o.help = true;
       return true;
     }},
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, SimCommandLine& out,
                      std::string& error) {
  out = SimCommandLine{};
  out.bench.meter_count = 16;
  out.bench.pacing = true;
  out.bench.heat_error_spread = 0.01;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    const size_t eq = name.find('=');
    const bool inline_value = name.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inline_value) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const auto opt = std::find_if(std::begin(kOptions), std::end(kOptions),
                                  [&](const Option& o) { return name == o.name; });
    if (opt == std::end(kOptions)) {
      error = "unknown option \"" + args[i] + "\" (see --help)";
      return false;
    }
    if (opt->argument != nullptr && !inline_value) {
      if (i + 1 >= args.size()) {
        error = name + " needs " + opt->argument;
        return false;
      }
      value = args[++i];
    }
    if (!opt->parse(value, out, error)) return false;
  }
  if (out.bench.scale_fault != ScaleFault::kNone && !out.bench.scale) {
    error = "--scale-fault needs --scale";
    return false;
  }
  if (out.configure && out.program_dir.empty()) {
    error = "--configure needs --program-dir";
    return false;
  }
  return true;
}

std::string UsageText() {
  std::string text =
      "Usage: bench-sim [options]\n"
      "A virtual heat-meter bench on pseudo-terminals (or TCP ports): prints the device of\n"
      "each virtual serial line and the address of each meter, then serves requests until\n"
      "SIGINT or SIGTERM. For each flow point read it prints the reference volume, the net\n"
      "scale mass and the bench temperatures to type into the detection windows, and the\n"
      "volume and heat the meter reported.\n\nOptions:\n";
  for (const Option& o : kOptions) {
    std::string head = std::string("  ") + o.name;
    if (o.argument != nullptr) head += std::string(" ") + o.argument;
    text += head + "\n      " + o.help + "\n";
  }
  return text;
}

}  // namespace qv::sim
