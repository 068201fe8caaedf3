#include "trace/trace_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/trace/trace_test_util.h"
#include "trace/trace_recorder.h"
#include "trace/trace_view.h"

namespace velqor {
namespace {

using test::TraceFrame;

// One row of each sort the filter tells apart.
struct Rows {
  TraceStore store{32};
  Rows() {
    store.append(TraceFrame(1, 0x123, {0x11, 0x22, 0x34}));                 // 0 rx std
    store.append(TraceFrame(2, 0x7E8, {0x11, 0x00}));                       // 1 rx std, 2 bytes
    store.append(TraceFrame(3, 0x18DA00F1, {0x02, 0x10, 0x03}, 0, true));   // 2 rx ext
    store.append(TraceFrame(4, 0x18DA33F1, {0x11, 0xAB, 0x3F}, 0, true));   // 3 rx ext
    store.append(TraceFrame(5, 0x123, {0x11, 0x99, 0x30}, CanFrame::kTx));  // 4 tx std
    store.appendBusError(6, 0, 1, {6, 6});                                  // 5 err
    store.addEvent(TraceRowKind::Connected, {7, 7});                        // 6 evt
    store.append(TraceFrame(8, 0x7FF, {}, CanFrame::kRtr));                 // 7 rx remote
  }
};

TEST(TraceFilter, SelectsRowsByIdentifierRangeMaskLengthDirectionKindAndData) {
  const Rows rows;
  const struct {
    const char* text;
    std::vector<int> shown;
  } cases[] = {
      {"", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"123", {0, 4}},
      {"0x123, 7e8", {0, 1, 4}},
      {"700-7FF", {1, 7}},
      {"18DA00F1/1FFF00FF", {2, 3}},  // the mask ignores the third byte
      {"18DA00F1/1FFFFFFF", {2}},
      {"0/0", {0, 1, 2, 3, 4, 7}},   // a mask of no bits: any identifier (frames only)
      {"!123", {1, 2, 3, 5, 6, 7}},  // leaving frames out keeps the other rows
      {"!700-7FF !18DA00F1 rx", {0, 3}},
      {"ext", {2, 3}},
      {"STD tx", {4}},
      {"rx std", {0, 1, 7}},
      {"err", {5}},
      {"evt err", {5, 6}},
      {"tx err", {4, 5}},
      {"#11 ?? 3?", {0, 3, 4}},
      {"#11??3?", {0, 3, 4}},
      {"#11.??.3?", {0, 3, 4}},
      {"#11", {0, 1, 3, 4}},
      {"#11 ?? ?? ??", {}},  // longer than every frame's data
      {"#", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"123 rx #11 ?? 3?", {0}},
  };
  for (const auto& c : cases) {
    const TraceFilter::Parse p = TraceFilter::parse(c.text);
    ASSERT_TRUE(p.ok) << c.text << ": " << p.error;
    std::vector<int> shown;
    for (std::uint64_t seq = 0; seq < rows.store.size(); ++seq) {
      if (p.filter.matches(rows.store.at(seq))) shown.push_back(static_cast<int>(seq));
    }
    EXPECT_EQ(shown, c.shown) << c.text;
  }
}

TEST(TraceFilter, SaysWhereALineIsNotAFilter) {
  const struct {
    const char* text;
    std::size_t at;
    const char* says;
  } cases[] = {
      {"123 12G", 4, "'12G' is neither a hexadecimal identifier"},
      {"7F0-7E0", 0, "the range ends before it starts"},
      {"100-", 0, "is not a range"},
      {"1/", 0, "is not an identifier/mask"},
      {"20000000", 0, "at most 29 bits"},
      {"!", 0, "'!'"},
      {"#11 2", 5, "ends in a byte of one digit"},
      {"#1 22", 2, "a byte of one digit"},
      {"#11 zz", 4, "'z' in the data pattern"},
      {"#00 11 22 33 44 55 66 77 88", 25, "longer than 8 bytes"},
  };
  for (const auto& c : cases) {
    const TraceFilter::Parse p = TraceFilter::parse(c.text);
    EXPECT_FALSE(p.ok) << c.text;
    EXPECT_EQ(p.errorAt, c.at) << c.text;
    EXPECT_NE(p.error.find(c.says), std::string::npos) << c.text << ": " << p.error;
  }
}

std::vector<std::uint32_t> Ids(const TraceView& view, const TraceStore& store) {
  std::vector<std::uint32_t> ids;
  for (std::size_t row = 0; row < view.count(); ++row) ids.push_back(store.at(view.seqAt(row)).id);
  return ids;
}

TEST(TraceView, FiltersTheWholeStoreInSlicesAndFollowsItAcrossTheWrap) {
  TraceRecorder recorder(10);
  const auto add = [&recorder](std::uint32_t id) {
    const CanFrame f = TraceFrame(id, id);
    recorder.OnFrames(std::span(&f, 1));
  };
  for (std::uint32_t id = 1; id <= 8; ++id) add(id);
  recorder.setFilter(TraceFilter::parse("2-3 6-20").filter);
  EXPECT_TRUE(recorder.view().scanning());
  EXPECT_FALSE(recorder.scan(4));  // rows 1..4 looked at
  EXPECT_EQ(Ids(recorder.view(), recorder.store()), (std::vector<std::uint32_t>{2, 3}));
  add(9);  // arrives while the scan is under way: the scan reaches it
  EXPECT_TRUE(recorder.scan(100));
  EXPECT_EQ(Ids(recorder.view(), recorder.store()), (std::vector<std::uint32_t>{2, 3, 6, 7, 8, 9}));

  // Rows 10..13 push 1..3 out of the ring of 10: 2 and 3 leave the front of the view.
  const std::uint64_t goneBefore = recorder.rowsGoneFromView();
  for (std::uint32_t id = 10; id <= 13; ++id) add(id);
  EXPECT_EQ(recorder.rowsGoneFromView() - goneBefore, 2u);
  EXPECT_EQ(Ids(recorder.view(), recorder.store()),
            (std::vector<std::uint32_t>{6, 7, 8, 9, 10, 11, 12, 13}));
  // Many turns of the ring later only what is kept is shown.
  for (std::uint32_t id = 14; id <= 45; ++id) add(id);
  EXPECT_EQ(Ids(recorder.view(), recorder.store()), (std::vector<std::uint32_t>{}));
  for (std::uint32_t id = 15; id <= 17; ++id) add(id);
  EXPECT_EQ(Ids(recorder.view(), recorder.store()), (std::vector<std::uint32_t>{15, 16, 17}));

  const TraceView& view = recorder.view();
  const TraceFilter sixteen = TraceFilter::parse("10-10 16").filter;
  EXPECT_EQ(view.find(sixteen, 0, true), std::optional<std::size_t>(1));
  EXPECT_EQ(view.find(sixteen, 2, true), std::nullopt);
  EXPECT_EQ(view.find(sixteen, 2, false), std::optional<std::size_t>(1));
  EXPECT_EQ(view.lowerBound(view.seqAt(2)), 2u);

  recorder.clear();
  EXPECT_EQ(view.count(), 0u);
  recorder.setFilter(TraceFilter());
  add(99);
  EXPECT_EQ(Ids(view, recorder.store()), (std::vector<std::uint32_t>{99}));
}

}  // namespace
}  // namespace velqor
