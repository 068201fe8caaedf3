// The "Config" and "TxSet" pages and the data log as the window binds them: driven through
// the controls by their objectNames, the frames seen on the terminal's transmit monitor (the
// one send path echoes every frame there), message boxes through the recorder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "app/main_window.h"
#include "canlog/log_reader.h"
#include "link/protocol.h"
#include "tests/app/test_doubles.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/qt_application.h"
#include "traffic/receive_page.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using testing::FileSizeLimit;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kHeader =
    "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";

class PageBindingsTest : public ::testing::Test {
 protected:
  PageBindingsTest() { open(); }

  void open() {
    TFrmMain::Options options;
    options.clock = [] { return QTime(10, 0); };
    options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
    options.today = [] {
      return std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(12),
                                         std::chrono::day(7));
    };
    options.tickCountMs = [this] { return tick; };
    options.logDirectory = [this] {
      return std::filesystem::path(folder.path().toStdString()) / logSubfolder;
    };
    window = std::make_unique<TFrmMain>(boxes, options);
    window->setTerminal(&terminal, &terminalWindow);
  }

  template <typename T>
  T* find(const QString& name) {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  void click(const char* name) { find<QPushButton>(QString::fromLatin1(name))->click(); }
  QString result() { return find<QLabel>(QStringLiteral("ResultPanel"))->text(); }
  std::vector<Bytes> sent() { return terminal.sent(); }

  // A transmit row filled as a technician does: identifier typed, DLC set, data typed into
  // the masked field (its mask puts the blanks between the pairs).
  void fillTxRow(int row, const char* id, int dlc, bool ide, const char* typed, bool box) {
    const auto i = static_cast<std::size_t>(row - 1);
    window->EditIdTx[i]->setText(QString::fromLatin1(id));
    window->CSpinDLC[i]->setValue(dlc);
    window->ChkTxIde[i]->setChecked(ide);
    window->MaskEdit[i]->setFocus();
    window->MaskEdit[i]->home(false);
    QTest::keyClicks(window->MaskEdit[i], QString::fromLatin1(typed));
    window->MBox[i]->setChecked(box);
  }

  std::string logText(const char* name) {
    QFile file(folder.filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::ReadOnly)) return "(missing)";
    return file.readAll().toStdString();
  }
  void feedFrame(std::uint32_t id, std::uint8_t dlc) {
    const Frame f = MakeFrame(Category::Can, Cmd::ReceivedCanFrame,
                              ReceivedCanFrame{0, 0, id, dlc, {1, 2, 3, 4, 5, 6, 7, 8}}.Encode());
    window->Feed(f.data(), f.size());
    ASSERT_TRUE(
        test::ProcessEventsUntil([this] { return window->receivePath().queuedCount() == 0; }));
    test::ProcessEvents();
  }

  QTemporaryDir folder;
  std::string logSubfolder;  // the logs' folder below `folder`; none when empty
  test::RecordingBoxes boxes;
  test::RecordingTerminal terminal;
  QWidget terminalWindow;
  std::uint64_t tick = 1000;
  std::unique_ptr<TFrmMain> window;
};

TEST_F(PageBindingsTest, WriteParameterSendsThePageAsItStands) {
  find<QComboBox>(QStringLiteral("CmbBitRate"))->setCurrentIndex(0);
  find<QComboBox>(QStringLiteral("CombSmpleTime"))->setCurrentIndex(4);
  find<QCheckBox>(QStringLiteral("ChkTerm"))->setChecked(false);
  find<RadioGroup>(QStringLiteral("RadioTerminalForm"))->setItemIndex(1);
  window->Chrx[3]->setChecked(true);
  window->ChkRxIde[3]->setChecked(true);
  window->EditIdRx[3]->setText(QStringLiteral("1fffffff"));
  window->EditRxMask[3]->setText(QStringLiteral("123456789"));
  window->EditIdRx[4]->clear();
  window->EditRxMask[4]->setText(QStringLiteral("7g"));  // pasted: the key filter never saw it

  click("BtnConfigSet");

  const auto frames = sent();
  ASSERT_EQ(frames.size(), 19u);
  EXPECT_EQ(frames[0], (Bytes{0xFC, 0x04, 0x01, 0x0C, 0x00, 0x04}));
  EXPECT_EQ(frames[1], (Bytes{0xFC, 0x03, 0x01, 0x08, 0x01}));
  EXPECT_EQ(frames[2], (Bytes{0xFC, 0x03, 0x01, 0x0D, 0x01}));
  EXPECT_EQ(frames[3], (Bytes{0xFC, 0x0E, 0x01, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(frames[6], (Bytes{0xFC, 0x0E, 0x01, 0x03, 3, 1, 1, 0x1F, 0xFF, 0xFF, 0xFF, 0x23, 0x45,
                              0x67, 0x89, 0}));
  EXPECT_EQ(frames[7],
            (Bytes{0xFC, 0x0E, 0x01, 0x03, 4, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0}));
  EXPECT_EQ(frames[18][4], 15);
  EXPECT_EQ(result(), QString());
}

TEST_F(PageBindingsTest, ReadParameterAsksForEverythingAndAnswersFillThePage) {
  auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
  ASSERT_GT(sample->count(), 0);
  click("BtnReadParam");
  const auto frames = sent();
  ASSERT_EQ(frames.size(), 24u);
  EXPECT_EQ(frames[0], (Bytes{0xFC, 0x03, 0x01, 0x0A, 0x00}));
  EXPECT_EQ(frames[23], (Bytes{0xFC, 0x02, 0x01, 0x21}));
  EXPECT_EQ(sample->count(), 0);
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));

  // A Write now carries 255 for the empty list.
  click("BtnConfigSet");
  EXPECT_EQ(sent()[24][5], 0xFF);

  // The answers, as the adapter sends them, through the receive path.
  for (const Frame& f :
       {MakeFrame(Category::Config, Cmd::GetTimingTable, Bytes{2, 2, 80, 70}),
        MakeFrame(Category::Config, Cmd::GetBitTiming, Bytes{2, 1}),
        MakeFrame(Category::Config, Cmd::GetFirmwareVersion, Bytes{'2', '.', '1', 0}),
        MakeFrame(Category::Config, Cmd::GetDeviceName, Bytes{'R', 'X', 0})})
    window->Feed(f.data(), f.size());
  ASSERT_TRUE(
      test::ProcessEventsUntil([this] { return window->receivePath().queuedCount() == 0; }));
  test::ProcessEvents();
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CmbBitRate"))->currentText(), QStringLiteral("1Mbps"));
  EXPECT_EQ(sample->count(), 2);
  EXPECT_EQ(sample->currentText(), QStringLiteral("70"));
  EXPECT_EQ(find<QLabel>(QStringLiteral("LabVersion"))->text(), QStringLiteral("F/W: 2.1"));
  EXPECT_EQ(find<QLabel>(QStringLiteral("LabDevice"))->text(), QStringLiteral("MCU: RX"));
}

TEST_F(PageBindingsTest, StoreAsksFirstAndSendsOnlyOnOk) {
  boxes.confirmAnswer = false;
  click("BtnStiore");
  EXPECT_THAT(sent(), IsEmpty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "EEPROMに書き込みます！");
  EXPECT_EQ(boxes.shown()[0].caption, "メッセージ");
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Information);
  boxes.confirmAnswer = true;
  click("BtnStiore");
  EXPECT_THAT(sent(), ElementsAre(Bytes{0xFC, 0x02, 0x01, 0x10}));
}

TEST_F(PageBindingsTest, ChoosingABitRateRefillsTheSampleTimings) {
  auto* bitRate = find<QComboBox>(QStringLiteral("CmbBitRate"));
  auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
  bitRate->setFocus();
  QTest::keyClick(bitRate, Qt::Key_Down);  // 500 kbit/s -> 1 Mbit/s, as a user picks it
  ASSERT_EQ(bitRate->currentIndex(), 2);
  QStringList items;
  for (int i = 0; i < sample->count(); ++i) items << sample->itemText(i);
  EXPECT_EQ(items, (QStringList{"81", "72", "63"}));
  EXPECT_EQ(sample->currentIndex(), 0);
}

TEST_F(PageBindingsTest, SendAndAllSendFromTheRows) {
  fillTxRow(1, "100", 8, false, "0102030405060708", true);
  fillTxRow(2, "18DA10F1", 2, true, "AABB", true);
  fillTxRow(3, "12G", 1, false, "1Z", false);
  ASSERT_EQ(window->MaskEdit[1]->text(), QStringLiteral("AA BB"));

  click("BtnSend3");  // its box is not ticked: SEND sends it anyway
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  window->TimerTimer();
  click("BtnAllSend");
  EXPECT_THAT(sent(),
              ElementsAre(Bytes{0xFC, 0x10, 0x02, 0x01, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0xFF, 0, 0, 0,
                                0, 0, 0, 0},
                          Bytes{0xFC, 0x10, 0x02, 0x01, 0, 0, 0, 1, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8},
                          Bytes{0xFC, 0x10, 0x02, 0x01, 1, 0x18, 0xDA, 0x10, 0xF1, 2, 0xAA, 0xBB, 3,
                                4, 5, 6, 7, 8}));
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
}

TEST_F(PageBindingsTest, UnfilledPairsOfTheMaskedFieldAreMissingItems) {
  // DLC 3 with two pairs typed: the third is missing (index 2); nothing goes out.
  fillTxRow(4, "1", 3, false, "1122", false);
  click("BtnSend4");
  EXPECT_THAT(sent(), IsEmpty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "リストのインデックスが範囲を超えています (2)");
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Error);
  EXPECT_EQ(result(), QString());

  // A pair with one digit typed is one item of one digit, as the blank after it separates.
  window->MaskEdit[3]->setText(QStringLiteral("1 22 3"));
  ASSERT_EQ(window->MaskEdit[3]->displayText(), QStringLiteral("1_ 22 3_"));
  click("BtnSend4");
  const auto frames = sent();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Bytes(frames[0].begin() + 10, frames[0].begin() + 13), (Bytes{0x01, 0x22, 0x03}));
}

TEST_F(PageBindingsTest, DlcZeroSendsWhateverTheFieldHeld) {
  fillTxRow(5, "7ff", 8, false, "0102", false);
  window->CSpinDLC[4]->setValue(0);
  EXPECT_EQ(window->MaskEdit[4]->text(), QString());
  window->MaskEdit[4]->setText(QStringLiteral("zz"));  // free text without a mask
  click("BtnSend5");
  EXPECT_THAT(boxes.shown(), IsEmpty());
  EXPECT_THAT(sent(), ElementsAre(Bytes{0xFC, 0x10, 0x02, 0x01, 0, 0, 0, 7, 0xFF, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0}));
}

TEST_F(PageBindingsTest, LogFileOpensOnConnectWithChkLogTickedAndTakesEveryFrame) {
  window->OpenLogFileOnConnect();  // ChkLog not ticked: no file
  EXPECT_FALSE(window->dataLog().IsOpen());
  EXPECT_EQ(find<QLabel>(QStringLiteral("PnlSavefileName"))->text(), QString());

  QTest::mouseClick(find<QCheckBox>(QStringLiteral("ChkLog")), Qt::LeftButton);
  ASSERT_TRUE(find<QCheckBox>(QStringLiteral("ChkLog"))->isChecked());
  EXPECT_FALSE(window->dataLog().IsOpen()) << "ticking opens nothing";
  window->OpenLogFileOnConnect();
  EXPECT_EQ(find<QLabel>(QStringLiteral("PnlSavefileName"))->text(),
            QStringLiteral("/261207CAN001.txt"));
  EXPECT_EQ(logText("261207CAN001.txt"), kHeader);
  EXPECT_EQ(window->LogCounter(), 1);

  tick = 70000;
  feedFrame(0x7FF, 2);
  // On disk without a close: the log's writer thread writes it.
  ASSERT_TRUE(test::ProcessEventsUntil([this] { return logText("261207CAN001.txt") != kHeader; }));
  EXPECT_EQ(logText("261207CAN001.txt"),
            kHeader + " 4464\t,0\t,7ff\t,2\t,01\t, 02\t, 03\t, 04\t, 05\t, 06\t, 07\t, 08\t \n");

  QTest::mouseClick(find<QCheckBox>(QStringLiteral("ChkLog")), Qt::LeftButton);  // untick
  EXPECT_FALSE(window->dataLog().IsOpen());
  feedFrame(0x123, 1);
  EXPECT_THAT(logText("261207CAN001.txt"), ::testing::Not(HasSubstr("\t,123\t,")));
  EXPECT_EQ(find<QLabel>(QStringLiteral("PnlSavefileName"))->text(),
            QStringLiteral("/261207CAN001.txt"));
}

TEST_F(PageBindingsTest, ClosingTheWindowWritesPendingLinesAndTheNextStartCarriesOn) {
  find<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(true);
  window->OpenLogFileOnConnect();
  window->OpenLogFileOnConnect();
  feedFrame(0x55, 8);
  window.reset();  // FormDestroy
  EXPECT_THAT(logText("261207CAN002.txt"), HasSubstr("\t,55\t,8\t,"));
  EXPECT_EQ(logText("261207CAN001.txt"), kHeader);

  open();  // the same day: the count carries on
  EXPECT_EQ(window->LogCounter(), 2);
  EXPECT_FALSE(find<QCheckBox>(QStringLiteral("ChkLog"))->isChecked()) << "never saved";
  find<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(true);
  window->OpenLogFileOnConnect();
  EXPECT_EQ(logText("261207CAN003.txt"), kHeader);
}

TEST_F(PageBindingsTest, TheLogFormatBesideChkLogNamesTheNextFileAndComesBackAtTheNextStart) {
  auto* format = find<QComboBox>(QStringLiteral("CmbLogFormat"));
  EXPECT_EQ(format->currentText(), QStringLiteral("Velqor (.txt)"));
  // In free space: it covers none of the page's other controls.
  EXPECT_EQ(format->geometry(), QRect(464, 274, 123, 22));
  for (const QWidget* other :
       format->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (other == format || !other->isVisibleTo(format->parentWidget())) continue;
    EXPECT_FALSE(other->geometry().intersects(format->geometry()))
        << other->objectName().toStdString();
  }

  format->setCurrentIndex(1);
  find<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(true);
  window->OpenLogFileOnConnect();
  EXPECT_EQ(find<QLabel>(QStringLiteral("PnlSavefileName"))->text(),
            QStringLiteral("/261207CAN001.log"));
  feedFrame(0x7FF, 2);
  window.reset();  // writes the file to its end and the settings
  auto reader = OpenLogReader(folder.filePath(QStringLiteral("261207CAN001.log")).toStdString());
  CanFrame frame;
  ASSERT_TRUE(reader->Next(frame));
  EXPECT_EQ(frame.id, 0x7FFu);
  EXPECT_EQ(frame.dlc, 2);
  EXPECT_FALSE(reader->Next(frame));

  open();
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CmbLogFormat"))->currentText(),
            QStringLiteral("candump (.log)"));
  EXPECT_THAT(boxes.shown(), IsEmpty());
}

TEST_F(PageBindingsTest, ALogFileThatCannotBeCreatedLeavesTheProgramRunningWithoutLogging) {
  logSubfolder = "gone";  // the folder of the logs does not exist
  find<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(true);
  window->OpenLogFileOnConnect();
  EXPECT_FALSE(find<QCheckBox>(QStringLiteral("ChkLog"))->isChecked());
  test::ProcessEvents();  // the box shows from the event loop
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "出力ファイルを開けません");
  EXPECT_EQ(boxes.shown()[0].caption, "警告");
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Warning);
  EXPECT_FALSE(find<QCheckBox>(QStringLiteral("ChkLog"))->isChecked());
  feedFrame(0x7FF, 1);  // the window carries on: the list shows the frame
  window->receivePage()->model()->flush();
  EXPECT_EQ(window->receivePage()->model()->rowCount(), 1);
}

TEST_F(PageBindingsTest, AWriteErrorWhileFramesArriveIsShownAfterTheDrainAndEndsLogging) {
  find<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(true);
  window->OpenLogFileOnConnect();
  Bytes stream;
  const int frames = 2000;  // more than one write chunk of lines
  for (int i = 0; i < frames; ++i) {
    const Frame f =
        MakeFrame(Category::Can, Cmd::ReceivedCanFrame,
                  ReceivedCanFrame{0, 0, static_cast<std::uint32_t>(i), 8, {}}.Encode());
    stream.insert(stream.end(), f.begin(), f.end());
  }
  {
    FileSizeLimit limit(kHeader.size() + 100);
    window->Feed(stream.data(), stream.size());
    window->receivePath().drainAll();  // the handler, without the event loop
    EXPECT_THAT(boxes.shown(), IsEmpty()) << "no modal box inside the drain";
    // The writer thread meets the failure and wakes the window, which ends logging.
    ASSERT_TRUE(test::ProcessEventsUntil(
        [this] { return !find<QCheckBox>(QStringLiteral("ChkLog"))->isChecked(); }));
    EXPECT_FALSE(window->dataLog().IsOpen());
    test::ProcessEvents();
  }
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("261207CAN001.txt に書き込めません ("));
  EXPECT_EQ(boxes.shown()[0].caption, "警告");
  window->receivePage()->model()->flush();
  EXPECT_EQ(window->receivePage()->model()->rowCount(), frames) << "the list missed nothing";
  EXPECT_EQ(window->receivePath().lostCount(), 0u);
}

}  // namespace
}  // namespace velqor
