// The settings files: initialisation files read and saved (names, comments,
// line ends, refused saves that keep the old file whole), and sysinfo.ini and
// comminfo.ini read at start-up and written at the close.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "core/ini_file.h"
#include "core/settings_files.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

// A file as an operator might leave it: comments, blank lines, odd case,
// blanks around '=', keys and a section the program does not know.
const std::string kHandWritten =
    "; bench settings, edited by hand\r\n\r\n[basepARAM]\r\ndn = 3\r\n# Hidden=1\r\n"
    "MeterNum=12\r\nNote=kept as it is\r\n\r\n[Unknown]\r\nColour=blue\r\n";

// The values of comma-separated "section/key" lookups joined by '|', "-" for
// a missing one.
std::string Values(const IniFile& ini, const std::string& lookups) {
  std::string out;
  std::istringstream in(lookups);
  for (std::string item; std::getline(in, item, ',');)
    out += "|" +
           ini.Get(item.substr(0, item.find('/')), item.substr(item.find('/') + 1)).value_or("-");
  return out.substr(1);
}

// A file, comma-separated "section/key" lookups, their values.
const std::tuple<const char*, const char*, const char*> kReadCases[] = {
    // Sections and keys match without regard to case.
    {kHandWritten.c_str(), "BaseParam/DN,BASEPARAM/meternum,unknown/COLOUR,BaseParam/Note",
     "3|12|blue|kept as it is"},
    // Comments, lines without a name or '=', keys outside sections or in another.
    {"Loose=1\n[A]\n# Hidden=1\n; Other=2\n  ;Third=3\nk\n=5\n[B]\nx=1\n",
     "A/Loose,A/Hidden,A/# Hidden,A/Other,A/Third,A/k,A/x,C/x,B/x", "-|-|-|-|-|-|-|-|1"},
    // Values trimmed and unquoted; the first of twin keys and sections wins.
    {"[A]\n  Name  =  \"a b\"  \nq='x'\nhalf=\"x\nempty=\nk=1\nK=2\n[a]\nk=3\n",
     "A/name,A/q,A/half,A/empty,A/k", "a b|x|\"x||1"},
    // CR LF or LF; a byte order mark is no part of the text.
    {"\xEF\xBB\xBF[A]\r\nk=1\nj=2\r\n[B]\rx=3", "A/k,a/j", "1|2"},
    // A stray CR left of a line end is no part of the value.
    {"[A]\r\r\nk=30\r\r\nlast=7\r", "A/k,A/last", "30|7"},
};

TEST(IniFileRead, NamesCommentsValuesLineEndsAndMissingFiles) {
  TempDir dir;
  for (const auto& [file, lookups, values] : kReadCases) {
    WriteFile(dir.File("a.ini"), file);
    EXPECT_EQ(Values(IniFile::Load(dir.File("a.ini")), lookups), values) << file;
  }
  const IniFile ini = IniFile::Load(dir.File("a.ini"));
  EXPECT_TRUE(ini.HasSection("a"));
  EXPECT_FALSE(ini.HasSection("C"));
  WriteFile(dir.File("a.ini"), kHandWritten);
  EXPECT_EQ(IniFile::Load(dir.File("a.ini")).Keys("baseparam"),
            (std::vector<std::string>{"dn", "MeterNum", "Note"}));
  WriteFile(dir.File("a.ini"), "[A]\n# Hidden=1\n; Other=2\nk\n=5\n[B]\nx=1\n");
  EXPECT_TRUE(IniFile::Load(dir.File("a.ini")).Keys("A").empty());
  EXPECT_TRUE(IniFile::Load(dir.File("a.ini")).Keys("C").empty());
  // A missing or unreadable file is an empty document bound to its path.
  const IniFile missing = IniFile::Load(dir.File("none.ini"));
  EXPECT_EQ(missing.Path(), dir.File("none.ini"));
  EXPECT_EQ(missing.Text(), "");
  EXPECT_FALSE(missing.HasSection("A"));
  EXPECT_EQ(IniFile::Load(dir.Dir()).Text(), "");
}

// A file before (none: no file), the values set ("section/key=value" joined
// by '|') and the file the save leaves.
const std::tuple<const char*, const char*, const char*> kSaveCases[] = {
    // Unchanged: byte for byte.
    {kHandWritten.c_str(), "", kHandWritten.c_str()},
    // Only values change; new keys go after the last key of their section
    // (before its blank line), new sections to the end.
    {kHandWritten.c_str(),
     "BaseParam/DN=5|BASEPARAM/meternum=20|BaseParam/FluxNum=4|unknown/Size=L|Comm/0=3|Comm/1=0",
     "; bench settings, edited by hand\r\n\r\n[basepARAM]\r\ndn = 5\r\n# Hidden=1\r\n"
     "MeterNum=20\r\nNote=kept as it is\r\nFluxNum=4\r\n\r\n[Unknown]\r\nColour=blue\r\n"
     "Size=L\r\n\r\n[Comm]\r\n0=3\r\n1=0\r\n"},
    // A key in an empty section follows its header.
    {"[A]\n; nothing yet\n\n[B]\nx=1\n", "a/k=1", "[A]\nk=1\n; nothing yet\n\n[B]\nx=1\n"},
    // An LF file stays LF, a new file gets CR LF, mixed line ends follow the
    // first line.
    {"[A]\nk=1\n\n[B]\nx=2", "B/x=3", "[A]\nk=1\n\n[B]\nx=3\n"},
    {nullptr, "A/k=1|B/x=2", "[A]\r\nk=1\r\n\r\n[B]\r\nx=2\r\n"},
    {"[A]\r\nk=1\nj=2\r\n", "", "[A]\r\nk=1\r\nj=2\r\n"},
    // A byte order mark and UTF-8 names survive.
    {"\xEF\xBB\xBF[调试]\r\n名称=旧\r\n", "调试/名称=新值", "\xEF\xBB\xBF[调试]\r\n名称=新值\r\n"},
    // A value with line breaks stays on its line.
    {nullptr, "A/k=1\r\n[B]\nx=2", "[A]\r\nk=1  [B] x=2\r\n"},
    // Quotes and blanks of a value's own come back as they were set.
    {nullptr, "A/k='x'|A/j= b ", "[A]\r\nk=\"'x'\"\r\nj=\" b \"\r\n"},
};

TEST(IniFileSave, ChangesOnlyWhatWasSet) {
  for (const auto& [before, sets_text, after] : kSaveCases) {
    TempDir dir;
    if (before) WriteFile(dir.File("a.ini"), before);
    IniFile ini = IniFile::Load(dir.File("a.ini"));
    std::istringstream sets(sets_text);
    for (std::string set; std::getline(sets, set, '|');) {
      const size_t slash = set.find('/'), equals = set.find('=');
      ini.Set(set.substr(0, slash), set.substr(slash + 1, equals - slash - 1),
              set.substr(equals + 1));
    }
    ini.Save();
    EXPECT_EQ(ReadFile(dir.File("a.ini")), after) << sets_text;
    EXPECT_EQ(dir.Listing(), "a.ini;") << "no temporary file left";
  }
}

// Saves in a child process under each refusal. A read-only file (in a
// writable or a read-only directory) and a write failing partway (the new
// text is over 4 KiB, the child may write 1 KiB a file), beside the file or,
// in a read-only directory, in place: the save is refused and the old file
// stays whole. A writable file is replaced beside a temporary file or, in a
// read-only directory (no temporary file can be made there), written in
// place. Either way the file keeps its permissions and nothing else appears.
TEST(IniFileSave, RefusedSaveKeepsTheOldFileWholeAndEverySaveItsPermissions) {
  struct Case {
    mode_t file, dir;
    Refusal how;
    bool saved;
  };
  for (const Case& c :
       {Case{0444, 0777, {.unprivileged = true}, false},
        Case{0444, 0555, {.unprivileged = true}, false},
        Case{0644, 0755, {.fileSizeLimit = 1024}, false},
        Case{0666, 0555, {.unprivileged = true, .fileSizeLimit = 1024}, false},
        Case{0640, 0755, {}, true}, Case{0666, 0555, {.unprivileged = true}, true}}) {
    TempDir dir;
    const std::string path = dir.File("sysinfo.ini");
    WriteFile(path, kHandWritten);
    ::chmod(path.c_str(), c.file);
    ::chmod(dir.Dir().c_str(), c.dir);
    IniFile ini = IniFile::Load(path);
    ini.Set("BaseParam", "DN", "7");
    ini.Set("BaseParam", "Long", std::string(4096, 'x'));
    EXPECT_EQ(FailureInChild([&] { ini.Save(); }, c.how),
              c.saved ? "no error" : "Unable to write to " + path)
        << c.file << " " << c.dir;
    EXPECT_EQ(ReadFile(path), c.saved ? ini.Text() : kHandWritten);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.file);
    EXPECT_EQ(dir.Listing(), "sysinfo.ini;");
  }
}

class SettingsFilesTest : public ::testing::Test {
 protected:
  SettingsFilesTest() : state(std::make_unique<BenchState>()) { state->ProgramDir = dir.Dir(); }

  // A fresh process: zeroed state, then start-up reads both files (the
  // tests leave no comminfo.ini naming ports, so start-up opens none).
  std::unique_ptr<BenchState> Restart() {
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
    SaveSysInfo(*Restart());
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
// default, not 65535). Counts, the pipe size and the indexes of lists
// (wiring, class, location, meter type, protocol) outside their range read
// as their default. Missing flow points follow the pipe size just read. Floats
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
    "ErrorCorrection=-0.25 -> -0.25", "FluidTerm=+20 -> 20",
    "CommType=7 -> 0", "CommType=3 -> 3", "MeasurementLevel=5 -> 1", "MeasurementLevel=2 -> 2",
    "Location=2 -> 0", "MeterType=-1 -> 0", "CommProtocol=2 -> 0", "CommProtocol=1 -> 1"};
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
  // Port/channel of the first seven rows.
  const auto rows = [&] {
    std::string out;
    for (int r = 0; r < 7; ++r)
      out +=
          std::to_string(state->Rows[r].Comm) + "/" + std::to_string(state->Rows[r].Channel) + " ";
    return out;
  };
  LoadComm(CommInfoText({32, 33, -1, 1, 0}, {15, 16, -1, 0}) + "[comm]\r\n");
  EXPECT_EQ(rows(), "32/15 0/0 0/0 1/0 0/0 0/0 0/0 ");
  // Hex is read; a missing key gives the default, not the old value.
  LoadComm("[COMM]\n5=0x0C\n6=junk\n[channel]\n5=0xf\n");
  EXPECT_EQ(rows(), "0/0 0/0 0/0 0/0 0/0 12/15 0/0 ");
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

// The bench and scale settings as one line: parallel lines, name,
// reference, due date, server | scale device, protocol and line in force,
// and the line settings as written.
std::string BenchText(const BenchState& s) {
  const SystemSettings& b = s.Settings;
  const ScaleSettings& c = s.Scale;
  const ScaleLine l = c.Line();
  std::string text = std::to_string(b.ParallelLines) + "," + b.BenchName + "," + b.BenchReference +
                     "," + b.CalibrationDue + "," + b.FactoryServer + "|" + c.Device + "," +
                     std::string(ScaleProtocolName(c.Protocol)) + " " + std::to_string(l.Baud) +
                     " " + std::to_string(l.DataBits) + l.Parity + std::to_string(l.StopBits) + " ";
  for (const ScaleLineKey key : kScaleLineKeys)
    text += ScaleLineSetting(c, key) + "/";
  return text;
}

// sysinfo.ini and comminfo.ini texts, and the settings taken from them.
// Blanks, CRs and one pair of quotes go; a date that is no date, a server
// with a password, a protocol or line value that is none of its choices
// read as their defaults.
// clang-format off
const std::tuple<const char*, const char*, const char*> kBenchCases[] = {
    {"", "", "0,,,,|,mt-sics 9600 8N1 ////"},
    {"[BaseParam]\nParallelLines=1\n[bench]\nname = \" Bench 3 \"\r\r\nReference=Mass std. M-12\t\n"
     "CalibrationDue= 2028-02-29 \n[Factory]\nServer=service=bench\n",
     "[Scale]\nDevice=tcp:scale-1:4001\nProtocol= SBI \nParity=e\n",
     "1,Bench 3,Mass std. M-12,2028-02-29,service=bench|tcp:scale-1:4001,sbi 1200 7E1 //E//"},
    {"[BaseParam]\nParallelLines=2\n[Bench]\nCalibrationDue=2026-02-29\n"
     "[Factory]\nServer=host=db password = x\n",
     "[Scale]\nProtocol=ascii\nBaud=0\nDataBits=9\nParity=X\nStopBits=1\n",
     "0,,,,|,ascii 2400 7E1 ///1/"},
    {"[BaseParam]\nParallelLines=x\n[Bench]\nCalibrationDue=2026-3-31\n"
     "[Factory]\nServer=postgresql://qv:x@db/bench\n",
     "[Scale]\nProtocol=sics\nBaud=19200\nDataBits=7\nStopBits=2\n",
     "0,,,,|,mt-sics 19200 7N2 19200/7//2/"},
    {"[Bench]\nCalibrationDue=2026-13-01\n[Factory]\nServer=postgresql://qv@db/b?password=x\n", "",
     "0,,,,|,mt-sics 9600 8N1 ////"},
    {"[Bench]\nCalibrationDue=2026-04-31x\n[Factory]\nServer=host=db user=password passfile=/p\n", "",
     "0,,,,host=db user=password passfile=/p|,mt-sics 9600 8N1 ////"},
};
// clang-format on

TEST_F(SettingsFilesTest, BenchAndScaleSettingsAreTakenAsWrittenOrAsTheirDefault) {
  for (const auto& [sys, comm, taken] : kBenchCases) {
    WriteFile(dir.File("sysinfo.ini"), sys);
    WriteFile(dir.File("comminfo.ini"), comm);
    state->Scale.Baud = 4800;  // nothing is left over from before
    LoadSysInfo(*state);
    LoadCommInfo(*state);
    EXPECT_EQ(BenchText(*state), taken) << sys << comm;
    // Saved and read again: the same settings.
    SaveSysInfo(*state);
    SaveCommInfo(*state);
    auto again = Restart();
    EXPECT_EQ(BenchText(*again), taken) << sys << comm;
  }
}

TEST_F(SettingsFilesTest, BenchAndScaleKeysAreWrittenOnceUsedAndKeptWhereTheyStand) {
  // Kept in place with their unknown neighbours; the missing ones follow.
  WriteFile(dir.File("sysinfo.ini"),
            "[Factory]\nServer=service=a\nRetry=5\n\n[Bench]\nNote=x\nName=B1\n");
  WriteFile(dir.File("comminfo.ini"), "[Scale]\nBaud=4800\n; the bench scale\nModel=ID7\n");
  auto s = Restart();
  s->Settings.FactoryServer.clear();
  s->Settings.ParallelLines = true;
  s->Scale.ChooseProtocol(ScaleProtocol::kAscii);
  SaveSysInfo(*s);
  SaveCommInfo(*s);
  const std::string sys = ReadFile(dir.File("sysinfo.ini"));
  EXPECT_EQ(sys.substr(0, sys.find("[BaseParam]")),
            "[Factory]\nServer=\nRetry=5\n\n[Bench]\nNote=x\nName=B1\nReference=\n"
            "CalibrationDue=\n\n");
  EXPECT_TRUE(sys.ends_with("ReadAgainTimes=3\nParallelLines=1\n")) << sys;
  const std::string comm = ReadFile(dir.File("comminfo.ini"));
  EXPECT_TRUE(
      comm.starts_with("[Scale]\nBaud=\n; the bench scale\nModel=ID7\nDevice=\n"
                       "Protocol=ascii\nDataBits=\nParity=\nStopBits=\n\n[Comm]\n"))
      << comm;
}

// A folder that is missing, or a directory where the file should be (left
// as it is): the save is refused and names the file's full path.
TEST_F(SettingsFilesTest, RefusedSaveNamesTheFullPath) {
  state->ProgramDir = dir.File("missing/");
  EXPECT_EQ(FailureInChild([&] { SaveSysInfo(*state); }, {}),
            "Unable to write to " + dir.File("missing/sysinfo.ini"));
  EXPECT_EQ(FailureInChild([&] { SaveCommInfo(*state); }, {}),
            "Unable to write to " + dir.File("missing/comminfo.ini"));
  state->ProgramDir = dir.Dir();
  std::filesystem::create_directory(dir.File("sysinfo.ini"));
  EXPECT_EQ(FailureInChild([&] { SaveSysInfo(*state); }, {}),
            "Unable to write to " + dir.File("sysinfo.ini"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("sysinfo.ini")));
  EXPECT_EQ(dir.Listing(), "sysinfo.ini;");
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
  // clang-format off
  const std::pair<double, const char*> cases[] = {
      {1, "1"}, {0, "0"}, {-0.0, "0"}, {50, "50"}, {0.1, "0.1"}, {-2.5, "-2.5"}, {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"}, {2.675, "2.675"}, {123456789012345, "123456789012345"},
      {1234567890123456, "1.23456789012346E15"}, {1e20, "1E20"}, {-1.5e-7, "-1.5E-7"},
      {0.0001, "0.0001"}, {1e-5, "1E-5"}, {1e100, "1E100"}};
  // clang-format on
  for (const auto& [v, text] : cases)
    EXPECT_EQ(FloatText(v), text) << v;
}

}  // namespace
}  // namespace qv
