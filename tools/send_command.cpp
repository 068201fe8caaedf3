#include "tools/send_command.h"

#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "tools/link_transmitter.h"
#include "tools/live_arguments.h"
#include "tools/live_link.h"
#include "tools/message_text.h"

namespace velqor::cli {

const char kSendUsage[] =
    "usage: velqor-cli send <ID>#<DATA> [--ext] [--cycle MS [--count N]]\n"
    "                       [--sim | --vid HEX --pid HEX]\n"
    "\n"
    "Sends one CAN frame through the adapter and waits for its result; with --cycle, sends it\n"
    "every MS milliseconds until N have gone out or Ctrl-C, then says on standard error how\n"
    "many were sent and failed and how regular the period was.\n"
    "<ID> is 1 to 8 hexadecimal digits: more than 3 make an extended (29-bit) identifier.\n"
    "<DATA> is 0 to 8 bytes as hexadecimal pairs, optionally separated by dots.\n"
    "Example: velqor-cli send 123#1122 , velqor-cli send 18FEF100#01.02.03\n"
    "\n"
    "  --ext          an extended identifier also with 3 digits or fewer\n"
    "  --cycle MS     send periodically, every MS milliseconds (1 to 60000)\n"
    "  --count N      with --cycle: stop after N frames (default 0: until Ctrl-C)\n"
    "%s"
    "\n"
    "Exit status: 0 sent, 2 bad arguments or an adapter that cannot be found or opened,\n"
    "3 transmission failed, 4 out of range, 5 no answer within 1 s. With --cycle: 0 when\n"
    "every frame went out, 3 when any failed, 5 when answers were missing.\n";

namespace {

constexpr int kNoResult = -1;

class SendSink : public DeviceMessageSink {
 public:
  explicit SendSink(LiveLink& link) : m_link(link) {}
  void OnReceivedFrame(const CanFrame&) override {}  // the bus traffic is not this command's
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    if (code != MsgCode::SendResult) return;
    int expected = kNoResult;
    if (m_result.compare_exchange_strong(expected, message.Data[0])) m_link.Stop();
  }
  int Result() const { return m_result.load(); }

 private:
  LiveLink& m_link;
  std::atomic<int> m_result{kNoResult};
};

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kSendUsage, kLinkOptionsUsage);
  return text;
}

}  // namespace

int RunSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LinkOptions link;
  bool extended = false;
  std::uint64_t cycleMs = 0;  // 0: one frame
  std::uint64_t count = 0;
  bool counted = false;
  std::string frameText;
  LiveArguments cli("send", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();
    if (a == "--ext") {
      extended = true;
    } else if (a == "--cycle" || a == "--count") {
      std::uint64_t& value = a == "--cycle" ? cycleMs : count;
      counted = counted || a == "--count";
      const std::uint64_t most = a == "--cycle" ? kMaxCycleMs : UINT64_MAX;
      const std::string* given = cli.Value();
      const std::string v = given ? *given : "";
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
      if (v.empty() || ec != std::errc() || end != v.data() + v.size() || value > most ||
          (a == "--cycle" && value < kMinCycleMs)) {
        return bad(a +
                   (a == "--cycle" ? " needs milliseconds from 1 to 60000"
                                   : " needs a number of frames (0: until Ctrl-C)") +
                   ", got '" + v + "'");
      }
    } else if (!a.empty() && a[0] == '-') {
      return bad("unknown argument '" + a + "'");
    } else if (!frameText.empty()) {
      return bad("one frame at a time: '" + frameText + "' and '" + a + "'");
    } else {
      frameText = a;
    }
  }
  if (cli.Exit()) return *cli.Exit();
  if (frameText.empty()) return bad("which frame? <ID>#<DATA> is missing");
  std::string error;
  const auto record = ParseFrameText(frameText, extended, error);
  if (!record) return bad(error);
  if (counted && cycleMs == 0) return bad("--count goes with --cycle");
  if (cycleMs != 0) {
    const int cycle = static_cast<int>(cycleMs);
    return RunTransmitRow(
        "send", link, [&](TransmitScheduler& s) { return s.Start(kRow, *record, cycle, count); },
        std::chrono::milliseconds(cycle), err);
  }

  LiveLink live(link);
  SendSink sink(live);
  if (!live.Open(sink, error)) {
    err << "velqor-cli send: " << error << "\n";
    return 2;
  }
  if (!live.Send(SendCanFrame(*record))) {
    err << "velqor-cli send: the frame could not be written to the adapter\n";
    return 3;
  }
  live.Run(std::chrono::seconds(1));
  live.Close();
  switch (sink.Result()) {
    case kResultOk:
      out << "sent\n";
      return 0;
    case kResultOutOfRange:
      out << "out of range\n";
      return 4;
    case kNoResult:
      err << "velqor-cli send: no answer from the adapter within 1 s\n";
      return 5;
    case kResultFailed:
      out << "transmission failed\n";
      return 3;
    default:
      out << "transmission failed (result " << sink.Result() << ")\n";
      return 3;
  }
}

}  // namespace velqor::cli
