// FrameDecoder: which message a frame is, and which of its signals it carries.

#include "signals/frame_decoder.h"

#include <gtest/gtest.h>

#include "signals/dbc_parser.h"

namespace velqor::dbc {
namespace {

const std::string kData = VELQOR_TEST_DATA_DIR;

CanFrame frame(std::uint32_t id, bool extended, std::vector<std::uint8_t> data) {
  CanFrame f;
  f.id = id;
  f.ide = extended ? 1 : 0;
  f.dlc = static_cast<std::uint8_t>(data.size());
  std::copy(data.begin(), data.end(), f.data.begin());
  return f;
}

std::string names(const FrameDecoder& decoder, const DecodedFrame& d) {
  std::string out;
  for (const DecodedSignal& s : d.values) {
    out += decoder.signal(s.index).signal->name + "=" +
           decoder.signal(s.index).codec.physicalText(s.bits) +
           (s.text ? "(" + *s.text + ")" : "") + " ";
  }
  return out;
}

TEST(FrameDecoder, DecodesTheSignalsTheFrameCarries) {
  const DbcResult r = loadDbcFile(kData + "/formats_example.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  const FrameDecoder decoder({r.database});
  DecodedFrame d;
  const std::vector<std::uint8_t> payload = {0x12, 0x34, 0xA5, 0xC6, 0x7F, 0xE5, 0xB7, 0xFB};
  struct {
    const char* what;
    CanFrame frame;
    bool found;
    const char* expected;
    bool shortFrame;
  } const cases[] = {
      {"standard", frame(0x123, false, payload), true,
       "Speed=46.6 Nibble=1478 Temp=23.5 Cross=894 Gear=3(D) ", false},
      {"same identifier, extended", frame(0x123, true, payload), false, "", false},
      {"cut after 4 bytes", frame(0x123, false, {0x12, 0x34, 0xA5, 0xC6}), true,
       "Speed=46.6 Nibble=1478 ", true},
      // 0x00003F80 is 1.0f.
      {"multiplexor 0", frame(0x18FEF1FE, true, {0, 0x34, 0x12, 0, 0, 0, 0x80, 0x3F}), true,
       "Mux=0 A=4660 F=1 ", false},
      {"multiplexor 1", frame(0x18FEF1FE, true, {1, 0xFE, 0xFF, 0xFF, 0, 0, 0x80, 0x3F}), true,
       "Mux=1 B=16777214 F=1 ", false},
      {"multiplexor 7 selects nothing", frame(0x18FEF1FE, true, {7, 1, 2, 3, 0, 0, 0, 0}), true,
       "Mux=7 F=0 ", false},
      {"unknown identifier", frame(0x124, false, payload), false, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(decoder.decode(c.frame, d), c.found);
    EXPECT_EQ(names(decoder, d), c.expected);
    EXPECT_EQ(d.shortFrame, c.shortFrame);
  }
  CanFrame remote = frame(0x123, false, payload);
  remote.flags = CanFrame::kRtr;
  EXPECT_FALSE(decoder.decode(remote, d));
}

TEST(FrameDecoder, TheFirstFileDefiningAnIdentifierWins) {
  const DbcResult a = parseDbc("BO_ 256 First: 1 E\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n", "a.dbc");
  const DbcResult b = parseDbc(
      "BO_ 256 Second: 1 E\n SG_ T : 0|8@1+ (2,0) [0|0] \"\" X\n"
      "BO_ 257 Other: 1 E\n SG_ U : 0|8@1+ (3,0) [0|0] \"\" X\n",
      "b.dbc");
  ASSERT_TRUE(a.ok() && b.ok());
  const FrameDecoder decoder({a.database, b.database});
  DecodedFrame d;
  ASSERT_TRUE(decoder.decode(frame(0x100, false, {5}), d));
  EXPECT_EQ(decoder.message(d.message).message->name, "First");
  ASSERT_TRUE(decoder.decode(frame(0x101, false, {5}), d));
  EXPECT_EQ(names(decoder, d), "U=15 ");
  ASSERT_EQ(decoder.notes().size(), 1u);
  EXPECT_EQ(decoder.notes()[0],
            "b.dbc BO_ Second (100): its identifier is already a.dbc First's; that one is used");
  EXPECT_EQ(decoder.signalCount(), 2u);
}

}  // namespace
}  // namespace velqor::dbc
