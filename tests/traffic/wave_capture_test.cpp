#include "traffic/wave_capture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/recorders.h"

namespace velqor {
namespace {

using ::testing::ElementsAre;
using velqor::testing::Block;
using velqor::testing::RecordingBoxes;
using velqor::testing::RecordingSender;

const Block kSingle = {0xFC, 0x03, 0x03, 0x02, 0x01};
const Block kContinue = {0xFC, 0x03, 0x03, 0x02, 0x02};
const Block kStop = {0xFC, 0x03, 0x03, 0x02, 0x00};

Block Trigger(std::uint8_t port, std::uint8_t level) {
  return {0xFC, 0x04, 0x03, 0x01, port, level};
}

TEST(ParseFloatText, ReadsDecimalTexts) {
  struct Case {
    const char* text;
    long double value;
  };
  for (const Case& c : std::vector<Case>{{"2.5", 2.5L},
                                         {"3", 3.0L},
                                         {"  3.0\t", 3.0L},
                                         {"+1.5", 1.5L},
                                         {"-0.5", -0.5L},
                                         {".5", 0.5L},
                                         {"5.", 5.0L},
                                         {"1e1", 10.0L},
                                         {"25E-1", 2.5L},
                                         {"007", 7.0L}}) {
    const auto value = ParseFloatText(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
  }
}

TEST(ParseFloatText, RejectsTextsThatAreNotANumber) {
  for (const char* text : {"", " ", ".", "1.2.3", "2,5", "1e", "e5", "-", "+.", "abc", "1 2",
                           "0x10", "inf", "nan", "2.5V", "--1", "1e99999"}) {
    EXPECT_FALSE(ParseFloatText(text).has_value()) << '"' << text << '"';
  }
}

TEST(TrackPositionForLevel, TruncatesTenthsAndHoldsTheTrackRange) {
  // "2.3" read in long double gives 23, not the 22 of a double product.
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("2.3")), 23);
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("3.3")), 33);
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("0.09")), 0);
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("-1")), 0);
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("30")), 50);
  EXPECT_EQ(TrackPositionForLevel(*ParseFloatText("1e4000")), 50);
}

class WaveCaptureTest : public ::testing::Test {
 protected:
  WaveCaptureTest() : capture(sender, boxes) {
    capture.loadTriggerLevel(2.5f);  // as the main window loads it, before the terminal exists
    capture.setTerminalExists(true);
  }

  RecordingSender sender;
  RecordingBoxes boxes;
  WaveCapture capture;
};

TEST_F(WaveCaptureTest, LoadingBeforeTheTerminalExistsSendsNothing) {
  RecordingSender quiet;
  WaveCapture fresh(quiet, boxes);
  fresh.loadTriggerLevel(2.2f);
  EXPECT_TRUE(quiet.blocks().empty());
  EXPECT_EQ(fresh.trackPosition(), 22);
  EXPECT_EQ(fresh.TriggerLevel(), 2.2f);
  EXPECT_EQ(fresh.triggerText(), "2.20000004768372");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WaveCaptureTest, TrackBarAt33RewritesTheTextAndSendsOnce) {
  capture.setCapturePort(1);
  capture.setTrackPosition(33);
  EXPECT_EQ(capture.triggerText(), "3.3");
  EXPECT_EQ(capture.TriggerLevel(), static_cast<float>(33 * 0.1));
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(1, 0x21)));
}

TEST_F(WaveCaptureTest, TypingAWholeNumberSendsTwiceThroughTheNestedHandler) {
  capture.setTriggerText("3");
  EXPECT_EQ(capture.trackPosition(), 30);
  EXPECT_EQ(capture.triggerText(), "3.0");
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(2, 30), Trigger(2, 30)));
}

TEST_F(WaveCaptureTest, TextAtTheCurrentPositionIsNotRewrittenAndSentOnce) {
  capture.setTriggerText("2.59");
  EXPECT_EQ(capture.triggerText(), "2.59");
  EXPECT_EQ(capture.trackPosition(), 25);
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(2, 25)));
}

TEST_F(WaveCaptureTest, TextAboveFiveWithTheBarAt50KeepsTheTextAndSendsTheLowByte) {
  capture.setTrackPosition(50);
  ASSERT_EQ(capture.triggerText(), "5.0");
  sender.clear();
  capture.setTriggerText("30");
  EXPECT_EQ(capture.triggerText(), "30");
  EXPECT_EQ(capture.trackPosition(), 50);
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(2, 44)));  // 300 & 0xFF
}

TEST_F(WaveCaptureTest, TextAboveFiveMovesTheBarTo50AndIsRewritten) {
  capture.setTriggerText("7");
  EXPECT_EQ(capture.trackPosition(), 50);
  EXPECT_EQ(capture.triggerText(), "5.0");
  EXPECT_EQ(capture.TriggerLevel(), 5.0f);
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(2, 50), Trigger(2, 50)));
}

TEST_F(WaveCaptureTest, TextThatIsNotANumberShowsTheErrorAndSendsNothing) {
  for (const char* text : {"", ".", "1.2.3"}) {
    RecordingBoxes errors;
    RecordingSender quiet;
    WaveCapture page(quiet, errors);
    page.loadTriggerLevel(2.5f);
    page.setTerminalExists(true);
    page.setTriggerText(text);
    EXPECT_EQ(page.trackPosition(), 25) << text;
    EXPECT_TRUE(quiet.blocks().empty()) << text;
    ASSERT_EQ(errors.shown().size(), 1u) << text;
    EXPECT_EQ(errors.shown()[0].text, std::string("'") + text + "' は浮動小数点数ではありません");
    EXPECT_EQ(errors.shown()[0].caption, "Velqor");
    EXPECT_EQ(errors.shown()[0].icon, MessageBoxes::Icon::Error);
  }
}

TEST_F(WaveCaptureTest, SingleAndContinueSendTheTriggerFirst) {
  capture.setCapturePort(1);
  capture.BtnSingleClick();
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(1, 0x19), kSingle));
  sender.clear();
  capture.BtnContinueClick();
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(1, 0x19), kContinue));
}

TEST_F(WaveCaptureTest, StopSendsOnlyTheCaptureMode) {
  capture.BtnStopClick();
  EXPECT_THAT(sender.blocks(), ElementsAre(kStop));
}

TEST_F(WaveCaptureTest, CaptureButtonsSendNothingWhenTheTextIsNotANumber) {
  capture.setTriggerText("1.2.3");
  sender.clear();
  capture.BtnSingleClick();
  capture.BtnContinueClick();
  EXPECT_TRUE(sender.blocks().empty());
  EXPECT_EQ(boxes.shown().size(), 3u);
}

TEST_F(WaveCaptureTest, ChoosingAPortSendsNothingUntilTheNextTrigger) {
  capture.setCapturePort(0);
  EXPECT_TRUE(sender.blocks().empty());
  capture.BtnSingleClick();
  EXPECT_THAT(sender.blocks(), ElementsAre(Trigger(0, 25), kSingle));
}

TEST_F(WaveCaptureTest, AViewThatEchoesItsControlsDoesNotRunTheHandlersTwice) {
  // A widget that sets its control from the callback gets its change signal back at once,
  // with the value the logic already holds.
  std::vector<std::string> texts;
  std::vector<int> positions;
  capture.setView({[&](const std::string& t) {
                     texts.push_back(t);
                     capture.setTriggerText(t);
                   },
                   [&](int p) {
                     positions.push_back(p);
                     capture.setTrackPosition(p);
                   }});
  capture.setTriggerText("3");
  EXPECT_THAT(texts, ElementsAre("3", "3.0"));
  EXPECT_THAT(positions, ElementsAre(30));
  EXPECT_EQ(sender.blocks().size(), 2u);
}

TEST(EditTriggerlvKeyPress, TakesDigitsPointAndBackspaceOnly) {
  for (char32_t c : std::u32string_view(U"0123456789.\b")) {
    EXPECT_TRUE(WaveCapture::EditTriggerlvKeyPress(c)) << static_cast<unsigned>(c);
  }
  for (char32_t c : {U'a', U'e', U'-', U'+', U',', U' ', U'\r', U'\t', U'５'}) {
    EXPECT_FALSE(WaveCapture::EditTriggerlvKeyPress(c)) << static_cast<unsigned>(c);
  }
}

TEST(PlotWavePoints, FlatTraceAtHalfScaleEndsAt99point5) {
  WaveSampleArray samples;
  samples.fill(128.0f);
  const auto points = PlotWavePoints(500, samples);
  for (const WavePoint& p : points) EXPECT_EQ(p.y, 2.5);
  EXPECT_EQ(points[0].x, 0.0f);
  EXPECT_EQ(points[1].x, 0.5f);
  EXPECT_EQ(points[199].x, 99.5f);
}

TEST(PlotWavePoints, IntervalZeroPutsEveryPointAtZero) {
  WaveSampleArray samples{};
  const auto points = PlotWavePoints(0, samples);
  for (const WavePoint& p : points) EXPECT_EQ(p.x, 0.0f);
}

TEST(PlotWavePoints, ScalesCountsToVoltsAndAccumulatesInSinglePrecision) {
  WaveSampleArray samples{};
  samples[1] = 255.0f;
  const auto points = PlotWavePoints(333, samples);
  EXPECT_EQ(points[0].y, 0.0);
  EXPECT_EQ(points[1].y, 4.98046875);
  // The step 0.333 us added in single precision drifts from i x 0.333: 33.30001449584961 after
  // 100 steps, 66.26702880859375 after 199 (worked out offline in exact arithmetic, rounded
  // to single precision after each addition); 199 times the float step would be
  // 66.26699829101562.
  EXPECT_EQ(points[100].x, 0x1.0a666ep+5f);
  EXPECT_EQ(points[199].x, 0x1.09117p+6f);
}

}  // namespace
}  // namespace velqor
