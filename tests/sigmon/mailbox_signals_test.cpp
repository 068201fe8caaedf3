// A transmit mailbox filled from signal values, and the values read back from a row.

#include "sigmon/mailbox_signals.h"

#include <gtest/gtest.h>

#include "signals/dbc_parser.h"

namespace velqor {
namespace {

const char kDbc[] =
    "BO_ 291 Engine: 4 E\n"
    " SG_ Speed : 7|16@0+ (0.25,0) [0|16383.75] \"rpm\" X\n"
    " SG_ Mode : 16|4@1+ (1,0) [0|15] \"\" X\n"
    " SG_ Temp : 24|8@1- (0.5,10) [0|0] \"degC\" X\n"
    "BO_ 2364539904 Mux: 3 E\n"
    " SG_ Sel M : 0|8@1+ (1,0) [0|0] \"\" X\n"
    " SG_ A m1 : 8|16@1+ (1,0) [0|0] \"\" X\n"
    " SG_ B m2 : 8|8@1+ (1,0) [0|0] \"\" X\n"
    "BO_ 1000 Long: 12 E\n"
    " SG_ X : 0|8@1+ (1,0) [0|0] \"\" X\n"
    "VAL_ 291 Mode 0 \"Off\" 3 \"Sport\" ;\n";

class MailboxSignals : public ::testing::Test {
 protected:
  MailboxSignals() {
    dbc::DbcResult r = dbc::parseDbc(kDbc, "car.dbc");
    EXPECT_TRUE(r.ok()) << r.error.text();
    db = r.database;
    decoder =
        std::make_unique<dbc::FrameDecoder>(std::vector<std::shared_ptr<const dbc::Database>>{db});
  }
  std::shared_ptr<const dbc::Database> db;
  std::unique_ptr<dbc::FrameDecoder> decoder;
};

TEST_F(MailboxSignals, FillTheRowAsItWouldHaveBeenTypedAndReadBack) {
  // Speed 1000 rpm = raw 4000 = 0x0FA0, Motorola from bit 7: bytes 0F A0. Mode Sport = 3 in
  // the low nibble of byte 2. Temp -5 degC = raw -30 = 0xE2.
  const MailboxEncoding e =
      encodeMailboxRow(db->messages[0], {{"Speed", "1000"}, {"Mode", "Sport"}, {"Temp", "-5"}});
  ASSERT_TRUE(e.ok()) << e.errors[0];
  EXPECT_EQ(e.row, (TxRowText{"123", 4, false, "0F A0 03 E2"}));
  ASSERT_EQ(mailboxMessage(*decoder, e.row), 0u);
  EXPECT_EQ(mailboxSignalValues(*decoder, 0, e.row),
            (SignalValueTexts{{"Speed", "1000"}, {"Mode", "Sport"}, {"Temp", "-5"}}));
  // A row whose data text lacks pairs reads them as 0.
  EXPECT_EQ(mailboxSignalValues(*decoder, 0, {"123", 4, false, "0F A0"}),
            (SignalValueTexts{{"Speed", "1000"}, {"Mode", "Off"}, {"Temp", "10"}}));
  EXPECT_FALSE(mailboxMessage(*decoder, {"123", 4, true, ""}).has_value());

  const MailboxEncoding mux = encodeMailboxRow(db->messages[1], {{"Sel", "2"}, {"B", "171"}});
  EXPECT_EQ(mux.row, (TxRowText{"CF00400", 3, true, "02 AB 00"}));
  EXPECT_EQ(signalsSent(db->messages[1], "2"), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(signalsSent(db->messages[1], "x"), (std::vector<bool>{true, false, false}));

  EXPECT_EQ(encodeMailboxRow(db->messages[2], {}).errors,
            (std::vector<std::string>{"Long is 12 bytes long; a mailbox sends at most 8"}));
  EXPECT_EQ(encodeMailboxRow(db->messages[0], {{"Speed", "-1"}}).errors,
            (std::vector<std::string>{"Speed: \"-1\" does not fit in its bits"}));
}

}  // namespace
}  // namespace velqor
