#include "transmit/send_path.h"

#include <gtest/gtest.h>

#include "fake_link.h"
#include "link/protocol.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Owners = std::vector<SendPath::Owner>;

// SendCanFrame, ide 0, identifier 0x123, DLC 1, data 11.
const Bytes kSend123 = {0xFC, 0x10, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x23,
                        0x01, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// SendCanFrame, identifier 0x0FC, DLC 1, data FC: start bytes inside the payload.
const Bytes kSendFC = {0xFC, 0x10, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFC,
                       0x01, 0xFC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// SendCanFrame, ide 0, identifier 0x800: beyond 11 bits.
const Bytes kSendTooBig = {0xFC, 0x10, 0x02, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kGetTerminator = {0xFC, 0x02, 0x01, 0x09};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(SendPath, MatchesAnswersToTheSendCanFramesOfEachBlockInWireOrder) {
  test::RecordingLink link;
  SendPath path(link);
  // Padding, another command and start bytes inside a payload do not count as commands.
  const Bytes owned = Join({{0x00, 0x37}, kSendFC, kGetTerminator, kSend123, {0, 0, 0}});
  ASSERT_TRUE(path.SendOwned(owned, Owners{7, 8}));
  ASSERT_TRUE(path.SendToDevice(kSend123));  // the page's one-shot SEND
  ASSERT_TRUE(path.SendOwned(kSend123, Owners{9}));
  ASSERT_EQ(link.blocks.size(), 3u);
  EXPECT_EQ(link.blocks[0], owned);

  EXPECT_EQ(path.TakeAnswer(kResultOk), 7u);
  EXPECT_EQ(path.TakeAnswer(kResultFailed), 8u);
  EXPECT_EQ(path.TakeAnswer(kResultOk), SendPath::kNobody);
  EXPECT_EQ(path.TakeAnswer(kResultOk), 9u);
  EXPECT_EQ(path.TakeAnswer(kResultOk), std::nullopt);
  EXPECT_EQ(path.GetCounters().unmatched, 1u);
}

TEST(SendPath, OutOfRangeAnswersOvertakeFramesWaitingForTheBus) {
  test::RecordingLink link;
  SendPath path(link);
  ASSERT_TRUE(path.SendOwned(kSend123, Owners{1}));
  ASSERT_TRUE(path.SendOwned(kSendTooBig, Owners{2}));
  ASSERT_TRUE(path.SendOwned(kSend123, Owners{3}));
  // The adapter rejects the request out of range at once; the others follow from the bus.
  EXPECT_EQ(path.TakeAnswer(kResultOutOfRange), 2u);
  EXPECT_EQ(path.TakeAnswer(kResultOk), 1u);
  EXPECT_EQ(path.TakeAnswer(kResultFailed), 3u);
}

TEST(SendPath, NotesNothingForARefusedWriteAndForgetsOnRequest) {
  test::RecordingLink link;
  SendPath path(link);
  link.refuse = true;
  EXPECT_FALSE(path.SendOwned(kSend123, Owners{1}));
  link.refuse = false;
  ASSERT_TRUE(path.SendOwned(Join({kSend123, kSend123}), Owners{2, 3}));
  EXPECT_EQ(path.GetCounters().pending, 2u);
  path.Forget();
  EXPECT_EQ(path.TakeAnswer(kResultOk), std::nullopt);
  EXPECT_EQ(path.GetCounters().forgotten, 2u);
}

}  // namespace
}  // namespace velqor
