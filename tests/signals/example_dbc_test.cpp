// examples/velqor_sim_vehicle.dbc describes the simulated adapter's traffic: the same
// messages, and a signal for every bit that moves.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "signals/dbc_parser.h"
#include "signals/frame_decoder.h"
#include "sim/bus_traffic.h"

namespace velqor::dbc {
namespace {

TEST(ExampleDbc, DescribesEverySignalOfTheSimulatedTraffic) {
  const DbcResult r = loadDbcFile(std::string(VELQOR_EXAMPLES_DIR) + "/velqor_sim_vehicle.dbc");
  ASSERT_TRUE(r.ok()) << r.error.text();
  EXPECT_TRUE(r.database->warnings.empty()) << r.database->warnings[0].text;
  const FrameDecoder decoder({r.database});
  const std::vector<PeriodicMessage> profile = DefaultVehicleProfile();
  EXPECT_EQ(decoder.messageCount(), profile.size());

  SimRandom random;
  DecodedFrame decoded;
  for (const PeriodicMessage& m : profile) {
    SCOPED_TRACE(m.name);
    const FrameDecoder::MessageEntry* entry = decoder.find(m.id, m.extended);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->message->name, m.name);
    EXPECT_EQ(entry->message->size, m.dlc);
    EXPECT_EQ(entry->message->cycleTimeMs, m.cycle / std::chrono::milliseconds(1));

    // The bits any signal covers.
    std::array<std::uint8_t, 8> covered{};
    for (const Signal& s : entry->message->signalList) {
      SignalCodec(s).insert(~std::uint64_t{0}, covered.data());
    }
    // One simulated minute of the message: the bits that change, and each signal's values.
    std::array<std::uint8_t, 8> moving{};
    std::map<std::string, std::set<std::uint64_t>> seen;
    BusFrame first;
    for (std::uint64_t k = 0; m.phase + k * m.cycle < std::chrono::seconds(60); ++k) {
      BusFrame f;
      ComposeFrame(m, k, m.phase + k * m.cycle, random, f);
      if (k == 0) first = f;
      for (int i = 0; i < 8; ++i) moving[i] |= f.data[i] ^ first.data[i];
      CanFrame frame;
      frame.id = f.id;
      frame.ide = f.extended;
      frame.dlc = f.dlc;
      frame.data = f.data;
      ASSERT_TRUE(decoder.decode(frame, decoded));
      ASSERT_FALSE(decoded.shortFrame);
      for (const DecodedSignal& v : decoded.values) {
        const Signal& s = *decoder.signal(v.index).signal;
        ASSERT_GE(v.physical, s.minimum) << s.name;
        ASSERT_LE(v.physical, s.maximum) << s.name;
        // A signal with a value table names every value the simulation gives it.
        if (!s.values.empty()) {
          ASSERT_NE(v.text, nullptr) << s.name << " " << v.bits;
        }
        seen[s.name].insert(v.bits);
      }
    }
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(moving[i] & ~covered[i], 0) << "byte " << i << ": bits that move in no signal";
    }
    if (m.name == "EngineData") {
      EXPECT_GT(seen["EngineSpeed"].size(), 1000u);
    }
  }
}

}  // namespace
}  // namespace velqor::dbc
