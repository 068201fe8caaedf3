// The model's command side: answers byte for byte, parameters, EEPROM, input framing.

#include "sim/sim_adapter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim_test_util.h"

namespace velqor {
namespace {

using namespace test;
namespace fs = std::filesystem;

Bytes Text15(std::uint8_t command, std::string_view text) {
  Bytes b = {0xFC, 0x11, 0x01, command};
  for (std::size_t i = 0; i < 15; ++i) b.push_back(i < text.size() ? text[i] : 0);
  return b;
}

RxMailboxRecord Mailbox(int index, int enable, int ide, std::uint32_t id, std::uint32_t mask) {
  return {static_cast<std::uint8_t>(index),
          static_cast<std::uint8_t>(enable),
          static_cast<std::uint8_t>(ide),
          id,
          mask,
          0};
}

TEST(SimAdapter, AnswersEveryCommandByteForByte) {
  struct Case {
    const char* what;
    Frame command;
    std::vector<Bytes> answers;
  };
  const Case cases[] = {
      {"GetTerminator", GetTerminator(), {Hex({0xFC, 3, 1, 0x09, 0})}},
      {"GetBitTiming", GetBitTiming(), {Hex({0xFC, 4, 1, 0x0B, 1, 2})}},
      {"GetConsoleFormat", GetConsoleFormat(), {Hex({0xFC, 3, 1, 0x0E, 0})}},
      {"GetTimingTable 0", GetTimingTable(0), {Hex({0xFC, 19, 1,  0x0A, 0,  15, 83, 81, 78, 77, 75,
                                                    73,   72, 72, 68,   68, 66, 63, 63, 63, 60})}},
      {"GetTimingTable 1",
       GetTimingTable(1),
       {Hex({0xFC, 11, 1, 0x0A, 1, 7, 81, 77, 72, 72, 68, 63, 63})}},
      {"GetTimingTable 2", GetTimingTable(2), {Hex({0xFC, 7, 1, 0x0A, 2, 3, 81, 72, 63})}},
      {"GetRxMailbox 0",
       GetRxMailbox(0),
       {Hex({0xFC, 14, 1, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}},
      {"GetRxMailbox 1",
       GetRxMailbox(1),
       {Hex({0xFC, 14, 1, 6, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0})}},
      {"GetRxMailbox 15",
       GetRxMailbox(15),
       {Hex({0xFC, 14, 1, 6, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}},
      {"GetFirmwareVersion", GetFirmwareVersion(), {Text15(0x20, "1.07")}},
      {"GetDeviceName", GetDeviceName(), {Text15(0x21, "STM32F105")}},
      {"SetTerminator", SetTerminator(0), {Hex({0xFC, 3, 1, 0x08, 0})}},
      {"SetBitTiming", SetBitTiming(1, 2), {Hex({0xFC, 3, 1, 0x0C, 0})}},
      {"SetConsoleFormat", SetConsoleFormat(0), {Hex({0xFC, 3, 1, 0x0D, 0})}},
      {"SetRxMailbox", SetRxMailbox(Mailbox(0, 1, 0, 0, 0)), {Hex({0xFC, 3, 1, 0x03, 0})}},
      {"StoreParams", StoreParams(), {Hex({0xFC, 3, 1, 0x10, 0})}},
      {"command 1", MakeFrame(1, 0x01), {Hex({0xFC, 2, 1, 0x01})}},
      {"command 2", MakeFrame(1, 0x02), {Hex({0xFC, 2, 1, 0x02})}},
      {"command 4", MakeFrame(1, 0x04), {Hex({0xFC, 2, 1, 0x04})}},
      {"SetCaptureMode stop", SetCaptureMode(0), {Hex({0xFC, 3, 3, 0x02, 0})}},
      {"SetTrigger", SetTrigger(2, 10), {}},
      {"SendCanFrame",
       SendCanFrame({0, 0x100, 3, {0x11, 0x22, 0x33}}),
       {Hex({0xFC, 3, 2, 1, 0}),
        Hex({0xFC, 17, 2, 2, 0, 0, 0, 0, 1, 0, 3, 0x11, 0x22, 0x33, 0, 0, 0, 0, 0})}},
      {"SendCanFrame extended",
       SendCanFrame({1, 0x18DA10F1, 8, {1, 2, 3, 4, 5, 6, 7, 8}}),
       {Hex({0xFC, 3, 2, 1, 0}),
        Hex({0xFC, 17, 2, 2, 1, 1, 0x18, 0xDA, 0x10, 0xF1, 8, 1, 2, 3, 4, 5, 6, 7, 8})}},
  };
  for (const Case& c : cases) {
    SimAdapter sim(Quiet());
    EXPECT_EQ(Ask(sim, c.command), c.answers) << c.what;
  }
}

TEST(SimAdapter, OutOfRangeRequestsAreRefusedAndChangeNothing) {
  struct Case {
    const char* what;
    Frame command;
    std::vector<Bytes> answers;
  };
  const Bytes setTimingRefused = Hex({0xFC, 3, 1, 0x0C, 2});
  const Bytes mailboxRefused = Hex({0xFC, 3, 1, 0x03, 2});
  const Bytes sendRefused = Hex({0xFC, 3, 2, 1, 2});
  const Case cases[] = {
      {"bit rate 3", SetBitTiming(3, 0), {setTimingRefused}},
      {"timing 15 at 250k", SetBitTiming(0, 15), {setTimingRefused}},
      {"timing 7 at 500k", SetBitTiming(1, 7), {setTimingRefused}},
      {"timing 3 at 1M", SetBitTiming(2, 3), {setTimingRefused}},
      {"timing 255 (no selection)", SetBitTiming(1, 255), {setTimingRefused}},
      {"mailbox 16", SetRxMailbox(Mailbox(16, 1, 0, 0, 0)), {mailboxRefused}},
      {"12-bit id", SetRxMailbox(Mailbox(3, 1, 0, 0x800, 0x7FF)), {mailboxRefused}},
      {"30-bit id", SetRxMailbox(Mailbox(3, 1, 1, 0x20000000, 0)), {mailboxRefused}},
      {"ide 2", SetRxMailbox(Mailbox(3, 1, 2, 0, 0)), {mailboxRefused}},
      {"enable 2", SetRxMailbox(Mailbox(3, 2, 0, 0, 0)), {mailboxRefused}},
      {"terminator 2", SetTerminator(2), {Hex({0xFC, 3, 1, 0x08, 2})}},
      {"console 2", SetConsoleFormat(2), {Hex({0xFC, 3, 1, 0x0D, 2})}},
      {"read mailbox 16", GetRxMailbox(16), {Hex({0xFC, 4, 1, 0x05, 2, 16})}},
      {"table 3", GetTimingTable(3), {}},
      {"DLC 9", SendCanFrame({0, 0x100, 9, {}}), {sendRefused}},
      {"12-bit send", SendCanFrame({0, 0x800, 1, {}}), {sendRefused}},
      {"30-bit send", SendCanFrame({1, 0x20000000, 1, {}}), {sendRefused}},
      {"send ide 2", SendCanFrame({2, 0x100, 1, {}}), {sendRefused}},
      {"capture mode 3", SetCaptureMode(3), {Hex({0xFC, 3, 3, 0x02, 0})}},
  };
  for (const Case& c : cases) {
    SimAdapter sim(Quiet());
    EXPECT_EQ(Ask(sim, c.command), c.answers) << c.what;
    EXPECT_EQ(sim.Params(), AdapterParams::Factory()) << c.what;
    EXPECT_EQ(sim.Stats().busFrames, 0u) << c.what;
  }
}

// Writes every parameter, then reads them back with the program's Read sequence.
TEST(SimAdapter, WrittenParametersReadBack) {
  SimAdapter sim(Quiet());
  std::vector<Frame> write = {SetBitTiming(0, 14), SetTerminator(1), SetConsoleFormat(1)};
  std::vector<RxMailboxRecord> boxes;
  for (int i = 0; i < 16; ++i) {
    const int ide = i % 2;
    boxes.push_back(
        Mailbox(i, i % 3 == 0, ide, ide ? 0x1FFFFFFFu - i : 0x7FFu - i, 0x0F0F0F0Fu * i));
    write.push_back(SetRxMailbox(boxes.back()));
  }
  for (const Frame& f : write) sim.Write(f);
  RunFor(sim);

  std::vector<Frame> read = {GetTimingTable(0), GetTimingTable(1), GetTimingTable(2),
                             GetTerminator(), GetConsoleFormat()};
  for (int i = 0; i < 16; ++i) read.push_back(GetRxMailbox(static_cast<std::uint8_t>(i)));
  read.push_back(GetBitTiming());
  for (const Frame& f : read) sim.Write(f);
  const auto answers = RunFor(sim);
  ASSERT_EQ(answers.size(), read.size());
  EXPECT_EQ(answers[3], Hex({0xFC, 3, 1, 0x09, 1}));
  EXPECT_EQ(answers[4], Hex({0xFC, 3, 1, 0x0E, 1}));
  for (int i = 0; i < 16; ++i) {
    const Bytes& a = answers[5 + i];
    ASSERT_EQ(a.size(), 16u);
    const auto got = RxMailboxRecord::Decode(std::span(a).subspan(4).first<12>());
    EXPECT_EQ(got, boxes[i]) << "mailbox " << i;
  }
  EXPECT_EQ(answers.back(), Hex({0xFC, 4, 1, 0x0B, 0, 14}));
}

TEST(SimAdapter, AnswersComeInOrderAfterALatency) {
  SimAdapter sim(Quiet());
  sim.Write(GetTerminator());
  sim.Write(GetConsoleFormat());
  EXPECT_TRUE(RunFor(sim, 50us).empty());
  const auto answers = RunFor(sim, 1ms);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0][3], 0x09);
  EXPECT_EQ(answers[1][3], 0x0E);
}

TEST(SimAdapter, AcceptsAnyChunkingAndSkipsStrayBytes) {
  const Bytes stream = [] {
    Bytes b = {0x00, 0x13, 0xFC, 0x00};  // stray bytes and a frame with no room for a command
    for (const Frame& f : {GetTerminator(), GetBitTiming(), SetTerminator(1), GetTerminator()}) {
      b.insert(b.end(), f.begin(), f.end());
      b.insert(b.end(), 60 - f.size(), 0);  // report padding
    }
    b.insert(b.end(), {0xFC, 0x03, 0x07, 0x07, 0x00});  // unknown category
    return b;
  }();
  std::vector<std::vector<Bytes>> results;
  for (std::size_t chunk : {stream.size(), std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
    SimAdapter sim(Quiet());
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
      sim.Write(std::span(stream).subspan(i, std::min(chunk, stream.size() - i)));
    }
    results.push_back(RunFor(sim));
    EXPECT_EQ(sim.Stats().commands, 4u);
    EXPECT_EQ(sim.Stats().commandsIgnored, 2u);
  }
  const std::vector<Bytes> expected = {Hex({0xFC, 3, 1, 9, 0}), Hex({0xFC, 4, 1, 0x0B, 1, 2}),
                                       Hex({0xFC, 3, 1, 8, 0}), Hex({0xFC, 3, 1, 9, 1})};
  for (const auto& r : results) EXPECT_EQ(r, expected);
}

TEST(SimAdapter, PartialFrameIsDroppedAfterATimeout) {
  SimAdapter sim(Quiet());
  sim.Write(Hex({0xFC, 0x40, 0x01}));  // a frame that never ends
  RunFor(sim, 150ms);
  EXPECT_EQ(Ask(sim, GetTerminator()), std::vector<Bytes>{Hex({0xFC, 3, 1, 9, 0})});
}

TEST(SimAdapter, RandomBytesNeverBreakTheModel) {
  SimAdapter sim;  // with traffic, so that commands and the bus interleave
  SimRandom random(99);
  const std::pair<int, int> commands[] = {{1, 0x03}, {1, 0x05}, {1, 0x08}, {1, 0x0A}, {1, 0x0C},
                                          {1, 0x0D}, {1, 0x10}, {1, 0x20}, {2, 0x01}, {3, 0x01},
                                          {3, 0x02}, {1, 0x09}, {1, 0x07}, {4, 0x01}};
  Bytes chunk;
  for (int round = 0; round < 3000; ++round) {
    chunk.assign(random.Below(40), 0);
    for (auto& b : chunk) b = static_cast<std::uint8_t>(random.Next());
    if (random.Below(2) == 0) {  // a frame of a command with random payload and length
      const auto [category, command] = commands[random.Below(std::size(commands))];
      Frame f = {0xFC, static_cast<std::uint8_t>(2 + random.Below(18)),
                 static_cast<std::uint8_t>(category), static_cast<std::uint8_t>(command)};
      for (int i = 0; i < f[1] - 2; ++i)
        f.push_back(static_cast<std::uint8_t>(random.Below(4) ? random.Below(3) : random.Next()));
      chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(random.Below(chunk.size() + 1)),
                   f.begin(), f.end());
    }
    sim.Write(chunk);
    RunFor(sim, std::chrono::microseconds(random.Below(3000)));
    ASSERT_TRUE(sim.Params().Valid());
  }
  EXPECT_GT(sim.Stats().commands, 500u);
  RunFor(sim, 200ms);
  sim.Write(GetConsoleFormat());
  const auto answers = RunFor(sim, 200ms);
  EXPECT_NE(std::find(answers.begin(), answers.end(),
                      Hex({0xFC, 3, 1, 0x0E, sim.Params().consoleFormat})),
            answers.end());
}

class SimEeprom : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("velqor_sim_" + std::to_string(::getpid()) + "_" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = m_dir / "eeprom.bin";
  }
  void TearDown() override { fs::remove_all(m_dir); }
  SimOptions WithFile() {
    SimOptions o = Quiet();
    o.eepromPath = m_path;
    return o;
  }
  void WriteFile(const Bytes& bytes) {
    std::ofstream(m_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  fs::path m_dir;
  fs::path m_path;
};

TEST_F(SimEeprom, StoredParametersSurviveANewModel) {
  AdapterParams changed;
  {
    SimAdapter sim(WithFile());
    EXPECT_EQ(sim.EepromStatus().status, EepromLoad::Status::NoFile);
    for (const Frame& f : {SetBitTiming(2, 1), SetTerminator(1), SetConsoleFormat(1),
                           SetRxMailbox(Mailbox(5, 1, 1, 0x18FEF100, 0x1FFFFF00))}) {
      sim.Write(f);
    }
    RunFor(sim);
    changed = sim.Params();
    // Parameters not stored are lost with the model.
    EXPECT_EQ(SimAdapter(WithFile()).Params(), AdapterParams::Factory());
    EXPECT_EQ(Ask(sim, StoreParams()), std::vector<Bytes>{Hex({0xFC, 3, 1, 0x10, 0})});
  }
  EXPECT_EQ(fs::file_size(m_path), kEepromImageSize);
  EXPECT_FALSE(fs::exists(m_dir / "eeprom.bin.tmp"));
  SimAdapter again(WithFile());
  EXPECT_EQ(again.EepromStatus().status, EepromLoad::Status::Loaded);
  EXPECT_EQ(again.Params(), changed);
  EXPECT_EQ(Ask(again, GetBitTiming()), std::vector<Bytes>{Hex({0xFC, 4, 1, 0x0B, 2, 1})});
}

TEST_F(SimEeprom, DamagedImagesFallBackToFactorySettings) {
  AdapterParams p = AdapterParams::Factory();
  p.terminator = kTerminatorOff;
  const Bytes good = EncodeEeprom(p);
  Bytes flipped = good;
  flipped[50] ^= 0x01;
  AdapterParams bad = p;
  bad.bitRateIndex = 3;  // a correct checksum over a value the adapter never accepts
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"short", Bytes(good.begin(), good.begin() + 100)},
      {"long",
       [&] {
         Bytes b = good;
         b.push_back(0);
         return b;
       }()},
      {"empty", {}},
      {"flipped bit", flipped},
      {"out of range", EncodeEeprom(bad)},
  };
  for (const auto& [what, bytes] : cases) {
    WriteFile(bytes);
    SimAdapter sim(WithFile());
    EXPECT_EQ(sim.EepromStatus().status, EepromLoad::Status::Invalid) << what;
    EXPECT_NE(sim.EepromStatus().message.find(m_path.string()), std::string::npos) << what;
    EXPECT_EQ(sim.Params(), AdapterParams::Factory()) << what;
  }
  WriteFile(good);
  EXPECT_EQ(SimAdapter(WithFile()).Params(), p);
}

TEST_F(SimEeprom, StoreIntoAMissingFolderFails) {
  SimOptions o = Quiet();
  o.eepromPath = m_dir / "missing" / "eeprom.bin";
  SimAdapter sim(o);
  EXPECT_EQ(Ask(sim, StoreParams()), std::vector<Bytes>{Hex({0xFC, 3, 1, 0x10, 1})});
  EXPECT_NE(sim.StoreError().find("missing"), std::string::npos);
}

}  // namespace
}  // namespace velqor
