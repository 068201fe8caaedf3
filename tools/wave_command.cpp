#include "tools/wave_command.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <ostream>

#include "tools/live_arguments.h"
#include "tools/live_link.h"
#include "tools/message_json.h"
#include "wave/capture_report.h"

namespace velqor::cli {

const char kWaveUsage[] =
    "usage: velqor-cli wave [--port canl|canh|diff] [--level V] [--json] [--timeout S]\n"
    "                       [--sim | --vid HEX --pid HEX]\n"
    "\n"
    "Takes one waveform capture as the Wave page's \"Single\" does (the trigger level and\n"
    "port, then a single capture) and prints the samples and their analysis: the bits and\n"
    "fields of the frame the window holds (decoded at the adapter's bit rate and sample point),\n"
    "the line levels, the edges, the noise and verdicts against ISO 11898-2.\n"
    "Without --json: one line per sample (time in microseconds, volts), then the analysis on\n"
    "lines starting with '#'.\n"
    "\n"
    "  --port P       canl, canh or diff (default diff)\n"
    "  --level V      trigger level in volts, 0 to 5 (default 2.5)\n"
    "  --json         one JSON object instead\n"
    "  --timeout S    seconds to wait for the trigger (default 2)\n"
    "%s"
    "\n"
    "Exit status: 0 captured, 1 the output could not be written, 2 bad arguments or an adapter\n"
    "that cannot be found or opened, 5 nothing triggered within the time-out.\n";

namespace {

constexpr std::chrono::milliseconds kAnswerWait{1000};

// On the reader thread: keeps what the capture needs and wakes the command's loop when what it
// waits for has come.
class WaveSink : public DeviceMessageSink {
 public:
  enum class Wait { Nothing, BitTiming, TimingTable, Waveform };
  explicit WaveSink(LiveLink& link) : m_link(link) {}

  void Expect(Wait what) {
    std::lock_guard lock(m_mutex);
    m_wait = what;
  }

  void OnReceivedFrame(const CanFrame&) override {}  // the bus traffic is not this command's

  void OnDeviceMessage(int code, const DeviceMessage& m) override {
    std::lock_guard lock(m_mutex);
    Wait done = Wait::Nothing;
    if (code == MsgCode::BitTiming) {
      m_bitRateIndex = m.Data[0];
      m_timingIndex = m.Data[1];
      done = Wait::BitTiming;
    } else if (code == MsgCode::TimingTable && m_bitRateIndex && m.Data[0] == *m_bitRateIndex) {
      m_table.assign(m.Data + 2, m.Data + 2 + std::min<int>(m.Data[1], 30));
      done = Wait::TimingTable;
    } else if (code == MsgCode::Waveform && !m_waveform && m_wait == Wait::Waveform) {
      m_waveform.emplace();
      std::copy_n(m.Data, WaveformBlock::kSize, m_waveform->begin());
      done = Wait::Waveform;
    }
    if (done != Wait::Nothing && done == m_wait) {
      m_wait = Wait::Nothing;
      m_link.Stop();
    }
  }

  std::optional<BitTimingChoice> Timing() const {
    std::lock_guard lock(m_mutex);
    if (!m_bitRateIndex || *m_bitRateIndex >= kBitRateCount) return std::nullopt;
    BitTimingChoice t;
    t.bitRate = static_cast<std::uint32_t>(kBitRatesPerSecond[*m_bitRateIndex]);
    if (m_timingIndex >= m_table.size()) return std::nullopt;
    t.samplePointPercent = m_table[m_timingIndex];
    return t;
  }
  bool HasBitTiming() const {
    std::lock_guard lock(m_mutex);
    return m_bitRateIndex.has_value();
  }
  std::uint8_t BitRateIndex() const {
    std::lock_guard lock(m_mutex);
    return m_bitRateIndex.value_or(0);
  }
  std::optional<std::array<std::uint8_t, WaveformBlock::kSize>> Waveform() const {
    std::lock_guard lock(m_mutex);
    return m_waveform;
  }

 private:
  LiveLink& m_link;
  mutable std::mutex m_mutex;
  Wait m_wait = Wait::Nothing;
  std::optional<std::uint8_t> m_bitRateIndex;
  std::uint8_t m_timingIndex = 0;
  std::vector<std::uint8_t> m_table;
  std::optional<std::array<std::uint8_t, WaveformBlock::kSize>> m_waveform;
};

// Runs the link until `ready` or `limit`; false on time-up, interruption or removal.
template <typename Ready>
bool RunUntil(LiveLink& link, std::chrono::milliseconds limit, Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const LiveLink::End end = link.Run(left);
    if (end == LiveLink::End::Interrupted || end == LiveLink::End::Removed) return ready();
  }
  return true;
}

const char* PortOption(CapturePort port) {
  switch (port) {
    case CapturePort::CanL:
      return "canl";
    case CapturePort::CanH:
      return "canh";
    case CapturePort::Differential:
      break;
  }
  return "diff";
}

bool ParseNumber(const std::string& text, double& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() &&
         std::isfinite(value);
}

std::string Number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// 0 when everything written reached the output; else says why and 1.
int Flushed(std::ostream& out, std::ostream& err) {
  out.flush();
  if (out) return 0;
  err << "velqor-cli wave: cannot write the output: " << std::strerror(errno != 0 ? errno : EIO)
      << "\n";
  return 1;
}

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kWaveUsage, kLinkOptionsUsage);
  return text;
}

}  // namespace

std::string WaveJson(const WaveSetup& setup, const std::vector<float>& counts,
                     const CaptureTrace& trace, const CaptureAnalysis& analysis) {
  const BitDecoding& d = analysis.decoding;
  const LineMeasurements& m = analysis.line;
  std::string j = "{\"port\":\"";
  j += PortOption(setup.port);
  j += "\",\"level_v\":" + Number("%g", setup.levelVolts);
  j += ",\"bit_rate\":" + std::to_string(setup.timing.bitRate);
  j += ",\"sample_point\":" + Number("%g", setup.timing.samplePointPercent);
  j += ",\"interval_ns\":" + Number("%g", trace.intervalNs);
  j += ",\"samples\":[";
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (i > 0) j += ',';
    j += Number("%g", counts[i]);
  }
  j += "],\"analysis\":{";
  std::string a;
  auto add = [&](const char* key, const std::string& value) {
    if (!a.empty()) a += ',';
    a += '"';
    a += key;
    a += "\":";
    a += value;
  };
  auto intList = [](const auto& values) {
    std::string list = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) list += ',';
      list += std::to_string(values[i]);
    }
    return list + "]";
  };
  auto level = [](const LevelStats& s) {
    return "{\"mean\":" + Number("%.4f", s.mean) + ",\"min\":" + Number("%.4f", s.min) +
           ",\"max\":" + Number("%.4f", s.max) + ",\"samples\":" + std::to_string(s.samples) +
           ",\"clipped\":" + (s.clipped ? "true" : "false") + "}";
  };
  if (m.bitTimeNs > 0) {
    add("bit_time_ns", Number("%.2f", m.bitTimeNs));
    add("bit_time_deviation_pct", Number("%.3f", m.deviationPercent));
  }
  add("nominal_bit_time_ns", Number("%.2f", d.nominalBitNs));
  if (d.startOfFrame) add("sof_ns", Number("%.1f", d.bits.empty() ? 0 : d.bits[0].startNs));
  add("bits", JsonString(d.BitText()));
  add("stuff_bits", intList(d.stuffBits));
  std::string fields = "[";
  for (std::size_t i = 0; i < d.fields.size(); ++i) {
    const FrameField& f = d.fields[i];
    if (i > 0) fields += ',';
    fields += "{\"name\":" + JsonString(f.name) + ",\"start_ns\":" + Number("%.1f", f.startNs) +
              ",\"end_ns\":" + Number("%.1f", f.endNs) + ",\"value\":" + std::to_string(f.value) +
              "}";
  }
  add("fields", fields + "]");
  if (d.id) add("id", std::to_string(*d.id));
  if (d.extended) add("ide", *d.extended ? "1" : "0");
  if (d.remote) add("rtr", *d.remote ? "1" : "0");
  if (d.dlc) add("dlc", std::to_string(*d.dlc));
  if (d.dlc) add("data", intList(d.data));
  if (d.crc) add("crc", std::to_string(*d.crc));
  if (d.crcOk) add("crc_ok", *d.crcOk ? "true" : "false");
  if (d.acknowledged) add("ack", *d.acknowledged ? "true" : "false");
  add("stuff_errors", intList(d.stuffErrors));
  if (!d.formError.empty()) add("form_error", JsonString(d.formError));
  std::string levels = "{";
  if (m.recessive.samples > 0) levels += "\"recessive\":" + level(m.recessive);
  if (m.dominant.samples > 0) {
    levels += std::string(levels.size() > 1 ? "," : "") + "\"dominant\":" + level(m.dominant);
  }
  levels += std::string(levels.size() > 1 ? "," : "") +
            "\"amplitude\":" + Number("%.4f", m.amplitudeVolts) +
            ",\"noise_rms\":" + Number("%.4f", m.noiseRmsVolts) + "}";
  add("levels", levels);
  if (m.toDominant.tenToNinetyNs) add("rise_ns", Number("%.1f", *m.toDominant.tenToNinetyNs));
  if (m.toRecessive.tenToNinetyNs) add("fall_ns", Number("%.1f", *m.toRecessive.tenToNinetyNs));
  std::string verdicts = "[";
  for (std::size_t i = 0; i < m.verdicts.size(); ++i) {
    const Verdict& v = m.verdicts[i];
    if (i > 0) verdicts += ',';
    verdicts += "{\"check\":" + JsonString(v.check) +
                ",\"result\":" + JsonString(VerdictResultName(v.result)) +
                ",\"text\":" + JsonString(v.text) + "}";
  }
  add("verdicts", verdicts + "]");
  return j + a + "}}";
}

int RunWave(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LinkOptions link;
  WaveSetup setup;
  bool json = false;
  double timeoutSeconds = 2;
  LiveArguments cli("wave", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();
    if (a == "--json") {
      json = true;
    } else if (a == "--port") {
      const std::string* v = cli.Value();
      if (v && *v == "canl") {
        setup.port = CapturePort::CanL;
      } else if (v && *v == "canh") {
        setup.port = CapturePort::CanH;
      } else if (v && *v == "diff") {
        setup.port = CapturePort::Differential;
      } else {
        return bad("--port needs canl, canh or diff" + (v ? ", got '" + *v + "'" : ""));
      }
    } else if (a == "--level") {
      const std::string* v = cli.Value();
      if (!v || !ParseNumber(*v, setup.levelVolts) || setup.levelVolts < 0 ||
          setup.levelVolts > 5) {
        return bad("--level needs volts from 0 to 5" + (v ? ", got '" + *v + "'" : ""));
      }
    } else if (a == "--timeout") {
      const std::string* v = cli.Value();
      if (!v || !ParseNumber(*v, timeoutSeconds) || timeoutSeconds <= 0 || timeoutSeconds > 3600) {
        return bad("--timeout needs seconds from 0 to 3600" + (v ? ", got '" + *v + "'" : ""));
      }
    } else {
      return bad("unknown argument '" + a + "'");
    }
  }
  if (cli.Exit()) return *cli.Exit();

  LiveLink live(link);
  WaveSink sink(live);
  std::string error;
  if (!live.Open(sink, error)) {
    err << "velqor-cli wave: " << error << "\n";
    return 2;
  }

  // The bit rate and sample point to decode at: the adapter's own.
  sink.Expect(WaveSink::Wait::BitTiming);
  live.Send(GetBitTiming());
  if (RunUntil(live, kAnswerWait, [&] { return sink.HasBitTiming(); })) {
    sink.Expect(WaveSink::Wait::TimingTable);
    live.Send(GetTimingTable(sink.BitRateIndex()));
    RunUntil(live, kAnswerWait, [&] { return sink.Timing().has_value(); });
  }
  if (const auto timing = sink.Timing()) {
    setup.timing = *timing;
  } else {
    err << "velqor-cli wave: the adapter did not tell its bit timing within 1 s; decoding at "
        << setup.timing.bitRate / 1000 << " kbit/s, sample point "
        << setup.timing.samplePointPercent << " %\n";
  }

  // The capture, as "Single" takes it.
  sink.Expect(WaveSink::Wait::Waveform);
  live.Send(SetTrigger(static_cast<std::uint8_t>(setup.port), TriggerLevelByte(setup.levelVolts)));
  live.Send(SetCaptureMode(kCaptureSingle));
  const auto timeout =
      std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(timeoutSeconds * 1000)));
  const bool captured = RunUntil(live, timeout, [&] { return sink.Waveform().has_value(); });
  if (!captured) live.Send(SetCaptureMode(kCaptureStop));  // not left armed
  live.Close();
  if (!captured) {
    err << "velqor-cli wave: nothing triggered within " << timeoutSeconds << " s (level "
        << setup.levelVolts << " V on " << CapturePortName(setup.port) << ")\n";
    return 5;
  }

  const auto bytes = *sink.Waveform();
  const WaveformBlock block = WaveformBlock::Decode(bytes);
  const std::vector<float> counts(block.samples.begin(), block.samples.end());
  const CaptureTrace trace = TraceFromCounts(counts, block.interval, setup.port);
  const CaptureAnalysis analysis = AnalyseCapture(trace, setup.timing);
  errno = 0;
  if (json) {
    out << WaveJson(setup, counts, trace, analysis) << "\n";
    return Flushed(out, err);
  }
  out << "# " << CapturePortName(setup.port) << ", trigger " << setup.levelVolts << " V, "
      << setup.timing.bitRate / 1000 << " kbit/s, sample point " << setup.timing.samplePointPercent
      << " %\n"
      << CaptureCsv(trace);
  for (const FrameField& f : analysis.decoding.fields) {
    out << "# field " << f.name << " " << FieldValueText(f) << " "
        << Number("%.3f", f.startNs / 1000) << " ... " << Number("%.3f", f.endNs / 1000) << " us\n";
  }
  for (const ReportRow& r : ReportRows(trace, analysis)) {
    out << "# " << r.label << ": " << r.value << "\n";
  }
  return Flushed(out, err);
}

}  // namespace velqor::cli
