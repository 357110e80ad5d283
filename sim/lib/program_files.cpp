#include "sim/lib/program_files.h"

#include "core/ini_file.h"

namespace qv::sim {

namespace {

constexpr int kRows = 20;

std::string InDir(const std::string& dir, const char* name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

struct CommTypeRow {
  Wiring wiring;
  int comm_type;
};
constexpr CommTypeRow kCommTypes[] = {
    {Wiring::kSingle, 0}, {Wiring::kMulti, 1}, {Wiring::kChannel, 3}};

}  // namespace

int CommTypeFor(Wiring wiring) {
  for (const CommTypeRow& row : kCommTypes)
    if (row.wiring == wiring) return row.comm_type;
  return 0;
}

RowWiring RowWiringFor(Wiring wiring, int meter_count, int row) {
  const bool meter = row < meter_count;
  switch (wiring) {
    case Wiring::kSingle:
      return {1, 0};
    case Wiring::kMulti:
      return {meter ? row + 1 : 0, 0};
    case Wiring::kChannel:
      return {1, meter ? row : 0};
  }
  return {};
}

bool WriteProgramFiles(const ProgramFilesRequest& request, std::string& error) {
  try {
    IniFile comm = IniFile::Load(InDir(request.dir, "comminfo.ini"));
    if (request.configure) {
      for (int row = 0; row < kRows; ++row)
        comm.Set("Comm", std::to_string(row),
                 std::to_string(RowWiringFor(request.wiring, request.meter_count, row).comm));
      for (int row = 0; row < kRows; ++row)
        comm.Set("Channel", std::to_string(row),
                 std::to_string(RowWiringFor(request.wiring, request.meter_count, row).channel));
      IniFile sys = IniFile::Load(InDir(request.dir, "sysinfo.ini"));
      sys.Set("BaseParam", "CommType", std::to_string(CommTypeFor(request.wiring)));
      sys.Set("BaseParam", "MeterNum", std::to_string(request.meter_count));
      sys.Save();
    }
    for (size_t i = 0; i < request.devices.size(); ++i)
      comm.Set("Devices", std::to_string(i + 1), request.devices[i]);
    if (request.scale_protocol) {
      comm.Set("Scale", "Device", request.scale_device);
      comm.Set("Scale", "Protocol", ScaleProtocolName(*request.scale_protocol));
      for (const ScaleLineKey key : kScaleLineKeys) {
        if (comm.Get("Scale", ScaleLineKeyName(key))) comm.Set("Scale", ScaleLineKeyName(key), "");
      }
    }
    comm.Save();
  } catch (const FileWriteError& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace qv::sim
