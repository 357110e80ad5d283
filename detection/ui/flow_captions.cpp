#include "detection/ui/flow_captions.h"

namespace qv {
namespace {

constexpr Caption kCaptions[] = {
    {"cbxAll1", "全选", "Select All"},
    {"lblAddr", "地址", "Addr."},
    {"lblTemp", "温度", "Temp."},
    {"lblEntre", "进水", " Entre "},
    {"lblExit", "回水", " Exit "},
    {"gbBase", "基本参数", "Base Parameters"},
    {"lblCaliber", "口径", " D/N："},
    {"lblLevel", "计量等级", " Meas. Accu："},
    {"lblLocation", "安装位置", " Installed Loca.："},
    {"lblOperNameCaption", "检测员", " Test Person："},
    {"lblDateTimeCaption", "检测日期", " Test Date："},
    {"gbBench", "标定", "Coefficient"},
    {"lblWeight0", "称初值", " Initial Value："},
    {"lblWeight1", "称末值", " Final Value："},
    {"lblWeight", "重量", " Weight："},
    {"lblVolume", "标准体积", " Standard Volume："},
    {"lblFlux", "流量", " Flux："},
    {"lblFluxTerm", "流体", " Fluid："},
    {"btnCalibration", "标定", "Calibration"},
    {"gbFlux1", "流量一", "Flow One"},
    {"gbFlux2", "流量二", "Flow Two"},
    {"gbFlux3", "流量三", "Flow Three"},
    {"gbFlux4", "流量四", "Flow Four"},
    {"gbFlux5", "流量五", "Flow Five"},
    {"gbTerm", "温度调整", "Temp. Adjustment"},
    {"lblHighTerm", "高温", " High："},
    {"lblMidTerm", "中温", " Mid："},
    {"lblLowTerm", "低温", " Low："},
    {"btnCheckIn", "进入检定", "Enter Detection"},
    {"btnInit", "初始化", "Initialization"},
    {"btnStart", "开始", "Start"},
    {"BtnFlow", "流量", "Flow"},
    {"btnExit", "结束", "End"},
    {"btnExitCheck", "退出检定", "Exit Detection"},
    {"btnClear", "数据清空", "Data Clear"},
    {"btnClearFace", "界面清空", "Clear Interface"},
    {"btnExcel", "Excel", "Excel"},
    {"btnMonitorInfo", "信息监控", "Info. Monitoring"},
    {"actCompensate", "补偿", "Compensate"},
    {"lblQ1Bulk", "流量(L)", "Volume (L)"},
    {"lblQ1Error", "误差(%)", "Error (%)"},
    {"lblQ1Coef", "系数", "Coef."},
    {"lblQ2Bulk", "流量(L)", "Volume (L)"},
    {"lblQ2Error", "误差(%)", "Error (%)"},
    {"lblQ2Coef", "系数", "Coef."},
    {"lblQ3Bulk", "流量(L)", "Volume (L)"},
    {"lblQ3Error", "误差(%)", "Error (%)"},
    {"lblQ3Coef", "系数", "Coef."},
    {"lblQ4Bulk", "流量(L)", "Volume (L)"},
    {"lblQ4Error", "误差(%)", "Error (%)"},
    {"lblQ4Coef", "系数", "Coef."},
    {"lblQ5Bulk", "流量(L)", "Volume (L)"},
    {"lblQ5Error", "误差(%)", "Error (%)"},
    {"lblQ5Coef", "系数", "Coef."},
};

// By position: "回水" (return pipe) is position 0, "进水" (supply) 1.
constexpr ListCaptions kLists[] = {
    {"cbxLevel", {"1 级", "2 级", "3 级"}, {"Level one", "Level two", "Level three"}},
    {"cbxLocation", {"回水", "进水"}, {"Exit", "Entre"}},
    {"cbxFlux",
     {"流量一", "流量二", "流量三", "流量四", "流量五"},
     {"Flux one", "Flux two", "Flux three", "Flux four", "Flux five"}},
};

}  // namespace

const CaptionTable& FlowCaptions() {
  static const CaptionTable table{{nullptr, "流量检测", "Flow Detection"}, kCaptions, kLists};
  return table;
}

QString CellName(int row, int point, CellKind kind, bool english) {
  const QString group = QString("gbFlux%1").arg(point + 1);
  const QString flow = CaptionName(FlowCaptions(), group.toUtf8().constData(), english);
  static constexpr const char* kChinese[] = {"体积", "误差", "系数", "热量"};
  static constexpr const char* kEnglish[] = {"volume", "error", "coefficient", "heat"};
  const auto k = static_cast<size_t>(kind);
  if (english) return QString("Row %1 %2 %3").arg(row + 1).arg(flow, kEnglish[k]);
  return QString::fromUtf8("第%1行%2%3").arg(row + 1).arg(flow, QString::fromUtf8(kChinese[k]));
}

}  // namespace qv
