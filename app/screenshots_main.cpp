// velqor-screenshots DIR: the main window with each page in front, saved as PNG files in DIR
// (wave.png, receive.png, txset.png, config.png), then the terminal window while a script
// runs (terminal.png), the port dialog (port.png) and the About box (about.png), for looking
// at the layout. The window is connected through its switch to the simulated adapter, whose
// traffic fills the Receive page's list together with the frames of the hidden "Debug"
// button; the Wave page shows a frame the simulated adapter captured after "Single" with the
// page's defaults, decoded, and its analysis window (wave_analysis.png), then the page waiting
// for a trigger level no frame crosses (wave_waiting.png); the signal view and the plot over the
// example DBC file of the simulated vehicle (signal_view.png, signal_plot.png) and the dialog
// that fills a mailbox from signal values (mailbox_signals.png); the replay window in the middle
// of a replay (replay.png) and the conversion window after it wrote a log (convert.png); the
// TxSet page with rows sending on their own (txset_cyclic.png) and the adapter shared as an
// slcan device (slcan_share.png); last, the trace window (trace.png, trace_paused.png,
// trace_filtered.png) and the Receive list with its optional columns (receive_columns.png). Run
// it under Xvfb (scripts/screenshots.sh) or with QT_QPA_PLATFORM=offscreen. The windows speak
// the language velqor would choose here (the desktop's, LANG), or the one --lang names.

#include <QAction>
#include <QChartView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <cstdio>
#include <optional>
#include <string_view>

#include "app/application.h"
#include "app/main_window.h"
#include "app/signals_feature.h"
#include "app/simulated_adapter.h"
#include "app/slcan_share_window.h"
#include "app/ui_language.h"
#include "common/message_boxes.h"
#include "dialogs/about_box.h"
#include "dialogs/port_dialog.h"
#include "link/protocol.h"
#include "terminal/terminal_window.h"
#include "traffic/convert_window.h"
#include "traffic/cyclic_tx_panel.h"
#include "traffic/mailbox_signals_dialog.h"
#include "traffic/receive_page.h"
#include "traffic/replay_window.h"
#include "traffic/signal_plot_window.h"
#include "traffic/signal_view_window.h"
#include "traffic/trace_window.h"
#include "traffic/txset_page.h"
#include "traffic/wave_measurements_window.h"
#include "traffic/wave_page.h"
#include "widgets/masked_edit.h"

namespace {

class PrintedBoxes : public velqor::MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption, Icon) override {
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    Show(text, caption, icon);
    return false;
  }
};

void Settle() {
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

bool Save(QWidget& widget, const QDir& dir, const char* name) {
  const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "velqor-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// "Single" with the Wave page's defaults (Differential, 2.5 V), as a person would take it;
// the connected simulated adapter catches the next frame on its bus.
void CaptureAFrame(velqor::TFrmMain& window) {
  velqor::WavePage* page = window.wavePage();
  page->findChild<QPushButton*>(QStringLiteral("BtnSingle"))->click();
  for (int i = 0; i < 20 && page->analysis().decoding.bits.empty(); ++i) Settle();
}

bool SaveSignalWindows(velqor::SignalsFeature& feature, QWidget& window, const QDir& dir) {
  const velqor::SignalMonitor& monitor = feature.monitor();
  std::vector<std::uint32_t> plotted;
  for (std::uint32_t i = 0; i < monitor.signalCount(); ++i) {
    const std::string name = monitor.qualifiedName(i);
    if (name == "EngineData.EngineSpeed" || name == "Transmission.OutputTorque" ||
        name == "SteeringAngle.SteeringAngle")
      plotted.push_back(i);
  }
  velqor::SignalPlotWindow* plot = feature.showPlot();
  plot->plotSignals(plotted);
  velqor::SignalViewWindow* view = feature.showSignalView();
  for (int i = 0; i < 40; ++i) Settle();  // some seconds of the vehicle's traffic
  // The cursor's readout in the middle of the values plotted.
  QChartView* chart = plot->chartView();
  double middle = 0;
  const velqor::SignalSeries* s = plotted.empty() ? nullptr : monitor.series(plotted.front());
  if (s != nullptr && s->last()) middle = (s->first()->t + s->last()->t) / 2;
  const QPointF at(chart->mapFromScene(chart->chart()->mapToPosition(QPointF(middle, 0))).x(),
                   chart->height() / 2.0);
  QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(chart->viewport(), &move);
  Settle();
  if (!Save(*view, dir, "signal_view") || !Save(*plot, dir, "signal_plot")) return false;
  view->hide();
  plot->hide();

  velqor::MailboxSignalsDialog mailbox(feature.dbcSet().decoder(), {}, 2, &window);
  mailbox.setValue(QStringLiteral("EngineSpeed"), QStringLiteral("1500"));
  mailbox.setValue(QStringLiteral("EngineState"), QStringLiteral("Running"));
  mailbox.show();
  Settle();
  const bool saved = Save(mailbox, dir, "mailbox_signals");
  mailbox.hide();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  velqor::VelqorApplication app(argc, argv);
  // [--lang ja|en|auto] DIR
  std::optional<velqor::UiLanguage> language;
  const char* folder = argc == 2 ? argv[1] : nullptr;
  if (argc == 4 && std::string_view(argv[1]) == "--lang") {
    language = velqor::ParseUiLanguage(argv[2]);
    folder = language ? argv[3] : nullptr;
  }
  if (folder == nullptr) {
    std::fprintf(stderr, "usage: velqor-screenshots [--lang ja|en|auto] DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(folder));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "velqor-screenshots: cannot create %s\n", folder);
    return 1;
  }
  velqor::UiTranslation translation;
  if (!translation.apply(velqor::ResolveUiLanguage(language, velqor::UiLanguage::Auto,
                                                   QLocale::system().uiLanguages()))) {
    std::fprintf(stderr, "velqor-screenshots: the English texts cannot be loaded\n");
    return 1;
  }
  PrintedBoxes boxes;
  app.setMessageBoxes(&boxes);
  // Settings from a scratch file, so that the pages show the defaults and nothing is left
  // behind in the working directory.
  QTemporaryDir scratch;
  velqor::TFrmMain::Options options;
  options.settingsPath = scratch.filePath(QStringLiteral("Velqor.INI")).toStdString();
  velqor::SimulationOptions simOptions;
  simOptions.eepromPath.clear();
  velqor::SimulatedAdapter simulation(simOptions);  // outlives the window
  simulation.applyTo(options);
  velqor::TFrmMain window(boxes, options);
  window.show();
  // The simulated vehicle's DBC file, so that the signal windows fill from the first frame.
  velqor::SignalsFeature& signalWindows = *window.signalsFeature();
  signalWindows.loadFiles({QStringLiteral(VELQOR_EXAMPLES_DIR "/velqor_sim_vehicle.dbc")});
  for (int i = 0; i < 50 && signalWindows.loading(); ++i) Settle();
  window.findChild<QToolButton*>(QStringLiteral("SpdSwitch"))->click();
  for (int i = 0; i < 6; ++i) Settle();  // about a second of the simulated vehicle's traffic
  window.BtnDebugClick();
  // A few frames with data, standard and extended, to show the data column.
  const std::uint32_t ids[] = {0x7FF, 0x18DA10F1, 0x123};
  for (std::uint32_t i = 0; i < 3; ++i) {
    velqor::ReceivedCanFrame f;
    f.ide = ids[i] > 0x7FF;
    f.id = ids[i];
    f.dlc = static_cast<std::uint8_t>(8 - 3 * i);
    f.data = {0x10, 0xFF, 0x01, 0xA5, 0x5A, 0x00, 0x7F, 0x80};
    const auto payload = f.Encode();
    const velqor::Frame frame =
        velqor::MakeFrame(velqor::Category::Can, velqor::Cmd::ReceivedCanFrame, payload);
    window.Feed(frame.data(), frame.size());
  }
  CaptureAFrame(window);
  Settle();
  window.receivePage()->model()->flush();

  auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  const char* const names[] = {"wave", "receive", "txset", "config"};
  for (int i = 0; i < pages->count(); ++i) {
    pages->setCurrentIndex(i);
    Settle();
    const QString path = dir.filePath(QString::fromLatin1(names[i]) + QStringLiteral(".png"));
    if (!window.grab().save(path)) {
      std::fprintf(stderr, "velqor-screenshots: cannot write %s\n", qPrintable(path));
      return 1;
    }
    std::printf("%s\n", qPrintable(path));
  }
  // Three rows sending on their own, one of them with a count, one that finished.
  {
    velqor::TxSetPage& page = *window.txSetPage();
    velqor::CyclicTxPanel& cyclic = *window.cyclicTxPanel();
    const struct {
      int row;
      const char* id;
      int dlc;
      bool ide;
      const char* data;
      const char* cycle;
      const char* count;
    } rows[] = {{1, "123", 2, false, "11 22", "100", "0"},
                {2, "18DA10F1", 8, true, "02 10 03 00 00 00 00 00", "10", "0"},
                {4, "7DF", 3, false, "02 01 0C", "20", "5000"},
                {6, "321", 1, false, "AA", "5", "10"}};
    for (const auto& r : rows) {
      const int i = r.row - 1;
      page.EditIdTx[i]->setText(QString::fromLatin1(r.id));
      page.CSpinDLC[i]->setValue(r.dlc);
      page.ChkTxIde[i]->setChecked(r.ide);
      page.MaskEdit[i]->setText(QString::fromLatin1(r.data));
      cyclic.EditCycleTx[i]->setText(QString::fromLatin1(r.cycle));
      cyclic.EditCountTx[i]->setText(QString::fromLatin1(r.count));
      cyclic.BtnCycleTx[i]->click();
    }
    pages->setCurrentWidget(&page);
    for (int i = 0; i < 8; ++i) Settle();
    if (!Save(window, dir, "txset_cyclic")) return 1;
    cyclic.BtnStopAllTx->click();
  }
  // The adapter shared as an slcan device beside the window (slcan_share.png).
  window.SlcanShareClick();
  for (int i = 0; i < 4; ++i) Settle();
  if (!Save(*window.slcanShareWindow(), dir, "slcan_share")) return 1;
  window.slcanShareWindow()->close();

  pages->setCurrentIndex(0);
  window.wavePage()->showMeasurements();
  Settle();
  if (!Save(*window.wavePage()->measurementsWindow(), dir, "wave_analysis")) return 1;
  window.wavePage()->measurementsWindow()->hide();

  // The signal view and a plot of three signals after some seconds of the vehicle's traffic
  // (signal_view.png, signal_plot.png), and a mailbox from signal values
  // (mailbox_signals.png).
  if (!SaveSignalWindows(signalWindows, window, dir)) return 1;

  // The terminal window in the middle of a script, waiting; the received pane shows the
  // "Debug" frames.
  velqor::TFrmTTY::Options ttyOptions;
  ttyOptions.settingsPath = options.settingsPath;
  velqor::TFrmTTY terminal(window, boxes, ttyOptions);
  window.setTerminal(&terminal, &terminal);
  terminal.show();
  window.BtnDebugClick();
  QFile script(scratch.filePath(QStringLiteral("demo.cmd")));
  if (!script.open(QIODevice::WriteOnly)) return 1;
  script.write(
      "; read the adapter's terminator\r\nS FC020109\r\nH\r\n"
      "S FC03010900\r\nW 60000\r\nQ\r\n");
  script.close();
  terminal.StartScript(script.fileName().toStdString());
  auto* memoTx = terminal.findChild<QPlainTextEdit*>(QStringLiteral("MemoTX"));
  for (int i = 0; i < 200 && !memoTx->toPlainText().contains(QStringLiteral("60000")); ++i) {
    Settle();
  }
  terminal.flushPending();
  Settle();
  const bool terminalSaved = Save(terminal, dir, "terminal");
  // With the terminal window present the level goes out. A level no frame crosses: after 2 s the
  // page says it is waiting (wave_waiting.png).
  window.wavePage()->findChild<QLineEdit*>(QStringLiteral("EditTriggerlv"))->setText("4.9");
  window.wavePage()->findChild<QPushButton*>(QStringLiteral("BtnSingle"))->click();
  auto* waiting = window.wavePage()->findChild<QLabel*>(QStringLiteral("LabWaveWaiting"));
  for (int i = 0; i < 30 && waiting->text().isEmpty(); ++i) Settle();
  if (!Save(window, dir, "wave_waiting")) return 1;
  window.wavePage()->findChild<QPushButton*>(QStringLiteral("BtnStop"))->click();
  window.wavePage()->findChild<QLineEdit*>(QStringLiteral("EditTriggerlv"))->setText("2.5");
  window.setTerminal(nullptr, nullptr);
  if (!terminalSaved) return 1;

  // The replay window half-way through a recorded candump log, looping.
  QFile recorded(scratch.filePath(QStringLiteral("recorded.log")));
  if (!recorded.open(QIODevice::WriteOnly)) return 1;
  for (int i = 0; i < 200; ++i) {
    recorded.write(QStringLiteral("(1700000000.%1) can0 %2#%3\n")
                       .arg(i * 5000, 6, 10, QLatin1Char('0'))
                       .arg(i % 4 == 0 ? QStringLiteral("18FEF100") : QStringLiteral("123"))
                       .arg(i % 256, 2, 16, QLatin1Char('0'))
                       .toLatin1());
  }
  recorded.close();
  window.ReplayClick();
  velqor::ReplayWindow* replay = window.replayWindow();
  replay->findChild<QLineEdit*>(QStringLiteral("EditReplayFile"))->setText(recorded.fileName());
  replay->findChild<QCheckBox*>(QStringLiteral("ChkReplayLoop"))->setChecked(true);
  replay->StartClick();
  for (int i = 0; i < 3; ++i) Settle();
  const bool replaySaved = Save(*replay, dir, "replay");
  replay->StopClick();
  Settle();
  replay->hide();
  if (!replaySaved) return 1;

  // The conversion window after it wrote that log as BLF.
  window.ConvertClick();
  velqor::ConvertWindow* convert = window.convertWindow();
  convert->findChild<QLineEdit*>(QStringLiteral("EditConvertIn"))->setText(recorded.fileName());
  convert->findChild<QLineEdit*>(QStringLiteral("EditConvertOut"))
      ->setText(scratch.filePath(QStringLiteral("recorded.blf")));
  convert->StartClick();
  for (int i = 0; i < 50 && convert->Running(); ++i) Settle();
  const bool convertSaved = Save(*convert, dir, "convert");
  convert->hide();
  if (!convertSaved) return 1;

  velqor::IniFile ini(options.settingsPath);
  velqor::TFrmOption port({3, 115200, velqor::SerialParity::Even, false}, ini, boxes, {}, &window);
  port.show();
  Settle();
  if (!Save(port, dir, "port")) return 1;
  port.hide();

  velqor::TFrmAbout about(&window);
  about.show();
  Settle();
  if (!Save(about, dir, "about")) return 1;
  about.hide();

  // The trace window following the traffic, a frame sent from mailbox 1 among it (trace.png),
  // paused while rows come (trace_paused.png), filtered (trace_filtered.png); the Receive list
  // with its statistics columns (receive_columns.png).
  window.findChild<QAction*>(QStringLiteral("Trace1"))->trigger();
  velqor::TraceWindow& trace = *window.traceWindow();
  window.BtnSend[0]->click();
  for (int i = 0; i < 3; ++i) Settle();
  if (!Save(trace, dir, "trace")) return 1;
  auto* pause = trace.findChild<QPushButton*>(QStringLiteral("BtnTracePause"));
  pause->click();
  for (int i = 0; i < 3; ++i) Settle();
  trace.findChild<QLineEdit*>(QStringLiteral("EditTraceFind"))->setText(QStringLiteral("tx"));
  trace.findNext(true);  // the frame sent, in the middle, selected
  Settle();
  if (!Save(trace, dir, "trace_paused")) return 1;
  pause->click();
  trace.setFilterText(QStringLiteral("0C0-1FF !130 std #?? 0?"));
  for (int i = 0; i < 3; ++i) Settle();
  if (!Save(trace, dir, "trace_filtered")) return 1;
  trace.hide();
  velqor::ReceiveColumnSettings columns;
  columns.count = columns.cycle = columns.mean = columns.txCount = true;
  window.receivePage()->setStatisticsColumns(columns);
  pages->setCurrentIndex(1);
  Settle();
  if (!Save(window, dir, "receive_columns")) return 1;
  return 0;
}
