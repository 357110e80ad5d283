// A workbook where it cannot be written (a read-only folder, a full disk):
// the message names it, and nothing is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "detection/export/result_workbook.h"
#include "support/temp_files.h"

namespace qv {
namespace {

TEST(ResultWorkbook, UnwritableLeavesNothing) {
  const ExportTable table{.layout = &FlowWorkbook(), .flux_num = 5, .rows = {{"1234567890", {}}}};
  std::tm when{};
  ::strptime("2024-03-05 14:30:07", "%Y-%m-%d %H:%M:%S", &when);
  for (const test::Refusal how :
       {test::Refusal{.unprivileged = true}, test::Refusal{.fileSizeLimit = 2048}}) {
    test::TempDir dir;
    // Only the exports folder refuses: the one above it is open to all.
    ::chmod(dir.Dir().c_str(), 0755);
    ::mkdir(dir.File("exports").c_str(), how.unprivileged ? 0555 : 0777);
    const std::string folder = dir.File("exports/");
    EXPECT_EQ(test::FailureInChild([&] { SaveWorkbook(table, folder, when); }, how),
              "Unable to write to " + folder + "流量检测数据-20240305-143007.xlsx");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
  }
}

// An address typed as a formula is a string cell of the workbook: the sheet
// holds no formula, and the texts are among its strings as they were typed.
TEST(ResultWorkbook, AFormulaFromDataStaysText) {
  test::TempDir dir;
  const std::string path = dir.File("book.xlsx");
  const ExportTable table{.layout = &FlowWorkbook(),
                          .flux_num = 1,
                          .rows = {{"=1+2", {}}, {"-2+3", {}}, {"@SUM(A1)", {}}}};
  ASSERT_TRUE(WriteWorkbook(table, path));
  const std::string script =
      "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
      "print(z.read('xl/worksheets/sheet1.xml').decode()); "
      "print(z.read('xl/sharedStrings.xml').decode())";
  FILE* out = ::popen(("python3 -c \"" + script + "\" " + path).c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string xml;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, out))
    xml.append(buf, n);
  ASSERT_EQ(::pclose(out), 0);
  EXPECT_EQ(xml.find("<f>"), std::string::npos);
  for (const char* text : {"<t>=1+2</t>", "<t>-2+3</t>", "<t>@SUM(A1)</t>"})
    EXPECT_NE(xml.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace qv
