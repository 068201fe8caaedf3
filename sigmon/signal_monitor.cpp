#include "sigmon/signal_monitor.h"

#include <stdexcept>
#include <unordered_map>

namespace velqor {

SignalMonitor::SignalMonitor() : m_decoder(std::make_shared<dbc::FrameDecoder>()) {}

SignalMonitor::~SignalMonitor() = default;

std::string SignalMonitor::keyOf(std::uint32_t signal) const {
  const dbc::FrameDecoder::SignalEntry& s = m_decoder->signal(signal);
  const dbc::FrameDecoder::MessageEntry& m = m_decoder->message(s.message);
  return m.database->fileName + '\n' + std::to_string(m.message->id) +
         (m.message->extended ? "x\n" : "\n") + s.signal->name;
}

std::string SignalMonitor::qualifiedName(std::uint32_t signal) const {
  const dbc::FrameDecoder::SignalEntry& s = m_decoder->signal(signal);
  return m_decoder->message(s.message).message->name + "." + s.signal->name;
}

void SignalMonitor::setDecoder(std::shared_ptr<const dbc::FrameDecoder> decoder) {
  std::unordered_map<std::string, std::uint32_t> old;
  for (std::uint32_t i = 0; i < m_states.size(); ++i) old.emplace(keyOf(i), i);
  std::vector<SignalState> oldStates = std::move(m_states);
  std::map<std::uint32_t, std::unique_ptr<SignalSeries>> oldSeries = std::move(m_series);

  m_decoder = decoder ? std::move(decoder) : std::make_shared<dbc::FrameDecoder>();
  const auto count = static_cast<std::uint32_t>(m_decoder->signalCount());
  m_states.assign(count, SignalState{});
  m_plotted.assign(count, nullptr);
  m_series.clear();
  m_newlySeen.clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto it = old.find(keyOf(i));
    if (it == old.end()) continue;
    m_states[i] = oldStates[it->second];
    const auto s = oldSeries.find(it->second);
    if (s != oldSeries.end()) {
      m_plotted[i] = s->second.get();
      m_series.emplace(i, std::move(s->second));
    }
  }
  m_decoded = {};
}

void SignalMonitor::onFrames(std::span<const CanFrame> frames) {
  const dbc::FrameDecoder& decoder = *m_decoder;
  if (decoder.messageCount() == 0) return;
  for (const CanFrame& f : frames) {
    if (f.tx() || !decoder.decode(f, m_decoded, false)) continue;  // texts when painted
    ++m_framesDecoded;
    if (!m_origin) m_origin = f.time;
    const double t = static_cast<double>(f.time.steadyUs - m_origin->steadyUs) * 1e-6;
    for (const dbc::DecodedSignal& v : m_decoded.values) {
      SignalState& s = m_states[v.index];
      if (s.count == 0) m_newlySeen.push_back(v.index);
      ++s.count;
      s.bits = v.bits;
      s.value = v.physical;
      s.time = f.time;
      if (v.physical < s.minimum) s.minimum = v.physical;  // never for NaN
      if (v.physical > s.maximum) s.maximum = v.physical;
      if (SignalSeries* series = m_plotted[v.index]) series->append(t, v.physical);
    }
  }
}

std::vector<std::uint32_t> SignalMonitor::takeNewlySeen() {
  std::vector<std::uint32_t> out;
  out.swap(m_newlySeen);
  return out;
}

void SignalMonitor::resetExtremes() {
  for (SignalState& s : m_states) {
    const bool number = s.count != 0 && s.value == s.value;
    s.minimum = number ? s.value : std::numeric_limits<double>::infinity();
    s.maximum = number ? s.value : -std::numeric_limits<double>::infinity();
  }
}

SignalSeries& SignalMonitor::startSeries(std::uint32_t signal) {
  if (signal >= m_plotted.size()) throw std::out_of_range("SignalMonitor: no such signal");
  std::unique_ptr<SignalSeries>& series = m_series[signal];
  if (!series) series = std::make_unique<SignalSeries>();
  m_plotted.at(signal) = series.get();
  return *series;
}

void SignalMonitor::stopSeries(std::uint32_t signal) {
  if (signal < m_plotted.size()) m_plotted[signal] = nullptr;
  m_series.erase(signal);
}

const SignalSeries* SignalMonitor::series(std::uint32_t signal) const {
  return signal < m_plotted.size() ? m_plotted[signal] : nullptr;
}

std::vector<std::uint32_t> SignalMonitor::plottedSignals() const {
  std::vector<std::uint32_t> out;
  for (const auto& [signal, series] : m_series) out.push_back(signal);
  return out;
}

}  // namespace velqor
