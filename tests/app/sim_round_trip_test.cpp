// The Config and TxSet pages and the data log against the simulated adapter, through the
// real connection: the connect switch pressed, the pages' frames going out through
// SendToDevice and Usbif, the answers coming back through Usbif's reader thread and the
// receive queue (tests/app/simulated_window.h).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <map>

#include "tests/app/simulated_window.h"
#include "traffic/receive_page.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

class SimRoundTripTest : public test::SimulatedWindowTest {
 protected:
  // The window lets go of the terminal below before it is destroyed.
  ~SimRoundTripTest() override { closeWindow(); }

  // A quiet adapter and the window connected to it.
  void start(SimulationOptions options = {}) {
    startAdapter(true, options);
    openWindow(&terminal, &terminalWindow);
    connectLinks();
  }

  void setMailbox(int row, bool enabled, bool ide, const char* id, const char* mask) {
    const auto i = static_cast<std::size_t>(row - 1);
    window->Chrx[i]->setChecked(enabled);
    window->ChkRxIde[i]->setChecked(ide);
    window->EditIdRx[i]->setText(QString::fromLatin1(id));
    window->EditRxMask[i]->setText(QString::fromLatin1(mask));
  }
  void scramblePage() {
    for (int row = 1; row <= 16; ++row) setMailbox(row, true, true, "abc", "def");
    find<QComboBox>("CmbBitRate")->setCurrentIndex(2);
    find<QComboBox>("CombSmpleTime")->setCurrentIndex(-1);
    find<QCheckBox>("ChkTerm")->setChecked(true);
    find<RadioGroup>("RadioTerminalForm")->setItemIndex(0);
  }
  // The adapter's parameters as its model holds them, read on the runner thread.
  AdapterParams adapterParams() {
    auto params = std::make_shared<AdapterParams>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    adapter->runner().Post([params, done](SimAdapter& a) {
      *params = a.Params();
      done->store(true);
    });
    EXPECT_TRUE(test::ProcessEventsUntil([&] { return done->load(); }));
    return *params;
  }

  test::RecordingTerminal terminal;
  QWidget terminalWindow;
};

TEST_F(SimRoundTripTest, WriteThenReadRestoresThePageFromTheAdapter) {
  start();
  find<QComboBox>("CmbBitRate")->setCurrentIndex(0);
  window->CmbBitRateChange();
  find<QComboBox>("CombSmpleTime")->setCurrentIndex(3);
  find<QCheckBox>("ChkTerm")->setChecked(false);
  find<RadioGroup>("RadioTerminalForm")->setItemIndex(1);
  setMailbox(1, false, false, "0", "0");
  setMailbox(2, false, true, "0", "0");
  setMailbox(4, true, true, "18da10f1", "1fffffff");
  setMailbox(6, true, false, "7ff", "700");
  click("BtnConfigSet");
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 19u);
  EXPECT_EQ(adapter->runner().Stats().commands, 19u);
  EXPECT_EQ(adapter->runner().Stats().commandsIgnored, 0u);
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  const AdapterParams written = adapterParams();
  EXPECT_EQ(written.bitRateIndex, 0);
  EXPECT_EQ(written.sampleTimingIndex, 3);

  scramblePage();
  click("BtnReadParam");
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 19u + 24u);

  EXPECT_EQ(find<QComboBox>("CmbBitRate")->currentText(), QStringLiteral("250kbps"));
  auto* sample = find<QComboBox>("CombSmpleTime");
  EXPECT_EQ(sample->count(), 15);
  EXPECT_EQ(sample->currentIndex(), 3);
  EXPECT_EQ(sample->currentText(), QStringLiteral("77"));
  EXPECT_FALSE(find<QCheckBox>("ChkTerm")->isChecked());
  EXPECT_EQ(find<RadioGroup>("RadioTerminalForm")->itemIndex(), 1);
  EXPECT_FALSE(window->Chrx[0]->isChecked());
  EXPECT_TRUE(window->ChkRxIde[1]->isChecked());
  EXPECT_TRUE(window->Chrx[3]->isChecked());
  EXPECT_TRUE(window->ChkRxIde[3]->isChecked());
  EXPECT_EQ(window->EditIdRx[3]->text(), QStringLiteral("18da10f1"));
  EXPECT_EQ(window->EditRxMask[3]->text(), QStringLiteral("1fffffff"));
  EXPECT_EQ(window->EditIdRx[5]->text(), QStringLiteral("7ff"));
  EXPECT_EQ(window->EditRxMask[5]->text(), QStringLiteral("700"));
  EXPECT_FALSE(window->Chrx[15]->isChecked());
  EXPECT_EQ(window->EditIdRx[15]->text(), QStringLiteral("0"));
  EXPECT_EQ(find<QLabel>("LabVersion")->text(), QStringLiteral("F/W: 1.07"));
  EXPECT_EQ(find<QLabel>("LabDevice")->text(), QStringLiteral("MCU: STM32F105"));
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(SimRoundTripTest, StoredParametersSurviveANewAdapterOnTheSameEeprom) {
  start();
  setMailbox(9, true, false, "123", "7f0");
  find<QCheckBox>("ChkTerm")->setChecked(false);
  click("BtnConfigSet");
  ASSERT_TRUE(waitSettled());

  boxes.confirmAnswer = false;
  click("BtnStiore");
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 19u) << "Cancel sends nothing";
  EXPECT_FALSE(std::filesystem::exists(eepromPath())) << "Cancel stores nothing";

  boxes.confirmAnswer = true;
  click("BtnStiore");
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(result(), QStringLiteral("success!"));
  EXPECT_TRUE(std::filesystem::exists(eepromPath()));

  // The program closed and the adapter unplugged; both started again on the same folder.
  closeAdapter();
  start();
  scramblePage();
  click("BtnReadParam");
  ASSERT_TRUE(waitSettled());
  EXPECT_TRUE(window->Chrx[8]->isChecked());
  EXPECT_FALSE(window->ChkRxIde[8]->isChecked());
  EXPECT_EQ(window->EditIdRx[8]->text(), QStringLiteral("123"));
  EXPECT_EQ(window->EditRxMask[8]->text(), QStringLiteral("7f0"));
  EXPECT_FALSE(find<QCheckBox>("ChkTerm")->isChecked());
}

TEST_F(SimRoundTripTest, SendAppearsInTheListAndTheLogAndCompletes) {
  // Mailbox 1 of the factory settings takes every standard identifier, so the adapter
  // reports its own frame back.
  startAdapter(true);
  openWindow(&terminal, &terminalWindow);
  find<QCheckBox>("ChkLog")->setChecked(true);
  connectLinks();
  window->EditIdTx[0]->setText(QStringLiteral("123"));
  window->CSpinDLC[0]->setValue(2);
  window->MaskEdit[0]->setText(QStringLiteral("11 22"));
  click("BtnSend1");
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  EXPECT_EQ(adapter->runner().Stats().transmitted, 1u);
  ReceivedFrameModel& list = *window->receivePage()->model();
  list.flush();
  ASSERT_EQ(list.rowCount(), 1);
  EXPECT_EQ(list.text(0, ReceivedFrameModel::kId), QStringLiteral("123"));
  EXPECT_EQ(list.text(0, ReceivedFrameModel::kData), QStringLiteral("11  22"));

  closeWindow();  // closes the log
  QFile log(folder.filePath(QStringLiteral("261207CAN001.txt")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_THAT(log.readAll().toStdString(),
              ::testing::EndsWith(
                  " 1234\t,0\t,123\t,2\t,11\t, 22\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"));
}

TEST_F(SimRoundTripTest, UnacknowledgedBusShowsCanFail) {
  SimulationOptions options;
  options.unacknowledged = true;
  start(options);
  window->EditIdTx[0]->setText(QStringLiteral("7ff"));
  click("BtnSend1");
  ASSERT_TRUE(waitSettled());
  // The send result, then the bus error the transmitter saw.
  EXPECT_EQ(QStringList(window->results.begin(), window->results.end()),
            (QStringList{"Cmd Request!", "CAN fail!", "ERROR!: ACK_ERROR"}));
  EXPECT_EQ(adapter->runner().Stats().transmitFailed, 1u);
  EXPECT_EQ(find<QLabel>("PanelTxErCount")->text(), QStringLiteral("8"));
}

// The data log of a connection on the vehicle's traffic: the file receives the frames the
// list shows, stays open while disconnected, and unticking "データログを保存する" closes it.
TEST_F(SimRoundTripTest, TheDataLogHoldsTheFramesTheListShows) {
  startAdapter(false);
  openWindow(&terminal, &terminalWindow);
  find<QCheckBox>("ChkLog")->setChecked(true);
  connectLinks();
  ASSERT_TRUE(window->dataLog().IsOpen());
  EXPECT_EQ(find<QLabel>("PnlSavefileName")->text(), QStringLiteral("/261207CAN001.txt"));
  ReceivedFrameModel& list = *window->receivePage()->model();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return list.heldRowCount() >= 8; }));

  disconnectLinks();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return window->receivePath().queuedCount() == 0; }));
  test::ProcessEvents();
  EXPECT_TRUE(window->dataLog().IsOpen()) << "disconnecting keeps the log open";
  EXPECT_EQ(window->receivePath().lostCount(), 0u);
  const std::uint64_t handled = window->receivePath().framesHandled();

  find<QCheckBox>("ChkLog")->click();  // unticks: the file is closed, every line written
  EXPECT_FALSE(window->dataLog().IsOpen());

  QFile file(folder.filePath(QStringLiteral("261207CAN001.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines.front() + '\n', QString::fromLatin1(DataLog::kLogHeader));
  EXPECT_TRUE(lines.back().isEmpty()) << "the last line ends in \\n";
  EXPECT_EQ(static_cast<std::uint64_t>(lines.size() - 2), handled) << "one line per frame";

  // The last line of each identifier is what its row shows.
  struct Logged {
    QString ide, dlc;
    QStringList data;
  };
  std::map<QString, Logged> last;
  for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
    const QStringList cells = lines[i].split(QStringLiteral("\t,"));
    ASSERT_EQ(cells.size(), 12) << lines[i].toStdString();
    Logged& l = last[cells[2]];
    l.ide = cells[1];
    l.dlc = cells[3];
    l.data.clear();
    for (int b = 4; b < 12; ++b) l.data << cells[b].trimmed();
  }
  list.flush();
  ASSERT_EQ(static_cast<std::size_t>(list.rowCount()), last.size());
  for (int row = 0; row < list.rowCount(); ++row) {
    const QString id = list.text(row, ReceivedFrameModel::kId);
    SCOPED_TRACE(id.toStdString());
    ASSERT_EQ(last.count(id), 1u);
    const Logged& l = last[id];
    EXPECT_EQ(l.ide, list.text(row, ReceivedFrameModel::kIde));
    EXPECT_EQ(l.dlc, list.text(row, ReceivedFrameModel::kDlc));
    const int dlc = l.dlc.toInt();
    EXPECT_EQ(list.text(row, ReceivedFrameModel::kData).split(' ', Qt::SkipEmptyParts),
              l.data.mid(0, dlc));
  }
  EXPECT_TRUE(boxes.shown().empty());
}

}  // namespace
}  // namespace velqor
