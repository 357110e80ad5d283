#include "tools/ui/other_para_captions.h"

#include "tools/core/other_para_run.h"

namespace qv {
namespace {

// The explanation in each language: one label per language, the other hidden.
constexpr char kNoteCN[] =
    "（1）写热量、写冷量、写分摊热量：3位小数，单位kWh；\n"
    "（2）写流量、写回水流量：3位小数，单位M3；\n"
    "（3）写工作时间为整数，单位h。";
constexpr char kNoteEN[] =
    "(1) write heat, write cold, write share heat: 3 decimal places, unit kWh;\n"
    "(2) write flow, write a return flow: 3 decimal places, unit M3;\n"
    "(3) working time is an integer, the unit H.";

// clang-format off
constexpr Caption kCaptions[] = {
    {"gbData", "写数据", "Write Data"},
    {"gbTerm", "温度配对数据", "Temperature Paired Data"},
    {"gbUltrasonic", "超声数据", "Ultrasonic Data"},
    {"gbOther", "其它", "Other"},
    {"lblLow", "低温", "Low Temp."}, {"lblMiddle", "中温", "Medi. Temp."}, {"lblHigh", "高温", "High Temp."},
    {"lblLoStad", "标准", "Standard."}, {"lblLoEntre", "进水", "Entre"}, {"lblLoExit", "回水", "Exit"},
    {"lblMiStad", "标准", "Standard."}, {"lblMiEntre", "进水", "Entre"}, {"lblMiExit", "回水", "Exit"},
    {"lblHiStad", "标准", "Standard."}, {"lblHiEntre", "进水", "Entre"}, {"lblHiExit", "回水", "Exit"},
    {"lblTimeDiff", "时间差", "Time Diff."}, {"lblDownstream", "顺水", "Down"},
    {"lblUpstream", "逆水", "Up"}, {"lblPipeline", "管道", "Pipeline"},
    {"lblAccFlow", "累计流量", "Accu. Flow"}, {"lblFlow", "流速", "Flow"}, {"lblStatus", "状态", "Status"},
    {"lblHeatUnit", "热量单位", "Heat Unit"}, {"lblPipeMode", "管道", "Pipeline"}, {"lblPtNo", "PT编号", "PT No"},
    {"cbxAll1", "全选", "Select All"},
    {"cbDataType", "全同", "All Same"}, {"cbTerm", "全同", "All Same"}, {"cbOther", "全同", "All Same"},
    {"btn1", "写热量", "Write Heat"}, {"btn2", "写冷量", "Write Cold"},
    {"btn3", "写流量", "Write Flow"}, {"btn4", "写工作时间", "Write Work Time"},
    {"btn5", "写分摊数据", "Write Share Data"}, {"btn6", "写回水流量", "Write Return Flow"},
    {"btn7", "读超声数据", "Read Ultr. Data"}, {"btn8", "读累计流量", "Read Accu. Flow"},
    {"btn9", "读温度配对", "Read Temp. Pair"}, {"btn10", "写低温配对", "Write Low Temp."},
    {"btn11", "写中温配对", "Write Medi. Temp."}, {"btn12", "写高温配对", "Write High Temp."},
    {"btn13", "读热量单位", "Read Heat Unit"}, {"btn14", "写热量单位", "Write Heat Unit"},
    {"btn15", "读管道", "Read Pipeline"}, {"btn16", "写管道", "Write Pipeline"},
    {"btn17", "读PT编号", "Read PT No."}, {"btn18", "写PT编号", "Write PT No."},
    {"lblCN", kNoteCN, kNoteCN},
    {"lblEN", kNoteEN, kNoteEN},
};
// clang-format on

constexpr CaptionTable kTable{{"", "其它参数", "Other Parameters"}, kCaptions};

constexpr const char* kLevels[][2] = {
    {"低温", "Low Temp. "}, {"中温", "Medi. Temp. "}, {"高温", "High Temp. "}};
constexpr const char* kKinds[][2] = {{"标准", "Standard."}, {"进水", "Entre"}, {"回水", "Exit"}};

}  // namespace

const CaptionTable& OtherParaCaptions() {
  return kTable;
}

QString OtherParaFieldName(int row, int field, bool english) {
  QString name;
  if (field == static_cast<int>(OtherParaField::kData)) {
    name = ByLanguage(english, "写数据", "Write Data");
  } else if (field == static_cast<int>(OtherParaField::kPtNo)) {
    name = ByLanguage(english, "PT编号", "PT No");
  } else {
    const int k = field - static_cast<int>(OtherParaField::kPairingFirst);
    const int e = english ? 1 : 0;
    name = QString::fromUtf8(kLevels[k / 3][e]) + QString::fromUtf8(kKinds[k % 3][e]);
  }
  return english ? QString("Row %1 %2").arg(row + 1).arg(name)
                 : QString::fromUtf8("第%1行%2").arg(row + 1).arg(name);
}

}  // namespace qv
