// A workbook where it cannot be written (a read-only folder, a full disk):
// the message names it, and nothing is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace qv
