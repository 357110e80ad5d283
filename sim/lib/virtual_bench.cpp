#include "sim/lib/virtual_bench.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "sim/lib/meter_model.h"
#include "sim/lib/sim_line.h"
#include "sim/lib/water.h"

namespace qv::sim {

namespace {

using namespace std::chrono;

// A sender writes a request in one go, and on a 2400-baud line its bytes
// follow each other 4.6 ms apart; a pause of 200 ms inside a frame means the
// rest is not coming, so the meter forgets the partial frame and starts over.
constexpr milliseconds kFrameGap{200};
// The program's serial reader ends a received block after 100 ms of
// silence; a 250 ms pause inside a split reply surely makes two blocks.
constexpr milliseconds kSplitGap{250};
// Line noise and wake bytes put before a reply by the `noise` fault. The
// stray 0x68 checks that a receiver resynchronises on the real start byte.
constexpr uint8_t kNoise[] = {0x5A, 0xA5, 0x68, 0x00, 0xFF, 0xFE, 0xFE, 0xFE, 0xFE};
// Frames kept for Received(); older ones are forgotten on a long run.
constexpr size_t kReceivedKept = 4096;

constexpr DataId kBenchReadDi{0x90, 0x1F};
// Where a reply's L byte stands, counted from its 0x68.
constexpr size_t kLengthAt = 10;
constexpr uint8_t kBenchReadControl = 0x21;

struct FaultRow {
  ReplyFault fault;
  std::string_view text;
};
constexpr FaultRow kFaultTexts[] = {{ReplyFault::kNone, "none"},
                                    {ReplyFault::kSilent, "silent"},
                                    {ReplyFault::kBadSum, "bad sum"},
                                    {ReplyFault::kMissingEnd, "missing end"},
                                    {ReplyFault::kSplit, "split"},
                                    {ReplyFault::kNoise, "noise"},
                                    {ReplyFault::kCorruptedLength, "corrupted length"}};

struct WiringRow {
  Wiring wiring;
  std::string_view text;
};
constexpr WiringRow kWirings[] = {
    {Wiring::kSingle, "single"}, {Wiring::kMulti, "multi"}, {Wiring::kChannel, "channel"}};

CivilTime LocalNow() {
  const auto now = system_clock::now();
  const time_t t = system_clock::to_time_t(now);
  tm local{};
  localtime_r(&t, &local);
  return floor<seconds>(now) + seconds(local.tm_gmtoff);
}

std::string DefaultAddress(uint64_t number, ProtocolVersion protocol) {
  std::string digits = std::to_string(number);
  if (protocol != ProtocolVersion::kTG) return digits;
  std::string last8 = std::to_string(number % 100000000ULL);
  return "111100" + std::string(8 - last8.size(), '0') + last8;
}

}  // namespace

std::string_view ReplyFaultText(ReplyFault f) {
  for (const FaultRow& row : kFaultTexts)
    if (row.fault == f) return row.text;
  return {};
}

std::string_view WiringText(Wiring w) {
  for (const WiringRow& row : kWirings)
    if (row.wiring == w) return row.text;
  return {};
}

std::optional<Wiring> ParseWiring(std::string_view text) {
  for (const WiringRow& row : kWirings)
    if (row.text == text) return row.wiring;
  return std::nullopt;
}

struct VirtualBench::ScalePort {
  std::unique_ptr<SimLine> line;
  SimScale scale;
  SteadyTime next_unasked{};
  int watch = -1;
};

struct VirtualBench::Port {
  std::unique_ptr<SimLine> line;
  FrameReader reader;
  SteadyTime last_input{};
  SteadyTime line_free{};
  int watch = -1;
};

VirtualBench::VirtualBench(BenchOptions options)
    : options_(std::move(options)), fault_rng_(options_.injected.seed) {}

VirtualBench::~VirtualBench() {
  Stop();
}

void VirtualBench::OnFlowRead(std::function<void(const FlowReadEvent&)> callback) {
  on_flow_read_ = std::move(callback);
}

bool VirtualBench::BuildMeters(std::string& error) {
  const int max = options_.wiring == Wiring::kChannel ? kSwitchChannels : kMaxMeters;
  if (options_.meter_count < 1 || options_.meter_count > max) {
    error = "meter count must be 1.." + std::to_string(max);
    return false;
  }
  meters_.clear();
  for (int i = 0; i < options_.meter_count; ++i) {
    const size_t index = static_cast<size_t>(i);
    const MeterSetup setup = index < options_.meters.size() ? options_.meters[index] : MeterSetup{};
    const std::string text = setup.address.empty()
                                 ? DefaultAddress(options_.first_address + index, setup.protocol)
                                 : setup.address;
    const auto address = SimAddress::FromText(text);
    if (!address) {
      error = "bad meter address \"" + text + "\" (1..14 hex digits)";
      return false;
    }
    meters_.push_back({MakeMeter(options_.seed, i, options_.error_spread, *address, setup.kind,
                                 setup.protocol, options_.heat_error_spread),
                       setup.faults});
  }
  conditions_ = MakeConditions(options_.seed);
  return true;
}

bool VirtualBench::Start(std::string& error) {
  if (thread_.joinable()) return true;
  if (!BuildMeters(error)) return false;
  const size_t lines = options_.wiring == Wiring::kMulti ? meters_.size() : 1;
  ports_.clear();
  notify_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (size_t i = 0; i < lines; ++i) {
    auto port = std::make_unique<Port>();
    const auto tcp = options_.tcp_port;
    port->line = !tcp        ? SimLine::OpenPty(error)
                 : *tcp == 0 ? SimLine::ListenTcp(0, error)
                             : SimLine::ListenTcp(static_cast<uint16_t>(*tcp + i), error);
    if (!port->line) {
      Stop();
      return false;
    }
    if (notify_fd_ >= 0 && !tcp)
      port->watch = inotify_add_watch(notify_fd_, port->line->Path().c_str(),
                                      IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    ports_.push_back(std::move(port));
  }
  if (options_.scale) {
    const auto tcp = options_.tcp_port;
    std::unique_ptr<SimLine> line =
        !tcp || *tcp == 0 ? (tcp ? SimLine::ListenTcp(0, error) : SimLine::OpenPty(error))
                          : SimLine::ListenTcp(static_cast<uint16_t>(*tcp + lines), error);
    if (!line) {
      Stop();
      return false;
    }
    scale_ = std::make_unique<ScalePort>(
        ScalePort{std::move(line), SimScale(*options_.scale, options_.seed, options_.scale_fill)});
    scale_->scale.SetFault(options_.scale_fault);
    if (notify_fd_ >= 0 && !tcp)
      scale_->watch = inotify_add_watch(notify_fd_, scale_->line->Path().c_str(),
                                        IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
  }
  stop_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0) {
    error = std::string("eventfd: ") + std::strerror(errno);
    Stop();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void VirtualBench::Stop() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_fd_, &one, sizeof one);
    thread_.join();
  }
  if (stop_fd_ >= 0) close(stop_fd_);
  if (notify_fd_ >= 0) close(notify_fd_);
  stop_fd_ = notify_fd_ = -1;
  ports_.clear();
  scale_.reset();
}

std::vector<std::string> VirtualBench::DevicePaths() const {
  std::vector<std::string> paths;
  for (const auto& p : ports_)
    paths.push_back(p->line->Path());
  return paths;
}

int VirtualBench::PortOfMeter(int i) const {
  return options_.wiring == Wiring::kMulti ? i : 0;
}

MeterState VirtualBench::Meter(int i) const {
  std::lock_guard lock(mu_);
  return meters_.at(static_cast<size_t>(i)).state;
}

void VirtualBench::UpdateMeter(int i, const std::function<void(MeterState&)>& change) {
  std::lock_guard lock(mu_);
  change(meters_.at(static_cast<size_t>(i)).state);
}

void VirtualBench::SetFaults(int i, const MeterFaults& faults) {
  std::lock_guard lock(mu_);
  meters_.at(static_cast<size_t>(i)).faults = faults;
}

void VirtualBench::SetSwitchSilent(bool silent) {
  std::lock_guard lock(mu_);
  options_.switch_silent = silent;
}

void VirtualBench::DropConnections() {
  std::lock_guard lock(mu_);
  for (const auto& p : ports_)
    p->line->CloseConnection();
}

std::optional<int> VirtualBench::ConnectedChannel() const {
  std::lock_guard lock(mu_);
  return switch_.Connected();
}

BenchConditions VirtualBench::Conditions() const {
  std::lock_guard lock(mu_);
  return conditions_;
}

void VirtualBench::SetConditions(const BenchConditions& conditions) {
  std::lock_guard lock(mu_);
  conditions_ = conditions;
}

void VirtualBench::SetFlowPoint(int point) {
  std::lock_guard lock(mu_);
  conditions_.flow_point = std::clamp(point, 1, kSimFlowPoints);
  StartScaleRunLocked(steady_clock::now());
}

std::string VirtualBench::ScaleDevicePath() const {
  return scale_ ? scale_->line->Path() : std::string();
}

void VirtualBench::SetScaleFault(ScaleFault fault) {
  std::lock_guard lock(mu_);
  if (scale_) scale_->scale.SetFault(fault);
}

void VirtualBench::StartScaleRun() {
  std::lock_guard lock(mu_);
  StartScaleRunLocked(steady_clock::now());
}

double VirtualBench::ScaleSettledKg() const {
  std::lock_guard lock(mu_);
  return scale_ ? scale_->scale.SettledKg() : 0;
}

void VirtualBench::StartScaleRunLocked(SteadyTime now) {
  if (!scale_) return;
  const size_t k = static_cast<size_t>(conditions_.flow_point - 1);
  scale_->scale.StartRun(MassKg(conditions_.reference_litres[k], conditions_.fluid_c), now);
}

void VirtualBench::ServeScale(short revents, short listen_revents, SteadyTime now) {
  SimLine& line = *scale_->line;
  if (listen_revents & POLLIN) line.Accept();
  if (revents & (POLLIN | POLLHUP | POLLERR)) {
    const Bytes bytes = line.Read();
    const std::string answer = scale_->scale.Hear(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), now);
    if (!answer.empty()) line.Send(Bytes(answer.begin(), answer.end()), now, false);
  }
  // A scale that sends unasked does so only into a line someone holds, one
  // line at a time, so nothing piles up while nobody reads.
  if (now >= scale_->next_unasked) {
    scale_->next_unasked = now + SimScale::kSendPeriod;
    const std::string line_text = scale_->scale.Unasked(now);
    if (!line_text.empty() && line.MasterFd() >= 0 && !line.HasQueued())
      line.Send(Bytes(line_text.begin(), line_text.end()), now, false);
  }
  line.Flush(now);
}

std::vector<ReceivedFrame> VirtualBench::Received() const {
  std::lock_guard lock(mu_);
  return {received_.begin(), received_.end()};
}

size_t VirtualBench::ReceivedCount() const {
  std::lock_guard lock(mu_);
  return received_count_;
}

bool VirtualBench::WaitReceived(size_t count, milliseconds timeout) const {
  std::unique_lock lock(mu_);
  return received_cv_.wait_for(lock, timeout, [&] { return received_count_ >= count; });
}

void VirtualBench::Record(ReceivedFrame frame) {
  received_.push_back(std::move(frame));
  if (received_.size() > kReceivedKept) received_.pop_front();
  ++received_count_;
  received_cv_.notify_all();
}

int VirtualBench::PollTimeoutMs(SteadyTime now) const {
  std::optional<SteadyTime> wake;
  auto consider = [&](SteadyTime t) { wake = wake ? std::min(*wake, t) : t; };
  for (const auto& p : ports_) {
    if (p->line->HasQueued() && !p->line->Blocked()) consider(p->line->NextDue());
    if (p->reader.HasPartial()) consider(p->last_input + kFrameGap);
  }
  if (scale_) {
    if (scale_->line->HasQueued() && !scale_->line->Blocked()) consider(scale_->line->NextDue());
    if (scale_->scale.Protocol() == ScaleProtocol::kAscii) consider(scale_->next_unasked);
  }
  if (!wake) return -1;  // nothing to do until a byte arrives
  const auto ms = ceil<milliseconds>(*wake - now).count();
  return static_cast<int>(std::max<int64_t>(ms, 0));
}

void VirtualBench::HandleNotify() {
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = read(notify_fd_, buf, sizeof buf);
    if (n <= 0) return;
    for (ssize_t off = 0; off < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (!(ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))) continue;
      for (const auto& p : ports_)
        if (p->watch == ev->wd) p->line->ReleaseExclusive();
      if (scale_ && scale_->watch == ev->wd) scale_->line->ReleaseExclusive();
    }
  }
}

void VirtualBench::Run() {
  for (;;) {
    // Per line: its data descriptor, then its listening socket (-1, and so
    // not polled, for a pseudo-terminal).
    std::vector<pollfd> fds;
    fds.push_back({stop_fd_, POLLIN, 0});
    fds.push_back({notify_fd_, POLLIN, 0});
    int timeout = -1;
    {
      std::lock_guard lock(mu_);
      for (const auto& p : ports_) {
        fds.push_back({p->line->MasterFd(),
                       static_cast<short>(POLLIN | (p->line->Blocked() ? POLLOUT : 0)), 0});
        fds.push_back({p->line->ListenFd(), POLLIN, 0});
      }
      if (scale_) {
        const SimLine& line = *scale_->line;
        fds.push_back(
            {line.MasterFd(), static_cast<short>(POLLIN | (line.Blocked() ? POLLOUT : 0)), 0});
        fds.push_back({line.ListenFd(), POLLIN, 0});
      }
      timeout = PollTimeoutMs(steady_clock::now());
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) return;
    if (fds[1].revents != 0) HandleNotify();

    const SteadyTime now = steady_clock::now();
    std::vector<FlowReadEvent> events;
    {
      std::lock_guard lock(mu_);
      for (size_t i = 0; i < ports_.size(); ++i) {
        Port& p = *ports_[i];
        if (fds[2 * i + 3].revents & POLLIN) p.line->Accept();
        if (fds[2 * i + 2].revents & (POLLIN | POLLHUP | POLLERR)) ReadPort(i, now, events);
        if (p.reader.HasPartial() && now - p.last_input >= kFrameGap) p.reader.Reset();
        p.line->Flush(now);
      }
      if (scale_) {
        const size_t at = 2 + 2 * ports_.size();
        ServeScale(fds[at].revents, fds[at + 1].revents, now);
      }
    }
    if (on_flow_read_)
      for (const FlowReadEvent& e : events)
        on_flow_read_(e);
  }
}

void VirtualBench::ReadPort(size_t port, SteadyTime now, std::vector<FlowReadEvent>& events) {
  Port& p = *ports_[port];
  const Bytes bytes = p.line->Read();
  if (bytes.empty()) return;
  p.last_input = now;
  // The request occupies the line for its own line time before a meter can
  // answer (half duplex).
  if (options_.pacing)
    p.line_free = std::max(p.line_free, now) + kByteTime * static_cast<int64_t>(bytes.size());
  p.reader.Feed(bytes);
  for (;;) {
    FrameReader::Result r = p.reader.Next();
    if (r.status == FrameReader::Status::kNeedMore) return;
    if (r.status == FrameReader::Status::kDropped)
      Record({static_cast<int>(port), std::move(r.discarded), false, {}});
    else
      Deliver(port, r.frame, now, events);
  }
}

std::vector<int> VirtualBench::MetersHearing(size_t port) const {
  std::vector<int> out;
  switch (options_.wiring) {
    case Wiring::kSingle:
      for (int i = 0; i < MeterCount(); ++i)
        out.push_back(i);
      break;
    case Wiring::kMulti:
      out.push_back(static_cast<int>(port));
      break;
    case Wiring::kChannel:
      // Meter i sits on channel i; only the connected one hears the line.
      if (switch_.Connected() && *switch_.Connected() < MeterCount())
        out.push_back(*switch_.Connected());
      break;
  }
  return out;
}

void VirtualBench::Deliver(size_t port, const SimFrame& frame, SteadyTime now,
                           std::vector<FlowReadEvent>& events) {
  ReceivedFrame record{static_cast<int>(port), frame.raw, true, {}};
  if (options_.wiring == Wiring::kChannel && ChannelSwitch::IsForSwitch(frame)) {
    if (!options_.switch_silent) {
      if (auto reply = switch_.Handle(frame)) {
        if (SendReply(port, -1, MeterFaults{}, std::move(*reply), now))
          record.answers.push_back(-1);
      }
    }
    Record(std::move(record));
    return;
  }
  const CivilTime civil = options_.clock ? options_.clock() : LocalNow();
  const std::vector<int> hearing = MetersHearing(port);
  const auto testing = [&] {
    return std::any_of(meters_.begin(), meters_.end(),
                       [](const SimMeter& m) { return m.state.test_running; });
  };
  // The first StartTest of a run lets the water flow into the tank; the
  // same start sent to the other meters is the same run.
  const bool tested_before = testing();
  for (int i : hearing) {
    SimMeter& m = meters_[static_cast<size_t>(i)];
    std::optional<Hearing> how;
    if (frame.address == m.state.address)
      how = Hearing::kOwnAddress;
    else if (frame.address.IsBroadcast() && !IsReadAddress(frame))
      how = Hearing::kBroadcast;
    else if (frame.address.IsBroadcast() && i == hearing.front())
      how = Hearing::kWildcard;  // on a shared line only the first meter answers
    if (!how) continue;
    if (*how == Hearing::kOwnAddress && m.faults.missed_frames > 0) {
      --m.faults.missed_frames;
      continue;
    }
    std::optional<Bytes> reply = MeterAnswer(m.state, conditions_, civil, frame, *how);
    if (!reply || !SendReply(port, i, m.faults, std::move(*reply), now)) continue;
    if (frame.type == kTypeBench && frame.control == kBenchReadControl &&
        frame.di == kBenchReadDi) {
      const size_t k = static_cast<size_t>(conditions_.flow_point - 1);
      const double litres = MeterVolumeLitres(m.state, conditions_, conditions_.flow_point);
      events.push_back({i, m.state.address.Text(), conditions_.flow_point,
                        conditions_.reference_litres[k],
                        MassKg(conditions_.reference_litres[k], conditions_.fluid_c), litres,
                        conditions_.inlet_c, conditions_.outlet_c, conditions_.fluid_c,
                        MeterHeatKwh(m.state, conditions_, litres)});
    }
    record.answers.push_back(i);
  }
  if (!tested_before && testing()) StartScaleRunLocked(now);
  Record(std::move(record));
}

size_t VirtualBench::SentCount() const {
  std::lock_guard lock(mu_);
  return sent_count_;
}

std::vector<SentReply> VirtualBench::SentSince(size_t first) const {
  std::lock_guard lock(mu_);
  const size_t oldest = sent_count_ - sent_.size();
  const size_t from = std::max(first, oldest) - oldest;
  return {sent_.begin() + static_cast<ptrdiff_t>(std::min(from, sent_.size())), sent_.end()};
}

bool VirtualBench::SendReply(size_t port, int meter, MeterFaults faults, Bytes reply,
                             SteadyTime now) {
  ReplyFault injected = ReplyFault::kNone;
  const FaultInjection& inject = options_.injected;
  if (inject.rate > 0 && !inject.kinds.empty() &&
      std::uniform_real_distribution<double>(0, 1)(fault_rng_) < inject.rate) {
    injected =
        inject.kinds[std::uniform_int_distribution<size_t>(0, inject.kinds.size() - 1)(fault_rng_)];
  }
  switch (injected) {
    case ReplyFault::kNone:
      break;
    case ReplyFault::kSilent:
      faults.silent = true;
      break;
    case ReplyFault::kBadSum:
      faults.bad_checksum = true;
      break;
    case ReplyFault::kMissingEnd:
      faults.missing_end = true;
      break;
    case ReplyFault::kSplit:
      faults.split = true;
      break;
    case ReplyFault::kNoise:
      faults.noise = true;
      break;
    case ReplyFault::kCorruptedLength:
      // Any other value: longer claims make a receiver wait for bytes that
      // belong to later replies, shorter ones put the end inside the frame.
      reply[kLengthAt] = static_cast<uint8_t>(
          reply[kLengthAt] + std::uniform_int_distribution<int>(1, 255)(fault_rng_));
      break;
  }
  if (injected == ReplyFault::kNone &&
      (faults.silent || faults.bad_checksum || faults.missing_end)) {
    injected = faults.silent         ? ReplyFault::kSilent
               : faults.bad_checksum ? ReplyFault::kBadSum
                                     : ReplyFault::kMissingEnd;
  }
  sent_.push_back({meter, injected});
  if (sent_.size() > kReceivedKept) sent_.pop_front();
  ++sent_count_;
  if (faults.silent) return false;

  Port& p = *ports_[port];
  if (faults.bad_checksum) ++reply[reply.size() - 2];
  if (faults.missing_end) reply.pop_back();
  Bytes wire;
  if (faults.noise) wire.assign(std::begin(kNoise), std::end(kNoise));
  wire.insert(wire.end(), reply.begin(), reply.end());

  SteadyTime start = options_.pacing ? std::max(now, p.line_free) : now;
  start += faults.delay;
  if (faults.split) {
    const auto half = static_cast<ptrdiff_t>(wire.size() / 2);
    p.line->Send(Bytes(wire.begin(), wire.begin() + half), start, options_.pacing);
    p.line->Send(Bytes(wire.begin() + half, wire.end()), p.line->QueueEnd() + kSplitGap,
                 options_.pacing);
  } else {
    p.line->Send(std::move(wire), start, options_.pacing);
  }
  if (options_.pacing) p.line_free = p.line->QueueEnd();
  return true;
}

}  // namespace qv::sim
