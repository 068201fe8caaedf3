#include "trace/trace_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/protocol.h"
#include "tests/trace/trace_test_util.h"
#include "trace/trace_recorder.h"
#include "trace/trace_text.h"

namespace velqor {
namespace {

using test::TraceFrame;

TEST(TraceStore, WrapsAroundKeepingTheNewestAndCountingTheDiscarded) {
  TraceStore store(4);
  for (std::uint32_t id = 0; id < 10; ++id) store.append(TraceFrame(id * 1000, id));
  EXPECT_EQ(store.size(), 4u);
  EXPECT_EQ(store.discarded(), 6u);
  ASSERT_EQ(store.firstSeq(), 6u);
  for (std::uint64_t seq = 6; seq < 10; ++seq) EXPECT_EQ(store.at(seq).id, seq);

  store.clear();
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.discarded(), 0u);
  store.append(TraceFrame(20000, 0x55));
  EXPECT_EQ(store.firstSeq(), 10u);  // seqs go on: nothing that held one points elsewhere
  EXPECT_EQ(store.at(10).id, 0x55u);

  TraceStore none(0);  // capacity 0: no trace at all
  none.append(TraceFrame(1, 1));
  EXPECT_TRUE(none.empty());
}

TEST(TraceStore, KeepsBothClocksToTheMicrosecondAndCountsFromTheConnection) {
  TraceStore store(16);
  const std::int64_t offset = 1'700'000'000'123'456;
  store.append(TraceFrame(5'000'000, 1, {}, 0, false, offset));
  store.append(TraceFrame(5'000'100, 2, {}, 0, false, offset + 7));  // slewed a little
  store.addEvent(TraceRowKind::Connected, {6'000'000, 6'000'000 + offset});
  store.append(TraceFrame(6'000'250, 3, {}, 0, false, offset - 40'000));         // a clock set back
  store.append(TraceFrame(9'000'000, 4, {}, 0, false, offset + 3'600'000'000));  // an hour on
  const struct {
    std::int64_t wall;
    std::int64_t relative;
  } rows[] = {{5'000'000 + offset, 0},  // before any connection: from the first row
              {5'000'107 + offset, 100},
              {6'000'000 + offset, 0},
              {6'000'250 + offset - 40'000, 250},
              {9'000'000 + offset + 3'600'000'000, 3'000'000}};
  for (std::uint64_t seq = 0; seq < 5; ++seq) {
    EXPECT_EQ(store.wallUs(seq), rows[seq].wall) << seq;
    EXPECT_EQ(store.relativeUs(seq), rows[seq].relative) << seq;
  }
  store.clear();  // the connection stays the origin
  store.append(TraceFrame(7'500'000, 5, {}, 0, false, offset));
  EXPECT_EQ(store.relativeUs(store.firstSeq()), 1'500'000);
  EXPECT_EQ(store.wallUs(store.firstSeq()), 7'500'000 + offset);
}

TEST(TraceRecorder, PutsBusErrorsAndFailedSendsAmongTheFramesInArrivalOrder) {
  TraceRecorder recorder(64);
  const CanFrame rx = TraceFrame(1000, 0x123, {0x11, 0x22}, 0, false);
  const CanFrame tx = TraceFrame(2000, 0x18DA10F1, {0x01}, CanFrame::kTx, true);
  recorder.addEvent(TraceRowKind::Connected, {500, 500});
  recorder.OnFrames(std::span(&rx, 1));
  recorder.OnFrames(std::span(&tx, 1));
  DeviceMessage m;
  m.Data[0] = 1;  // transmission failed
  recorder.OnDeviceMessage(MsgCode::SendResult, m, {2500, 2500});
  m.Data[0] = 0;  // sent: no row
  recorder.OnDeviceMessage(MsgCode::SendResult, m, {2600, 2600});
  m.Data[0] = 6;  // ACK_ERROR, TEC 8, REC 0
  m.Data[1] = 8;
  m.Data[2] = 0;
  recorder.OnDeviceMessage(MsgCode::BusError, m, {3000, 3000});
  recorder.OnDeviceMessage(MsgCode::CaptureState, m, {3100, 3100});  // not for the trace
  EXPECT_EQ(recorder.errorFramesSinceConnect(), 1u);

  const TraceStore& s = recorder.store();
  ASSERT_EQ(s.size(), 5u);
  const struct {
    TraceRowKind kind;
    const char* direction;
    const char* id;
    const char* data;
    std::int64_t relative;
  } expected[] = {
      {TraceRowKind::Connected, "", "", "Connected", 0},
      {TraceRowKind::Can, "Rx", "123", "11 22", 500},
      {TraceRowKind::Can, "Tx", "18DA10F1", "01", 1500},
      {TraceRowKind::SendFailed, "Error", "", "Send failed: CAN fail!", 2000},
      {TraceRowKind::BusError, "Error", "", "Bus error: ACK_ERROR (TEC 8, REC 0)", 2500},
  };
  for (std::uint64_t seq = 0; seq < 5; ++seq) {
    const TraceRecord& r = s.at(seq);
    EXPECT_EQ(r.kind(), expected[seq].kind) << seq;
    EXPECT_EQ(TraceDirectionText(r), expected[seq].direction) << seq;
    EXPECT_EQ(TraceIdText(r), expected[seq].id) << seq;
    EXPECT_EQ(TraceDataText(r), expected[seq].data) << seq;
    EXPECT_EQ(TraceRelativeTimeText(s.relativeUs(seq)),
              TraceRelativeTimeText(expected[seq].relative));
  }
  recorder.addEvent(TraceRowKind::Connected, {4000, 4000});
  EXPECT_EQ(recorder.errorFramesSinceConnect(), 0u);
}

TEST(TraceStore, GivesRowsBackAsFramesAndCandumpLines) {
  TraceStore store(8);
  const std::int64_t wall0 = 1'700'000'000'000'000;
  CanFrame long8 = TraceFrame(1, 0x7FF, {1, 2, 3, 4, 5, 6, 7, 8}, CanFrame::kTx, false, wall0);
  long8.dlc = 12;  // as received: kept
  const CanFrame remote = TraceFrame(2, 0x1ABCDEF0 & 0x1FFFFFFF, {}, CanFrame::kRtr, true, wall0);
  store.append(long8);
  store.append(remote);
  store.appendBusError(1, 5, 7, {3, wall0 + 3});  // CRC_ERROR
  store.addEvent(TraceRowKind::AdapterLost, {4, wall0 + 4});

  EXPECT_EQ(store.asFrame(0), long8);
  EXPECT_EQ(store.asFrame(1), remote);
  const std::optional<CanFrame> error = store.asFrame(2);
  ASSERT_TRUE(error.has_value());
  EXPECT_TRUE(error->error());
  // SocketCAN: bus error 0x80 | protocol violation 0x08 | counters 0x200; the counters in
  // data bytes 6 and 7; a CRC sequence error (0x08) in byte 3.
  EXPECT_EQ(error->id, 0x288u);
  EXPECT_EQ(error->data[3], 0x08);
  EXPECT_EQ(error->data[6], 5);
  EXPECT_EQ(error->data[7], 7);
  EXPECT_FALSE(store.asFrame(3).has_value());

  std::string text;
  for (std::uint64_t seq = 0; seq < 4; ++seq) AppendTraceCandumpLine(text, store, seq);
  EXPECT_EQ(text,
            "(1700000000.000001) can0 7FF#0102030405060708 T\n"
            "(1700000000.000002) can0 1ABCDEF0#R\n"
            "(1700000000.000003) can0 20000288#0000000800000507\n"
            "# (1700000000.000004) Adapter lost\n");
  EXPECT_EQ(TraceRelativeTimeText(-1'500'001), "-1.500001");
  EXPECT_EQ(TraceDlcText(store.at(0)), "12");
  EXPECT_EQ(TraceDataText(store.at(1)), "Remote");
}

}  // namespace
}  // namespace velqor
