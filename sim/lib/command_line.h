// Command line of the bench-sim program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/lib/virtual_bench.h"

namespace qv::sim {

struct SimCommandLine {
  BenchOptions bench;
  int flow_point = 1;
  // Bench temperatures in degC; unset keeps the bench's defaults.
  std::optional<double> inlet_c;
  std::optional<double> outlet_c;
  std::optional<double> fluid_c;
  std::string program_dir;
  bool configure = false;
  bool help = false;
};

// Parses the arguments after the program name. Pacing is on unless
// --no-pacing is given. False with `error` set on a bad argument.
bool ParseCommandLine(const std::vector<std::string>& args, SimCommandLine& out,
                      std::string& error);

// The --help text: every option with its argument and default.
std::string UsageText();

}  // namespace qv::sim
