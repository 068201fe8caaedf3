#include "terminal/terminal_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TerminalText, ReceivedBytesShowAsLowerCaseDigitsEachFollowedByABlank) {
  EXPECT_EQ(ReceivedText(Bytes{0xFC, 0x02}), "fc 02 ");
  EXPECT_EQ(ReceivedText(Bytes{0x00, 0xAB, 0xff}), "00 ab ff ");
  EXPECT_EQ(ReceivedText(Bytes{}), "");
}

TEST(TerminalText, SentBytesShowAsABlankAndTwoDigitsEach) {
  EXPECT_EQ(SentText(Bytes{0x01, 0x02, 0x03}), " 01 02 03");
  EXPECT_EQ(SentText(Bytes{0x1F}), " 1f");
}

TEST(TerminalText, AddingALineFollowsTheLastLine) {
  struct Case {
    bool lastLineEmpty;
    const char* line;
    const char* appended;
  };
  for (const Case& c : std::vector<Case>{
           {true, "送信：0102", "送信：0102\n"},
           {false, "送信：0102", "\n送信：0102"},
           {true, "", "\n"},
           {false, "", "\n"},
           // The end line's own CR LF shows as a line end: an empty line follows it.
           {true, "＝ファイル送信 正常終了＝\r\n", "＝ファイル送信 正常終了＝\n\n"},
           {false, "＝ファイル送信 正常終了＝\r\n", "\n＝ファイル送信 正常終了＝\n"},
           {true, "a\rb", "a\rb\n"},
       }) {
    EXPECT_EQ(LinesAddText(c.lastLineEmpty, c.line), c.appended) << c.line;
  }
}

TEST(TerminalText, ScriptFilesAreRecognisedByTheirLastFourCharacters) {
  struct Case {
    const char* path;
    bool script;
  };
  for (const Case& c : std::vector<Case>{{"demo.cmd", true},
                                         {"/home/tech/DEMO.TTY", true},
                                         {"mixed.Cmd", true},
                                         {".cmd", true},
                                         {"demo.txt", false},
                                         {"demo.cmdx", false},
                                         {"cmd", false},
                                         {"democmd", false},
                                         {"", false}}) {
    EXPECT_EQ(IsScriptFileName(c.path), c.script) << c.path;
  }
}

TEST(TerminalText, TheFormFilterBecomesQtSyntax) {
  EXPECT_EQ(QtFileFilter("シリアルファイル(*.cmd,*.tty)|*.cmd;*.tty|すべてのファイル(*.*)|*.*"),
            "シリアルファイル(*.cmd,*.tty) (*.cmd *.CMD *.tty *.TTY);;すべてのファイル(*.*) (*)");
  EXPECT_EQ(QtFileFilter("Text|*.TXT"), "Text (*.TXT)");
  EXPECT_EQ(QtFileFilter(""), "");
}

struct Typed {
  char32_t key;
  HexTyping::Action action;
  const char* sent;
};

void Type(HexTyping& typing, bool monitorOn, const std::vector<Typed>& keys) {
  for (const Typed& t : keys) {
    const HexTyping::Outcome outcome = typing.Key(t.key, monitorOn);
    EXPECT_EQ(outcome.action, t.action) << static_cast<unsigned>(t.key);
    EXPECT_EQ(outcome.sendText, t.sent) << static_cast<unsigned>(t.key);
  }
}

using A = HexTyping::Action;

TEST(HexTyping, WithTheMonitorOnDigitsAreSwallowedAndEachPairIsSent) {
  HexTyping typing;
  Type(typing, true, {{U'1', A::Discard, ""}, {U'f', A::Discard, "1f"}, {U'2', A::Discard, ""}});
  EXPECT_FALSE(typing.startsNewPair());  // the 2 waits for its partner
}

TEST(HexTyping, WithTheMonitorOffEachPairIsPrecededByABlank) {
  HexTyping typing;
  Type(typing, false,
       {{U'1', A::BlankThenPass, ""}, {U'f', A::Pass, "1f"}, {U'2', A::BlankThenPass, ""}});
}

TEST(HexTyping, OtherKeysChangeNothing) {
  HexTyping typing;
  Type(typing, true, {{U'A', A::Discard, ""}});
  for (char32_t key : {U'\r', U'\b', U' ', U'\t', U'g', U'G', U'x', U'-', U'０'}) {
    Type(typing, false, {{key, A::Discard, ""}});
    EXPECT_FALSE(typing.startsNewPair());
  }
  Type(typing, true, {{U'b', A::Discard, "Ab"}});
  EXPECT_TRUE(typing.startsNewPair());
}

TEST(HexTyping, TheMonitorMaySwitchInTheMiddleOfAPair) {
  HexTyping typing;
  Type(typing, true, {{U'0', A::Discard, ""}});
  Type(typing, false, {{U'9', A::Pass, "09"}});
}

}  // namespace
}  // namespace velqor
