#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>

#include "tests/support/qt_application.h"
#include "widgets/key_filter.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

struct MaskCase {
  const char* editMask;
  const char* qtMask;
};

class QtInputMaskFromEditMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(QtInputMaskFromEditMaskTest, Translates) {
  EXPECT_EQ(QtInputMaskFromEditMask(QString::fromLatin1(GetParam().editMask)),
            QString::fromLatin1(GetParam().qtMask));
}

INSTANTIATE_TEST_SUITE_P(
    Masks, QtInputMaskFromEditMaskTest,
    ::testing::Values(MaskCase{"", ""},           // free text
                      MaskCase{"AA;1;", "NN;_"},  // "_", the default blank character
                      MaskCase{"AA AA AA;1;", "NN NN NN;_"},
                      MaskCase{"AA AA AA AA AA AA AA AA;1;", "NN NN NN NN NN NN NN NN;_"},
                      MaskCase{"aaLlCc09#;1;", "nnAaXx90#;_"},
                      MaskCase{">LL<ll<>AA;1;", ">AA<aa!NN;_"},
                      MaskCase{"!AA;0;*", "NN;*"},          // trim dropped, blank character kept
                      MaskCase{"AA;1; ", "NN; "},           // a blank of its own
                      MaskCase{"00:00;1;", "99:99;_"},      // ':' is a literal
                      MaskCase{"A-N\\A;1;", "N-\\N\\A;_"},  // literals Qt would read as masks
                      MaskCase{"A_A;1;", "N N;_"},          // '_' is a literal blank
                      MaskCase{"\\;A;1;", "\\;N;_"}));      // an escaped ';' is mask text

TEST(MaskedEdit, KeepsLiteralBlanksOfItsMaskInTheText) {
  MaskedEdit edit;
  edit.setEditMask(QStringLiteral("AA AA AA;1;"));
  EXPECT_EQ(edit.inputMask(), QStringLiteral("NN NN NN;_"));
  edit.setText(QStringLiteral("112233"));
  EXPECT_EQ(edit.text(), QStringLiteral("11 22 33"));
  edit.setText(QStringLiteral("11 22 33"));
  EXPECT_EQ(edit.text(), QStringLiteral("11 22 33"));
  // Empty places show "_" and are left out of the text, the literal blanks kept.
  edit.setText(QStringLiteral("11 2"));
  EXPECT_EQ(edit.displayText(), QStringLiteral("11 2_ __"));
  EXPECT_EQ(edit.text(), QStringLiteral("11 2 "));
}

TEST(MaskedEdit, EmptyMaskTakesAnyText) {
  MaskedEdit edit;
  edit.setEditMask(QStringLiteral("AA;1;"));
  edit.setEditMask(QString());
  edit.setText(QStringLiteral("anything at all, 123"));
  EXPECT_EQ(edit.text(), QStringLiteral("anything at all, 123"));
}

TEST(RadioGroup, ItemIndexChecksOneButtonAndClampsOutOfRangeValues) {
  RadioGroup group(
      QStringLiteral("Capture Port"),
      {QStringLiteral("CAN_L"), QStringLiteral("CAN_H"), QStringLiteral("Differential")});
  QSignalSpy changed(&group, &RadioGroup::itemIndexChanged);
  EXPECT_EQ(group.itemIndex(), -1);
  group.setItemIndex(1);
  EXPECT_EQ(group.itemIndex(), 1);
  EXPECT_TRUE(group.button(1)->isChecked());
  EXPECT_FALSE(group.button(0)->isChecked());
  group.setItemIndex(7);  // beyond the last item: the last item
  EXPECT_EQ(group.itemIndex(), 2);
  group.setItemIndex(-5);  // below -1: nothing checked
  EXPECT_EQ(group.itemIndex(), -1);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(group.button(i)->isChecked());
  group.setItemIndex(-1);  // unchanged: no signal
  ASSERT_EQ(changed.count(), 3);
  EXPECT_EQ(changed.at(0).at(0).toInt(), 1);
  EXPECT_EQ(changed.at(1).at(0).toInt(), 2);
  EXPECT_EQ(changed.at(2).at(0).toInt(), -1);
}

TEST(RadioGroup, AClickSelectsItsItemAndAClickOnTheCheckedOneKeepsIt) {
  RadioGroup group(QStringLiteral("Receive Data View Format"),
                   {QStringLiteral("HEX"), QStringLiteral("DEC")}, 2);
  group.resize(200, 50);
  group.setItemIndex(0);
  group.button(1)->click();
  EXPECT_EQ(group.itemIndex(), 1);
  EXPECT_FALSE(group.button(0)->isChecked());
  group.button(1)->click();
  EXPECT_EQ(group.itemIndex(), 1);
  EXPECT_TRUE(group.button(1)->isChecked());
  // Two columns: the items stand side by side.
  EXPECT_EQ(group.button(0)->y(), group.button(1)->y());
  EXPECT_LT(group.button(0)->x(), group.button(1)->x());
}

TEST(KeyFilter, HexFieldsTakeHexDigitsAndBackspaceOnly) {
  QLineEdit edit;
  KeyFilter filter(&KeyFilter::HexDigitOrBackspace);
  edit.installEventFilter(&filter);
  auto type = [&edit](Qt::Key key, const QString& text,
                      Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&edit, &press);
  };
  type(Qt::Key_1, QStringLiteral("1"));
  type(Qt::Key_F, QStringLiteral("f"));
  type(Qt::Key_G, QStringLiteral("g"));      // dropped
  type(Qt::Key_Space, QStringLiteral(" "));  // dropped
  type(Qt::Key_A, QStringLiteral("A"));
  type(Qt::Key_Minus, QStringLiteral("-"));  // dropped
  EXPECT_EQ(edit.text(), QStringLiteral("1fA"));
  type(Qt::Key_Backspace, QString());
  EXPECT_EQ(edit.text(), QStringLiteral("1f"));
  type(Qt::Key_Left, QString());  // movement passes
  type(Qt::Key_0, QStringLiteral("0"));
  EXPECT_EQ(edit.text(), QStringLiteral("10f"));
}

}  // namespace
}  // namespace velqor
