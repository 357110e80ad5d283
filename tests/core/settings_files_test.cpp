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
  SystemSettings LoadSys(const std::string& baseParamLines) {
    WriteFile(dir.File("sysinfo.ini"), "[BaseParam]\r\n" + baseParamLines);
    LoadSysInfo(*state);
    return state->Settings;
  }
  void LoadComm(const std::string& text) {
    WriteFile(dir.File("comminfo.ini"), text);
    LoadCommInfo(*state);
  }

  TempDir dir;
  std::unique_ptr<BenchState> state;
};

const char kDefaultSysInfo[] =
    "[BaseParam]\r\nCommProtocol=0\r\nMeterType=0\r\nDN=1\r\nLanguage=0\r\nMeasurementLevel=1\r\n"
    "Location=0\r\nCommType=0\r\nStandardError=1\r\nErrorCorrection=0\r\nMeterNum=16\r\n"
    "FluxNum=5\r\nFluxOne=50\r\nFluxTwo=25\r\nFluxThree=250\r\nFluxFour=2500\r\nFluxFive=5000\r\n"
    "EntreTerm=50\r\nExitTerm=50\r\nFluidTerm=50\r\nCommWaitTimer=1000\r\nReadAgainTimes=3\r\n";

std::string CommInfoText(const std::array<int, kMeterRows>& comm,
                         const std::array<int, kMeterRows>& channel) {
  std::string text = "[Comm]\r\n";
  for (int i = 0; i < kMeterRows; ++i)
    text += std::to_string(i) + "=" + std::to_string(comm[i]) + "\r\n";
  text += "\r\n[Channel]\r\n";
  for (int i = 0; i < kMeterRows; ++i) {
    text += std::to_string(i) + "=" + std::to_string(channel[i]) + "\r\n";
  }
  return text;
}

TEST_F(SettingsFilesTest, NeitherFileGivesDefaultsAndACloseWritesEveryKeyInOrder) {
  auto s = Restart();
  const SystemSettings& set = s->Settings;
  EXPECT_EQ(set.DN, 1);
  EXPECT_EQ(set.MeasurementLevel, 1);
  EXPECT_EQ(set.MeterNum, 16);
  EXPECT_EQ(set.FluxNum, 5);
  EXPECT_EQ(set.FlowPoints(), (std::array<int32_t, 5>{50, 25, 250, 2500, 5000}));
  EXPECT_EQ(set.StandardError, 1.0);
  EXPECT_EQ(set.ErrorCorrection, 0.0);
  EXPECT_EQ(set.EntreTerm, 50.0);
  EXPECT_EQ(set.ExitTerm, 50.0);
  EXPECT_EQ(set.FluidTerm, 50.0);
  EXPECT_EQ(set.CommWaitTimer, 1000);
  EXPECT_EQ(set.ReadAgainTimes, 3);
  EXPECT_EQ(s->PortDevices[1], "");

  SaveSysInfo(*s);
  SaveCommInfo(*s);
  EXPECT_EQ(ReadFile(SysInfoPath(*s)), kDefaultSysInfo);
  EXPECT_EQ(ReadFile(CommInfoPath(*s)), CommInfoText({}, {}));
  EXPECT_EQ(IniFile::Load(SysInfoPath(*s)).Keys("BaseParam").size(), 21u);
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

TEST_F(SettingsFilesTest, EveryFieldSurvivesACloseAndAStart) {
  SystemSettings& set = state->Settings;
  set = {.CommProtocol = 1,
         .MeterType = 1,
         .DN = 13,
         .Language = 1,
         .MeasurementLevel = 2,
         .Location = 1,
         .CommType = 3,
         .StandardError = 0.1,
         .ErrorCorrection = -2.5,
         .MeterNum = 20,
         .FluxNum = 4,
         .FluxOne = 7,
         .FluxTwo = 8,
         .FluxThree = 9,
         .FluxFour = 10,
         .FluxFive = 2000000000,
         .EntreTerm = 1.0 / 3,
         .ExitTerm = 1e20,
         .FluidTerm = 12.345678901234567,
         .OperatorName = "Test",
         .TestDate = "2024-03-05",
         .ReadAgainTimes = 65535,
         .CommWaitTimer = 0};
  SaveSysInfo(*state);
  const SystemSettings back = Restart()->Settings;
  EXPECT_EQ(back.CommProtocol, 1);
  EXPECT_EQ(back.MeterType, 1);
  EXPECT_EQ(back.DN, 13);
  EXPECT_EQ(back.Language, 1);
  EXPECT_EQ(back.MeasurementLevel, 2);
  EXPECT_EQ(back.Location, 1);
  EXPECT_EQ(back.CommType, 3);
  EXPECT_EQ(back.StandardError, 0.1);
  EXPECT_EQ(back.ErrorCorrection, -2.5);
  EXPECT_EQ(back.MeterNum, 20);
  EXPECT_EQ(back.FluxNum, 4);
  EXPECT_EQ(back.FlowPoints(), (std::array<int32_t, 5>{7, 8, 9, 10, 2000000000}));
  EXPECT_EQ(back.EntreTerm, 0.333333333333333);  // 15 significant digits
  EXPECT_EQ(back.ExitTerm, 1e20);
  EXPECT_EQ(back.FluidTerm, 12.3456789012346);
  EXPECT_EQ(back.ReadAgainTimes, 65535);
  EXPECT_EQ(back.CommWaitTimer, 0);
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
  EXPECT_EQ(IniFile::Load(dir.File("sysinfo.ini")).Keys("BaseParam").size(), 22u);
}

TEST_F(SettingsFilesTest, IntegerKeysReadHexAndFallBackToTheirDefault) {
  EXPECT_EQ(LoadSys("MeterNum=0x10\r\n").MeterNum, 16);
  EXPECT_EQ(LoadSys("MeterNum=0X0a\r\n").MeterNum, 10);
  EXPECT_EQ(LoadSys("MeterNum= +7 \r\n").MeterNum, 7);
  for (const char* bad : {"", "12abc", "0x", "0xG", "0x-1", "1.0", "- 3", "99999999999",
                          "0x100000000", "0x80000000", "--1", "+-1"}) {
    EXPECT_EQ(LoadSys(std::string("CommType=") + bad + "\r\n").CommType, 0) << bad;
    EXPECT_EQ(LoadSys(std::string("MeasurementLevel=") + bad + "\r\n").MeasurementLevel, 1) << bad;
  }
  EXPECT_EQ(LoadSys("Language=-1\r\n").Language, -1);
}

TEST_F(SettingsFilesTest, SixteenBitKeysKeepTheValueModulo65536) {
  EXPECT_EQ(LoadSys("CommWaitTimer=70000\r\n").CommWaitTimer, 4464);
  EXPECT_EQ(LoadSys("CommWaitTimer=0x11170\r\n").CommWaitTimer, 4464);
  EXPECT_EQ(LoadSys("ReadAgainTimes=65536\r\n").ReadAgainTimes, 0);
  EXPECT_EQ(LoadSys("ReadAgainTimes=65535\r\n").ReadAgainTimes, 65535);
  // A negative wait or repeat count means nothing: the default, not 65535.
  EXPECT_EQ(LoadSys("CommWaitTimer=-1\r\n").CommWaitTimer, 1000);
  EXPECT_EQ(LoadSys("ReadAgainTimes=-65533\r\n").ReadAgainTimes, 3);
}

TEST_F(SettingsFilesTest, CountsAndPipeSizeOutsideTheirRangeReadAsDefault) {
  EXPECT_EQ(LoadSys("DN=99\r\n").DN, 1);
  EXPECT_EQ(LoadSys("DN=-1\r\n").DN, 1);
  EXPECT_EQ(LoadSys("DN=17\r\n").DN, 17);
  EXPECT_EQ(LoadSys("DN=0\r\n").DN, 0);
  EXPECT_EQ(LoadSys("MeterNum=0\r\n").MeterNum, 16);
  EXPECT_EQ(LoadSys("MeterNum=21\r\n").MeterNum, 16);
  EXPECT_EQ(LoadSys("MeterNum=20\r\n").MeterNum, 20);
  EXPECT_EQ(LoadSys("MeterNum=1\r\n").MeterNum, 1);
  EXPECT_EQ(LoadSys("FluxNum=0\r\n").FluxNum, 5);
  EXPECT_EQ(LoadSys("FluxNum=6\r\n").FluxNum, 5);
  EXPECT_EQ(LoadSys("FluxNum=1\r\n").FluxNum, 1);
}

TEST_F(SettingsFilesTest, MissingFlowPointsFollowThePipeSizeJustRead) {
  EXPECT_EQ(LoadSys("DN=0\r\n").FlowPoints(), (std::array<int32_t, 5>{30, 15, 150, 1500, 3000}));
  EXPECT_EQ(LoadSys("DN=99\r\n").FlowPoints(), (std::array<int32_t, 5>{50, 25, 250, 2500, 5000}));
  EXPECT_EQ(LoadSys("FluxTwo=7\r\nDN=13\r\nFluxFive=x\r\n").FlowPoints(),
            (std::array<int32_t, 5>{12000, 7, 60000, 600000, 1200000}));
}

TEST_F(SettingsFilesTest, FloatKeysReadDecimalTextAndFallBackToTheirDefault) {
  EXPECT_EQ(LoadSys("StandardError= 1.5 \r\n").StandardError, 1.5);
  EXPECT_EQ(LoadSys("StandardError=1e3\r\n").StandardError, 1000.0);
  EXPECT_EQ(LoadSys("StandardError=1E-5\r\n").StandardError, 1e-5);
  EXPECT_EQ(LoadSys("ErrorCorrection=-0.25\r\n").ErrorCorrection, -0.25);
  EXPECT_EQ(LoadSys("FluidTerm=+20\r\n").FluidTerm, 20.0);
  for (const char* bad : {"", "abc", "1,5", "1.5x", "nan", "inf", "-inf", "1e999", "+-1", "0x10"}) {
    EXPECT_EQ(LoadSys(std::string("StandardError=") + bad + "\r\n").StandardError, 1.0) << bad;
    EXPECT_EQ(LoadSys(std::string("EntreTerm=") + bad + "\r\n").EntreTerm, 50.0) << bad;
  }
}

TEST_F(SettingsFilesTest, RowPortAndChannelOutsideTheirRangeReadAsNone) {
  std::array<int, kMeterRows> comm{32, 33, -1, 1, 0};
  std::array<int, kMeterRows> channel{15, 16, -1, 0};
  LoadComm(CommInfoText(comm, channel) + "[comm]\r\n");
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
  SetDefaultFlowPoints(s, 0);
  EXPECT_EQ(s.FlowPoints(), (std::array<int32_t, 5>{30, 15, 150, 1500, 3000}));
  SetDefaultFlowPoints(s, 1);
  EXPECT_EQ(s.FlowPoints(), (std::array<int32_t, 5>{50, 25, 250, 2500, 5000}));
  SetDefaultFlowPoints(s, 13);
  EXPECT_EQ(s.FlowPoints(), (std::array<int32_t, 5>{12000, 6000, 60000, 600000, 1200000}));
  SetDefaultFlowPoints(s, 17);
  EXPECT_EQ(s.FlowPoints(),
            (std::array<int32_t, 5>{3000000, 1500000, 15000000, 150000000, 300000000}));
  for (int dn = 0; dn < kDnCount; ++dn) {
    SetDefaultFlowPoints(s, dn);
    const int64_t q = NominalFlowTable[dn];  // every row is a multiple of 100
    EXPECT_EQ(int64_t{s.FluxOne} * 50, q) << dn;
    EXPECT_EQ(int64_t{s.FluxTwo} * 100, q) << dn;
    EXPECT_EQ(int64_t{s.FluxThree} * 10, q) << dn;
  }
  const auto before = s.FlowPoints();
  SetDefaultFlowPoints(s, 18);
  SetDefaultFlowPoints(s, -1);
  EXPECT_EQ(s.FlowPoints(), before);
}

TEST(SettingsFilesFloatText, ShortestTextWithFifteenSignificantDigits) {
  const std::pair<double, const char*> cases[] = {
      {1, "1"},
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
      {1e100, "1E100"},
  };
  for (const auto& [v, text] : cases)
    EXPECT_EQ(FloatText(v), text) << v;
}

}  // namespace
}  // namespace qv
