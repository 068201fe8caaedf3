#include "app/trace_binding.h"

#include <QComboBox>
#include <QStatusBar>
#include <algorithm>

#include "app/main_window.h"
#include "app/signals_feature.h"
#include "config/config_page.h"
#include "link/protocol.h"
#include "traffic/receive_page.h"

namespace velqor {

TraceBinding::TraceBinding(TFrmMain& main, MessageBoxes& boxes, const IniFile& settings,
                           TraceWindowOptions options)
    : m_main(main) {
  const TraceSettings trace = loadTraceSettings(settings);
  m_main.receivePage()->setStatisticsColumns(loadReceiveColumnSettings(settings));
  m_recorder = std::make_unique<TraceRecorder>(trace.capacity);
  if (!options.bitRate) {
    options.bitRate = [&main] {
      const int rate = main.configPage()->CmbBitRate->currentIndex();
      return rate >= 0 && rate < kBitRateCount ? kBitRatesPerSecond[rate] : 0;
    };
  }
  m_window = std::make_unique<TraceWindow>(*m_recorder, boxes, std::move(options));
  m_window->setAttribute(Qt::WA_QuitOnClose, false);
  m_window->setWallClock(trace.wallClock);
  // The message name column shows while a DBC file is loaded.
  if (SignalsFeature* signalsFeature = m_main.signalsFeature()) {
    const auto name = [this, signalsFeature] {
      const auto& files = signalsFeature->dbcSet().files();
      const bool loaded =
          std::any_of(files.begin(), files.end(), [](const DbcFile& f) { return f.loaded(); });
      m_window->setMessageNamer(loaded ? signalsFeature->messageNamer()
                                       : std::function<QString(const CanFrame&)>());
    };
    name();
    connect(signalsFeature, &SignalsFeature::messageNamerChanged, this, name);
  }

  ReceivePath& path = m_main.receivePath();
  path.addFrameConsumer(*m_recorder, ReceivePath::Frames::ReceivedAndSent);
  path.addMessageObserver(*m_recorder);
  m_lostSeen = path.lostCount();
  connect(&path, &ReceivePath::lostCountChanged, this, [this](quint64 lost) {
    if (lost > m_lostSeen) {
      m_recorder->addEvent(
          TraceRowKind::FramesLost, CanTime::Now(),
          static_cast<std::uint32_t>(std::min<quint64>(lost - m_lostSeen, 0xFFFFFFFFu)));
    }
    m_lostSeen = lost;
  });
  const auto event = [this](TraceRowKind kind) {
    return [this, kind] { m_recorder->addEvent(kind, CanTime::Now()); };
  };
  connect(&m_main, &TFrmMain::linksConnected, this, event(TraceRowKind::Connected));
  connect(&m_main, &TFrmMain::linksDisconnected, this, event(TraceRowKind::Disconnected));
  connect(&m_main, &TFrmMain::adapterLost, this, event(TraceRowKind::AdapterLost));
  connect(&m_main, &TFrmMain::adapterReconnected, this, event(TraceRowKind::AdapterReconnected));

  m_hint.setInterval(kHintIntervalMs);
  connect(&m_hint, &QTimer::timeout, this, &TraceBinding::updateHint);
  m_hint.start();
}

TraceBinding::~TraceBinding() {
  m_main.receivePath().removeFrameConsumer(*m_recorder);
  m_main.receivePath().removeMessageObserver(*m_recorder);
}

void TraceBinding::saveSettings(IniFile& settings) const {
  TraceSettings trace;
  trace.capacity = m_recorder->store().capacity();
  trace.wallClock = m_window->wallClock();
  saveTraceSettings(settings, trace);
  saveReceiveColumnSettings(settings, m_main.receivePage()->statisticsColumns());
}

QString TraceBinding::hintText() const { return QStringLiteral("Bus: ") + m_window->busText(); }

void TraceBinding::updateHint() {
  QStatusBar* bar = m_main.statusBar();
  const QString text = hintText();
  if (bar->toolTip() != text) bar->setToolTip(text);
}

void TFrmMain::Trace1Click() {
  TraceWindow& window = m_trace->window();
  window.show();
  window.raise();
  window.activateWindow();
}

TraceWindow* TFrmMain::traceWindow() const { return m_trace ? &m_trace->window() : nullptr; }

}  // namespace velqor
