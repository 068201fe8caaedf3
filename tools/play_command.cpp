#include "tools/play_command.h"

#include <QTimer>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "canlog/replay.h"
#include "tools/live_arguments.h"
#include "tools/live_link.h"

namespace velqor::cli {

const char kPlayUsage[] =
    "usage: velqor-cli play FILE [--speed X] [--loop] [--ids LIST] [--from FORMAT]\n"
    "                       [--sim | --vid HEX --pid HEX]\n"
    "\n"
    "Sends the frames of a recorded log onto the bus through the adapter, with the recorded\n"
    "intervals between them. Remote and error frames are passed over (the adapter sends\n"
    "neither). The format comes from the extension (.log .asc .blf .csv .txt).\n"
    "\n"
    "  --speed X      the recorded intervals divided by X, from 0.25 to 4 (default 1);\n"
    "                 max: as fast as the link allows\n"
    "  --loop         from the start again when the file ends (Ctrl-C stops)\n"
    "  --ids LIST     only these identifiers, e.g. 123,18FEF100 (more than 3 digits: extended)\n"
    "  --from FORMAT  the format whatever the extension: candump, asc, blf, csv, datalog\n"
    "%s"
    "\n"
    "Exit status: 0 every frame sent, 1 the adapter went away, 2 bad arguments, a log that\n"
    "cannot be read or is malformed (file and line on standard error), or an adapter that\n"
    "cannot be found or opened, 3 some frames were not sent.\n";

namespace {

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kPlayUsage, kLinkOptionsUsage);
  return text;
}

// The adapter for the replay: frames out as SendCanFrame, results back to the runner.
class PlaySink : public DeviceMessageSink, public ReplaySender {
 public:
  explicit PlaySink(LiveLink& link) : m_link(link) {}
  void SetRunner(ReplayRunner* runner) { m_runner = runner; }

  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    if (code == MsgCode::SendResult && m_runner)
      m_runner->OnSendResult(message.Data[0] == kResultOk);
  }
  void OnReceivedFrame(const CanFrame&) override {}  // the bus's frames are not shown here

  bool Send(const CanFrame& frame) override {
    TxRecord record;
    record.ide = frame.ide;
    record.id = frame.id;
    record.dlc = frame.dlc;
    for (std::size_t i = 0; i < frame.length(); ++i) record.data[i] = frame.data[i];
    return m_link.Send(SendCanFrame(record));
  }

 private:
  LiveLink& m_link;
  ReplayRunner* m_runner = nullptr;
};

std::string Milliseconds(std::int64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000.0);
  return text;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progressToTerminal) {
  LinkOptions link;
  ReplayOptions options;
  std::string file;
  std::optional<LogFormat> format;
  LiveArguments cli("play", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();
    if (a == "--loop") {
      options.loop = true;
    } else if (a == "--speed") {
      const std::string* v = cli.Value();
      if (!v) return bad("--speed needs a factor from 0.25 to 4, or max");
      if (*v == "max") {
        options.speed = 0;
        continue;
      }
      double speed = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), speed);
      if (ec != std::errc() || end != v->data() + v->size() ||
          !(speed >= ReplayOptions::kMinSpeed && speed <= ReplayOptions::kMaxSpeed)) {
        return bad("--speed needs a factor from 0.25 to 4, or max; got '" + *v + "'");
      }
      options.speed = speed;
    } else if (a == "--ids") {
      const std::string* v = cli.Value();
      if (!v) return bad("--ids needs identifiers, e.g. 123,18FEF100");
      std::string error;
      const auto ids = ParseReplayIds(*v, error);
      if (!ids) return bad("--ids: " + error);
      options.identifiers = *ids;
    } else if (a == "--from") {
      const std::string* v = cli.Value();
      format = v ? LogFormatFromName(*v) : std::nullopt;
      if (!format) return bad("--from needs a format: candump, asc, blf, csv, datalog");
    } else if (a.size() > 1 && a[0] == '-') {
      return bad("unknown argument '" + a + "'");
    } else if (!file.empty()) {
      return bad("one log at a time: '" + file + "' and '" + a + "'");
    } else {
      file = a;
    }
  }
  if (cli.Exit()) return *cli.Exit();
  if (file.empty()) return bad("which log? FILE is missing");
  if (!format) format = LogFormatFromPath(file);
  if (!format)
    return bad("cannot tell the format of '" + file +
               "' from its extension: name it "
               "with --from");
  // The file is opened once here, so that a missing or malformed one is said before the
  // adapter is touched.
  try {
    OpenLogReader(file, *format);
  } catch (const LogError& e) {
    err << "velqor-cli play: " << e.what() << "\n";
    return 2;
  }

  LiveLink live(link);
  PlaySink sink(live);
  std::string error;
  if (!live.Open(sink, error)) {
    err << "velqor-cli play: " << error << "\n";
    return 2;
  }
  auto engine = std::make_unique<ReplayEngine>(
      [file, f = *format] { return OpenLogReader(file, f); }, options, sink);
  ReplayRunner runner(std::move(engine), [&live] { live.Stop(); });
  sink.SetRunner(&runner);

  QTimer progress;
  if (progressToTerminal) {
    QObject::connect(&progress, &QTimer::timeout, [&runner, &err] {
      const ReplayStats s = runner.Stats();
      err << "\rvelqor-cli play: pass " << s.passes + 1 << ", "
          << static_cast<int>(s.passFraction * 100) << "%, " << s.sent << " frames sent"
          << std::flush;
    });
    progress.start(500);
  }
  runner.Start();
  const LiveLink::End end = live.Run(std::chrono::milliseconds(0));
  runner.Stop();
  progress.stop();
  live.Close();
  if (progressToTerminal) err << "\r";

  const ReplayStats s = runner.Stats();
  err << "velqor-cli play: " << s.sent << " frames sent to the adapter: " << s.succeeded
      << " sent on the bus, " << s.failed << " failed; " << s.passedOver
      << " remote or error frames passed over";
  if (!options.identifiers.empty()) err << ", " << s.notSelected << " not selected";
  err << "; " << s.passes << (s.passes == 1 ? " pass" : " passes");
  if (options.speed != 0) {
    err << "; the last frame went out " << Milliseconds(s.lateUs) << " after its time (at most "
        << Milliseconds(s.maxLateUs) << ")";
  }
  err << "\n";
  if (const std::string e = runner.Error(); !e.empty()) {
    err << "velqor-cli play: " << e << "\n";
    return 2;
  }
  if (end == LiveLink::End::Removed) {
    err << "velqor-cli play: the adapter went away\n";
    return 1;
  }
  return s.failed > 0 ? 3 : 0;
}

}  // namespace velqor::cli
