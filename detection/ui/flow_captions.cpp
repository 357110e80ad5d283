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

QString CellName(int row, int point, bool coefficient, bool english) {
  const QString group = QString("gbFlux%1").arg(point + 1);
  const QString flow = CaptionName(FlowCaptions(), group.toUtf8().constData(), english);
  if (english) {
    return QString("Row %1 %2 %3").arg(row + 1).arg(flow, coefficient ? "coefficient" : "volume");
  }
  return QString::fromUtf8("第%1行%2%3").arg(row + 1).arg(flow, coefficient ? "系数" : "体积");
}

}  // namespace qv
