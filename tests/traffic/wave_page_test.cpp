// The Wave page's controls bound to its logic: what typing, the track bar, the port and the
// buttons send.
#include "traffic/wave_page.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "tests/support/recorders.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

using ::testing::ElementsAre;
using velqor::testing::Block;
using velqor::testing::RecordingBoxes;
using velqor::testing::RecordingSender;

Block Trigger(std::uint8_t port, std::uint8_t level) {
  return {0xFC, 0x04, 0x03, 0x01, port, level};
}

class WavePageTest : public ::testing::Test {
 protected:
  WavePageTest() : page(sender, boxes, &triggerLevel) {
    page.capture().loadTriggerLevel(2.5f);
    page.capture().setTerminalExists(true);
    edit = page.findChild<QLineEdit*>(QStringLiteral("EditTriggerlv"));
    track = page.findChild<QSlider*>(QStringLiteral("TracTrigger"));
    port = page.findChild<RadioGroup*>(QStringLiteral("RadioCapPort"));
  }
  void click(const char* name) { page.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

  RecordingSender sender;
  RecordingBoxes boxes;
  float triggerLevel = 0.0f;  // the main window's field
  WavePage page;
  QLineEdit* edit = nullptr;
  QSlider* track = nullptr;
  RadioGroup* port = nullptr;
};

TEST_F(WavePageTest, LoadingSetsTheControlsAndTheWindowsField) {
  EXPECT_EQ(edit->text(), "2.5");
  EXPECT_EQ(track->value(), 25);
  EXPECT_EQ(port->itemIndex(), 2);
  EXPECT_EQ(triggerLevel, 2.5f);
  EXPECT_TRUE(sender.blocks().empty());
}

// Typing into the field, from "2.5" with the bar at 25: the text stays as typed (the caret
// and the undo history with it) while the bar follows and SetTrigger goes out once per change;
// the text the bar's handler would have written comes when editing ends (Enter).
struct Typing {
  const char* name;
  bool selectAll;  // else the caret is at the end
  const char* keys;
  const char* typed;  // the text while typing
  int bar;
  std::vector<std::uint8_t> levels;  // of the SetTrigger blocks sent while typing
  const char* finished;              // the text after Enter
};

void PrintTo(const Typing& c, std::ostream* os) { *os << c.name; }

class WavePageTyping : public WavePageTest, public ::testing::WithParamInterface<Typing> {};

TEST_P(WavePageTyping, NeverRewritesTheTextUnderTheCaret) {
  const Typing& c = GetParam();
  if (c.selectAll) edit->selectAll();
  QTest::keyClicks(edit, QString::fromLatin1(c.keys));
  EXPECT_EQ(edit->text(), QString::fromLatin1(c.typed));
  EXPECT_EQ(track->value(), c.bar);
  EXPECT_EQ(triggerLevel, static_cast<float>(c.bar * 0.1));
  std::vector<Block> expected;
  for (std::uint8_t level : c.levels) expected.push_back(Trigger(2, level));
  EXPECT_EQ(sender.blocks(), expected);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(edit->text(), QString::fromLatin1(c.finished));
  EXPECT_EQ(sender.blocks().size(), c.levels.size()) << "nothing more sent for the rewrite";
  EXPECT_TRUE(boxes.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    WalkThroughs, WavePageTyping,
    ::testing::Values(Typing{"WholeNumber", true, "3", "3", 30, {30}, "3.0"},
                      Typing{"OnePointZero", true, "1.0", "1.0", 10, {10, 10, 10}, "1.0"},
                      // Above 5 V the bar stops at 50: its level is the one sent.
                      Typing{"AboveFive", true, "7", "7", 50, {50}, "5.0"},
                      Typing{"Backspace", false, "\b", "2.", 20, {20}, "2.0"},
                      Typing{"AtTheBarsPosition", false, "9", "2.59", 25, {25}, "2.59"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WavePageTest, OnlyDigitsPointAndBackspaceCanBeTyped) {
  edit->setCursorPosition(3);
  QTest::keyClicks(edit, "a-+ e,");
  EXPECT_EQ(edit->text(), "2.5");
  EXPECT_TRUE(sender.blocks().empty());
}

TEST_F(WavePageTest, TheTrackBarWritesTheTextAndSendsWithThePort) {
  port->setItemIndex(1);
  EXPECT_TRUE(sender.blocks().empty());  // a port alone sends nothing
  track->setValue(33);
  EXPECT_EQ(edit->text(), "3.3");
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(1, 0x21)));
}

TEST_F(WavePageTest, ButtonsSendTheirCaptureModes) {
  port->setItemIndex(1);
  click("BtnSingle");
  EXPECT_THAT(sender.blocks(),
              ElementsAre(Trigger(1, 0x19), (Block{0xFC, 0x03, 0x03, 0x02, 0x01})));
  sender.clear();
  click("BtnStop");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0xFC, 0x03, 0x03, 0x02, 0x00}));
  sender.clear();
  click("BtnContinue");
  EXPECT_THAT(sender.blocks(),
              ElementsAre(Trigger(1, 0x19), (Block{0xFC, 0x03, 0x03, 0x02, 0x02})));
}

TEST_F(WavePageTest, APastedTextThatIsNotANumberShowsTheErrorAndSendsNothing) {
  edit->setText(QStringLiteral("1.2.3"));
  click("BtnSingle");
  EXPECT_TRUE(sender.blocks().empty());
  EXPECT_EQ(track->value(), 25);
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text, "'1.2.3' は浮動小数点数ではありません");
}

}  // namespace
}  // namespace velqor
