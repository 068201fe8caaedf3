// The Config and TxSet pages against the simulated adapter. Until the window owns its links,
// the test is the link: what the window sends (its one send path echoes every frame to the
// terminal's transmit monitor) goes to the model, and the model's input reports go to the
// window's receive path, as UsbifUsbReceive will hand them over.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "app/main_window.h"
#include "sim/sim_adapter.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"
#include "traffic/receive_page.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;

class SimRoundTripTest : public ::testing::Test {
 protected:
  SimRoundTripTest() {
    TFrmMain::Options options;
    options.clock = [] { return QTime(10, 0); };
    options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
    options.today = [] {
      return std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(12),
                                         std::chrono::day(7));
    };
    options.tickCountMs = [] { return std::uint64_t{1234}; };
    options.logDirectory = [this] { return std::filesystem::path(folder.path().toStdString()); };
    window = std::make_unique<TFrmMain>(boxes, options);
    window->setTerminal(&terminal, &terminalWindow);
  }

  SimOptions quietBus() const {
    SimOptions o;
    o.profileEnabled = false;
    o.console = false;
    o.eepromPath = folder.filePath(QStringLiteral("eeprom.bin")).toStdString();
    return o;
  }
  void attach(SimOptions options) {
    sim = std::make_unique<SimAdapter>(std::move(options));
    forwarded = terminal.sent().size();
  }

  // Carries what the window sent to the model, runs the model for `time` and hands its
  // reports to the window one by one; `afterEach` runs once each report was handled.
  void pump(std::chrono::nanoseconds time = 50ms, const std::function<void()>& afterEach = {}) {
    const auto frames = terminal.sent();
    for (; forwarded < frames.size(); ++forwarded) sim->Write(frames[forwarded]);
    sim->AdvanceTo(sim->Now() + time);
    InputReport report;
    while (sim->TakeInputReport(report)) {
      window->Feed(report.data(), report.size());
      ASSERT_TRUE(
          test::ProcessEventsUntil([this] { return window->receivePath().queuedCount() == 0; }));
      test::ProcessEvents();
      if (afterEach) afterEach();
    }
  }

  template <typename T>
  T* find(const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void click(const char* name) { find<QPushButton>(name)->click(); }
  QString result() { return find<QLabel>("ResultPanel")->text(); }

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

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  test::RecordingTerminal terminal;
  QWidget terminalWindow;
  std::unique_ptr<TFrmMain> window;
  std::unique_ptr<SimAdapter> sim;
  std::size_t forwarded = 0;
};

TEST_F(SimRoundTripTest, WriteThenReadRestoresThePageFromTheAdapter) {
  attach(quietBus());
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
  pump();
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  EXPECT_EQ(sim->Stats().commands, 19u);
  EXPECT_EQ(sim->Params().bitRateIndex, 0);
  EXPECT_EQ(sim->Params().sampleTimingIndex, 3);

  scramblePage();
  click("BtnReadParam");
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  pump();

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
}

TEST_F(SimRoundTripTest, StoredParametersSurviveANewAdapterOnTheSameEeprom) {
  attach(quietBus());
  setMailbox(9, true, false, "123", "7f0");
  find<QCheckBox>("ChkTerm")->setChecked(false);
  click("BtnConfigSet");
  pump();

  boxes.confirmAnswer = false;
  click("BtnStiore");
  pump();
  EXPECT_FALSE(std::filesystem::exists(quietBus().eepromPath)) << "Cancel stores nothing";

  boxes.confirmAnswer = true;
  click("BtnStiore");
  pump();
  EXPECT_EQ(result(), QStringLiteral("success!"));

  attach(quietBus());  // the adapter unplugged and plugged in again
  scramblePage();
  click("BtnReadParam");
  pump();
  EXPECT_TRUE(window->Chrx[8]->isChecked());
  EXPECT_EQ(window->EditIdRx[8]->text(), QStringLiteral("123"));
  EXPECT_EQ(window->EditRxMask[8]->text(), QStringLiteral("7f0"));
  EXPECT_FALSE(find<QCheckBox>("ChkTerm")->isChecked());
}

TEST_F(SimRoundTripTest, SendAppearsInTheListAndTheLogAndCompletes) {
  attach(quietBus());  // mailbox 1 of the factory settings takes every standard identifier
  find<QCheckBox>("ChkLog")->setChecked(true);
  window->OpenLogFileOnConnect();
  window->EditIdTx[0]->setText(QStringLiteral("123"));
  window->CSpinDLC[0]->setValue(2);
  window->MaskEdit[0]->setText(QStringLiteral("11 22"));
  click("BtnSend1");
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  pump();
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  ReceivedFrameModel& list = *window->receivePage()->model();
  list.flush();
  ASSERT_EQ(list.rowCount(), 1);
  EXPECT_EQ(list.text(0, ReceivedFrameModel::kId), QStringLiteral("123"));
  EXPECT_EQ(list.text(0, ReceivedFrameModel::kData), QStringLiteral("11  22"));

  window.reset();  // closes the log
  QFile log(folder.filePath(QStringLiteral("261207CAN001.txt")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_THAT(log.readAll().toStdString(),
              ::testing::EndsWith(
                  " 1234\t,0\t,123\t,2\t,11\t, 22\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"));
}

TEST_F(SimRoundTripTest, UnacknowledgedBusShowsCanFail) {
  SimOptions options = quietBus();
  options.unacknowledged = true;
  options.packing = ReportPacking::OneFramePerReport;
  attach(options);
  window->EditIdTx[0]->setText(QStringLiteral("7ff"));
  click("BtnSend1");
  QStringList shown;
  pump(200ms, [&] {
    if (shown.isEmpty() || shown.back() != result()) shown << result();
  });
  EXPECT_EQ(shown, (QStringList{"CAN fail!", "ERROR!: ACK_ERROR"}));
}

}  // namespace
}  // namespace velqor
