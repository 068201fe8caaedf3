#include "tools/live_link.h"

#include <QEventLoop>
#include <QTimer>
#include <charconv>
#include <cstdio>
#include <thread>

#include "common/hex_text.h"
#include "link/termination_signals.h"

namespace velqor::cli {

const char kLinkOptionsUsage[] =
    "  --sim          the simulated adapter in this process instead of a real one\n"
    "  --vid HEX      vendor identifier of the adapter (default 4242)\n"
    "  --pid HEX      product identifier of the adapter (default EE02)\n"
    "  --unacknowledged   (with --sim) nobody on the simulated bus acknowledges frames\n"
    "  --flood N      (with --sim) N more frames a second on the simulated bus\n"
    "  --sim-unacknowledged, --sim-flood N   the same, spelled as velqor spells them\n"
    "  --sim-errors   (with --sim) bus errors now and then (every 3 s on average)\n"
    "  --flood-off-bus    (with --flood) the flood at its full rate, beyond what the bus\n"
    "                 carries (load tests)\n"
    "  --sim-replay FILE  (with --sim) a recorded log (.log .asc .blf .csv .txt) as the bus\n"
    "                 traffic, at its recorded intervals, over and over\n";

const char kReconnectUsage[] =
    "  --reconnect    when the adapter is unplugged, wait for it and go on once it is back\n"
    "                 (said on standard error) instead of ending\n";

namespace {

bool ParseHex16(const std::string& text, std::uint16_t& value) {
  std::string_view v = text;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
  unsigned parsed = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), parsed, 16);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size() || parsed > 0xFFFF) return false;
  value = static_cast<std::uint16_t>(parsed);
  return true;
}

}  // namespace

OptionResult TakeLinkOption(const std::vector<std::string>& args, std::size_t& i,
                            LinkOptions& options, std::string& error) {
  const std::string& a = args[i];
  auto value = [&](const char* what) -> const std::string* {
    if (i + 1 >= args.size()) {
      error = a + " needs " + what;
      return nullptr;
    }
    return &args[++i];
  };
  if (a == "--sim") {
    options.sim = true;
  } else if (a == "--unacknowledged" || a == "--sim-unacknowledged") {
    options.unacknowledged = true;
  } else if (a == "--sim-errors") {
    options.errors = true;
  } else if (a == "--flood-off-bus") {
    options.floodOffBus = true;
  } else if (a == "--sim-replay") {
    const std::string* v = value("a log file");
    if (!v) return OptionResult::Bad;
    options.replayLog = *v;
  } else if (a == "--vid" || a == "--pid") {
    const std::string* v = value("a hexadecimal identifier");
    if (!v) return OptionResult::Bad;
    if (!ParseHex16(*v, a == "--vid" ? options.vendor : options.product)) {
      error = a + " needs a hexadecimal identifier of at most 4 digits, got '" + *v + "'";
      return OptionResult::Bad;
    }
  } else if (a == "--flood" || a == "--sim-flood") {
    const std::string* v = value("a number of frames a second");
    if (!v) return OptionResult::Bad;
    double rate = 0;
    const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), rate);
    if (ec != std::errc() || end != v->data() + v->size() || rate < 0 || rate > 1e6) {
      error = a + " needs a number of frames a second from 0 to 1000000, got '" + *v + "'";
      return OptionResult::Bad;
    }
    options.floodRate = rate;
  } else {
    return OptionResult::NotMine;
  }
  return OptionResult::Taken;
}

LiveLink::LiveLink(LinkOptions options) : m_options(options) {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "velqor-cli";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<QCoreApplication>(argc, argv);
  }
  m_stop = std::make_unique<OwnerWake>([this] {
    if (m_loop) m_loop->quit();
  });
}

LiveLink::~LiveLink() { Close(); }

bool LiveLink::Open(DeviceMessageSink& sink, std::string& error) {
  if (!m_options.sim && (!m_options.replayLog.empty() || m_options.floodOffBus)) {
    error = "--sim-replay and --flood-off-bus work only with --sim";
    return false;
  }
  std::shared_ptr<HidPlatform> platform;
  if (m_options.sim) {
    SimOptions sim;
    sim.console = false;  // no serial side here
    sim.unacknowledged = m_options.unacknowledged;
    if (m_options.errors) sim.errorInterval = std::chrono::seconds(3);
    sim.flood.framesPerSecond = m_options.floodRate;
    sim.flood.identifiers = 100;
    sim.flood.dlc = 8;
    sim.flood.busLimited = !m_options.floodOffBus;
    if (!m_options.replayLog.empty()) {
      try {
        sim.recorded = RecordedTraffic::Open(m_options.replayLog);
      } catch (const LogError& e) {
        error = "--sim-replay: ";
        error += e.what();
        return false;
      }
    }
    m_runner = std::make_unique<SimRunner>(sim);
    if (m_options.busObserver) m_runner->SetOnBusFrame(m_options.busObserver);
    m_simHid = std::make_shared<SimHidPlatform>(*m_runner);
    platform = m_simHid;
  }
  m_sink = &sink;
  m_interpreter = std::make_unique<TMsgInterpret>(&sink);
  m_usb = std::make_unique<TUsbif>(platform);
  m_usb->SetRxEventType(TUsbifEventType::Direct);
  m_usb->OnUsbReceive = [this](TUsbif*, const std::uint8_t* buffer, int size) {
    m_interpreter->Feed(buffer, static_cast<std::uint32_t>(size));
  };
  m_reconnect =
      std::make_unique<AdapterReconnect>(static_cast<ReconnectLinks&>(*this), m_options.reconnect);
  m_usb->OnUsbDeviceRemove = [this](TUsbif*) {
    if (m_reconnect->UsbRemoved()) return;  // waits for the adapter
    m_end = End::Removed;
    if (m_loop) m_loop->quit();
  };
  m_usb->OnUsbDeviceDetect = [this](TUsbif*) { m_reconnect->Arrival(); };
  if (m_usb->Open(m_options.vendor, m_options.product)) {
    m_reconnect->Connected(false);
    // The simulated adapter starts once its device is open, so none of its reports is
    // discarded for want of a reader.
    if (m_runner) m_runner->Start();
    return true;
  }

  const std::string which = std::string(m_options.sim ? "the simulated adapter " : "the adapter ") +
                            HexText4(m_options.vendor) + ":" + HexText4(m_options.product);
  const HidError& e = m_usb->LastError();
  if (e.kind == HidErrorKind::NotFound && e.systemError == 0) {
    error = which + " was not found" +
            (m_options.sim ? std::string(" (the simulated adapter is 4242:EE02)")
                           : std::string(" (is it plugged in? lsusb lists the USB devices)"));
  } else {
    error = which + " cannot be opened: " + e.text;
  }
  m_usb->Close();
  return false;
}

bool LiveLink::Send(const Frame& frame) {
  return m_usb && m_usb->Write(frame.data(), frame.size());
}

bool LiveLink::SendBytes(const std::uint8_t* bytes, std::size_t length) {
  return m_usb && m_usb->Write(bytes, length);
}

std::size_t LiveLink::OutputReportBytes() const {
  const std::size_t length = m_usb ? m_usb->OutputReportByteLength() : 0;
  return length > 0 ? length - 1 : 0;
}

LiveLink::End LiveLink::Run(std::chrono::milliseconds limit) {
  QEventLoop loop;
  m_loop = &loop;
  m_end = End::Stopped;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, [this, &loop] {
    m_end = End::TimeUp;
    loop.quit();
  });
  if (limit.count() > 0) timer.start(limit);

  // Ctrl-C and SIGTERM end the run; the previous dispositions come back after it.
  TerminationSignals interrupt([this, &loop] {
    m_end = End::Interrupted;
    loop.quit();
  });
  loop.exec();
  m_loop = nullptr;
  return m_end;
}

void LiveLink::Drain(std::chrono::milliseconds limit) {
  if (!m_runner || !m_usb || !m_usb->IsOpen()) return;
  m_runner->SetProfileEnabled(false);
  m_runner->SetFlood(FloodOptions{});
  // Done when two looks 10 ms apart find everything the model made handed out and read.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::uint64_t lastReports = ~std::uint64_t{0};
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const SimStats model = m_runner->Stats();
    const SimHidCounters hid = m_simHid->Counters();
    const bool handedOut =
        model.reports == hid.reportsQueued + hid.reportsDropped + hid.reportsDiscarded;
    const bool read = m_usb->GetCounters().reportsRead == hid.reportsQueued;
    if (handedOut && read && model.reports == lastReports) return;
    lastReports = model.reports;
  }
}

void LiveLink::Close() {
  if (m_reconnect) m_reconnect->Disconnected();
  if (m_usb) m_usb->Close();  // the reader pauses: no more deliveries
  if (m_runner) m_runner->Stop();
}

bool LiveLink::ReopenUsb() {
  // The reader is paused (Announce closed the device): a frame cut short by the unplug is
  // dropped with the old interpreter rather than joined to the new device's bytes.
  m_interpreter = std::make_unique<TMsgInterpret>(m_sink);
  if (m_usb->Open(m_options.vendor, m_options.product)) return true;
  m_usb->Close();
  return false;
}

void LiveLink::SetRetrying(bool on) {
  if (!m_retry) {
    m_retry = std::make_unique<QTimer>();
    m_retry->setInterval(static_cast<int>(AdapterReconnect::kRetryInterval.count()));
    QObject::connect(m_retry.get(), &QTimer::timeout, [this] { m_reconnect->Tick(); });
  }
  if (on) {
    m_retry->start();
  } else {
    m_retry->stop();
  }
}

void LiveLink::Announce(ReconnectEvent event) {
  const std::string which = HexText4(m_options.vendor) + ":" + HexText4(m_options.product);
  if (event == ReconnectEvent::UsbLost) {
    m_usb->Close();  // the reader pauses until the adapter is back
    ++m_losses;
    if (OnStatus) OnStatus("the adapter " + which + " went away; waiting for it to come back");
  } else if (event == ReconnectEvent::UsbBack) {
    ++m_reconnects;
    if (OnStatus) OnStatus("the adapter " + which + " is back: reconnected");
  }
}

std::optional<SimStats> LiveLink::ModelStats() const {
  if (!m_runner) return std::nullopt;
  return m_runner->Stats();
}

SimHidCounters LiveLink::BackendCounters() const {
  return m_simHid ? m_simHid->Counters() : SimHidCounters{};
}

}  // namespace velqor::cli
