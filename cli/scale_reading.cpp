// `scale`: one reading of the bench scale, through the program's own scale
// reader (its line settings, requests, decoders and silence rule).
#include <charconv>
#include <condition_variable>
#include <mutex>

#include "cli/subcommands.h"
#include "protocol/scale_reader.h"

namespace qv::cli {
namespace {

// A scale answers a request within a few character times and a continuous
// one sends several lines a second: 3 s of silence mean it is not there.
constexpr std::chrono::milliseconds kAnswerLimit{3000};

std::string Shortest(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

Outcome Printed(const ScaleWaitResult& w) {
  const ScaleReading& r = *w.Reading;
  const std::string state(ScaleStateName(r.State));
  Report report = {{"state", state, JsonString(state)},
                   {"stable", r.Stable() ? "true" : "false", r.Stable() ? "true" : "false"}};
  if (r.MassKg) {
    report.push_back({"mass_kg", Shortest(*r.MassKg), Shortest(*r.MassKg)});
  } else {
    report.push_back({"mass_kg", "-", "null"});
  }
  report.push_back({"unit", r.Unit, JsonString(r.Unit)});
  if (!r.ErrorText.empty()) report.push_back({"error", r.ErrorText, JsonString(r.ErrorText)});
  report.push_back({"reply", w.Line, JsonString(w.Line)});
  return {Exit::kOk, std::move(report), {}};
}

}  // namespace

Outcome ReadScale(const Context& c, MeterSession*) {
  ScaleSettings settings;
  settings.Device = c.device;
  settings.Protocol = *c.scaleProtocol;
  if (!c.baud.empty() && !SetScaleLine(settings, ScaleLineKey::kBaud, c.baud)) {
    return {
        Exit::kBadArgument, {}, "--baud is 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200"};
  }
  std::mutex mu;
  std::condition_variable done;
  std::optional<ScaleWaitResult> result;
  ScaleReader reader(settings, {nullptr, [&](const ScaleWaitResult& w) {
                                  std::lock_guard lock(mu);
                                  result = w;
                                  done.notify_all();
                                }});
  reader.BeginWait(ScaleWaitKind::kAny, kAnswerLimit);
  std::unique_lock lock(mu);
  done.wait(lock, [&] { return result.has_value(); });
  switch (result->End) {
    case ScaleWaitEnd::kTaken:
      return Printed(*result);
    case ScaleWaitEnd::kNotConnected:
      return {Exit::kNoDevice, {}, DeviceOpenError(c.device, result->Problem)};
    default:
      return {Exit::kNoReply, {}, "scale: no reply within 3 s"};
  }
}

}  // namespace qv::cli
