#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <span>
#include <string>

#include "app/application.h"
#include "common/ini_file.h"
#include "link/protocol.h"
#include "tests/app/frame_recorder.h"
#include "tests/app/test_doubles.h"
#include "tests/support/control_table.h"
#include "tests/support/qt_application.h"
#include "traffic/receive_page.h"
#include "traffic/wave_page.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"

VELQOR_QT_TEST_APPLICATION(velqor::VelqorApplication);

namespace velqor {
namespace {

using velqor::testing::ExpectControl;
using velqor::testing::ExpectControls;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    TFrmMain::Options options = Options();
    options.runModal = [this](QDialog& dialog) {
      dialogs.push_back(dialog.windowTitle());
      freshDialogs += dialog.property("seen").isValid() ? 0 : 1;
      dialog.setProperty("seen", true);
    };
    window = std::make_unique<TFrmMain>(boxes, options);
    window->setTerminal(&terminal, &terminalWindow);
  }

  // A settings file in a folder of its own, a fixed clock and date.
  TFrmMain::Options Options() const {
    TFrmMain::Options options;
    options.clock = [] { return QTime(14, 3, 9, 47); };
    options.settingsPath = iniPath();
    options.today = [] {
      return std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(12),
                                         std::chrono::day(9));
    };
    return options;
  }
  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }

  template <typename T>
  T* find(const QString& name) {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QString result() { return find<QLabel>(QStringLiteral("ResultPanel"))->text(); }
  ReceivedFrameModel& list() { return *window->receivePage()->model(); }

  // Feeds frames as the adapter sends them and lets the window handle them.
  void receive(std::initializer_list<Frame> frames) {
    for (const Frame& f : frames) window->Feed(f.data(), f.size());
    ASSERT_TRUE(
        test::ProcessEventsUntil([this] { return window->receivePath().queuedCount() == 0; }));
    test::ProcessEvents();
    list().flush();
  }
  static Frame Message(std::uint8_t category, std::uint8_t command,
                       std::initializer_list<std::uint8_t> payload) {
    std::vector<std::uint8_t> bytes(payload);
    return MakeFrame(category, command, bytes);
  }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  test::RecordingTerminal terminal;
  QWidget terminalWindow;
  std::vector<QString> dialogs;
  int freshDialogs = 0;
  std::unique_ptr<TFrmMain> window;
};

TEST_F(MainWindowTest, WindowHasItsFixedGeometryCaptionAndFont) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM1 -"));
  EXPECT_EQ(window->BaseTitle(), QStringLiteral("Velqor "));
  EXPECT_EQ(window->PortSuffix(), QStringLiteral("- COM1 -"));
  EXPECT_EQ(window->centralWidget()->width(), 603);
  EXPECT_EQ(window->centralWidget()->height() + window->statusBar()->height(), 500);
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(window->font().families().value(0), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(window->font().pixelSize(), 12);
}

// The layout, one row per control: name, class, place in its parent and text. The pages
// reuse names (each page has its GroupBox1 and Label2), so each page is looked at alone.
TEST_F(MainWindowTest, EveryControlHasItsClassPlaceAndText) {
  const auto page = [this](const char* name) -> const QObject& {
    const QWidget* found = window->findChild<QWidget*>(QString::fromLatin1(name));
    if (found == nullptr) ADD_FAILURE() << name << " is missing";
    return found != nullptr ? *found : *window;
  };
  ExpectControls(*window, {{"SpdSwitch", "QToolButton", {16, 4, 25, 25}},
                           {"Label1", "QLabel", {96, 8, 84, 16}, "TxErrCount"},
                           {"PanelTxErCount", "velqor::SunkenPanel", {184, 4, 73, 25}, "0"},
                           {"Label8", "QLabel", {296, 8, 84, 16}, "RxErrCount"},
                           {"PanelRxErCount", "velqor::SunkenPanel", {384, 4, 73, 25}, "0"},
                           {"BtnTest2", "QPushButton", {472, 4, 57, 25}, "Test Cmd2"},
                           {"BtnDebug", "QPushButton", {536, 4, 57, 25}, "Debug"},
                           {"PageControl1", "QTabWidget", {0, 32, 603, 449}},
                           {"StatusBar", "QStatusBar"},
                           {"VersionPanel", "QLabel", {}, "Ver　3.1.0"},
                           {"ConnectionPanel", "QLabel", {}, ""},
                           {"ResultPanel", "QLabel"},
                           {"MainMenu1", "QMenuBar"},
                           {"Timer", "QTimer"}});
  ExpectControls(page("TabSheet2"),
                 {{"Chart1", "QChartView", {0, 0, 441, 421}},
                  {"BtnSingle", "QPushButton", {458, 12, 121, 25}, "Single"},
                  {"BtnContinue", "QPushButton", {458, 44, 121, 25}, "Continue"},
                  {"BtnStop", "QPushButton", {458, 76, 121, 25}, "Stop"},
                  {"GroupBox2", "QGroupBox", {450, 112, 137, 85}, "Trigger Level"},
                  {"EditTriggerlv", "QLineEdit", {10, 22, 65, 21}, "2.5"},
                  {"Label4", "QLabel", {82, 25, 30, 15}, "(V)"},
                  {"TracTrigger", "QSlider", {6, 50, 125, 28}},
                  {"RadioCapPort", "velqor::RadioGroup", {450, 206, 137, 89}, "Capture Port"},
                  {"PanelWaveStat", "velqor::SunkenPanel", {450, 306, 137, 49}, "STOP"}});
  ExpectControls(
      page("TabSheet3"),
      {{"ListView", "QTableView", {4, 4, 587, 352}},
       {"RxDispFormat", "velqor::RadioGroup", {8, 362, 201, 49}, "Receive Data View Format"},
       {"BtnClear", "QPushButton", {496, 376, 89, 25}, "Clear"}});
  ExpectControls(page("TabSheet4"),
                 {{"GroupBox1", "QGroupBox", {8, 6, 497, 250}, "Transmit Mail Box"},
                  {"Label2",
                   "QLabel",
                   {12, 18, 416, 16},
                   "CH           ID(hex)    DLC        ide              DATA (hex)"},
                  {"BtnAllSend", "QPushButton", {392, 215, 93, 25}, "ALL SEND"},
                  {"Memo1", "QPlainTextEdit", {512, 8, 77, 89}}});
  ExpectControls(
      page("TabSheet5"),
      {{"GroupBox1", "QGroupBox", {8, 4, 236, 382}, "Receive Mail Box"},
       {"Label2", "QLabel", {10, 18, 220, 16}, "CH       ID(h)     MASK(h)    ide"},
       {"GroupBox3", "QGroupBox", {252, 4, 201, 84}, "Bit Rate / Sample Timing"},
       {"Label3", "QLabel", {10, 26, 100, 16}, "BitRate"},
       {"CmbBitRate", "QComboBox", {116, 22, 77, 22}, "500kbps"},
       {"Label6", "QLabel", {10, 56, 104, 16}, "Sample Timing(%)"},
       {"CombSmpleTime", "QComboBox", {116, 52, 77, 22}, "72"},
       {"RadioTerminalForm", "velqor::RadioGroup", {252, 94, 201, 66}, "Console Out Format"},
       {"ChkTerm", "QCheckBox", {260, 168, 120, 17}, "Terminator"},
       {"BtnReadParam", "QPushButton", {464, 12, 123, 27}, "&Read Parameter"},
       {"BtnConfigSet", "QPushButton", {464, 48, 123, 27}, "&Write Parameter"},
       {"BtnStiore", "QPushButton", {464, 84, 123, 27}, "&Store"},
       {"GroupBox4", "QGroupBox", {252, 196, 335, 66}, "Device Infomation"},
       {"LabVersion", "QLabel", {12, 22, 311, 16}, ""},
       {"LabDevice", "QLabel", {12, 42, 311, 16}, ""},
       {"ChkLog", "QCheckBox", {260, 276, 200, 19}, "データログを保存する"},
       {"Label5", "QLabel", {260, 304, 150, 16}, "保存ファイル名"},
       {"PnlSavefileName", "velqor::SunkenPanel", {260, 322, 325, 25}, ""}});
  // The mailbox rows: row n sits 21 pixels below row n - 1 in its group box. A null text is
  // the row number.
  struct Column {
    const char* stem;
    const char* className;
    QRect first;
    const char* text;
  };
  const Column tx[] = {{"MBox", "QCheckBox", {12, 41, 34, 17}, nullptr},
                       {"EditIdTx", "QLineEdit", {58, 37, 62, 21}, "0"},
                       {"CSpinDLC", "QSpinBox", {122, 37, 44, 21}, "0"},
                       {"ChkTxIde", "QCheckBox", {177, 41, 17, 17}, ""},
                       {"MaskEdit", "velqor::MaskedEdit", {238, 37, 184, 21}, ""},
                       {"BtnSend", "QPushButton", {428, 37, 57, 21}, "SEND"}};
  const Column rx[] = {{"Chrx", "QCheckBox", {10, 40, 40, 17}, nullptr},
                       {"EditIdRx", "QLineEdit", {56, 37, 61, 21}, "0"},
                       {"EditRxMask", "QLineEdit", {120, 37, 62, 21}, "0"},
                       {"ChkRxIde", "QCheckBox", {192, 40, 17, 17}, ""},
                       {"SpinRxDlc", "QSpinBox", {230, 37, 41, 21}, "0"},
                       {"MaskEditRx", "velqor::MaskedEdit", {276, 37, 140, 21}, ""}};
  const auto rows = [](const QObject& parent, std::span<const Column> columns, int count) {
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(i + 1);
      for (const Column& c : columns) {
        ExpectControl(parent, {(c.stem + n).c_str(), c.className, c.first.translated(0, 21 * i),
                               c.text != nullptr ? c.text : n.c_str()});
      }
    }
  };
  rows(page("TabSheet4"), tx, 8);
  rows(page("TabSheet5"), rx, 16);
}

TEST_F(MainWindowTest, SwitchHintsHiddenControlsStatusPanelsMenuAndTimer) {
  auto* sw = find<QToolButton>(QStringLiteral("SpdSwitch"));
  EXPECT_TRUE(sw->isCheckable());
  EXPECT_FALSE(sw->isChecked());
  EXPECT_EQ(sw->toolTip(), QStringLiteral("通信ポート接続/切断"));
  EXPECT_TRUE(find<QLabel>(QStringLiteral("Label1"))->font().bold());
  for (const char* hidden : {"BtnTest2", "BtnDebug", "Memo1", "LostPanel"}) {
    EXPECT_TRUE(find<QWidget>(QString::fromLatin1(hidden))->isHidden()) << hidden;
  }
  const struct {
    const char* name;
    const char* hint;
  } hints[] = {{"BtnReadParam", "デバイス内部の設定値を読みだします"},
               {"BtnConfigSet", "デバイスに値を設定する"},
               {"BtnStiore", "デバイス内部に保存します。"}};
  for (const auto& h : hints) {
    EXPECT_EQ(find<QWidget>(QString::fromLatin1(h.name))->toolTip(), QString::fromUtf8(h.hint));
  }
  const std::pair<const char*, int> panels[] = {
      {"VersionPanel", 100}, {"ConnectionPanel", 150}, {"ResultPanel", 200}};
  for (const auto& [name, width] : panels) {
    EXPECT_EQ(find<QLabel>(QString::fromLatin1(name))->width(), width) << name;
  }
  // The four items first; the entries added since follow them ("&Signals" after "&Trace" when
  // there is one).
  QStringList menu;
  for (const QAction* item : window->menuBar()->actions())
    menu << item->objectName() + " " + item->text();
  // The four specified entries first; the newer parts' menus follow them.
  EXPECT_EQ(menu.mid(0, 4),
            (QStringList{"Quit1 &Quit", "Veiw1 &TTY", "Option1 &Port", "About1 &About"}));
  const qsizetype signalsAt = menu.indexOf(QStringLiteral("Signals1 &Signals"));
  EXPECT_GE(signalsAt, 4);
  EXPECT_LT(menu.indexOf(QStringLiteral("Trace1 &Trace")), signalsAt);
  EXPECT_EQ(menu.back(), QStringLiteral("Tools1 &Tools")) << "the tools' menu comes last";
  EXPECT_EQ(menu.value(4), QStringLiteral("Trace1 &Trace"));
  auto* timer = find<QTimer>(QStringLiteral("Timer"));
  EXPECT_EQ(timer->interval(), 3000);
  EXPECT_TRUE(timer->isActive());
}

TEST_F(MainWindowTest, PagesStartOnConfigAboveTheStatusBar) {
  auto* pages = find<QTabWidget>(QStringLiteral("PageControl1"));
  EXPECT_EQ(pages->geometry().bottom() + 1, window->centralWidget()->height());
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i)
    tabs << pages->widget(i)->objectName() + " " + pages->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"TabSheet2 Wave", "TabSheet3 Receive", "TabSheet4 TxSet",
                               "TabSheet5 Config"}));
  EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheet5"));
}

// Each row's controls are the ones its arrays hold, carry the row number as their Tag, and
// the receive rows follow one another in the focus chain.
TEST_F(MainWindowTest, RowsHaveTagsMaximaTabOrderAndHiddenDataFields) {
  for (int i = 0; i < 8; ++i) {
    const int n = i + 1;
    EXPECT_EQ(window->MBox[i], find<QCheckBox>(QStringLiteral("MBox%1").arg(n)));
    EXPECT_EQ(window->EditIdTx[i], find<QLineEdit>(QStringLiteral("EditIdTx%1").arg(n)));
    EXPECT_EQ(window->ChkTxIde[i], find<QCheckBox>(QStringLiteral("ChkTxIde%1").arg(n)));
    for (QWidget* w :
         {static_cast<QWidget*>(window->CSpinDLC[i]), static_cast<QWidget*>(window->MaskEdit[i]),
          static_cast<QWidget*>(window->BtnSend[i])}) {
      EXPECT_EQ(w->property("Tag").toInt(), n) << w->objectName().toStdString();
    }
    EXPECT_EQ(window->CSpinDLC[i]->maximum(), 8);
    EXPECT_EQ(window->MaskEdit[i]->editMask(), QString());
  }
  std::vector<QWidget*> chain;
  for (int i = 0; i < 16; ++i) {
    const int n = i + 1;
    QWidget* row[6] = {window->Chrx[i],     window->EditIdRx[i],  window->EditRxMask[i],
                       window->ChkRxIde[i], window->SpinRxDlc[i], window->MaskEditRx[i]};
    for (int k = 0; k < 6; ++k) {
      ASSERT_NE(row[k], nullptr);
      EXPECT_EQ(row[k]->property("Tag").toInt(), n) << row[k]->objectName().toStdString();
      EXPECT_EQ(row[k]->property("TabOrder").toInt(), 6 * i + 5 + k);
      EXPECT_EQ(row[k]->isHidden(), k >= 4) << row[k]->objectName().toStdString();
      chain.push_back(row[k]);
    }
    EXPECT_EQ(window->SpinRxDlc[i]->maximum(), 8);
    const bool hint = i == 0 || i == 8;
    EXPECT_EQ(window->ChkRxIde[i]->toolTip(), hint ? QStringLiteral("標準/拡張指定") : QString());
  }
  // The focus chain runs along each row and on to the next row.
  // (A spin box's own edit, its child, follows it in the chain.)
  for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
    QWidget* next = chain[k]->nextInFocusChain();
    while (next != nullptr && chain[k]->isAncestorOf(next)) next = next->nextInFocusChain();
    EXPECT_EQ(next, chain[k + 1]) << k;
  }
}

TEST_F(MainWindowTest, PagesStartWithTheDefaults) {
  auto* bitRate = find<QComboBox>(QStringLiteral("CmbBitRate"));
  EXPECT_EQ(bitRate->count(), 3);
  auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
  QStringList items;
  for (int i = 0; i < sample->count(); ++i) items << sample->itemText(i);
  EXPECT_EQ(items, (QStringList{"81", "77", "72", "72", "68", "63", "63"}));
  EXPECT_EQ(sample->currentIndex(), 2);
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RadioCapPort"))->itemIndex(), 2);
  auto* track = find<QSlider>(QStringLiteral("TracTrigger"));
  EXPECT_EQ(track->value(), 25);
  EXPECT_EQ(track->minimum(), 0);
  EXPECT_EQ(track->maximum(), 50);
  EXPECT_EQ(track->tickInterval(), 5);
  EXPECT_TRUE(find<QCheckBox>(QStringLiteral("ChkTerm"))->isChecked());
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RxDispFormat"))->itemIndex(), 0);
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RadioTerminalForm"))->itemIndex(), 0);
  auto* state = find<QLabel>(QStringLiteral("PanelWaveStat"));
  EXPECT_EQ(state->font().families().value(0), QStringLiteral("Meiryo UI"));
  EXPECT_EQ(state->font().pixelSize(), 27);
  EXPECT_EQ(window->fields().TriggerLevel, 2.5f);
}

TEST_F(MainWindowTest, ReceiveListHasItsColumnsAndFont) {
  auto* view = find<QTableView>(QStringLiteral("ListView"));
  EXPECT_TRUE(view->showGrid());
  EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(view->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
  EXPECT_EQ(view->font().pixelSize(), 13);
  // The widths are the model's (tested there); the view takes them.
  for (int c = 0; c < 5; ++c) EXPECT_EQ(view->columnWidth(c), ReceivedFrameModel::columnWidth(c));
}

TEST_F(MainWindowTest, ChangingADlcClearsTheDataAndSetsItsMask) {
  window->MaskEdit[2]->setText(QStringLiteral("zz"));
  window->CSpinDLC[2]->setValue(5);
  EXPECT_EQ(window->MaskEdit[2]->editMask(), QStringLiteral("AA AA AA AA AA;1;"));
  window->MaskEdit[2]->setText(QStringLiteral("01 02 03 04 05"));
  EXPECT_EQ(window->MaskEdit[2]->text(), QStringLiteral("01 02 03 04 05"));
  window->CSpinDLC[2]->setValue(8);
  window->MaskEdit[2]->setText(QStringLiteral("0102030405060708"));
  window->CSpinDLC[2]->setValue(3);  // 8 -> 3 empties the field and takes three pairs
  EXPECT_EQ(window->MaskEdit[2]->editMask(), QStringLiteral("AA AA AA;1;"));
  EXPECT_EQ(window->MaskEdit[2]->text().trimmed(), QString());
  window->MaskEdit[2]->setText(QStringLiteral("AABBCCDD"));
  EXPECT_EQ(window->MaskEdit[2]->text(), QStringLiteral("AA BB CC"));
  window->CSpinDLC[2]->setValue(0);
  EXPECT_EQ(window->MaskEdit[2]->editMask(), QString());
  // The hidden receive data fields follow their DLC the same way.
  window->SpinRxDlc[9]->setValue(2);
  EXPECT_EQ(window->MaskEditRx[9]->editMask(), QStringLiteral("AA AA;1;"));
  EXPECT_EQ(window->MaskEdit[9 % 8]->editMask(), QString());  // other rows untouched
}

TEST_F(MainWindowTest, IdentifierAndMaskFieldsTakeHexDigitsOnly) {
  window->EditIdRx[0]->clear();
  QTest::keyClicks(window->EditIdRx[0], QStringLiteral("1g-Fz2"));
  EXPECT_EQ(window->EditIdRx[0]->text(), QStringLiteral("1F2"));
  window->EditRxMask[15]->clear();
  QTest::keyClicks(window->EditRxMask[15], QStringLiteral("7 f!f"));
  EXPECT_EQ(window->EditRxMask[15]->text(), QStringLiteral("7ff"));
  // The transmit identifier has no key filter.
  window->EditIdTx[0]->clear();
  QTest::keyClicks(window->EditIdTx[0], QStringLiteral("12G"));
  EXPECT_EQ(window->EditIdTx[0]->text(), QStringLiteral("12G"));
}

TEST_F(MainWindowTest, DebugButtonFeedsItsThreeFramesToTheListAndTheTerminal) {
  find<QPushButton>(QStringLiteral("BtnDebug"))->click();
  receive({});
  ASSERT_EQ(list().rowCount(), 3);
  const char* ids[] = {"4081122", "6041122", "6061102"};
  const char* ides[] = {"0", "0", "1"};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list().text(r, ReceivedFrameModel::kTime), QStringLiteral("14:03:09.04"));
    EXPECT_EQ(list().text(r, ReceivedFrameModel::kIde), QString::fromLatin1(ides[r]));
    EXPECT_EQ(list().text(r, ReceivedFrameModel::kId), QString::fromLatin1(ids[r]));
    // Each frame claims DLC 0x33: shown as DLC 0 with no data.
    EXPECT_EQ(list().text(r, ReceivedFrameModel::kDlc), QStringLiteral("0"));
    EXPECT_EQ(list().text(r, ReceivedFrameModel::kData), QString());
  }
  const auto blocks = terminal.received();
  ASSERT_EQ(blocks.size(), 3u);
  for (const auto& b : blocks) {
    ASSERT_EQ(b.size(), 16u);
    EXPECT_EQ(b[0], 0xFC);
    EXPECT_EQ(b[1], 0x0E);
  }
  EXPECT_EQ(blocks[2][5], 0x01);  // the third frame's ide
  EXPECT_EQ(window->fields().LastRxFrame.id, 0x06061102u);
  EXPECT_EQ(window->fields().LastRxFrame.dlc, 0x33);
}

TEST_F(MainWindowTest, ReceivedFramesFillTheListAndTheLogHook) {
  test::FrameRecorder logged;  // after the list and the log
  window->receivePath().addFrameConsumer(logged);
  auto frame = [](std::uint32_t id, std::uint8_t ide, std::uint8_t dlc) {
    return Message(Category::Can, Cmd::ReceivedCanFrame,
                   {0, ide, static_cast<std::uint8_t>(id >> 24),
                    static_cast<std::uint8_t>(id >> 16), static_cast<std::uint8_t>(id >> 8),
                    static_cast<std::uint8_t>(id), dlc, 10, 255, 1, 0, 0, 0, 0, 0});
  };
  receive({frame(0x7FF, 0, 3), frame(0x18DA10F1, 1, 8), frame(0, 0, 0)});
  find<RadioGroup>(QStringLiteral("RxDispFormat"))->setItemIndex(1);
  receive({frame(0x7FF, 1, 3)});
  ASSERT_EQ(list().rowCount(), 3);
  EXPECT_EQ(list().text(0, ReceivedFrameModel::kId), QStringLiteral("7ff"));
  EXPECT_EQ(list().text(0, ReceivedFrameModel::kIde), QStringLiteral("1"));
  EXPECT_EQ(list().text(0, ReceivedFrameModel::kData), QStringLiteral(" 10  255    1"));
  EXPECT_EQ(list().text(1, ReceivedFrameModel::kId), QStringLiteral("18da10f1"));
  EXPECT_EQ(list().text(1, ReceivedFrameModel::kData),
            QStringLiteral("0A  FF  01  00  00  00  00  00"));
  EXPECT_EQ(list().text(2, ReceivedFrameModel::kId), QStringLiteral("0"));
  EXPECT_EQ(logged.ids(), (std::vector<std::uint32_t>{0x7FF, 0x18DA10F1, 0, 0x7FF}));
  // LastRxFrame: the last frame received, all its values as received.
  receive({frame(0x1FFFFFFF, 1, 12)});
  const CanFrame& last = window->fields().LastRxFrame;
  EXPECT_EQ(last.id, 0x1FFFFFFFu);
  EXPECT_EQ(last.ide, 1);
  EXPECT_EQ(last.dlc, 12);
  EXPECT_EQ(last.data, (std::array<std::uint8_t, 8>{10, 255, 1, 0, 0, 0, 0, 0}));
}

TEST_F(MainWindowTest, BusErrorsAndResultsReachTheStatusBarAndCounters) {
  receive({Message(Category::Config, Cmd::BusErrorStatus, {1, 5, 7})});
  EXPECT_EQ(find<QLabel>(QStringLiteral("PanelTxErCount"))->text(), QStringLiteral("5"));
  EXPECT_EQ(find<QLabel>(QStringLiteral("PanelRxErCount"))->text(), QStringLiteral("7"));
  EXPECT_EQ(result(), QStringLiteral("ERROR!: CRC_ERROR"));
  find<QLabel>(QStringLiteral("ResultPanel"))->setText(QStringLiteral("Cmd Request!"));
  receive({Message(Category::Config, Cmd::StoreParams, {3}),
           Message(Category::Can, Cmd::SendCanFrame, {9}),
           Message(Category::Wave, Cmd::SetCaptureMode, {7})});
  EXPECT_EQ(result(), QStringLiteral("Cmd Request!"));
  EXPECT_EQ(find<QLabel>(QStringLiteral("PanelWaveStat"))->text(), QStringLiteral("STOP"));
  receive({Message(Category::Wave, Cmd::SetCaptureMode, {1})});
  EXPECT_EQ(find<QLabel>(QStringLiteral("PanelWaveStat"))->text(), QStringLiteral("READY"));
  receive({Message(Category::Can, Cmd::SendCanFrame, {1})});
  EXPECT_EQ(result(), QStringLiteral("CAN fail!"));
  receive({Message(Category::Config, Cmd::StoreParams, {0})});
  EXPECT_EQ(result(), QStringLiteral("success!"));
  receive({Message(Category::Config, Cmd::GetFirmwareVersion, {'1', '.', '0', '7', 0}),
           Message(Category::Config, Cmd::GetDeviceName, {'L', 'P', 'C', '1', '7', '6', '8', 0})});
  EXPECT_EQ(find<QLabel>(QStringLiteral("LabVersion"))->text(), QStringLiteral("F/W: 1.07"));
  EXPECT_EQ(find<QLabel>(QStringLiteral("LabDevice"))->text(), QStringLiteral("MCU: LPC1768"));
  window->TimerTimer();
  EXPECT_EQ(result(), QString());
  receive({Message(Category::Config, Cmd::Answer02, {})});
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  QTest::mouseDClick(find<QLabel>(QStringLiteral("ResultPanel")), Qt::LeftButton);
  EXPECT_EQ(result(), QString());
}

TEST_F(MainWindowTest, ConfigAnswersFillThePage) {
  receive({Message(Category::Config, Cmd::RxMailboxContents,
                   {3, 1, 1, 0x00, 0x00, 0x01, 0x23, 0x1F, 0xFF, 0xFF, 0xFF, 0})});
  EXPECT_TRUE(window->Chrx[3]->isChecked());
  EXPECT_TRUE(window->ChkRxIde[3]->isChecked());
  EXPECT_EQ(window->EditIdRx[3]->text(), QStringLiteral("123"));
  EXPECT_EQ(window->EditRxMask[3]->text(), QStringLiteral("1fffffff"));
  EXPECT_EQ(result(), QStringLiteral("Complete!"));
  window->TimerTimer();
  receive({Message(Category::Config, Cmd::GetTerminator, {1})});
  EXPECT_FALSE(find<QCheckBox>(QStringLiteral("ChkTerm"))->isChecked());
  EXPECT_EQ(result(), QString());  // 109 leaves the result alone
  receive({Message(Category::Config, Cmd::GetConsoleFormat, {1})});
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RadioTerminalForm"))->itemIndex(), 1);

  auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
  receive({Message(Category::Config, Cmd::GetTimingTable, {0, 3, 87, 75, 62})});
  EXPECT_EQ(sample->count(), 7);  // the visible list is not refilled
  receive({Message(Category::Config, Cmd::GetBitTiming, {0, 2})});
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CmbBitRate"))->currentIndex(), 0);
  QStringList items;
  for (int i = 0; i < sample->count(); ++i) items << sample->itemText(i);
  EXPECT_EQ(items, (QStringList{"87", "75", "62"}));
  EXPECT_EQ(sample->currentText(), QStringLiteral("62"));
  receive({Message(Category::Config, Cmd::GetBitTiming, {0, 3})});
  EXPECT_EQ(sample->currentIndex(), -1);  // no such sample timing: nothing selected
}

TEST_F(MainWindowTest, AnswersBeyondTheTablesChangeNothing) {
  auto snapshot = [this] {
    QStringList s;
    for (int i = 0; i < 16; ++i)
      s << window->EditIdRx[i]->text() << window->EditRxMask[i]->text()
        << QString::number(window->Chrx[i]->isChecked())
        << QString::number(window->ChkRxIde[i]->isChecked());
    auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
    for (int i = 0; i < sample->count(); ++i) s << sample->itemText(i);
    s << QString::number(sample->currentIndex())
      << QString::number(find<QComboBox>(QStringLiteral("CmbBitRate"))->currentIndex()) << result();
    return s;
  };
  find<QLabel>(QStringLiteral("ResultPanel"))->setText(QStringLiteral("Cmd Request!"));
  const QStringList before = snapshot();
  const auto table = window->fields().SampleTimingTable;
  receive(
      {Message(Category::Config, Cmd::RxMailboxContents, {16, 1, 1, 0, 0, 1, 0x23, 0, 0, 0, 0, 0}),
       Message(Category::Config, Cmd::RxMailboxContents, {200, 1, 1, 0, 0, 1, 0x23, 0, 0, 0, 0, 0}),
       Message(Category::Config, Cmd::GetBitTiming, {3, 0}),
       Message(Category::Config, Cmd::GetTimingTable, {3, 2, 1, 2}),
       Message(Category::Config, Cmd::GetTimingTable, {1, 31})});
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(window->fields().SampleTimingTable, table);
  EXPECT_EQ(window->dispatch().rejectedCount(), 5u);
}

TEST_F(MainWindowTest, WaveformIsStoredAndPlotted) {
  std::vector<std::uint8_t> block(WaveformBlock::kSize, 128);
  block[2] = 0x01;
  block[3] = 0xF4;  // 500 ns
  receive({MakeFrame(Category::Wave, Cmd::WaveformBlock, block)});
  EXPECT_EQ(window->fields().WaveInterval, 500);
  // The series lives in the chart's scene, not among the window's children.
  QLineSeries* series = window->wavePage()->canphy();
  EXPECT_EQ(series->objectName(), QStringLiteral("canphy"));
  ASSERT_EQ(series->count(), 200);
  EXPECT_EQ(series->at(199), QPointF(99.5, 2.5));
}

TEST_F(MainWindowTest, AFullReceiveQueueShowsTheLostCount) {
  TFrmMain::Options options = Options();
  options.receiveQueueCapacity = 4;
  TFrmMain small(boxes, options);
  small.BtnDebugClick();
  small.BtnDebugClick();  // 6 messages into a queue of 4, nothing handled in between
  auto* lost = small.findChild<QLabel*>(QStringLiteral("LostPanel"));
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !lost->isHidden(); }));
  EXPECT_EQ(lost->text(), QStringLiteral("Lost: 2"));
  EXPECT_EQ(small.receivePath().lostCount(), 2u);
  small.receivePage()->model()->flush();
  EXPECT_EQ(small.receivePage()->model()->rowCount(), 3);
}

TEST_F(MainWindowTest, MenuShowsAndHidesTheTerminalAndOpensFreshDialogs) {
  EXPECT_FALSE(terminalWindow.isVisible());
  window->Veiw1Click();
  EXPECT_TRUE(terminalWindow.isVisible());
  window->findChild<QAction*>(QStringLiteral("Veiw1"))->trigger();
  EXPECT_FALSE(terminalWindow.isVisible());
  window->findChild<QAction*>(QStringLiteral("Option1"))->trigger();
  window->Option1Click();
  window->findChild<QAction*>(QStringLiteral("About1"))->trigger();
  window->About1Click();
  EXPECT_EQ(dialogs, (std::vector<QString>{"serialport set", "serialport set", "About Velqor",
                                           "About Velqor"}));
  EXPECT_EQ(freshDialogs, 4);
}

// Reads back a key of the settings file.
std::string Key(const std::string& path, const char* section, const char* key) {
  return IniFile(path).readString(section, key, "<missing>");
}

void WriteFile(const std::string& path, const char* text) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
}

TEST_F(MainWindowTest, WithoutASettingsFileExitWritesTheDefaultsInTheirOrder) {
  window.reset();
  QFile file(QString::fromStdString(iniPath()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QStringList sections;
  for (const QByteArray& line : file.readAll().split('\n'))
    if (line.startsWith('[')) sections << QString::fromLatin1(line.trimmed());
  EXPECT_EQ(sections, (QStringList{"[UART]", "[USB]", "[TXCONF]", "[RXCONF]", "[OPTION]", "[BITIM]",
                                   "[AD]"}));
  EXPECT_EQ(Key(iniPath(), "UART", "COMM"), "1");
  EXPECT_EQ(Key(iniPath(), "BITIM", "BITRATE"), "1");
  EXPECT_EQ(Key(iniPath(), "BITIM", "TIMING"), "2");
  EXPECT_EQ(Key(iniPath(), "BITIM", "BT500"), "81,77,72,72,68,63,63,");
  EXPECT_EQ(Key(iniPath(), "AD", "TRGLV"), "2.5");
  EXPECT_EQ(Key(iniPath(), "AD", "PORT"), "2");
  EXPECT_EQ(Key(iniPath(), "OPTION", "TERM"), "1");
  EXPECT_EQ(Key(iniPath(), "TXCONF", "TXID8"), "0");
  EXPECT_EQ(Key(iniPath(), "RXCONF", "RXMASK16"), "0");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowTest, ASettingsFilesValuesAppearInTheControlsAndAreWrittenBack) {
  window.reset();
  WriteFile(iniPath(),
            "[TXCONF]\r\nTXBOXCHK3=1\r\nTXID3=18DA10F1\r\nTXDLC3=5\r\nTXRTR3=1\r\n"
            "TXDATA3=01 02 03 04 05\r\nTXDLC4=12\r\n"
            "[RXCONF]\r\nRXBOXCHK16=1\r\nRXID16=7ff\r\nRXMASK16=1fffffff\r\nRXRTR16=1\r\n"
            "RXDLC16=2\r\nRXDATA16=AA BB\r\n"
            "[OPTION]\r\nRXDATAFORMAT=1\r\nTERM=0\r\nCOSOLEMODE=1\r\n"
            "[UART]\r\nCOMM=3\r\nRATE=9600\r\nPARITY=0\r\n"
            "[USB]\r\nProductID=0x1234\r\nVenderID=4660\r\n"
            "[FILE]\r\nDATE=2026/12/09\r\nSAVEFILENUM=7\r\n"
            "[AD]\r\nTRGLV=2.2\r\nPORT=1\r\n"
            "[BITIM]\r\nBT250=83,81,78,\r\nBITRATE=0\r\nTIMING=1\r\n");
  window = std::make_unique<TFrmMain>(boxes, Options());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM3 -"));
  EXPECT_TRUE(window->MBox[2]->isChecked());
  EXPECT_EQ(window->EditIdTx[2]->text(), QStringLiteral("18DA10F1"));
  EXPECT_EQ(window->CSpinDLC[2]->value(), 5);
  EXPECT_TRUE(window->ChkTxIde[2]->isChecked());
  EXPECT_EQ(window->MaskEdit[2]->editMask(), QStringLiteral("AA AA AA AA AA;1;"));
  EXPECT_EQ(window->MaskEdit[2]->text(), QStringLiteral("01 02 03 04 05"));
  EXPECT_EQ(window->CSpinDLC[3]->value(), 8);  // clamped by the spin edit
  EXPECT_TRUE(window->Chrx[15]->isChecked());
  EXPECT_EQ(window->EditIdRx[15]->text(), QStringLiteral("7ff"));
  EXPECT_EQ(window->EditRxMask[15]->text(), QStringLiteral("1fffffff"));
  EXPECT_TRUE(window->ChkRxIde[15]->isChecked());
  EXPECT_EQ(window->MaskEditRx[15]->text(), QStringLiteral("AA BB"));
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RxDispFormat"))->itemIndex(), 1);
  EXPECT_FALSE(find<QCheckBox>(QStringLiteral("ChkTerm"))->isChecked());
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RadioTerminalForm"))->itemIndex(), 1);
  EXPECT_EQ(window->uartSettings().rate, 9600);
  EXPECT_EQ(window->usbSettings().productId, 0x1234);
  EXPECT_EQ(window->LogCounter(), 7);
  EXPECT_EQ(find<QLineEdit>(QStringLiteral("EditTriggerlv"))->text(),
            QStringLiteral("2.20000004768372"));
  EXPECT_EQ(find<QSlider>(QStringLiteral("TracTrigger"))->value(), 22);
  EXPECT_EQ(find<RadioGroup>(QStringLiteral("RadioCapPort"))->itemIndex(), 1);
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CmbBitRate"))->currentText(),
            QStringLiteral("250kbps"));
  auto* sample = find<QComboBox>(QStringLiteral("CombSmpleTime"));
  EXPECT_EQ(sample->count(), 3);
  EXPECT_EQ(sample->currentText(), QStringLiteral("81"));

  window.reset();
  const std::string p = iniPath();
  EXPECT_EQ(Key(p, "TXCONF", "TXBOXCHK3"), "1");
  EXPECT_EQ(Key(p, "TXCONF", "TXID3"), "18DA10F1");
  EXPECT_EQ(Key(p, "TXCONF", "TXDLC3"), "5");
  EXPECT_EQ(Key(p, "TXCONF", "TXRTR3"), "1");
  EXPECT_EQ(Key(p, "TXCONF", "TXDATA3"), "01 02 03 04 05");
  EXPECT_EQ(Key(p, "RXCONF", "RXID16"), "7ff");
  EXPECT_EQ(Key(p, "RXCONF", "RXMASK16"), "1fffffff");
  EXPECT_EQ(Key(p, "RXCONF", "RXDLC16"), "2");
  EXPECT_EQ(Key(p, "RXCONF", "RXDATA16"), "AA BB");
  EXPECT_EQ(Key(p, "OPTION", "RXDATAFORMAT"), "1");
  EXPECT_EQ(Key(p, "OPTION", "TERM"), "0");
  EXPECT_EQ(Key(p, "OPTION", "COSOLEMODE"), "1");
  EXPECT_EQ(Key(p, "UART", "COMM"), "3");
  EXPECT_EQ(Key(p, "UART", "RATE"), "9600");
  EXPECT_EQ(Key(p, "UART", "PARITY"), "0");
  EXPECT_EQ(Key(p, "USB", "ProductID"), "4660");
  EXPECT_EQ(Key(p, "FILE", "SAVEFILENUM"), "7");  // written only when a log opens
  EXPECT_EQ(Key(p, "AD", "TRGLV"), "2.20000004768372");
  EXPECT_EQ(Key(p, "AD", "PORT"), "1");
  EXPECT_EQ(Key(p, "BITIM", "BT250"), "83,81,78,");
  EXPECT_EQ(Key(p, "BITIM", "BITRATE"), "0");
  EXPECT_EQ(Key(p, "BITIM", "TIMING"), "1");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(MainWindowTest, ATimingBeyondTheListSelectsNothingAndSavesMinusOne) {
  window.reset();
  WriteFile(iniPath(), "[BITIM]\nBITRATE=2\nTIMING=3\n[FILE]\nDATE=2026/12/08\nSAVEFILENUM=9\n");
  window = std::make_unique<TFrmMain>(boxes, Options());
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CombSmpleTime"))->count(), 3);
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CombSmpleTime"))->currentIndex(), -1);
  EXPECT_EQ(window->LogCounter(), 0);  // a log date of yesterday starts the count again
  window.reset();
  EXPECT_EQ(Key(iniPath(), "BITIM", "TIMING"), "-1");
}

TEST_F(MainWindowTest, LoadWarningsAreShownOnceAndAWriteErrorAtExitOnce) {
  window.reset();
  WriteFile(iniPath(), "[BITIM]\nBT250=83,x1,5,\nBT500=1,2,\n");
  window = std::make_unique<TFrmMain>(boxes, Options());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Warning);
  EXPECT_NE(boxes.shown()[0].text.find("BT250"), std::string::npos);
  EXPECT_EQ(find<QComboBox>(QStringLiteral("CombSmpleTime"))->count(), 2);  // BT500 as read
  boxes.clear();

  // The settings folder disappears: the save fails on its first key, once, and the
  // window still goes down in order.
  ASSERT_TRUE(folder.remove());
  window.reset();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find("に書き込めません"), std::string::npos);
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Error);
}

TEST_F(MainWindowTest, QuitClosesTheWindow) {
  window->show();
  ASSERT_TRUE(window->isVisible());
  window->findChild<QAction*>(QStringLiteral("Quit1"))->trigger();
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace velqor
