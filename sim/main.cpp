// bench-sim: a virtual bench of heat meters (and a channel switch) on
// pseudo-terminals, for trying the program without hardware. See --help.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "sim/lib/command_line.h"
#include "sim/lib/program_files.h"
#include "sim/lib/virtual_bench.h"

namespace {

using namespace qv::sim;

std::mutex print_mu;

void Say(const std::string& line) {
  std::lock_guard lock(print_mu);
  std::cout << line << std::endl;
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

void PrintFlowRead(const FlowReadEvent& e) {
  Say("flow point " + std::to_string(e.flow_point) + ", meter " + std::to_string(e.meter + 1) +
      " (" + e.address + "): reference volume " + Fixed(e.reference_litres, 3) +
      " L, net scale mass " + Fixed(e.mass_kg, 3) + " kg at fluid " + Fixed(e.fluid_c, 2) +
      " °C; inlet " + Fixed(e.inlet_c, 2) + " °C, outlet " + Fixed(e.outlet_c, 2) +
      " °C; the meter reads " + Fixed(e.meter_litres, 2) + " L, " + Fixed(e.meter_kwh, 3) + " kWh");
}

void PrintBench(const VirtualBench& bench, const SimCommandLine& cl) {
  const Wiring wiring = cl.bench.wiring;
  const auto paths = bench.DevicePaths();
  for (size_t i = 0; i < paths.size(); ++i)
    Say("port " + std::to_string(i + 1) + ": " + paths[i]);
  if (cl.bench.scale) {
    const qv::ScaleLine line = qv::DefaultScaleLine(*cl.bench.scale);
    Say("scale: " + bench.ScaleDevicePath() + ", " +
        std::string(qv::ScaleProtocolName(*cl.bench.scale)) + " " + std::to_string(line.Baud) +
        " " + std::to_string(line.DataBits) + line.Parity + std::to_string(line.StopBits) +
        (cl.bench.scale_fault == ScaleFault::kNone
             ? std::string()
             : ", fault " + std::string(ScaleFaultText(cl.bench.scale_fault))));
  }
  for (int i = 0; i < bench.MeterCount(); ++i) {
    const MeterState m = bench.Meter(i);
    std::string line = "meter " + std::to_string(i + 1) + ": address " + m.address.Text() + ", " +
                       std::string(ProtocolText(m.protocol)) +
                       (m.kind == MeterKind::kHeat ? " heat" : " cold") + " meter, port " +
                       std::to_string(bench.PortOfMeter(i) + 1);
    if (wiring == Wiring::kChannel) line += ", channel " + std::to_string(i + 1);
    Say(line);
  }
}

void PrintPoint(const VirtualBench& bench) {
  const BenchConditions c = bench.Conditions();
  Say("bench at flow point " + std::to_string(c.flow_point) + " (" +
      Fixed(c.flow_lph[static_cast<size_t>(c.flow_point - 1)], 0) + " L/h)");
}

void PrintScale(const VirtualBench& bench) {
  Say("scale: net mass " + Fixed(bench.ScaleSettledKg(), 3) + " kg once settled");
}

// "point K" switches the flow point, "scale FAULT" sets the scale's fault;
// other lines get a hint.
void HandleCommand(VirtualBench& bench, const std::string& line) {
  std::istringstream in(line);
  std::string word, kind;
  int point = 0;
  std::optional<ScaleFault> fault;
  if (in >> word && word == "point" && in >> point && point >= 1 && point <= 5) {
    bench.SetFlowPoint(point);
    PrintPoint(bench);
    if (!bench.ScaleDevicePath().empty()) PrintScale(bench);
  } else if (word == "scale" && in >> kind && (fault = ParseScaleFault(kind)) &&
             !bench.ScaleDevicePath().empty()) {
    bench.SetScaleFault(*fault);
    Say("scale fault: " + kind);
  } else if (!line.empty()) {
    Say("commands: point 1..5, scale none|silent|overload|unstable");
  }
}

}  // namespace

int main(int argc, char** argv) {
  SimCommandLine cl;
  std::string error;
  if (!ParseCommandLine({argv + 1, argv + argc}, cl, error)) {
    std::cerr << "bench-sim: " << error << "\n";
    return 2;
  }
  if (cl.help) {
    std::cout << UsageText();
    return 0;
  }

  // SIGINT and SIGTERM are taken through a signalfd; block them before the
  // bench thread starts so that it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);

  VirtualBench bench(cl.bench);
  bench.OnFlowRead(PrintFlowRead);
  if (!bench.Start(error)) {
    std::cerr << "bench-sim: " << error << "\n";
    return 1;
  }
  BenchConditions conditions = bench.Conditions();
  conditions.flow_point = cl.flow_point;
  conditions.inlet_c = cl.inlet_c.value_or(conditions.inlet_c);
  conditions.outlet_c = cl.outlet_c.value_or(conditions.outlet_c);
  conditions.fluid_c = cl.fluid_c.value_or(conditions.fluid_c);
  bench.SetConditions(conditions);
  PrintBench(bench, cl);
  if (!cl.program_dir.empty()) {
    ProgramFilesRequest files{cl.program_dir,      cl.bench.wiring, cl.bench.meter_count,
                              bench.DevicePaths(), cl.configure,    bench.ScaleDevicePath(),
                              cl.bench.scale};
    if (!WriteProgramFiles(files, error)) {
      std::cerr << "bench-sim: " << error << "\n";
      return 1;
    }
    Say(std::string(cl.configure ? "configured " : "devices written to ") + cl.program_dir);
  }
  PrintPoint(bench);
  if (cl.bench.scale) PrintScale(bench);
  Say(std::string("ready (") + (cl.bench.pacing ? "2400 baud pacing" : "no pacing") +
      "); stop with Ctrl+C");

  bool stdin_open = true;
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{signal_fd, POLLIN, 0}, {stdin_open ? 0 : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents != 0) break;
    if (fds[1].revents != 0) {
      char buf[256];
      const ssize_t n = read(0, buf, sizeof buf);
      if (n <= 0) {
        stdin_open = false;  // no operator input: run until a signal
        continue;
      }
      pending.append(buf, static_cast<size_t>(n));
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        HandleCommand(bench, pending.substr(0, nl));
        pending.erase(0, nl + 1);
      }
    }
  }
  bench.Stop();
  Say("stopped");
  return 0;
}
