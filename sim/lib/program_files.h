// Points the program's settings files at a virtual bench: the device of each
// virtual line goes into comminfo.ini, section "Devices", key = port number
// ("1".."32"); with `configure`, the rows' "Comm" and "Channel" and
// sysinfo.ini's "CommType" and "MeterNum" are set to match the wiring.
// Everything else in both files is kept as it was.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/lib/virtual_bench.h"

namespace qv::sim {

struct ProgramFilesRequest {
  std::string dir;  // the program's directory
  Wiring wiring = Wiring::kSingle;
  int meter_count = 1;
  std::vector<std::string> devices;  // line i is port i + 1
  bool configure = false;
  // The scale's line, written into comminfo.ini's "Scale" section with its
  // protocol (its line settings then follow the protocol).
  std::string scale_device{};
  std::optional<ScaleProtocol> scale_protocol{};
};

// Port and channel of row `row` (0..19) on a bench with this wiring:
// single -> port 1; multi -> port row + 1 for the meters, none beyond;
// channel -> port 1, channel = row for the meters.
struct RowWiring {
  int comm = 0;
  int channel = 0;
};
RowWiring RowWiringFor(Wiring wiring, int meter_count, int row);

// The program's CommType for a wiring: 0 single, 1 multi, 3 channel.
int CommTypeFor(Wiring wiring);

// Writes the files; false with `error` set when a file cannot be written.
bool WriteProgramFiles(const ProgramFilesRequest& request, std::string& error);

}  // namespace qv::sim
