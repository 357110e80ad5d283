// Settings files no program of ours wrote: a line with a NUL byte, an
// overlong line, a file past the size limit (a power loss can leave one of
// NUL bytes). What can be read is read, the log says what was left out,
// and a save keeps every key that was read.
#include <gtest/gtest.h>

#include <string>

#include "core/settings_files.h"
#include "support/temp_files.h"

namespace qv {
namespace {

using namespace test;

const std::string kKeys = "[BaseParam]\r\nMeterNum=7\r\nLanguage=1\r\n";
const std::string kLong(IniFile::kMaxLineBytes + 1, 'x');
// A file of `size` bytes: the keys, padding lines, and `tail` as its last
// line.
std::string Padded(size_t size, const std::string& tail) {
  std::string text = kKeys;
  while (text.size() + 2 + tail.size() < size)
    text += text.size() % 4000 == 0 ? "\r\nPad=" : "p";
  return text.substr(0, size - 2 - tail.size()) + "\r\n" + tail;
}

TEST(HostileSettingsFile, ReadableKeysAreReadAndKeptTheRestIsNamedAndDropped) {
  // The file, its note's middle part, and FluxNum as read (the default 5
  // when its line is not read).
  const std::tuple<std::string, std::string, int> cases[] = {
      {kKeys + std::string("FluxNum=3\0 4\r\nExitTerm=40\r\n", 27), "：1行含空字节；", 5},
      {kKeys + "FluxNum=3\r\n" + kLong + "\r\n", "：1行超过4096字节；", 3},
      // Once the NUL line is left out, the byte order mark begins the file.
      {std::string("\0\n\xEF\xBB\xBF", 5) + kKeys, "：1行含空字节；", 5},
      {kKeys + std::string(3 * IniFile::kMaxFileBytes, '\0'), "：3145728字节未读（文件超过1MB）；",
       5},
      {Padded(IniFile::kMaxFileBytes, "FluxNum=3"), "", 3},
      // Past the limit, the lines past half of it are dropped: no line is
      // read cut short ("FluxNum=3" as "FluxNum=").
      {Padded(IniFile::kMaxFileBytes + 1, "FluxNum=3"), "字节未读（文件超过1MB）；", 5},
  };
  for (const auto& [text, note, flux] : cases) {
    SCOPED_TRACE(note);
    TempDir dir;
    WriteFile(dir.File("sysinfo.ini"), text);
    BenchState state;
    state.ProgramDir = state.DataDir = dir.Dir();
    LoadSysInfo(state);
    EXPECT_EQ(state.Settings.MeterNum, 7);
    EXPECT_EQ(state.Settings.Language, 1);
    EXPECT_EQ(state.Settings.FluxNum, flux);
    std::string said;
    for (const std::string& line : state.Log.TakePending())
      said += line.substr(line.find(']') + 1);
    if (note.empty()) {
      EXPECT_EQ(said, "");
      continue;
    }
    EXPECT_NE(said.find(note), std::string::npos) << said;
    EXPECT_TRUE(said.starts_with(" 配置文件" + dir.File("sysinfo.ini") + "有无法读取的内容："));
    EXPECT_TRUE(said.ends_with("其中的设置取默认值，保存时不再保留")) << said;

    SaveSysInfo(state);
    EXPECT_LE(ReadFile(dir.File("sysinfo.ini")).size(), IniFile::kMaxFileBytes / 2 + 1000);
    BenchState again;
    again.ProgramDir = again.DataDir = dir.Dir();
    LoadSysInfo(again);
    EXPECT_EQ(again.Settings.MeterNum, 7);
    EXPECT_EQ(again.Settings.Language, 1);
    EXPECT_TRUE(again.Log.TakePending().empty());
  }
}

}  // namespace
}  // namespace qv
