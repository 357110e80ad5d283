// Points a program's state at a running virtual bench, in memory, the way
// `bench-sim --program-dir DIR --configure` does through the settings files:
// each line's device, the wiring, the meter count, for every meter's row its
// port, switch channel and the address an operator would type, and the
// scale's device and protocol. Then the rows' ports are opened. For tests, benchmarks and demo
// pictures.
#pragma once

#include <string>
#include <vector>

#include "serial/port_slots.h"
#include "sim/lib/virtual_bench.h"

namespace qv::sim {

// The address an operator types for a meter: its digits without leading
// zeros ("00002024000001" -> "2024000001"); the eight digits after "111100"
// for a "TG" meter.
std::string OperatorAddress(const MeterState& meter);

// Sets `state` up for `bench` and opens the ports; returns whether every
// line's port opened. Which rows are selected stays the caller's choice.
// The lines are the bench's own devices, or `devices` when given (the same
// lines reached another way, such as a serial device server before them).
bool ConnectProgram(SharedState& state, const VirtualBench& bench,
                    std::vector<std::string> devices = {});

}  // namespace qv::sim
