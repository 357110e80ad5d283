#include "core/settings_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/ini_file.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

class SettingsFilesTest : public ::testing::Test {
 protected:
  SettingsFilesTest() : state(std::make_unique<BenchState>()) { state->ProgramDir = dir.Dir(); }

  // A fresh process: zeroed state, then start-up reads both files.
  // Ports the rows name point at devices that do not exist, so start-up
  // never touches a real serial line of the machine running the tests.
  std::unique_ptr<BenchState> Restart() {
    if (std::filesystem::exists(dir.File("comminfo.ini"))) {
      IniFile comm = IniFile::Load(dir.File("comminfo.ini"));
      for (int n = 1; n <= kPortCount; ++n) {
        comm.Set("Devices", std::to_string(n), dir.File("absent-tty" + std::to_string(n)));
      }
      comm.Save();
    }
    auto s = std::make_unique<BenchState>();
    s->ProgramDir = dir.Dir();
    InitBenchState(*s);
    return s;
  }
  // What `key` holds once a sysinfo.ini with the [BaseParam] `lines` has been
  // read and saved again: the value the program took from the file.
  std::string Taken(const std::string& lines, std::string key = "") {
    if (key.empty()) key = lines.substr(0, lines.find('='));
    WriteFile(dir.File("sysinfo.ini"), "[BaseParam]\r\n" + lines + "\r\n");
    BenchState s;
    s.ProgramDir = dir.Dir();
    LoadSysInfo(s);
    SaveSysInfo(s);
    return IniFile::Load(dir.File("sysinfo.ini")).Get("BaseParam", key).value_or("none");
  }
  void LoadComm(const std::string& text) {
    WriteFile(dir.File("comminfo.ini"), text);
    LoadCommInfo(*state);
  }

  TempDir dir;
  std::unique_ptr<BenchState> state;
};

std::string CommInfoText(const std::array<int, kMeterRows>& comm,
                         const std::array<int, kMeterRows>& channel) {
  std::string text = "[Comm]\r\n";
  for (int i = 0; i < kMeterRows; ++i)
    text += std::to_string(i) + "=" + std::to_string(comm[i]) + "\r\n";
  text += "\r\n[Channel]\r\n";
  for (int i = 0; i < kMeterRows; ++i)
    text += std::to_string(i) + "=" + std::to_string(channel[i]) + "\r\n";
  return text;
}

TEST_F(SettingsFilesTest, NeitherFileGivesDefaultsAndACloseWritesEveryKeyInOrder) {
  auto s = Restart();
  EXPECT_EQ(s->PortDevices[1], "");
  SaveSysInfo(*s);
  SaveCommInfo(*s);
  EXPECT_EQ(ReadFile(SysInfoPath(*s)),
            "[BaseParam]\r\nCommProtocol=0\r\nMeterType=0\r\nDN=1\r\nLanguage=0\r\n"
            "MeasurementLevel=1\r\nLocation=0\r\nCommType=0\r\nStandardError=1\r\n"
            "ErrorCorrection=0\r\nMeterNum=16\r\nFluxNum=5\r\nFluxOne=50\r\nFluxTwo=25\r\n"
            "FluxThree=250\r\nFluxFour=2500\r\nFluxFive=5000\r\nEntreTerm=50\r\nExitTerm=50\r\n"
            "FluidTerm=50\r\nCommWaitTimer=1000\r\nReadAgainTimes=3\r\n");
  EXPECT_EQ(ReadFile(CommInfoPath(*s)), CommInfoText({}, {}));
}

TEST_F(SettingsFilesTest, EveryKeySurvivesAStartAndAClose) {
  // Not one value the default; the floats as 15 significant digits give them.
  const std::string text =
      "[BaseParam]\r\nCommProtocol=1\r\nMeterType=1\r\nDN=13\r\nLanguage=1\r\n"
      "MeasurementLevel=2\r\nLocation=1\r\nCommType=3\r\nStandardError=0.1\r\n"
      "ErrorCorrection=-2.5\r\nMeterNum=20\r\nFluxNum=4\r\nFluxOne=7\r\nFluxTwo=8\r\n"
      "FluxThree=9\r\nFluxFour=10\r\nFluxFive=2000000000\r\nEntreTerm=0.333333333333333\r\n"
      "ExitTerm=1E20\r\nFluidTerm=12.3456789012346\r\nCommWaitTimer=0\r\n"
      "ReadAgainTimes=65535\r\n";
  WriteFile(dir.File("sysinfo.ini"), text);
  auto s = Restart();
  std::filesystem::remove(dir.File("sysinfo.ini"));
  SaveSysInfo(*s);
  EXPECT_EQ(ReadFile(dir.File("sysinfo.ini")), text);
}

TEST_F(SettingsFilesTest, CommInfoOfTwoRowsOnComThreeBehindTheSwitch) {
  state->Rows[0].Comm = 3;
  state->Rows[1].Comm = 3;
  state->Rows[0].Channel = 0;
  state->Rows[1].Channel = 1;
  SaveCommInfo(*state);
  EXPECT_EQ(ReadFile(CommInfoPath(*state)), CommInfoText({3, 3}, {0, 1}));
  auto s = Restart();
  EXPECT_EQ(s->Rows[1].Comm, 3);
  EXPECT_EQ(s->Rows[1].Channel, 1);
  EXPECT_EQ(s->Rows[2].Comm, 0);
}

TEST_F(SettingsFilesTest, ExistingFileKeepsItsOrderCommentsAndUnknownKeys) {
  WriteFile(dir.File("sysinfo.ini"),
            "; written by hand\r\n[baseparam]\r\nreadagaintimes=5\r\nVersion=2\r\nDN=4\r\n\r\n"
            "[Other]\r\nx=1\r\n");
  LoadSysInfo(*state);
  state->Settings.DN = 6;
  SaveSysInfo(*state);
  EXPECT_EQ(ReadFile(dir.File("sysinfo.ini")),
            "; written by hand\r\n[baseparam]\r\nreadagaintimes=5\r\nVersion=2\r\nDN=6\r\n"
            "CommProtocol=0\r\nMeterType=0\r\nLanguage=0\r\nMeasurementLevel=1\r\nLocation=0\r\n"
            "CommType=0\r\nStandardError=1\r\nErrorCorrection=0\r\nMeterNum=16\r\nFluxNum=5\r\n"
            "FluxOne=200\r\nFluxTwo=100\r\nFluxThree=1000\r\nFluxFour=10000\r\nFluxFive=20000\r\n"
            "EntreTerm=50\r\nExitTerm=50\r\nFluidTerm=50\r\nCommWaitTimer=1000\r\n"
            "\r\n[Other]\r\nx=1\r\n");
}

// A value as written in sysinfo.ini and the value the program takes from
// it. Integers are decimal or hex with blanks around; 16-bit keys are kept
// modulo 65536, but a negative wait or repeat count means nothing (the
// default, not 65535). Counts and the pipe size outside their range read as
// their default. Missing flow points follow the pipe size just read. Floats
// are decimal text with or without an exponent.
// Each case: "lines -> value", or "lines -> Key=value" for another key.
// clang-format off
const char* const kTaken[] = {
    "MeterNum=0x10 -> 16", "MeterNum=0X0a -> 10", "MeterNum= +7  -> 7", "Language=-1 -> -1",
    "CommWaitTimer=70000 -> 4464", "CommWaitTimer=0x11170 -> 4464", "CommWaitTimer=-1 -> 1000",
    "ReadAgainTimes=65536 -> 0", "ReadAgainTimes=65535 -> 65535", "ReadAgainTimes=-65533 -> 3",
    "DN=99 -> 1", "DN=-1 -> 1", "DN=17 -> 17", "DN=0 -> 0", "FluxNum=0 -> 5", "FluxNum=6 -> 5",
    "FluxNum=1 -> 1", "MeterNum=0 -> 16", "MeterNum=21 -> 16", "MeterNum=20 -> 20",
    "MeterNum=1 -> 1", "DN=0 -> FluxOne=30", "DN=0 -> FluxFive=3000", "DN=99 -> FluxFive=5000",
    "FluxTwo=7\r\nDN=13\r\nFluxFive=x -> FluxOne=12000",
    "FluxTwo=7\r\nDN=13\r\nFluxFive=x -> FluxTwo=7",
    "FluxTwo=7\r\nDN=13\r\nFluxFive=x -> FluxFive=1200000",
    "StandardError= 1.5  -> 1.5", "StandardError=1e3 -> 1000", "StandardError=1E-5 -> 1E-5",
    "ErrorCorrection=-0.25 -> -0.25", "FluidTerm=+20 -> 20"};
// clang-format on

TEST_F(SettingsFilesTest, ValuesAreTakenAsWrittenOrFallBackToTheirDefault) {
  for (const std::string c : kTaken) {
    const size_t arrow = c.rfind(" -> ");
    std::string key, taken = c.substr(arrow + 4);
    if (taken.find('=') != std::string::npos) {
      key = taken.substr(0, taken.find('='));
      taken.erase(0, key.size() + 1);
    }
    EXPECT_EQ(Taken(c.substr(0, arrow), key), taken) << c;
  }
  for (std::string bad : {"", "12abc", "0x", "0xG", "0x-1", "1.0", "- 3", "99999999999",
                          "0x100000000", "0x80000000", "--1", "+-1"}) {
    EXPECT_EQ(Taken("CommType=" + bad), "0") << bad;
    EXPECT_EQ(Taken("MeasurementLevel=" + bad), "1") << bad;
  }
  for (std::string bad : {"", "abc", "1,5", "1.5x", "nan", "inf", "-inf", "1e999", "+-1", "0x10"}) {
    EXPECT_EQ(Taken("StandardError=" + bad), "1") << bad;
    EXPECT_EQ(Taken("EntreTerm=" + bad), "50") << bad;
  }
}

TEST_F(SettingsFilesTest, RowPortAndChannelOutsideTheirRangeReadAsNone) {
  LoadComm(CommInfoText({32, 33, -1, 1, 0}, {15, 16, -1, 0}) + "[comm]\r\n");
  EXPECT_EQ(state->Rows[0].Comm, 32);
  EXPECT_EQ(state->Rows[1].Comm, 0);
  EXPECT_EQ(state->Rows[2].Comm, 0);
  EXPECT_EQ(state->Rows[3].Comm, 1);
  EXPECT_EQ(state->Rows[0].Channel, 15);
  EXPECT_EQ(state->Rows[1].Channel, 0);
  EXPECT_EQ(state->Rows[2].Channel, 0);
  LoadComm("[COMM]\n5=0x0C\n6=junk\n[channel]\n5=0xf\n");
  EXPECT_EQ(state->Rows[5].Comm, 12);
  EXPECT_EQ(state->Rows[5].Channel, 15);
  EXPECT_EQ(state->Rows[6].Comm, 0);
  EXPECT_EQ(state->Rows[0].Comm, 0);  // missing key: the default, not the old value
}

TEST_F(SettingsFilesTest, DevicesAreReadAndASaveLeavesThemAsTheyWere) {
  const std::string devices =
      "[Devices]\r\n; the USB adapter\r\n1 = /dev/ttyUSB0\r\n32=/dev/serial/by-id/usb-x\r\n";
  state->PortDevices[2] = "left over";
  LoadComm(devices + "\r\n" + CommInfoText({4}, {}));
  EXPECT_EQ(state->PortDevices[1], "/dev/ttyUSB0");
  EXPECT_EQ(state->PortDevices[32], "/dev/serial/by-id/usb-x");
  EXPECT_EQ(state->PortDevices[2], "");
  EXPECT_EQ(state->Rows[0].Comm, 4);

  state->Rows[0].Comm = 5;
  state->PortDevices[3] = "/dev/ttyS9";  // never written back
  SaveCommInfo(*state);
  EXPECT_EQ(ReadFile(dir.File("comminfo.ini")), devices + "\r\n" + CommInfoText({5}, {}));
}

TEST_F(SettingsFilesTest, RefusedSaveNamesTheFullPath) {
  state->ProgramDir = dir.File("missing/");
  try {
    SaveSysInfo(*state);
    FAIL() << "the save was not refused";
  } catch (const FileWriteError& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + dir.File("missing/sysinfo.ini")).c_str());
  }
  EXPECT_THROW(SaveCommInfo(*state), FileWriteError);
}

TEST(SettingsFilesFlowPoints, DefaultsAreExactShareOfTheNominalFlow) {
  SystemSettings s;
  for (int dn = 0; dn < kDnCount; ++dn) {
    SetDefaultFlowPoints(s, dn);
    const int64_t q = NominalFlowTable[dn];  // every row is a multiple of 100
    EXPECT_EQ(int64_t{s.FluxOne} * 50, q) << dn;
    EXPECT_EQ(int64_t{s.FluxTwo} * 100, q) << dn;
    EXPECT_EQ(int64_t{s.FluxThree} * 10, q) << dn;
    EXPECT_EQ(int64_t{s.FluxFour}, q) << dn;
    EXPECT_EQ(int64_t{s.FluxFive}, q * 2) << dn;
  }
  const auto before = s.FlowPoints();
  SetDefaultFlowPoints(s, 18);
  SetDefaultFlowPoints(s, -1);
  EXPECT_EQ(s.FlowPoints(), before);
}

TEST(SettingsFilesFloatText, ShortestTextWithFifteenSignificantDigits) {
  const std::pair<double, const char*> cases[] = {{1, "1"},
                                                  {0, "0"},
                                                  {-0.0, "0"},
                                                  {50, "50"},
                                                  {0.1, "0.1"},
                                                  {-2.5, "-2.5"},
                                                  {0.1 + 0.2, "0.3"},
                                                  {1.0 / 3, "0.333333333333333"},
                                                  {2.675, "2.675"},
                                                  {123456789012345, "123456789012345"},
                                                  {1234567890123456, "1.23456789012346E15"},
                                                  {1e20, "1E20"},
                                                  {-1.5e-7, "-1.5E-7"},
                                                  {0.0001, "0.0001"},
                                                  {1e-5, "1E-5"},
                                                  {1e100, "1E100"}};
  for (const auto& [v, text] : cases)
    EXPECT_EQ(FloatText(v), text) << v;
}

}  // namespace
}  // namespace qv
