#include "detection/ui/flow_captions.h"

#include <deque>
#include <string>
#include <vector>

#include "core/shared_state.h"

namespace qv {
namespace {

constexpr Caption kShared[] = {
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
    {"lblWeight0", "称初值", " Initial Value："},
    {"lblWeight1", "称末值", " Final Value："},
    {"btnScaleInitial", "取初值", "Read initial"},
    {"btnScaleFinal", "取末值", "Read final"},
    {"lblWeight", "重量", " Weight："},
    {"lblVolume", "标准体积", " Standard Volume："},
    {"lblFlux", "流量", " Flux："},
    {"gbFlux1", "流量一", "Flow One"},
    {"gbFlux2", "流量二", "Flow Two"},
    {"gbFlux3", "流量三", "Flow Three"},
    {"gbFlux4", "流量四", "Flow Four"},
    {"gbFlux5", "流量五", "Flow Five"},
    {"btnCheckIn", "进入检定", "Enter Detection"},
    {"btnInit", "初始化", "Initialization"},
    {"btnStart", "开始", "Start"},
    {"btnExitCheck", "退出检定", "Exit Detection"},
    {"btnClear", "数据清空", "Data Clear"},
    {"btnClearFace", "界面清空", "Clear Interface"},
    {"btnExcel", "Excel", "Excel"},
    {"btnMonitorInfo", "信息监控", "Info. Monitoring"},
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

CaptionTable DetectionCaptions(Caption title, std::span<const Caption> own,
                               std::span<const Caption> per_point) {
  // Made once per window and kept for the program's life, as the tables
  // written out are.
  static std::deque<std::string> names;
  static std::deque<std::vector<Caption>> tables;
  std::vector<Caption>& rows = tables.emplace_back(std::begin(kShared), std::end(kShared));
  rows.insert(rows.end(), own.begin(), own.end());
  for (int k = 1; k <= kFlowPoints; ++k) {
    for (const Caption& c : per_point) {
      names.push_back(QString::fromUtf8(c.object).arg(k).toStdString());
      rows.push_back({names.back().c_str(), c.chinese, c.english});
    }
  }
  return {title, rows, kLists};
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
