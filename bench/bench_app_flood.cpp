// The whole program under the heaviest load: the main window (offscreen, the "Receive" page
// in front) connected through its connect switch to the simulated adapter, which floods at
// 21 277 frames/s (taken off the bus timing, so exactly that rate) with 2048 distinct
// identifiers (--ids: beyond 2048 the flood goes on with extended identifiers from
// 0x18000800) and 8 data bytes, for 10 s. The frames take the program's own road: the
// simulator's HID backend, Usbif's reader thread, the interpreter, the receive queue, the
// frame consumers on the GUI thread: the received-frame list (and the data log, with its
// writer thread, in the second run). The simulated adapter also writes its console text to
// the COM port, which the window reads and feeds like the real adapter's.
//
// What it prints, per run (logging off, then on):
// - frames the model reported and frames the window handled; lost = the difference plus
//   every drop counted on the way (must be 0);
// - frames handled and list publications per second;
// - the GUI thread's event-loop latency: how late a 1 ms precise timer fires (p50/p99/max);
// - frame-to-screen latency (p50/p99/max): from the moment a frame was due on the simulated
//   bus to the moment the list model published its row to the view (rowsInserted or
//   dataChanged). Each flood frame carries its sequence number in its data bytes, and frame
//   s is due t0 + s / rate after the flood was started at t0, read on the steady clock just
//   before the start was posted to the runner thread. The runner emits a frame's report in
//   the step that passes its due time (steps are at least 0.2 ms and at most 1 ms apart), so
//   the figure includes that step and over-states the time from report to screen by at most
//   about a millisecond;
// - CPU per frame from getrusage: the whole process, the process less the simulator's own
//   model time (its steps and its hand-over of reports and console text), and the GUI thread
//   alone; then by thread (/proc/self/task/*/schedstat; "simulator" is the simulated adapter's
//   runner thread, model and hand-over and its own waiting), and all threads but that one;
// - context switches per frame (voluntary and involuntary, from /proc/self/task/*/status
//   before and after the flood): the GUI thread alone and every thread of the process;
// - resident memory (VmRSS) after connecting and at the end, and the peak (VmHWM);
// - with logging on: the frames in the log file, which must be every frame handled (the lines
//   of the program's own format; a standard format read back with canlog's reader).
//
// Options: --seconds N (default 10), --rate R (default 21277), --ids N (default 2048),
// --no-probe (no 1 ms timer: the GUI thread's CPU without the probe's own wake-ups; the
// event-loop latency is then not measured), --dbc N (a DBC file of N messages, identifiers
// 0 .. N-1, 10 signals each, Intel and Motorola, scaled, signed, a value table, loaded through
// the "&Signals" menu's loader before the flood: every flood frame of such an identifier is
// decoded; with --ids N, every frame), --signal-view (the signal view open in front, repainting
// at its display rate), --log-off-only (only the run with logging off), --log-format NAME
// (candump, asc, blf, csv or datalog: only the run with logging on, the data log in that
// format).
// Exit status 1 when a frame was lost or the log misses a line.

#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/signals_feature.h"
#include "app/simulated_adapter.h"
#include "bench/bench_support.h"
#include "canlog/log_reader.h"
#include "config/config_page.h"
#include "traffic/receive_page.h"
#include "traffic/signal_view_window.h"

namespace velqor {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Config {
  double seconds = 10;
  double rate = 21277;
  std::uint32_t ids = 2048;
  bool probe = true;  // the 1 ms timer that measures the event loop's latency
  int dbcMessages = 0;
  bool signalView = false;
  bool logOffOnly = false;
  LogFormat logFormat = LogFormat::DataLog;
  bool logOnly = false;  // only the run with logging on
};

// The frames of a data log file: its lines less the header in the program's own format, else
// the frames canlog reads back.
std::uint64_t LoggedFrames(const std::string& path, LogFormat format) {
  if (format == LogFormat::DataLog) return bench::CountLines(path) - 1;
  try {
    auto reader = OpenLogReader(path, format);
    std::uint64_t n = 0;
    CanFrame frame;
    while (reader->Next(frame)) ++n;
    return n;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_app_flood: %s\n", e.what());
    return 0;
  }
}

// A DBC file of `messages` messages at identifiers 0 .. messages-1, 10 signals each over the
// 64 bits: Intel and Motorola, signed and unsigned, scaled, one with a value table.
std::string GeneratedDbc(int messages) {
  std::string text = "VERSION \"\"\n\nBU_: Bench\n\n";
  for (int m = 0; m < messages; ++m) {
    const std::string id = std::to_string(m);
    text += "BO_ " + id + " Msg" + id + ": 8 Bench\n";
    text += " SG_ A : 0|4@1+ (1,0) [0|15] \"\" Bench\n";
    text += " SG_ B : 4|4@1+ (1,0) [0|15] \"\" Bench\n";
    text += " SG_ C : 8|8@1- (0.5,-20) [-84|43.5] \"degC\" Bench\n";
    text += " SG_ D : 23|16@0+ (0.01,0) [0|655.35] \"km/h\" Bench\n";
    text += " SG_ E : 32|6@1+ (1,0) [0|63] \"\" Bench\n";
    text += " SG_ F : 38|2@1+ (1,0) [0|3] \"\" Bench\n";
    text += " SG_ G : 40|8@1+ (0.4,0) [0|102] \"%\" Bench\n";
    text += " SG_ H : 55|8@0+ (1,-40) [-40|215] \"degC\" Bench\n";
    text += " SG_ I : 56|4@1+ (1,0) [0|15] \"\" Bench\n";
    text += " SG_ J : 60|4@1+ (1,0) [0|15] \"\" Bench\n\n";
  }
  for (int m = 0; m < messages; ++m) {
    text += "VAL_ " + std::to_string(m) +
            " B 0 \"Off\" 1 \"Idle\" 2 \"Run\" 3 \"Fault\" 15 \"Invalid\" ;\n";
  }
  return text;
}

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A line of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

// Every thread of the process, by thread id: its name, its context switches (voluntary and
// involuntary) and the CPU time it ran.
struct ThreadStat {
  std::string name;
  std::uint64_t switches = 0;
  std::uint64_t cpuNs = 0;
};

std::map<long, ThreadStat> ThreadStats() {
  std::map<long, ThreadStat> stats;
  std::error_code ec;
  for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task", ec)) {
    ThreadStat t;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        t.switches += std::stoull(line.substr(line.find(':') + 1));
    }
    std::ifstream(task.path() / "comm") >> t.name;
    std::ifstream(task.path() / "schedstat") >> t.cpuNs;  // first field: time on the CPU
    stats[std::stol(task.path().filename().string())] = t;
  }
  return stats;
}

// Switches between two readings: threads started in between count from zero; threads that
// ended in between are not seen (none of the program's end during a run).
std::uint64_t SwitchesSince(const std::map<long, ThreadStat>& before,
                            const std::map<long, ThreadStat>& after, long onlyThread = 0) {
  std::uint64_t n = 0;
  for (const auto& [tid, t] : after) {
    if (onlyThread != 0 && tid != onlyThread) continue;
    const auto b = before.find(tid);
    n += t.switches -
         (b != before.end() && b->second.switches <= t.switches ? b->second.switches : 0);
  }
  return n;
}

// CPU time per thread name between two readings, the GUI thread as "GUI" and the simulated
// adapter's runner (which has no name of its own) as "simulator".
std::map<std::string, double> CpuByThread(const std::map<long, ThreadStat>& before,
                                          const std::map<long, ThreadStat>& after, long guiThread) {
  std::map<std::string, double> cpu;
  const auto gui = after.find(guiThread);
  const std::string processName = gui != after.end() ? gui->second.name : std::string();
  for (const auto& [tid, t] : after) {
    const auto b = before.find(tid);
    const std::uint64_t was = b != before.end() && b->second.cpuNs <= t.cpuNs ? b->second.cpuNs : 0;
    std::string name = tid == guiThread ? "GUI" : t.name;
    if (tid != guiThread && name == processName) name = "simulator";
    cpu[name] += static_cast<double>(t.cpuNs - was) / 1e9;
  }
  return cpu;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto i = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(i, values.size() - 1)];
}

// Runs the event loop for `ms` milliseconds, sleeping while there is nothing to do.
void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

bool Run(const Config& config, bool logging) {
  bench::ScratchFolder folder;
  bench::PrintingBoxes boxes;
  SimulationOptions simOptions;
  simOptions.eepromPath.clear();
  SimulatedAdapter sim(simOptions);
  sim.runner().SetProfileEnabled(false);  // only the flood: every frame carries its number

  TFrmMain::Options options;
  sim.applyTo(options);
  options.settingsPath = (folder.path() / "Velqor.INI").string();
  options.logDirectory = [&folder] { return folder.path(); };
  auto window = std::make_unique<TFrmMain>(boxes, options);
  window->show();
  window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))
      ->setCurrentWidget(window->receivePage());
  window->configPage()->setLogFormat(config.logFormat);
  window->findChild<QCheckBox*>(QStringLiteral("ChkLog"))->setChecked(logging);
  SignalsFeature& signalWindows = *window->signalsFeature();
  if (config.dbcMessages > 0) {
    const fs::path dbc = folder.path() / "bench.dbc";
    std::ofstream(dbc) << GeneratedDbc(config.dbcMessages);
    signalWindows.loadFiles({QString::fromStdString(dbc.string())});
    QElapsedTimer loading;
    loading.start();
    while (signalWindows.loading() && loading.elapsed() < 10000) RunEventLoop(10);
    if (signalWindows.monitor().decoder().messageCount() !=
        static_cast<std::size_t>(config.dbcMessages)) {
      std::fprintf(stderr, "bench_app_flood: the DBC file did not load\n");
      return false;
    }
  }
  if (config.signalView) signalWindows.showSignalView();
  window->findChild<QToolButton*>(QStringLiteral("SpdSwitch"))->click();
  const QString connection = window->findChild<QLabel*>(QStringLiteral("ConnectionPanel"))->text();
  if (connection != QStringLiteral("接続できた！")) {
    std::fprintf(stderr, "bench_app_flood: not connected (%s)\n", qPrintable(connection));
    return false;
  }
  RunEventLoop(500);
  const long rssStart = StatusKb("VmRSS");

  // The event loop's latency: how late a 1 ms timer fires.
  std::vector<double> loopLateMs;
  loopLateMs.reserve(static_cast<std::size_t>(config.seconds * 1100));
  Clock::time_point lastTick = Clock::now();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    loopLateMs.push_back(std::chrono::duration<double, std::milli>(now - lastTick).count() - 1.0);
    lastTick = now;
  });

  // Frame-to-screen: at every publication of the list, the frames handled since the last
  // one are on screen.
  const double period = 1.0 / config.rate;
  Clock::time_point floodStart{};
  bool flooding = false;
  std::uint64_t published = 0;  // frames up to this sequence number are on screen
  std::uint64_t publications = 0;
  std::vector<double> screenMs;
  screenMs.reserve(static_cast<std::size_t>(config.rate * config.seconds * 1.1));
  auto onPublish = [&] {
    if (!flooding) return;
    const Clock::time_point now = Clock::now();
    ++publications;
    std::uint64_t last = 0;
    for (std::uint8_t b : window->fields().LastRxFrame.data) last = (last << 8) | b;
    for (std::uint64_t s = published; s <= last; ++s) {
      const Clock::time_point due =
          floodStart + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(static_cast<double>(s) * period));
      screenMs.push_back(std::chrono::duration<double, std::milli>(now - due).count());
    }
    published = std::max(published, last + 1);
  };
  QAbstractItemModel* model = window->receivePage()->model();
  QObject::connect(model, &QAbstractItemModel::rowsInserted, onPublish);
  QObject::connect(model, &QAbstractItemModel::dataChanged, onPublish);

  const SimStats statsBefore = sim.runner().Stats();
  const RunnerStats timingBefore = sim.runner().Timing();
  const std::uint64_t handledBefore = window->receivePath().framesHandled();
  const std::uint64_t decodedBefore = signalWindows.monitor().framesDecoded();
  const double cpuBefore = CpuSeconds(RUSAGE_SELF);
  const double guiCpuBefore = CpuSeconds(RUSAGE_THREAD);
  const long guiThread = static_cast<long>(::gettid());
  const std::map<long, ThreadStat> switchesBefore = ThreadStats();

  FloodOptions flood;
  flood.framesPerSecond = config.rate;
  flood.identifiers = config.ids;
  flood.dlc = 8;
  flood.busLimited = false;
  floodStart = Clock::now();
  flooding = true;
  sim.runner().SetFlood(flood);
  lastTick = Clock::now();
  if (config.probe) tick.start();
  RunEventLoop(static_cast<int>(config.seconds * 1000));
  sim.runner().SetFlood(FloodOptions{});
  tick.stop();
  const double floodSeconds = std::chrono::duration<double>(Clock::now() - floodStart).count();

  // Until everything the model reported has been handled (or 10 s passed).
  QElapsedTimer drain;
  drain.start();
  std::uint64_t lastReported = ~std::uint64_t{0};
  while (drain.elapsed() < 10000) {
    RunEventLoop(20);
    const std::uint64_t reported = sim.runner().Stats().framesReported - statsBefore.framesReported;
    const std::uint64_t handled = window->receivePath().framesHandled() - handledBefore;
    if (reported == handled && reported == lastReported) break;
    lastReported = reported;
  }
  window->receivePage()->model()->flush();
  const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
  const double guiCpu = CpuSeconds(RUSAGE_THREAD) - guiCpuBefore;
  const std::map<long, ThreadStat> switchesAfter = ThreadStats();
  const long rssEnd = StatusKb("VmRSS");
  const long rssPeak = StatusKb("VmHWM");

  const SimStats stats = sim.runner().Stats();
  const RunnerStats timing = sim.runner().Timing();
  const SimHidCounters hid = sim.hidPlatform()->Counters();
  const TUsbif::Counters usb = window->Usbif().GetCounters();
  const std::uint64_t reported = stats.framesReported - statsBefore.framesReported;
  const std::uint64_t handled = window->receivePath().framesHandled() - handledBefore;
  const std::uint64_t modelDropped = stats.framesDropped - statsBefore.framesDropped;
  const std::uint64_t queueLost = window->receivePath().lostCount();
  const std::uint64_t dropped = modelDropped + hid.reportsDropped + usb.reportsDropped + queueLost;
  const std::uint64_t lost = (reported > handled ? reported - handled : 0) + dropped;
  const double modelCpu = std::chrono::duration<double>(timing.busy - timingBefore.busy).count();
  const std::string logPath = window->dataLog().Namer().FullPath();
  const int rows = window->receivePage()->model()->rowCount();
  const std::uint64_t decoded = signalWindows.monitor().framesDecoded() - decodedBefore;
  const std::size_t signalCount = signalWindows.monitor().signalCount();
  const int signalRows =
      signalWindows.signalView() != nullptr ? signalWindows.signalView()->model()->rowCount() : 0;

  // Closing the window closes the links and the log (every line written).
  window.reset();
  std::uint64_t logged = 0;
  if (logging) logged = LoggedFrames(logPath, config.logFormat);

  const double frames = static_cast<double>(handled);
  std::printf(
      "== the window connected to the simulated adapter, %.0f frames/s, %u identifiers, "
      "%.1f s, logging %s%s%s%s\n",
      config.rate, config.ids, floodSeconds, logging ? "on as " : "off",
      logging ? LogFormatName(config.logFormat) : "", config.dbcMessages > 0 ? ", DBC loaded" : "",
      config.signalView ? ", signal view open" : "");
  std::printf("  frames reported by the model   %llu\n", static_cast<unsigned long long>(reported));
  std::printf("  frames handled by the window   %llu (%d rows in the list)\n",
              static_cast<unsigned long long>(handled), rows);
  std::printf(
      "  lost                           %llu (model %llu, HID backend %llu, USB reader "
      "%llu, receive queue %llu)\n",
      static_cast<unsigned long long>(lost), static_cast<unsigned long long>(modelDropped),
      static_cast<unsigned long long>(hid.reportsDropped),
      static_cast<unsigned long long>(usb.reportsDropped),
      static_cast<unsigned long long>(queueLost));
  if (lost != 0)
    std::printf("  reports: made %llu, queued %llu, discarded %llu, read %llu, delivered %llu\n",
                static_cast<unsigned long long>(stats.reports),
                static_cast<unsigned long long>(hid.reportsQueued),
                static_cast<unsigned long long>(hid.reportsDiscarded),
                static_cast<unsigned long long>(usb.reportsRead),
                static_cast<unsigned long long>(usb.reportsDelivered));
  if (config.dbcMessages > 0)
    std::printf("  DBC: %d messages, %zu signals; frames decoded %llu; signal view %s (%d rows)\n",
                config.dbcMessages, signalCount, static_cast<unsigned long long>(decoded),
                config.signalView ? "open" : "closed", signalRows);
  std::printf("  frames handled per second      %.0f\n", frames / floodSeconds);
  std::printf("  list publications per second  %.1f\n",
              static_cast<double>(publications) / floodSeconds);
  std::printf(
      "  event-loop latency (1 ms timer lateness)  p50 %.3f ms  p99 %.3f ms  max %.3f ms "
      "(%zu ticks)\n",
      Percentile(loopLateMs, 0.5), Percentile(loopLateMs, 0.99), Percentile(loopLateMs, 1.0),
      loopLateMs.size());
  std::printf(
      "  frame-to-screen latency        p50 %.1f ms  p99 %.1f ms  max %.1f ms (%zu frames)\n",
      Percentile(screenMs, 0.5), Percentile(screenMs, 0.99), Percentile(screenMs, 1.0),
      screenMs.size());
  std::printf(
      "  CPU per frame                  %.2f us whole process, %.2f us less the model "
      "(%.2f us), %.2f us GUI thread\n",
      cpu / frames * 1e6, (cpu - modelCpu) / frames * 1e6, modelCpu / frames * 1e6,
      guiCpu / frames * 1e6);
  std::printf("  context switches per frame: GUI thread %.3f, whole process %.3f\n",
              static_cast<double>(SwitchesSince(switchesBefore, switchesAfter, guiThread)) / frames,
              static_cast<double>(SwitchesSince(switchesBefore, switchesAfter)) / frames);
  std::printf("  CPU per frame by thread        ");
  double programCpu = 0;  // every thread but the simulated adapter's
  for (const auto& [name, seconds] : CpuByThread(switchesBefore, switchesAfter, guiThread)) {
    if (seconds > 0.0005) std::printf(" %s %.2f us", name.c_str(), seconds / frames * 1e6);
    if (name != "simulator") programCpu += seconds;
  }
  std::printf(" (the program's threads %.2f us)\n", programCpu / frames * 1e6);
  std::printf("  resident memory                %ld kB connected, %ld kB at the end, %ld kB peak\n",
              rssStart, rssEnd, rssPeak);
  if (logging)
    std::printf("  frames logged                  %llu\n", static_cast<unsigned long long>(logged));
  std::fflush(stdout);
  return lost == 0 && (!logging || logged == handled);
}

}  // namespace
}  // namespace velqor

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  velqor::Config config;
  const QStringList args = QCoreApplication::arguments();
  for (int i = 1; i < args.size(); i += 2) {
    if (args[i] == QStringLiteral("--no-probe")) {
      config.probe = false;
      --i;
      continue;
    }
    if (args[i] == QStringLiteral("--log-format") && i + 1 < args.size()) {
      const auto format = velqor::LogFormatFromName(args[i + 1].toStdString());
      if (!format) {
        std::fprintf(stderr, "bench_app_flood: --log-format: %s\n", velqor::kLogFormatList);
        return 2;
      }
      config.logFormat = *format;
      config.logOnly = true;
      continue;
    }
    if (args[i] == QStringLiteral("--signal-view")) {
      config.signalView = true;
      --i;
      continue;
    }
    if (args[i] == QStringLiteral("--log-off-only")) {
      config.logOffOnly = true;
      --i;
      continue;
    }
    bool ok = false;
    const double v = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0;
    if (!ok || v <= 0) {
      std::fprintf(stderr, "bench_app_flood: %s needs a positive number\n", qPrintable(args[i]));
      return 2;
    }
    if (args[i] == QStringLiteral("--seconds"))
      config.seconds = v;
    else if (args[i] == QStringLiteral("--rate"))
      config.rate = v;
    else if (args[i] == QStringLiteral("--ids"))
      config.ids = static_cast<std::uint32_t>(v);
    else if (args[i] == QStringLiteral("--dbc"))
      config.dbcMessages = static_cast<int>(v);
    else {
      std::fprintf(stderr,
                   "usage: bench_app_flood [--seconds N] [--rate R] [--ids N] [--no-probe] "
                   "[--dbc N] [--signal-view] [--log-off-only] [--log-format NAME]\n");
      return 2;
    }
  }
  const bool off = config.logOnly || velqor::Run(config, false);
  const bool on = config.logOffOnly || velqor::Run(config, true);
  return off && on ? 0 : 1;
}
