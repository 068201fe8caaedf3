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

TEST_F(WavePageTest, TypingAWholeNumberRewritesTheTextAndSendsTwice) {
  edit->selectAll();
  QTest::keyClicks(edit, "3");
  EXPECT_EQ(edit->text(), "3.0");
  EXPECT_EQ(track->value(), 30);
  EXPECT_EQ(triggerLevel, 3.0f);
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(2, 30), Trigger(2, 30)));
}

TEST_F(WavePageTest, OnlyDigitsPointAndBackspaceCanBeTyped) {
  edit->setCursorPosition(3);
  QTest::keyClicks(edit, "a-+ e,");
  EXPECT_EQ(edit->text(), "2.5");
  EXPECT_TRUE(sender.blocks().empty());
  QTest::keyClick(edit, Qt::Key_Backspace);  // "2." still reads 2
  EXPECT_EQ(edit->text(), "2.0");
  EXPECT_EQ(track->value(), 20);
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
