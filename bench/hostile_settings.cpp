// Settings files no program of ours wrote: 10 MB of keys and text, a line
// holding a NUL byte, a line of 5 MB, a file of NUL bytes (a power loss
// leaves such files). For each, the part of start-up that reads them
// (InitBenchState), the main window's reload and the save at close, timed;
// the keys the file held in readable lines must come back after the save.
// Prints the seconds of each step and what the log said.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/settings_files.h"
#include "core/shared_state.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Readable keys every case holds: MeterNum 7, English, 5 s reply wait, row 0 on COM3.
const std::string kSysKeys = "[BaseParam]\r\nMeterNum=7\r\nLanguage=1\r\nCommWaitTimer=5000\r\n";
const std::string kCommKeys = "[Comm]\r\n0=3\r\n";

std::string TenMegabytes() {
  std::mt19937 random(1);
  std::string text = kSysKeys;
  for (int i = 0; text.size() < 10'000'000; ++i) {
    text += "Key" + std::to_string(i) + "=";
    for (int k = 0; k < 40; ++k)
      text += static_cast<char>('a' + random() % 26);
    text += "\r\n";
  }
  return text;
}

}  // namespace

int main() {
  const std::pair<const char*, std::string> cases[] = {
      {"10 MB of keys", TenMegabytes()},
      {"a NUL byte", kSysKeys + std::string("FluxNum=3\0 4\r\nExitTerm=40\r\n", 27)},
      {"a 5 MB line", kSysKeys + std::string(5'000'000, 'x') + "\r\nExitTerm=40\r\n"},
      {"10 MB of NUL bytes", kSysKeys + std::string(10'000'000, '\0')},
  };
  int wrong = 0;
  for (const auto& [name, sysinfo] : cases) {
    std::string dir = (std::filesystem::temp_directory_path() / "qv-hostile-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return 1;
    dir += "/";
    std::ofstream(dir + "sysinfo.ini", std::ios::binary) << sysinfo;
    std::ofstream(dir + "comminfo.ini", std::ios::binary)
        << kCommKeys + sysinfo.substr(kSysKeys.size());

    auto state = std::make_unique<qv::BenchState>();
    state->ProgramDir = dir;
    auto start = std::chrono::steady_clock::now();
    qv::InitBenchState(*state);
    const double init = Seconds(start);
    start = std::chrono::steady_clock::now();
    qv::LoadSysInfo(*state);
    qv::LoadCommInfo(*state);
    const double reload = Seconds(start);
    start = std::chrono::steady_clock::now();
    qv::SaveSysInfo(*state);
    qv::SaveCommInfo(*state);
    const double save = Seconds(start);

    auto again = std::make_unique<qv::BenchState>();
    again->ProgramDir = dir;
    qv::InitBenchState(*again);
    const qv::SystemSettings& s = again->Settings;
    const bool kept =
        s.MeterNum == 7 && s.Language == 1 && s.CommWaitTimer == 5000 && again->Rows[0].Comm == 3;
    wrong += !kept;
    std::printf(
        "%-20s start-up read %.3f s, reload %.3f s, save %.3f s, file after save %ju bytes, "
        "keys %s\n",
        name, init, reload, save,
        static_cast<uintmax_t>(std::filesystem::file_size(dir + "sysinfo.ini")),
        kept ? "kept" : "LOST");
    for (const std::string& line : state->Log.TakePending())
      if (line.find("数据文件夹") == std::string::npos) std::printf("    log:%s\n", line.c_str());
    std::filesystem::remove_all(dir);
  }
  return wrong == 0 ? 0 : 1;
}
