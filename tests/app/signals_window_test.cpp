// The "&Signals" menu's windows on the simulated adapter (tests/app/simulated_window.h): the
// DBC list of the settings file loaded at start, the signal view and the plot showing the
// simulated vehicle's moving values, a mailbox filled from signal values and sent, the message
// namer following the files.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <set>

#include "app/signals_feature.h"
#include "tests/app/frame_recorder.h"
#include "tests/app/simulated_window.h"
#include "traffic/mailbox_signals_dialog.h"
#include "traffic/signal_plot_window.h"
#include "traffic/signal_view_window.h"
#include "traffic/txset_page.h"
#include "widgets/masked_edit.h"

namespace velqor {
namespace {

const QString kVehicleDbc = QStringLiteral(VELQOR_EXAMPLES_DIR "/velqor_sim_vehicle.dbc");

class SignalWindowsTest : public test::SimulatedWindowTest {
 protected:
  SignalsFeature& feature() { return *window->signalsFeature(); }
  bool loaded() {
    return test::ProcessEventsUntil([this] { return !feature().loading(); });
  }
  std::uint32_t signalNumber(const std::string& name) {
    const SignalMonitor& m = feature().monitor();
    for (std::uint32_t i = 0; i < m.signalCount(); ++i)
      if (m.qualifiedName(i) == name) return i;
    ADD_FAILURE() << name;
    return 0;
  }
};

TEST_F(SignalWindowsTest, TheVehiclesSignalsMoveInTheSignalViewAndThePlot) {
  const QString gone = folder.filePath(QStringLiteral("gone.dbc"));
  QFile ini(QString::fromStdString(iniPath()));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write(("[SIGNALS]\nDBCCOUNT=2\nDBC1=" + kVehicleDbc + "\nDBC2=" + gone + "\n").toUtf8());
  ini.close();
  startAdapter(false);
  openWindow();
  ASSERT_TRUE(loaded());
  // The missing file is said once, with its path; the other one is loaded.
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find(gone.toStdString() + ": No such file or directory"),
            std::string::npos)
      << boxes.shown()[0].text;
  SignalViewWindow* view = feature().showSignalView();
  SignalPlotWindow* plot = feature().showPlot();
  const std::uint32_t speed = signalNumber("EngineData.EngineSpeed");
  plot->setPlotted(speed, true);
  int repaints = 0;
  QObject::connect(view->model(), &QAbstractItemModel::dataChanged, [&repaints] { ++repaints; });
  connectLinks();

  // The engine speed swings between 780 and 3400 rpm: three different values.
  std::set<std::uint64_t> values;
  ASSERT_TRUE(test::ProcessEventsUntil([&] {
    const SignalState& s = feature().monitor().state(speed);
    if (s.count != 0) values.insert(s.bits);
    return values.size() >= 3 && repaints >= 2;
  }));
  // The view lists it among the signals seen and repainted them as values came.
  SignalTableModel* model = view->model();
  int row = -1;
  for (int r = 0; r < model->rowCount(); ++r)
    if (model->signalAt(r) == speed) row = r;
  ASSERT_GE(row, 0);
  EXPECT_EQ(model->data(model->index(row, SignalTableModel::kUnit)).toString(), "rpm");
  const double shown = model->data(model->index(row, SignalTableModel::kValue)).toDouble();
  EXPECT_GE(shown, 780);
  EXPECT_LE(shown, 3400);
  // The plot draws its line from the values kept.
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return plot->line(speed)->count() >= 3; }));
  for (const QPointF& p : plot->line(speed)->points()) {
    EXPECT_GE(p.y(), 780);
    EXPECT_LE(p.y(), 3400);
  }

  // Zoomed in to under a second, live, the time range follows the newest value; paused, it
  // stays while values keep coming. "Export CSV..." writes what the range holds, and a file
  // that cannot be written is said with its path.
  emit static_cast<PlotChartView*>(plot->chartView())->wheelTurned(20, QPointF());
  ASSERT_LT(plot->timeRange().t1() - plot->timeRange().t0(), 1.0);
  const double liveEnd = plot->timeRange().t1();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return plot->timeRange().t1() > liveEnd; }));
  plot->findChild<QPushButton*>(QStringLiteral("BtnPlotPause"))->click();
  const double shownEnd = plot->timeRange().t1();
  const std::uint64_t decoded = feature().monitor().framesDecoded();
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return feature().monitor().framesDecoded() > decoded + 100; }));
  plot->refresh();
  EXPECT_EQ(plot->timeRange().t1(), shownEnd);
  QString csvPath = folder.filePath(QStringLiteral("plot.csv"));
  plot->setExportPathChooser([&csvPath] { return csvPath; });
  auto* exportButton = plot->findChild<QPushButton*>(QStringLiteral("BtnPlotExport"));
  exportButton->click();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !plot->exporting(); }));
  QFile csv(csvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = csv.readAll().split('\n');
  EXPECT_EQ(lines.at(0), "time_s,local_time,EngineData.EngineSpeed [rpm]");
  EXPECT_GE(lines.size(), 4);
  csvPath = folder.filePath(QStringLiteral("no/such/folder.csv"));
  exportButton->click();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !plot->exporting(); }));
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_NE(boxes.shown()[1].text.find(csvPath.toStdString()), std::string::npos);

  // Both files stay listed for the next start.
  closeWindow();
  IniFile saved(iniPath());
  EXPECT_EQ(saved.readString("SIGNALS", "DBCCOUNT", ""), "2");
  EXPECT_EQ(saved.readString("SIGNALS", "DBC2", ""), gone.toStdString());
}

TEST_F(SignalWindowsTest, AMailboxFilledFromSignalValuesSendsTheirBytes) {
  bool asked = false;
  runModal = [&](QDialog& dialog) {
    auto& d = dynamic_cast<MailboxSignalsDialog&>(dialog);
    asked = true;
    EXPECT_EQ(d.row(), 3);
    d.setMessage(0);  // EngineData, the file's first message
    d.setValue(QStringLiteral("EngineSpeed"), QStringLiteral("1000"));
    d.setValue(QStringLiteral("EngineState"), QStringLiteral("Running"));
    d.fillButton()->click();
  };
  startAdapter(true);
  openWindow();
  // The trace's namer, taken before the file is there, names by the files loaded now.
  const auto namer = feature().messageNamer();
  CanFrame engine;
  engine.id = 0x0C0;
  EXPECT_EQ(namer(engine), QString());
  feature().loadFiles({kVehicleDbc});
  ASSERT_TRUE(loaded());
  EXPECT_EQ(namer(engine), QStringLiteral("EngineData"));

  // A right click on mailbox row 3, then its one entry.
  QGroupBox* group = window->txSetPage()->group();
  emit group->customContextMenuRequested(
      QPoint(20, TxSetPage::kEditTop + 2 * TxSetPage::kRowStep + 4));
  auto* menu = window->findChild<QMenu*>(QStringLiteral("MenuMailboxRow"));
  ASSERT_NE(menu, nullptr);
  menu->actions().at(0)->trigger();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return asked; }));
  // 1000 rpm is 4000 at 0.25 rpm a bit, big-endian from bit 7; "Running" is 33 in byte 4.
  EXPECT_EQ(window->EditIdTx[2]->text(), QStringLiteral("C0"));
  EXPECT_EQ(window->CSpinDLC[2]->value(), 8);
  EXPECT_FALSE(window->ChkTxIde[2]->isChecked());
  EXPECT_EQ(window->MaskEdit[2]->text(), QStringLiteral("0F A0 00 00 21 00 00 00"));

  connectLinks();
  test::FrameRecorder sent;
  window->receivePath().addFrameConsumer(sent, ReceivePath::Frames::ReceivedAndSent);
  click("BtnSend3");
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !sent.frames.empty(); }));
  window->receivePath().removeFrameConsumer(sent);
  const CanFrame& f = sent.frames.front();
  EXPECT_TRUE(f.tx());
  EXPECT_EQ(f.id, 0x0C0u);
  EXPECT_EQ(f.dlc, 8);
  EXPECT_EQ(f.data, (std::array<std::uint8_t, 8>{0x0F, 0xA0, 0, 0, 0x21, 0, 0, 0}));

  // The file's own "Unload" entry.
  auto* unload = feature().menu()->findChild<QAction*>(QStringLiteral("ActUnloadDbc"));
  ASSERT_NE(unload, nullptr);
  unload->trigger();
  EXPECT_EQ(namer(engine), QString());
}

}  // namespace
}  // namespace velqor
