// Saving a workbook where it cannot be written: a read-only folder, a full
// disk (a file size limit), a folder that cannot be made. The message names
// the workbook, and nothing is left behind. A name already taken is kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "detection/export/result_workbook.h"
#include "support/temp_files.h"

namespace qv {
namespace {

ExportTable OneRow() {
  ExportTable t;
  t.layout = &FlowWorkbook();
  t.flux_num = 5;
  t.rows.push_back({"1234567890", {}});
  return t;
}

const std::tm kWhen = [] {
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 14, t.tm_min = 30, t.tm_sec = 7;
  return t;
}();

TEST(ResultWorkbook, UnwritableLeavesNothing) {
  struct Case {
    const char* what;
    std::string sub;  // the folder below the temporary one
    test::Refusal how;
  };
  const Case cases[] = {
      {"read-only folder", "exports/", {.unprivileged = true}},
      {"full disk", "exports/", {.fileSizeLimit = 2048}},
      {"folder beyond a missing one", "missing/exports/", {}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    // Only the exports folder refuses: the one above it is open to all.
    ::chmod(dir.Dir().c_str(), 0755);
    ::mkdir(dir.File("exports").c_str(), c.how.unprivileged ? 0555 : 0777);
    const std::string folder = dir.File(c.sub);
    const std::string message =
        test::FailureInChild([&] { SaveWorkbook(OneRow(), folder, kWhen); }, c.how);
    EXPECT_EQ(message, "Unable to write to " + folder + "流量检测数据-20240305-143007.xlsx")
        << c.what;
    EXPECT_EQ(dir.Listing(), "exports;") << c.what;
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("exports"))) << c.what;
  }
}

TEST(ResultWorkbook, TakenNameGetsANumber) {
  test::TempDir dir;
  const std::string first = SaveWorkbook(OneRow(), dir.Dir(), kWhen);
  const std::string second = SaveWorkbook(OneRow(), dir.Dir(), kWhen);
  EXPECT_EQ(first, dir.File("流量检测数据-20240305-143007.xlsx"));
  EXPECT_EQ(second, dir.File("流量检测数据-20240305-143007-2.xlsx"));
  EXPECT_EQ(test::ReadFile(first).substr(0, 2), "PK");  // a zip package
}

}  // namespace
}  // namespace qv
