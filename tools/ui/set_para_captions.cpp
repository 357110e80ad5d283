#include "tools/ui/set_para_captions.h"

namespace qv {
namespace {

constexpr Caption kCaptions[] = {
    {"GroupBox1", "基本参数", "Basic Parameters"},
    {"lblCommProtocol", "通讯协议：", "Comm. Protocol："},
    {"lblMeterType", "仪表类型：", "Meter Type："},
    {"lblCaliber", "管道口径：", "D/N："},
    {"lblLevel", "计量等级：", "Measurement Accuracy："},
    {"lblLocation", "安装位置：", "Installed Location："},
    {"lblError", "误差标准：", "Standard Error："},
    {"lblStandard", "国标", "N/S"},
    {"lblCorrection", "误差修正：", "Error Correction："},
    {"lblMeterNum", "仪表数量：", "Meter Number："},
    {"lblLanguage", "显示语言：", "Display Language："},
    {"lblFluxNum", "流量点：", "Flow Point："},
    {"lblFlux1", "流量一：", "Flow One："},
    {"lblFlux2", "流量二：", "Flow Two："},
    {"lblFlux3", "流量三：", "Flow Three："},
    {"lblFlux4", "流量四：", "Flow Four："},
    {"lblFlux5", "流量五：", "Flow Five："},
    {"lblEntreTerm", "进口温度：", "Entre Temperature："},
    {"lblExitTerm", "出口温度：", "Exit Temperature："},
    {"lblFluidTerm", "流体温度：", "Fluid Temperature："},
    {"lblWaitTime", "发送间隔：", "Send Timer："},
    {"lblReadAgainTimes", "重读次数：", "Read Again Times："},
    {"btn2", "读地址", "Read Address"},
    {"btn3", "写地址", "Set Address"},
    {"btn4", "系统对时", "Set Time"},
    {"btn5", "进入检定", "Enter Cali."},
    {"btn8", "退出检定", "Exit Cali."},
    {"btn6", "设口径", "Set D/N"},
    {"btn7", "设安装位置", "Installed Location"},
    {"btnSetCoef", "设系数", "Set Coef."},
    {"btnReadCoef", "读系数", "Read Coef."},
    {"btnChannelStatus", "通道状态", "Channel Stauts"},
    {"cbAllSelected", "全选", "Select All"},
    {"cbSame", "同", "Same"},
    {"lblCommType", "通讯方式：", "Comm. Mode："},
    {"lblComm", "串口", "Serial Port"},
    {"lblChannel", "通道", "Channel"},
    {"lblCurrAddr", "当前地址", "Current Address"},
    {"lblNewAddr", "新地址", "New Address"},
    {"lblQ1Coef", "系数一", "Coef. One"},
    {"lblQ2Coef", "系数二", "Coef. Two"},
    {"lblQ3Coef", "系数三", "Coef. Three"},
    {"lblQ4Coef", "系数四", "Coef. Four"},
    {"lblQ5Coef", "系数五", "Coef. Five"},
    {"lblTimes", "时间差值", "Time D-value"},
    {"lblDownStream", "顺流时间", "Flow Time"},
    {"lblReverseFlow", "逆流时间", "Reflow Time"},
    {"lblDN", "口径", "DN"},
    {"actWriteCoef", "写系数", "Write Coef."},
    {"grpBench", "工作台", "Bench"},
    {"chkParallel", "并行通讯", "Parallel lines"},
    {"lblBenchName", "工作台名称：", "Bench Name："},
    {"lblReference", "标准装置：", "Reference："},
    {"lblCalibrationDue", "校准到期：", "Calibration Due："},
    {"lblServer", "工厂服务器：", "Factory Server："},
    {"lblScaleDevice", "电子秤设备：", "Scale Device："},
    {"lblScaleProtocol", "秤协议：", "Scale Protocol："},
    {"lblScaleBaud", "波特率：", "Baud Rate："},
    {"lblScaleDataBits", "数据位：", "Data Bits："},
    {"lblScaleParity", "校验位：", "Parity："},
    {"lblScaleStopBits", "停止位：", "Stop Bits："},
};

// By position, as the settings hold the index.
constexpr ListCaptions kLists[] = {
    {"cbxMeterType", {"机械表", "热量表"}, {"Mechanical meter", "Heat meter"}},
    {"cbxLevel", {"1级", "2级", "3级"}, {"Level one", "Level two", "Level three"}},
    {"cbxLocation", {"进口", "出口"}, {"Entre", "Exit"}},
    {"cbxCommType",
     {"单串口", "多串口", "红外", "多通道"},
     {"A single serial port", "Multi serial port", "Infrared", "Multi channel"}},
};

QString Name(const QString& object, bool english) {
  return CaptionName(SetParaCaptions(), object.toUtf8().constData(), english);
}

}  // namespace

const CaptionTable& SetParaCaptions() {
  static const CaptionTable table{{nullptr, "参数设置", "Parameter Settings"}, kCaptions, kLists};
  return table;
}

QString SettingName(const char* edit_object, bool english) {
  // Each edit "edtX" stands beside its label "lblX".
  return Name("lbl" + QString::fromUtf8(edit_object).mid(3), english);
}

QString RefusedTextMessage(const TextSetting& setting, const QString& text, bool english) {
  const QString field = SettingName(setting.object.data(), english);
  if (setting.rule == TextRule::kNoPassword) {
    // The text itself is not shown: it holds the password.
    return english ? QString(
                         "%1: a password is never stored in the settings; nothing was "
                         "changed. Keep it in libpq's password file (~/.pgpass) or service "
                         "file.")
                         .arg(field)
                   : QString::fromUtf8(
                         "%1：设置中不保存密码，未作更改。密码请放在 libpq "
                         "的密码文件（~/.pgpass）或服务文件中。")
                         .arg(field);
  }
  return english ? QString(
                       "%1: \"%2\" is not a date of the form yyyy-mm-dd (for example "
                       "2026-03-31); the previous value is kept.")
                       .arg(field, text)
                 : QString::fromUtf8(
                       "%1：“%2”不是 yyyy-mm-dd 形式的日期（如 "
                       "2026-03-31），保留原值。")
                       .arg(field, text);
}

QString CoefficientName(int row, int k, bool english) {
  const QString coef = Name(QString("lblQ%1Coef").arg(k + 1), english);
  return english ? QString("Row %1 %2").arg(row + 1).arg(coef)
                 : QString::fromUtf8("第%1行%2").arg(row + 1).arg(coef);
}

QString NewAddressName(int row, bool english) {
  const QString name = Name("lblNewAddr", english);
  return english ? QString("Row %1 %2").arg(row + 1).arg(name)
                 : QString::fromUtf8("第%1行%2").arg(row + 1).arg(name);
}

}  // namespace qv
