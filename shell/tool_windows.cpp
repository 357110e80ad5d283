#include "shell/tool_windows.h"

#include <memory>
#include <type_traits>

#include "shell/program.h"

namespace qv {

namespace {

// Creates the window held by the `Program` member `Form` from the shared
// state.
template <auto Form>
TToolForm* Create(Program& p) {
  auto& slot = p.*Form;
  slot = std::make_unique<typename std::remove_reference_t<decltype(slot)>::element_type>(p.state);
  return slot.get();
}

// clang-format off
constexpr ToolWindow kToolWindows[] = {
//  menu           item: objectName, captions                                   picture              window
    {"nSystem",     {"nSetPara", "参数设置", "Set Parameter"},                  "set-para",          Create<&Program::SetParaFrm>},
    {"nSystem",     {"N1", "其它设置", "Other Parameter"},                      "other-para",        Create<&Program::OtherParaFrm>},
    {"nCheckMeter", {"nFlowDetection", "流量检测", "Flow Detection"},           "flow-detection",    Create<&Program::FlowDetectionFrm>},
    {"nCheckMeter", {"nTotalDetection", "总体检测", "Total Detection"},         "overall-detection", Create<&Program::OverallDetectionFrm>},
    {"nReadDataM",  {"nReadData", "抄表", "Meter Reading"},                     "read-data",         Create<&Program::ReadDataFrm>},
    {"nMessage",    {"nResults", "检测记录", "Results"},                        "results",           Create<&Program::ResultsFrm>},
};
// clang-format on

}  // namespace

std::span<const ToolWindow> ToolWindows() {
  return kToolWindows;
}

}  // namespace qv
