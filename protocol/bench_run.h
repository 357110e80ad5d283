// The operation run shared by the four bench windows (flow detection,
// overall detection, parameter settings, other parameters): walk the ticked
// rows 1..MeterNum, send each its frame through the cycle, and show in its
// lamp whether the meter answered. The window supplies which replies it
// recognises, which it accepts under the running operation, and what it
// reads out of an accepted one.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "protocol/codec.h"
#include "protocol/cycle.h"
#include "serial/port_slots.h"

namespace qv {

// A row's status lamp: button face while idle or waiting, lime when its
// meter answered, red when it did not.
enum class Lamp : uint8_t { ButtonFace, Lime, Red };

class BenchRun : public CycleClient {
 public:
  // The frame for a row, or nothing when none can be built (the row then
  // ends red without anything sent).
  using FrameFor = std::function<std::optional<Bytes>(int row)>;

  BenchRun(SharedState& state, EventPump& pump);

  // Runs operation `code` (logged as `label`) over the ticked rows
  // 1..MeterNum. False, with nothing done, while another operation runs.
  bool Run(int code, std::string_view label, const FrameFor& frame_for);
  // Runs operation `code` for one row only (the compensation of one meter):
  // that row's lamp reset, the exchange (nothing sent for an empty frame),
  // the lamp rule. `begin` runs once the row is being served, `end` after
  // the timers are off.
  bool RunOne(int code, int row, std::span<const uint8_t> frame,
              const std::function<void()>& begin = {}, const std::function<void()>& end = {});
  // Ends the running operation as soon as possible: no further frame is
  // sent and the waits return at once.
  void Cancel() { cycle_.Cancel(); }

  int CurrentOperation() const { return current_operation_; }
  int CurrentRow() const { return current_row_; }
  Lamp LampOf(int row) const { return lamps_.at(row); }
  TransactionCycle& Cycle() { return cycle_; }

  // The window's hooks.
  std::function<void(int row, Lamp lamp)> on_lamp;  // a lamp changed
  std::function<void(bool on)> on_poll_timers;      // ReadTimer and StatusTimer
  std::function<void()> on_refused;                 // a start refused: beep

  // CycleClient
  bool RowAnswered(int row) const override { return lamps_.at(row) == Lamp::Lime; }
  bool RecogniseReply(const ReplyHeader& header) const override;
  void HandleReply(std::span<const uint8_t> frame) override;

 protected:
  // Whether `header` starts one of the replies to the window's own commands.
  virtual bool RecogniseOwn(const ReplyHeader& header) const = 0;
  // Whether the running operation `code` takes this reply as an answer.
  virtual bool Accepts(int code, std::span<const uint8_t> frame) const = 0;
  // Reads an accepted reply of `row` (whose lamp is already lime).
  virtual void Decode(int code, int row, std::span<const uint8_t> frame) = 0;

  SharedState& state_;

 private:
  void SetLamp(int row, Lamp lamp);
  void Begin(int code, int only_row = -1);
  void End();
  void ServeRow(int row, std::span<const uint8_t> frame);
  int MeterCount() const;

  TransactionCycle cycle_;
  std::array<Lamp, kMeterRows> lamps_{};
  int current_operation_ = 0;
  int current_row_ = -1;
};

}  // namespace qv
