#include "detection/ui/flow_captions.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <array>
#include <string_view>

namespace qv {
namespace {

struct Caption {
  const char* object;
  const char* chinese;
  const char* english;
};

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
};

struct Items {
  const char* object;
  std::array<const char*, 5> chinese;
  std::array<const char*, 5> english;
};

// By position: "回水" (return pipe) is position 0, "进水" (supply) 1.
constexpr Items kItems[] = {
    {"cbxLevel", {"1 级", "2 级", "3 级"}, {"Level one", "Level two", "Level three"}},
    {"cbxLocation", {"回水", "进水"}, {"Exit", "Entre"}},
    {"cbxFlux",
     {"流量一", "流量二", "流量三", "流量四", "流量五"},
     {"Flux one", "Flux two", "Flux three", "Flux four", "Flux five"}},
};

const Caption* Find(std::string_view object) {
  for (const Caption& c : kCaptions) {
    if (object == c.object) return &c;
  }
  return nullptr;
}

}  // namespace

void ApplyFlowCaptions(QWidget& root, bool english) {
  root.setWindowTitle(QString::fromUtf8(english ? "Flow Detection" : "流量检测"));
  for (const Caption& c : kCaptions) {
    const QString text = QString::fromUtf8(english ? c.english : c.chinese);
    QWidget* w = root.findChild<QWidget*>(c.object);
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
      group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(text);
    }
  }
  for (const Items& list : kItems) {
    auto* combo = root.findChild<QComboBox*>(list.object);
    if (!combo) continue;
    const auto& texts = english ? list.english : list.chinese;
    for (int i = 0; i < combo->count() && i < static_cast<int>(texts.size()); ++i) {
      combo->setItemText(i, QString::fromUtf8(texts[i]));
    }
  }
}

QString CaptionName(const char* object, bool english) {
  const Caption* c = Find(object);
  if (!c) return QString::fromUtf8(object);
  QString name = QString::fromUtf8(english ? c->english : c->chinese).trimmed();
  if (name.endsWith(QChar(0xFF1A))) name.chop(1);  // the full-width colon
  return name.trimmed();
}

QString CellName(int row, int point, bool coefficient, bool english) {
  const QString group = QString("gbFlux%1").arg(point + 1);
  const QString flow = CaptionName(group.toUtf8().constData(), english);
  if (english) {
    return QString("Row %1 %2 %3").arg(row + 1).arg(flow, coefficient ? "coefficient" : "volume");
  }
  return QString::fromUtf8("第%1行%2%3").arg(row + 1).arg(flow, coefficient ? "系数" : "体积");
}

QString CompensateCaption(bool english) {
  return QString::fromUtf8(english ? "Compensate" : "补偿");
}

}  // namespace qv
