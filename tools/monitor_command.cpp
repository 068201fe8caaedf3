#include "tools/monitor_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>

#include "tools/live_arguments.h"
#include "tools/live_link.h"
#include "tools/message_json.h"
#include "tools/message_text.h"
#include "tools/monitor_output.h"
#include "tools/signal_json.h"

namespace velqor::cli {

const char kMonitorUsage[] =
    "usage: velqor-cli monitor [--count N] [--seconds S] [--json] [--output FILE] [--errors]\n"
    "                          [--reconnect] [--sim | --vid HEX --pid HEX]\n"
    "\n"
    "Prints every message of the adapter as it arrives: received frames one per line in\n"
    "candump's log style, (<epoch seconds>.<microseconds>) usb <ID>#<DATA>, on standard\n"
    "output, which stays a candump log that other tools read; other messages as a short line\n"
    "on standard error. At the end (or on Ctrl-C) it says on standard error how many frames\n"
    "were received and how many were lost where it can see.\n"
    "\n"
    "  --count N      stop after N received frames\n"
    "  --seconds S    stop after S seconds (at most 2000000)\n"
    "  --json         print the JSON lines of 'velqor-cli decode' instead\n"
    "  --output FILE  also write the frames to FILE, in the format of its extension: .log\n"
    "                 (candump), .asc, .blf, .csv; FILE appears when monitoring ends\n"
    "  --errors       bus errors as candump error frames (standard output and FILE)\n"
    "  --dbc FILE     (with --json) frames the DBC file defines also carry \"message\",\n"
    "                 \"signals\" and \"texts\", as with 'velqor-cli decode --dbc'\n"
    "%s%s"
    "\n"
    "Exit status: 0 done, 1 the adapter went away (with --reconnect: was away at the end) or\n"
    "the output (standard output or FILE) cannot be written, 2 bad arguments, an adapter that\n"
    "cannot be found or opened, or a FILE that cannot be made.\n";

namespace {

// On the reader thread: prints and counts.
class MonitorSink : public DeviceMessageSink {
 public:
  MonitorSink(std::ostream& out, std::ostream& err, bool json, std::uint64_t count, bool errors,
              MonitorOutput* output)
      : m_out(out), m_err(err), m_json(json), m_count(count), m_errors(errors), m_output(output) {}

  // A received frame, stamped with its report's arrival.
  void OnReceivedFrame(const CanFrame& frame) override {
    ++m_frames;  // all received frames, also those after the count
    if (m_done) return;
    if (m_json) {
      std::string line = FrameJson(frame);
      if (m_signals != nullptr) m_signals->annotate(line, frame);
      m_out << line << '\n';
    } else {
      m_out << MonitorCandumpLine(frame) << '\n';
    }
    if (!written()) return;
    if (m_output) m_output->Write(frame);
    ++m_shown;
    if (m_count != 0 && m_shown == m_count) {
      m_done = true;
      m_out.flush();
      if (m_link) m_link->Stop();
    }
  }

  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    if (code == MsgCode::BusError && (std::strcmp(message.Text, ErrorText(9)) == 0 ||
                                      std::strcmp(message.Text, ErrorText(0)) == 0)) {
      ++m_overflowReports;  // the adapter says it lost frames itself
    }
    if (m_done) return;
    std::optional<CanFrame> frame;
    if (code == MsgCode::BusError && m_errors)
      frame = ErrorFrameFromMessage(message, CanTime::Now());
    if (m_json) {
      m_out << MessageJson(code, message) << '\n';
    } else if (frame) {
      m_out << MonitorCandumpLine(*frame) << '\n';
    } else {
      // Standard output stays a candump log.
      std::lock_guard lock(m_errMutex);
      m_err << "# " << MessageText(code, message) << '\n';
    }
    if (!written()) return;
    if (frame && m_output) m_output->Write(*frame);
  }

  // Any thread: a line about the link on standard error.
  void Status(const std::string& text) {
    std::lock_guard lock(m_errMutex);
    m_err << "velqor-cli monitor: " << text << '\n';
  }

  void SetLink(LiveLink* link) { m_link = link; }
  void SetSignals(SignalJson* json) { m_signals = json; }
  std::uint64_t Frames() const { return m_frames; }
  std::uint64_t Shown() const { return m_shown; }
  std::uint64_t OverflowReports() const { return m_overflowReports; }
  // The system's error of the write that failed, 0 when none did. Read after the link closed.
  int WriteError() const { return m_writeError; }
  void SetWriteError(int error) { m_writeError = error; }

 private:
  std::ostream& m_out;
  std::ostream& m_err;
  std::mutex m_errMutex;  // the reader's lines and the link's (Status) on standard error
  const bool m_json;
  const std::uint64_t m_count;
  const bool m_errors;
  MonitorOutput* const m_output;
  LiveLink* m_link = nullptr;
  SignalJson* m_signals = nullptr;  // --dbc
  bool m_done = false;
  std::uint64_t m_frames = 0;  // all received frames, also those after the count
  std::uint64_t m_shown = 0;
  std::uint64_t m_overflowReports = 0;
  int m_writeError = 0;

  // False after a write to the output failed: nothing more can be shown (a full disk, the
  // file-size limit), so monitoring stops, and says why.
  bool written() {
    if (m_out) return true;
    m_writeError = errno != 0 ? errno : EIO;
    m_done = true;
    if (m_link) m_link->Stop();
    return false;
  }
};

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kMonitorUsage, kReconnectUsage, kLinkOptionsUsage);
  return text;
}

}  // namespace

int RunMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LinkOptions link;
  std::uint64_t count = 0;
  double seconds = 0;
  bool json = false;
  bool errors = false;
  std::string outputPath;
  std::vector<std::string> dbcFiles;
  LiveArguments cli("monitor", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();
    if (a == "--json") {
      json = true;
    } else if (a == "--errors") {
      errors = true;
    } else if (a == "--reconnect") {
      link.reconnect = true;
    } else if (a == "--output") {
      const std::string* v = cli.Value();
      if (!v) return bad("--output needs a file (.log, .asc, .blf or .csv)");
      outputPath = *v;
    } else if (a == "--dbc") {
      const std::string* v = cli.Value();
      if (!v) return bad("--dbc needs a DBC file");
      dbcFiles.push_back(*v);
    } else if (a == "--count" || a == "--seconds") {
      const std::string* given = cli.Value();
      if (!given) return bad(a + " needs a number");
      const std::string& v = *given;
      const char* first = v.data();
      const char* last = v.data() + v.size();
      const bool ok = a == "--count"
                          ? std::from_chars(first, last, count).ptr == last && count > 0
                          : std::from_chars(first, last, seconds).ptr == last && seconds > 0;
      if (v.empty() || !ok) return bad(a + " needs a number above 0, got '" + v + "'");
      // The event loop's timer counts milliseconds in an int: about 24 days.
      if (seconds > 2e6) return bad("--seconds is at most 2000000, got '" + v + "'");
    } else {
      return bad("unknown argument '" + a + "'");
    }
  }
  if (cli.Exit()) return *cli.Exit();

  if (!dbcFiles.empty() && !json) return bad("--dbc adds signals to the JSON lines: use --json");
  SignalJson signalJson;
  std::string dbcError;
  if (!dbcFiles.empty() && !signalJson.load(dbcFiles, dbcError, err)) {
    err << "velqor-cli monitor: " << dbcError << "\n";
    return 2;
  }
  std::optional<MonitorOutput> output;
  if (!outputPath.empty()) {
    try {
      output.emplace(outputPath);
    } catch (const LogError& e) {
      err << "velqor-cli monitor: --output: " << e.what() << "\n";
      return 2;
    }
  }
  MonitorSink sink(out, err, json, count, errors, output ? &*output : nullptr);
  if (signalJson.active()) sink.SetSignals(&signalJson);
  LiveLink live(link);
  sink.SetLink(&live);
  live.OnStatus = [&sink](const std::string& text) { sink.Status(text); };
  std::string error;
  if (!live.Open(sink, error)) {
    err << "velqor-cli monitor: " << error << "\n";
    return 2;
  }
  // Zero means no limit, so a limit below a millisecond is rounded up to one.
  const auto limit = std::chrono::milliseconds(
      seconds > 0 ? std::max(1LL, static_cast<long long>(std::ceil(seconds * 1000))) : 0);
  const auto end = live.Run(limit);
  live.Drain(std::chrono::seconds(2));
  live.Close();  // the reader has paused: the counts below are final
  out.flush();
  if (sink.WriteError() == 0 && !out) sink.SetWriteError(errno != 0 ? errno : EIO);

  const TUsbif::Counters usb = live.UsbCounters();
  // Frames still in flight when the count was reached are received and counted, not printed.
  const std::string printed = sink.Shown() < sink.Frames()
                                  ? " (" + std::to_string(sink.Shown()) + " printed)"
                                  : std::string();
  if (const auto model = live.ModelStats()) {
    const SimHidCounters hid = live.BackendCounters();
    const std::uint64_t reported = model->framesReported;
    const std::uint64_t lost =
        model->framesDropped + (reported > sink.Frames() ? reported - sink.Frames() : 0);
    err << "velqor-cli monitor: " << sink.Frames() << " frames received" << printed << ", " << lost
        << " lost\n"
        << "velqor-cli monitor: the simulated adapter reported " << reported
        << " frames and dropped " << model->framesDropped << "; " << usb.reportsRead
        << " reports read, " << hid.reportsDropped << " dropped by the HID queue\n";
  } else {
    err << "velqor-cli monitor: " << sink.Frames() << " frames received" << printed << ", "
        << usb.reportsDropped << " reports lost by the program; the adapter reported "
        << sink.OverflowReports() << " receive overflows\n";
  }
  bool written = true;
  if (output) {
    std::string writeError;
    written = output->Close(writeError);
    if (written) {
      err << "velqor-cli monitor: " << output->Frames() << " frames written to " << outputPath
          << "\n";
    } else {
      err << "velqor-cli monitor: " << writeError << "\nvelqor-cli monitor: " << outputPath
          << " was not created\n";
    }
  }
  if (live.Losses() > 0) {
    err << "velqor-cli monitor: the adapter went away " << live.Losses()
        << " time(s) and was reconnected " << live.Reconnects() << " time(s)\n";
  }
  if (sink.WriteError() != 0) {
    err << "velqor-cli monitor: cannot write the output: " << std::strerror(sink.WriteError())
        << "\n";
    return 1;
  }
  if (end == LiveLink::End::Removed) {
    err << "velqor-cli monitor: the adapter went away\n";
    return 1;
  }
  if (live.Losses() > live.Reconnects()) {
    err << "velqor-cli monitor: the adapter was away when monitoring ended\n";
    return 1;
  }
  return written ? 0 : 1;
}

}  // namespace velqor::cli
