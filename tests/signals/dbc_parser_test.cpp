// The DBC parser: what it reads from each statement, where it says a file goes wrong, what it
// steps over and what it warns about.

#include "signals/dbc_parser.h"

#include <gtest/gtest.h>

namespace velqor::dbc {
namespace {

const std::string kData = VELQOR_TEST_DATA_DIR;

const Signal& signalNamed(const Message& m, const std::string& name) {
  for (const Signal& s : m.signalList) {
    if (s.name == name) return s;
  }
  throw std::runtime_error("no signal " + name);
}

TEST(DbcParser, ReadsTheStatementsOfAFile) {
  const DbcResult r = loadDbcFile(kData + "/formats_example.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  const Database& db = *r.database;
  EXPECT_EQ(db.nodes.size(), 2u);
  ASSERT_EQ(db.messages.size(), 2u);

  const Message& msg1 = db.messages[0];
  EXPECT_EQ(msg1.id, 291u);
  EXPECT_FALSE(msg1.extended);
  EXPECT_EQ(msg1.size, 8);
  EXPECT_EQ(msg1.transmitter, "ECU1");
  EXPECT_EQ(msg1.comment, "Test message");
  EXPECT_EQ(msg1.cycleTimeMs, 100u);
  const Signal& speed = signalNamed(msg1, "Speed");
  EXPECT_EQ(speed.startBit, 7);
  EXPECT_EQ(speed.length, 16);
  EXPECT_EQ(speed.byteOrder, ByteOrder::Motorola);
  EXPECT_FALSE(speed.isSigned);
  EXPECT_EQ(speed.factor.value, 0.01);
  EXPECT_EQ(speed.maximum, 655.35);
  EXPECT_EQ(speed.unit, "km/h");
  EXPECT_EQ(speed.receivers, std::vector<std::string>{"ECU2"});
  EXPECT_EQ(speed.comment, "Vehicle speed");
  const Signal& temp = signalNamed(msg1, "Temp");
  EXPECT_EQ(temp.byteOrder, ByteOrder::Intel);
  EXPECT_TRUE(temp.isSigned);
  EXPECT_EQ(temp.offset.value, -40);
  EXPECT_EQ(temp.minimum, -104);
  const Signal& gear = signalNamed(msg1, "Gear");
  ASSERT_EQ(gear.values.size(), 4u);
  EXPECT_EQ(gear.values[3].bits, 3u);
  EXPECT_EQ(gear.values[3].text, "D");

  // Bit 31 of the identifier marks an extended one.
  const Message& ext = db.messages[1];
  EXPECT_EQ(ext.id, 0x18FEF1FEu);
  EXPECT_TRUE(ext.extended);
  EXPECT_FALSE(ext.cycleTimeMs);  // the default 0 means none
  EXPECT_EQ(signalNamed(ext, "Mux").mux, MuxRole::Multiplexor);
  EXPECT_EQ(signalNamed(ext, "B").mux, MuxRole::Multiplexed);
  EXPECT_EQ(signalNamed(ext, "B").muxValue, 1u);
  EXPECT_EQ(signalNamed(ext, "F").valueType, ValueType::Float32);
  EXPECT_TRUE(db.warnings.empty()) << db.warnings[0].text;
}

// The first fault ends the parse: where it is, and what was expected there.
TEST(DbcParser, ReportsTheLineAndColumnOfTheFirstFault) {
  const std::string bo = "BO_ 1 M: 8 E\n";
  struct {
    std::string text;
    std::uint32_t line, column;
    const char* message;
  } const cases[] = {
      {"BO_ 291 Msg1 8 ECU1\n", 1, 14, "expected ':' after the message name, got '8'"},
      {"BO_ 4294967296 X: 8 A\n", 1, 5, "expected the message identifier"},
      {bo + " SG_ S : 7|16@2+ (1,0) [0|0] \"\" E\n", 2, 15,
       "expected the byte order after '@': 1 (Intel) or 0 (Motorola), got '2'"},
      {bo + " SG_ S : 0|65@1+ (1,0) [0|0] \"\" E\n", 2, 12,
       "expected the length (1 to 64 bits), got '65'"},
      {bo + " SG_ S : 0|0@1+ (1,0) [0|0] \"\" E\n", 2, 12, "expected the length"},
      {bo + " SG_ S : 7|8@1* (1,0) [0|0] \"\" E\n", 2, 15, "expected '+' (unsigned) or '-'"},
      {bo + " SG_ S : 505|8@1+ (1,0) [0|0] \"\" E\n", 2, 10, "does not fit in the 64 bytes"},
      {bo + " SG_ S X : 0|8@1+ (1,0) [0|0] \"\" E\n", 2, 8, "expected a multiplexer marker"},
      {bo + " SG_ S : 0|8@1+ (1;0) [0|0] \"\" E\n", 2, 19, "expected ',' between factor"},
      {bo + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" E, 5\n", 2, 35, "expected a receiving node"},
      {bo + " SG_ S : 0|8@1+ (1,0) [0|0] km E\n", 2, 29, "expected the unit"},
      {"BU_: A\nCM_ \"x\";\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" E\n", 3, 2,
       "SG_ stands outside a message"},
      {"VERSION \"\"\nBOO_ 1 X: 8 A\n", 2, 1, "expected a statement keyword"},
      {"CM_ BO_ 1 \"never\nclosed;\n", 1, 11, "a string that is never closed starts here"},
      {"CM_ \"x\"", 1, 8, "expected ';' to end the CM_ statement, got the end of the file"},
      // Columns count characters: the degree sign is two bytes of UTF-8.
      {"CM_ \"\xC2\xB0\" x;", 1, 9, "got 'x'"},
      {"BA_DEF_ BO_ \"A\" WORD 0 1;", 1, 17, "expected the attribute's type"},
      {"EV_ V: 0 [0|1] \"\" 0 0 DUMMY_NODE_VECTOR0 X\nBO_ 1 M: 8 E\n", 3, 1,
       "expected ';' to end the EV_ statement of line 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const DbcResult r = parseDbc(c.text, "bad.dbc");
    ASSERT_FALSE(r.ok());  // never half-loaded
    EXPECT_EQ(r.error.line, c.line);
    EXPECT_EQ(r.error.column, c.column);
    EXPECT_NE(r.error.message.find(c.message), std::string::npos) << r.error.message;
    EXPECT_EQ(r.error.text().rfind(
                  "bad.dbc:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ", 0),
              0u);
  }
}

TEST(DbcParser, StepsOverUnusedStatementsAndWarnsAboutWhatItCannotUse) {
  const std::string text =
      "VERSION \"2\"\n"
      "NS_ :\n NS_DESC_\n CM_\n BA_DEF_\n BU_SG_REL_\n SG_MUL_VAL_\n\n"
      "BS_: 500 : 12, 34\n"
      "BU_: A B\n"
      "VAL_TABLE_ OnOff 1 \"On\" 0 \"Off\" ;\n"
      "BO_ 100 Mux: 8 A\n"
      " SG_ Sel M : 0|8@1+ (1,0) [0|0] \"\" B\n"
      " SG_ Low m0 : 8|8@1+ (1,0) [0|0] \"\" B\n"
      " SG_ Inner m1M : 16|8@1+ (1,0) [0|0] \"\" B\n"
      " SG_ Wide : 56|16@1+ (0,0) [0|0] \"\" B\n"
      "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\n"
      " SG_ Loose : 0|8@1+ (1,0) [0|0] \"\" Vector__XXX\n"
      "EV_ Env: 0 [0|1] \"\" 0 1 DUMMY_NODE_VECTOR0 Vector__XXX;\n"
      "SIG_GROUP_ 100 G 1 : Sel Low;\n"
      "BA_DEF_REL_ BU_SG_REL_ \"R\" INT 0 1;\n"
      "CM_ SG_ 3221225472 Loose \"a signal of no message\";\n"
      "CM_ SG_ 100 Nope \"no such signal\";\n"
      "BA_DEF_ BO_ \"VFrameFormat\" ENUM \"StandardCAN\",\"ExtendedCAN\",\"StandardCAN_FD\";\n"
      "BA_ \"VFrameFormat\" BO_ 100 2;\n"
      "VAL_ 100 Sel -1 \"negative\" 255 \"SNA\" ;\n"
      "VAL_ Env 0 \"x\" ;\n"
      "SIG_VALTYPE_ 100 Sel : 1;\n"
      "SG_MUL_VAL_ 100 Inner Sel 1-1;\n";
  const DbcResult r = parseDbc(text, "sink.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  const Database& db = *r.database;
  EXPECT_EQ(db.version, "2");
  EXPECT_EQ(db.nodes.size(), 2u);
  ASSERT_EQ(db.messages.size(), 1u);  // the pseudo-message is not a message
  ASSERT_EQ(db.valueTables.size(), 1u);
  EXPECT_EQ(db.valueTables[0].values.size(), 2u);
  const Message& m = db.messages[0];
  EXPECT_TRUE(m.extendedMux);
  EXPECT_TRUE(m.fd);  // the ENUM value by its index
  const Signal& sel = signalNamed(m, "Sel");
  ASSERT_EQ(sel.values.size(), 1u);  // -1 does not fit an unsigned signal
  EXPECT_EQ(sel.values[0].text, "SNA");
  EXPECT_EQ(sel.valueType, ValueType::Integer);  // float needs 32 bits

  std::string warnings;
  for (const Warning& w : db.warnings) {
    warnings += std::to_string(w.line) + ": " + w.text + "\n";
  }
  for (const char* expected : {
           "23: CM_ SG_ names signal Nope of Mux, which has no such signal",
           "26: VAL_ Sel: -1 is outside the signal's raw range",
           "28: SIG_VALTYPE_ Sel: type 1 needs a length of 32 bits",
           "16: SG_ Mux.Wide: factor 0",
           "16: SG_ Mux.Wide reaches into byte 9 of a 8-byte message",
           "12: BO_ Mux: extended multiplexing",
       }) {
    EXPECT_NE(warnings.find(expected), std::string::npos) << expected << "\n" << warnings;
  }
  EXPECT_EQ(warnings.find("Loose"), std::string::npos) << warnings;
  std::string skipped;
  for (const Skipped& s : db.skipped) skipped += s.keyword + "=" + std::to_string(s.count) + " ";
  EXPECT_EQ(skipped, "EV_=1 SIG_GROUP_=1 BA_DEF_REL_=1 VAL_=1 SG_MUL_VAL_=1 ");
}

TEST(DbcParser, ReadsWindows1252WhenTheFileIsNotUtf8) {
  const DbcResult r = parseDbc(
      "BO_ 1 M: 1 E\n SG_ T : 0|8@1+ (1,0) [0|0] \"\xB0"
      "C\" E\nCM_ BO_ 1 \"\x80 5\";\n",
      "cp.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  EXPECT_EQ(r.database->messages[0].signalList[0].unit,
            "\xC2\xB0"
            "C");
  EXPECT_EQ(r.database->messages[0].comment, "\xE2\x82\xAC 5");
}

TEST(DbcParser, AFileThatCannotBeReadSaysWhy) {
  const DbcResult r = loadDbcFile(kData + "/no such file.dbc");
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error.text(), kData + "/no such file.dbc: No such file or directory");
}

}  // namespace
}  // namespace velqor::dbc
