// Signal fields and values, checked against values worked out by hand (and, for the first
// payload, against canmatrix 0.9.5, which gives the same).

#include "signals/signal_codec.h"

#include <gtest/gtest.h>

#include "signals/dbc_parser.h"

namespace velqor::dbc {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A one-message database holding `signals` (SG_ lines).
std::shared_ptr<const Database> database(const std::string& signals) {
  const DbcResult r = parseDbc("BO_ 1 M: 8 E\n" + signals, "t.dbc");
  if (!r.ok()) throw std::runtime_error(r.error.text());
  return r.database;
}

TEST(SignalCodec, DecodesAndEncodesIntelAndMotorolaFields) {
  const auto db = database(
      " SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] \"km/h\" X\n"
      " SG_ Nibble : 19|12@0+ (1,0) [0|4095] \"\" X\n"
      " SG_ Temp : 32|8@1- (0.5,-40) [-104|23.5] \"degC\" X\n"
      " SG_ Cross : 44|10@1+ (1,0) [0|1023] \"\" X\n"
      " SG_ Gear : 56|3@1+ (1,0) [0|7] \"\" X\n"
      "VAL_ 1 Gear 0 \"P\" 1 \"R\" 2 \"N\" 3 \"D\" ;\n");
  const Bytes payload = {0x12, 0x34, 0xA5, 0xC6, 0x7F, 0xE5, 0xB7, 0xFB};
  struct {
    std::uint64_t raw;
    const char* physical;
    const char* text;
  } const expected[] = {
      {0x1234, "46.6", nullptr},
      {0x5C6, "1478", nullptr},
      {0x7F, "23.5", nullptr},
      {0x37E, "894", nullptr},
      {3, "3", "D"},
  };
  Bytes encoded(8, 0);
  for (std::size_t i = 0; i < 5; ++i) {
    const SignalCodec codec(db->messages[0].signalList[i]);
    SCOPED_TRACE(codec.signal().name);
    const std::uint64_t bits = codec.extract(payload.data());
    EXPECT_EQ(bits, expected[i].raw);
    EXPECT_EQ(codec.physicalText(bits), expected[i].physical);
    const std::string* text = codec.text(bits);
    EXPECT_EQ(text ? *text : "(none)", expected[i].text ? expected[i].text : "(none)");
    codec.insert(bits, encoded.data());
  }
  // Bits no signal covers stay 0.
  EXPECT_EQ(encoded, (Bytes{0x12, 0x34, 0x05, 0xC6, 0x7F, 0xE0, 0x37, 0x03}));
}

// Raw values of every length up to 64 bits are exact, signed or not, and so is the decimal
// text of the physical value.
TEST(SignalCodec, RawValuesAreExactIntegersUpTo64Bits) {
  const Bytes counting = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  const Bytes ones(8, 0xFF);
  const Bytes odd = {0x08, 0x80, 0, 0, 0, 0, 0, 0};
  struct {
    const char* sg;
    const Bytes& payload;
    const char* raw;
    const char* physical;
  } const cases[] = {
      {"0|64@1+ (1,0)", counting, "578437695752307201", "578437695752307201"},
      {"7|64@0+ (1,0)", counting, "72623859790382856", "72623859790382856"},
      {"0|64@1- (1,0)", ones, "-1", "-1"},
      {"0|64@1+ (1,0)", ones, "18446744073709551615", "18446744073709551615"},
      {"0|64@1+ (0.001,0)", ones, "18446744073709551615", "18446744073709551.615"},
      {"7|64@0- (1,-5)", ones, "-1", "-6"},
      {"3|13@1- (1,0)", odd, "-4095", "-4095"},
      {"3|13@1+ (0.1,0)", odd, "4097", "409.7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sg);
    const auto db = database(std::string(" SG_ S : ") + c.sg + " [0|0] \"\" X\n");
    const SignalCodec codec(db->messages[0].signalList[0]);
    const std::uint64_t bits = codec.extract(c.payload.data());
    char buf[SignalCodec::kTextSize];
    EXPECT_EQ(std::string(buf, codec.formatRaw(bits, buf)), c.raw);
    EXPECT_EQ(codec.physicalText(bits), c.physical);
    // The text gives back the same bits.
    const SignalCodec::Encoded back = codec.fromText(codec.physicalText(bits));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.bits, bits);
  }
}

TEST(SignalCodec, PhysicalValuesAreTheNearestDoubleToTheExactDecimal) {
  const auto db = database(
      " SG_ A : 0|8@1+ (0.1,0) [0|0] \"\" X\n"
      " SG_ B : 8|8@1- (0.1,-0.2) [0|0] \"\" X\n");
  const SignalCodec a(db->messages[0].signalList[0]);
  const SignalCodec b(db->messages[0].signalList[1]);
  EXPECT_EQ(a.physical(3), 0.3);  // 3 * 0.1 in doubles is 0.30000000000000004
  EXPECT_EQ(a.physicalText(3), "0.3");
  EXPECT_EQ(b.physical(0xFF), -0.3);  // -1 x 0.1 - 0.2
  EXPECT_EQ(b.physicalText(2), "0");
}

TEST(SignalCodec, FloatSignalsReinterpretTheirBits) {
  const auto db = database(
      " SG_ F : 0|32@1- (1,0) [0|0] \"\" X\n"
      "BO_ 2 D: 8 E\n SG_ G : 7|64@0- (2,1) [0|0] \"\" X\n"
      "SIG_VALTYPE_ 1 F : 1;\nSIG_VALTYPE_ 2 G : 2;\n");
  const SignalCodec f(db->messages[0].signalList[0]);
  const SignalCodec g(db->messages[1].signalList[0]);
  const Bytes single = {0x00, 0x00, 0xC0, 0x3F, 0, 0, 0, 0};           // 1.5f, little-endian
  const Bytes dbl = {0xC0, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // -2.5, big-endian
  EXPECT_EQ(f.physical(f.extract(single.data())), 1.5);
  EXPECT_EQ(g.physical(g.extract(dbl.data())), -4.0);  // -2.5 x 2 + 1
  EXPECT_EQ(f.fromPhysical(1.5).bits, 0x3FC00000u);
  EXPECT_EQ(g.fromText("-4").bits, 0xC004000000000000u);
}

TEST(SignalCodec, EncodesValuesRoundingToTheNearestRawValue) {
  const auto db = database(
      " SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] \"km/h\" X\n"
      " SG_ Temp : 32|8@1- (0.5,-40) [-104|23.5] \"degC\" X\n"
      " SG_ Gear : 56|3@1+ (1,0) [0|7] \"\" X\n"
      " SG_ Big : 0|64@1- (1,0) [0|0] \"\" X\n"
      " SG_ Flat : 0|4@1+ (0,1) [0|0] \"\" X\n"
      "VAL_ 1 Gear 0 \"P\" 3 \"D\" ;\n");
  using E = SignalCodec::EncodeError;
  struct {
    int signal;
    const char* text;
    std::uint64_t bits;
    E error;
  } const cases[] = {
      {0, "46.6", 4660, E::None},
      {0, "46.605", 4661, E::None},  // halves away from zero
      {0, " 1e2 ", 10000, E::None},
      {0, "655.35", 65535, E::None},
      {0, "655.355", 0, E::OutOfRange},
      {0, "-0.01", 0, E::OutOfRange},
      {0, "fast", 0, E::NotANumber},
      {1, "-104", 0x80, E::None},
      {1, "-104.5", 0, E::OutOfRange},
      {1, "23.5", 0x7F, E::None},
      {2, "D", 3, E::None},
      {3, "-9223372036854775808", 0x8000000000000000u, E::None},
      {3, "9223372036854775808", 0, E::OutOfRange},
      {4, "1", 0, E::NoFactor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const SignalCodec codec(db->messages[0].signalList[c.signal]);
    const SignalCodec::Encoded e = codec.fromText(c.text);
    EXPECT_EQ(e.error, c.error);
    if (c.error == E::None) {
      EXPECT_EQ(e.bits, c.bits);
    }
  }
  const SignalCodec speed(db->messages[0].signalList[0]);
  EXPECT_EQ(speed.fromPhysical(46.6).bits, 4660u);
  EXPECT_EQ(speed.fromPhysical(655.4).error, E::OutOfRange);
}

}  // namespace
}  // namespace velqor::dbc
