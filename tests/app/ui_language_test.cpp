// The language the windows speak: which one the setting, --lang and the desktop choose, and
// the windows built in each (a few controls, the menu, a message box).
#include "app/ui_language.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/main_window.h"
#include "common/ini_file.h"
#include "common/ui_text.h"
#include "terminal/terminal_window.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"

namespace velqor {
namespace {

using L = UiLanguage;

TEST(UiLanguage, CommandLineThenSettingThenTheDesktopsFirstLanguage) {
  struct Case {
    std::optional<L> commandLine;
    L setting;
    QStringList desktop;
    L shown;
  };
  const Case cases[] = {
      {std::nullopt, L::Auto, {"en-US", "en-Latn-US", "en"}, L::English},
      {std::nullopt, L::Auto, {"en_GB"}, L::English},
      {std::nullopt, L::Auto, {"ja-JP", "en-US"}, L::Own},
      {std::nullopt, L::Auto, {"de-DE", "en"}, L::Own},
      {std::nullopt, L::Auto, {"C"}, L::Own},
      {std::nullopt, L::Auto, {"eo"}, L::Own},
      {std::nullopt, L::Auto, {}, L::Own},
      {std::nullopt, L::English, {"ja-JP"}, L::English},
      {std::nullopt, L::Own, {"en-US"}, L::Own},
      {L::Own, L::English, {"en-US"}, L::Own},
      {L::English, L::Own, {"C"}, L::English},
      {L::Auto, L::Own, {"en-US"}, L::English},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveUiLanguage(c.commandLine, c.setting, c.desktop), c.shown)
        << c.desktop.join(',').toStdString();
  }
  EXPECT_EQ(ParseUiLanguage(" EN "), L::English);
  EXPECT_EQ(ParseUiLanguage("ja"), L::Own);
  EXPECT_EQ(ParseUiLanguage("Auto"), L::Auto);
  EXPECT_EQ(ParseUiLanguage("fr"), std::nullopt);
  EXPECT_EQ(ParseUiLanguage(""), std::nullopt);
}

class UiLanguageWindowTest : public ::testing::TestWithParam<const char*> {
 protected:
  ~UiLanguageWindowTest() override { translation.apply(L::Own); }

  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  void writeIni(const QByteArray& text) {
    QFile file(QString::fromStdString(iniPath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  template <typename T>
  T* find(QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  UiTranslation translation;
};

// What a window shows in each language; the program's own texts are the specified ones.
struct Shown {
  QString configTab, ttyMenu, logCheck, deviceGroup, connectHint, terminalTitle;
  std::string storeQuestion, storeCaption;
};

TEST_P(UiLanguageWindowTest, SettingChoosesTheTextsOfEveryWindow) {
  const bool english = QByteArray(GetParam()) == "en";
  // An English desktop, so that "ja" shows it is the setting that chooses.
  writeIni("[OPTION]\nRXDATAFORMAT=0\nLANGUAGE=" + QByteArray(GetParam()) + "\n");
  ASSERT_TRUE(translation.apply(
      ResolveUiLanguage(std::nullopt, ReadUiLanguageSetting(iniPath()), {"en-US"})));

  const Shown want = english ? Shown{"Configuration",
                                     "&Terminal",
                                     "Save a data log",
                                     "Device Information",
                                     "Connect / disconnect the adapter",
                                     "Terminal",
                                     "The settings will be written to the adapter's EEPROM.",
                                     "Store Settings"}
                             : Shown{"Config",
                                     "&TTY",
                                     "データログを保存する",
                                     "Device Infomation",
                                     "通信ポート接続/切断",
                                     "FrmTTY",
                                     "EEPROMに書き込みます！",
                                     "メッセージ"};

  TFrmMain::Options options;
  options.settingsPath = iniPath();
  auto window = std::make_unique<TFrmMain>(boxes, options);
  TFrmTTY::Options terminalOptions;
  terminalOptions.settingsPath = iniPath();
  TFrmTTY terminal(*window, boxes, terminalOptions);

  auto* pages = find<QTabWidget>(*window, "PageControl1");
  EXPECT_EQ(pages->tabText(3), want.configTab);
  EXPECT_EQ(find<QAction>(*window, "Veiw1")->text(), want.ttyMenu);
  EXPECT_EQ(find<QCheckBox>(*window, "ChkLog")->text(), want.logCheck);
  EXPECT_EQ(find<QWidget>(*window, "GroupBox4")->property("title").toString(), want.deviceGroup);
  EXPECT_EQ(find<QWidget>(*window, "SpdSwitch")->toolTip(), want.connectHint);
  EXPECT_EQ(terminal.windowTitle(), want.terminalTitle);

  // A question from the logic behind the Config page (answered Cancel: nothing is sent).
  boxes.confirmAnswer = false;
  find<QPushButton>(*window, "BtnStiore")->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, want.storeQuestion);
  EXPECT_EQ(boxes.shown()[0].caption, want.storeCaption);

  // The settings keep the user's choice; the program never writes it.
  window.reset();
  EXPECT_EQ(IniFile(iniPath()).readValue("OPTION", "LANGUAGE"), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Languages, UiLanguageWindowTest, ::testing::Values("en", "ja"));

TEST_F(UiLanguageWindowTest, SavingAFileWithoutTheSettingLeavesItOut) {
  writeIni("[OPTION]\nRXDATAFORMAT=1\n");
  EXPECT_EQ(ReadUiLanguageSetting(iniPath()), L::Auto);
  TFrmMain::Options options;
  options.settingsPath = iniPath();
  std::make_unique<TFrmMain>(boxes, options).reset();
  EXPECT_EQ(IniFile(iniPath()).readValue("OPTION", "LANGUAGE"), std::nullopt);
  EXPECT_EQ(IniFile(iniPath()).readValue("OPTION", "RXDATAFORMAT"), "1");

  writeIni("[OPTION]\nLANGUAGE=klingon\n");
  std::string unknown;
  EXPECT_EQ(ReadUiLanguageSetting(iniPath(), &unknown), L::Auto);
  EXPECT_EQ(unknown, "klingon");
}

// The libraries' texts follow the installed language too, and only while it is installed.
TEST_F(UiLanguageWindowTest, LibraryTextsFollowTheInstalledTranslation) {
  EXPECT_EQ(UiText("Status", "Complete!"), "Complete!");
  ASSERT_TRUE(translation.apply(L::English));
  EXPECT_EQ(UiText("Status", "Complete!"), "Done");
  EXPECT_EQ(SubstituteArgs(UiText("ScriptSender", "送信：%1"), {"FC 02"}), "Send: FC 02");
  ASSERT_TRUE(translation.apply(L::Own));
  EXPECT_EQ(UiText("Status", "Complete!"), "Complete!");
}

}  // namespace
}  // namespace velqor
