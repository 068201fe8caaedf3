// A message's payload from its signals' values, as a mailbox that sends by signals builds it.

#include "signals/message_encoder.h"

#include <gtest/gtest.h>

#include "signals/dbc_parser.h"

namespace velqor::dbc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<std::pair<std::string, std::string>>;

TEST(EncodeMessage, WritesTheValuesTheMultiplexorSelectsAndSaysWhatItCannotWrite) {
  const DbcResult r = loadDbcFile(std::string(VELQOR_TEST_DATA_DIR) + "/formats_example.dbc");
  ASSERT_TRUE(r.ok());
  const Message& msg1 = r.database->messages[0];
  const Message& ext = r.database->messages[1];
  struct {
    const Message& message;
    Values values;
    Bytes data;
    std::vector<std::string> errors;
  } const cases[] = {
      {msg1,
       {{"Speed", "46.6"}, {"Nibble", "1478"}, {"Temp", "23.5"}, {"Cross", "894"}, {"Gear", "D"}},
       {0x12, 0x34, 0x05, 0xC6, 0x7F, 0xE0, 0x37, 0x03},
       {}},
      // B and F overlap in byte 4: the given value wins over F's start value.
      {ext, {{"Mux", "1"}, {"B", "-1"}}, {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0}, {}},
      {ext, {{"A", "5"}}, {0, 5, 0, 0, 0, 0, 0, 0}, {}},  // the multiplexor's start value 0
      {ext, {{"Mux", "1"}, {"A", "5"}}, {1, 0, 0, 0, 0, 0, 0, 0}, {"A is not sent when Mux is 1"}},
      {msg1,
       {{"Gear", "X"}, {"Nope", "1"}, {"Speed", "655.36"}},
       Bytes(8, 0),
       {"Msg1 has no signal Nope", "Speed: \"655.36\" does not fit in its bits",
        "Gear: \"X\" is neither a number nor one of its value texts"}},
  };
  for (const auto& c : cases) {
    const EncodedMessage e = encodeMessage(c.message, c.values);
    EXPECT_EQ(e.data, c.data);
    EXPECT_EQ(e.errors, c.errors);
  }
}

TEST(EncodeMessage, SignalsWithoutAValueTakeTheirStartValue) {
  const DbcResult r = parseDbc(
      "BO_ 1 M: 2 E\n SG_ A : 0|8@1+ (0.5,0) [0|0] \"\" X\n SG_ B : 8|8@1+ (1,0) [0|0] \"\" X\n"
      "BA_DEF_ SG_ \"GenSigStartValue\" INT 0 255;\nBA_ \"GenSigStartValue\" SG_ 1 A 10;\n",
      "start.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  EXPECT_EQ(encodeMessage(r.database->messages[0], {}).data, (Bytes{10, 0}));
  EXPECT_EQ(encodeMessage(r.database->messages[0], {{"A", "1"}, {"B", "7"}}).data, (Bytes{2, 7}));
}

}  // namespace
}  // namespace velqor::dbc
