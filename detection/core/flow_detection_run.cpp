#include "detection/core/flow_detection_run.h"

#include "protocol/commands.h"
#include "protocol/frame.h"

namespace qv {
namespace {

constexpr std::array<std::string_view, 20> kLabels = {
    "进入检定",   "初始化",     "开始",       "流量一",     "流量二",
    "流量三",     "流量四",     "流量五",     "结束",       "退出检定",
    "数据清空",   "流量一标定", "流量二标定", "流量三标定", "流量四标定",
    "流量五标定", "高温调整",   "中温调整",   "低温调整",   ""};

constexpr std::array<std::string_view, 5> kPointNames = {"流量一", "流量二", "流量三", "流量四",
                                                         "流量五"};

bool IsTestReply(std::span<const uint8_t> f) {
  return IsReplyTo(Command::kInitialise, f) || IsReplyTo(Command::kStartTest, f) ||
         IsReplyTo(Command::kEndTest, f);
}

double Bcd(std::span<const uint8_t> f, size_t at, size_t n) {
  return static_cast<double>(BcdToInt(f.subspan(at, n)));
}

}  // namespace

std::string_view FlowOperationLabel(int code) {
  return code >= 1 && code <= 19 ? kLabels[code - 1] : std::string_view();
}

std::string_view FlowPointName(int point) {
  return point >= 0 && point < 5 ? kPointNames[point] : std::string_view();
}

FlowReading DecodeFlowRead(std::span<const uint8_t> f) {
  FlowReading r;
  if (f.size() < kFlowReadMinLength) return r;
  r.Volume = Bcd(f, 14, 4) / (f[18] == 0x2C ? 100000.0 : 100.0);
  r.EntreTerm = Bcd(f, 24, 3) / 100;
  r.ExitTerm = Bcd(f, 27, 3) / 100;
  for (size_t k = 0; k < 4; ++k) {
    r.Coefficients[k] = static_cast<int64_t>(BcdToInt(f.subspan(36 + 4 * k, 4)));
  }
  return r;
}

std::optional<Bytes> BuildFlowOperationFrame(int code, int32_t comm_protocol,
                                             std::string_view address,
                                             const FlowOperationValues& v) {
  Bytes out;
  int built = -1;
  if (code == kFlowEnterCheck) {
    built = BuildEnterCalibration(comm_protocol, address, out);
  } else if (code == kFlowInit) {
    built = BuildInitialise(comm_protocol, address, out);
  } else if (code == kFlowStart) {
    built = BuildStartTest(comm_protocol, address, out);
  } else if (code >= kFlowReadFirst && code < kFlowReadFirst + 5) {
    built = BuildBenchReadData(comm_protocol, address, out);
  } else if (code == kFlowEnd) {
    built = BuildEndTest(comm_protocol, address, out);
  } else if (code == kFlowExitCheck) {
    built = BuildExitCalibration(comm_protocol, address, out);
  } else if (code == kFlowClear) {
    built = BuildClearData(comm_protocol, address, out);
  } else if (code >= kFlowCalibrateFirst && code < kFlowCalibrateFirst + 5) {
    built = BuildCalibrateFlowPoint(comm_protocol, address, out, code - kFlowCalibrateFirst + 1,
                                    v.Volume);
  } else if (code >= kFlowHighTerm && code <= kFlowLowTerm) {
    const TemperatureLevel level = code == kFlowHighTerm  ? TemperatureLevel::kHigh
                                   : code == kFlowMidTerm ? TemperatureLevel::kMid
                                                          : TemperatureLevel::kLow;
    built = BuildAdjustTemperature(comm_protocol, address, out, level, v.Temperature);
  } else if (code == kFlowCompensate) {
    built = BuildWriteCoefficient(comm_protocol, address, out, v.CoefficientPoint, v.Coefficient);
  }
  if (built != 0) return std::nullopt;
  return out;
}

bool FlowOperationAccepts(int code, std::span<const uint8_t> f) {
  switch (code) {
    case kFlowInit:
    case kFlowStart:
    case kFlowEnd:
      return IsTestReply(f);
    case kFlowEnterCheck:
    case kFlowExitCheck:
    case kFlowClear:
      return IsReplyTo(Command::kEnterCalibration, f);
    case kFlowHighTerm:
    case kFlowMidTerm:
    case kFlowLowTerm: {
      // The level byte follows SER: 02 high, 01 mid, 00 low.
      const uint8_t level = static_cast<uint8_t>(kFlowLowTerm - code);
      return IsReplyTo(Command::kAdjustTemperature, f) && f.size() > FrameOffset::kData &&
             f[FrameOffset::kData] == level;
    }
    case kFlowCompensate:
      return IsReplyTo(Command::kWriteCoefficient, f);
    default:
      break;
  }
  if (code >= kFlowReadFirst && code < kFlowReadFirst + 5) {
    return IsReplyTo(Command::kBenchReadData, f) && f.size() >= kFlowReadMinLength;
  }
  if (code >= kFlowCalibrateFirst && code < kFlowCalibrateFirst + 5) {
    return IsReplyTo(Command::kCalibrateFlowPoint, f) &&
           ReplyVariant(Command::kCalibrateFlowPoint, f) == code - kFlowCalibrateFirst;
  }
  return false;
}

bool FlowDetectionRun::RecogniseOwn(const ReplyHeader& h) const {
  const std::span<const uint8_t> f(h);
  return IsReplyTo(Command::kBenchReadData, f) || IsTestReply(f) ||
         IsReplyTo(Command::kCalibrateFlowPoint, f) || IsReplyTo(Command::kWriteCoefficient, f) ||
         IsReplyTo(Command::kEnterCalibration, f) || IsReplyTo(Command::kAdjustTemperature, f);
}

void FlowDetectionRun::Decode(int code, int row, std::span<const uint8_t> frame) {
  if (code >= kFlowReadFirst && code < kFlowReadFirst + 5 && on_flow_read) {
    on_flow_read(row, code - kFlowReadFirst, DecodeFlowRead(frame));
  }
}

bool FlowDetectionRun::RunOperation(int code, const FlowOperationValues& values) {
  const std::string_view label = FlowOperationLabel(code);
  if (label.empty()) return false;
  return Run(code, label, [&](int row) {
    return BuildFlowOperationFrame(code, state_.Settings.CommProtocol, state_.Rows[row].Address,
                                   values);
  });
}

bool FlowDetectionRun::Compensate(int row, int point, int64_t coefficient) {
  if (row < 0 || row >= kMeterRows || point < 0 || point >= 5) return false;
  FlowOperationValues values;
  values.Coefficient = coefficient;
  values.CoefficientPoint = point + 1;
  const std::optional<Bytes> frame = BuildFlowOperationFrame(
      kFlowCompensate, state_.Settings.CommProtocol, state_.Rows[row].Address, values);
  const std::string_view name = FlowPointName(point);
  return RunOne(
      kFlowCompensate, row, frame ? std::span<const uint8_t>(*frame) : std::span<const uint8_t>(),
      [&] { state_.Log.CalibrationStep(row + 1, name, true); },
      [&] { state_.Log.CalibrationStep(row + 1, name, false); });
}

}  // namespace qv
