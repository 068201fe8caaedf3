#include "app/command_line.h"

#include <gtest/gtest.h>

namespace velqor {
namespace {

struct GoodLine {
  const char* name;
  std::vector<std::string> args;
  bool simulate;
  double floodRate;
  std::uint32_t floodIds;
  bool unacknowledged;
  bool errors;
};

class GoodCommandLine : public ::testing::TestWithParam<GoodLine> {};

TEST_P(GoodCommandLine, IsTaken) {
  const GoodLine& c = GetParam();
  std::string error;
  const std::optional<CommandLine> cl = ParseCommandLine(c.args, error);
  ASSERT_TRUE(cl) << error;
  EXPECT_TRUE(error.empty());
  EXPECT_FALSE(cl->help);
  EXPECT_EQ(cl->simulate, c.simulate);
  EXPECT_EQ(cl->sim.flood.framesPerSecond, c.floodRate);
  if (c.floodRate > 0) {
    EXPECT_EQ(cl->sim.flood.identifiers, c.floodIds);
    EXPECT_EQ(cl->sim.flood.dlc, 8);
    EXPECT_TRUE(cl->sim.flood.busLimited);  // the demo flood keeps to what a bus carries
  }
  EXPECT_EQ(cl->sim.unacknowledged, c.unacknowledged);
  EXPECT_EQ(cl->sim.errorInterval.count() > 0, c.errors);
  EXPECT_EQ(cl->sim.eepromPath, std::filesystem::path("VelqorSim.eeprom"));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GoodCommandLine,
    ::testing::Values(GoodLine{"Nothing", {}, false, 0, 0, false, false},
                      GoodLine{"Simulate", {"--simulate"}, true, 0, 0, false, false},
                      GoodLine{"FloodWithIdentifiers",
                               {"--simulate", "--sim-flood", "5000,200"},
                               true,
                               5000,
                               200,
                               false,
                               false},
                      GoodLine{"FloodWithEqualsBeforeSimulate",
                               {"--sim-flood=2.5", "--simulate"},
                               true,
                               2.5,
                               1000,
                               false,
                               false},
                      GoodLine{"EverySimulatorSwitch",
                               {"--simulate", "--sim-unacknowledged", "--sim-errors"},
                               true,
                               0,
                               0,
                               true,
                               true},
                      // Qt's own options go to Qt, with their values.
                      GoodLine{
                          "QtOptions",
                          {"-platform", "offscreen", "--style=fusion", "-reverse", "--simulate"},
                          true,
                          0,
                          0,
                          false,
                          false}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadLine {
  const char* name;
  std::vector<std::string> args;
  const char* errorPart;
};

class BadCommandLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadCommandLine, SaysWhatIsWrong) {
  std::string error;
  EXPECT_FALSE(ParseCommandLine(GetParam().args, error));
  EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadCommandLine,
    ::testing::Values(
        BadLine{"Unknown", {"--simulated"}, "unknown argument '--simulated'"},
        BadLine{"StrayWord", {"COM3"}, "unknown argument 'COM3'"},
        BadLine{"FloodWithoutValue", {"--simulate", "--sim-flood"}, "--sim-flood needs RATE[,IDS]"},
        BadLine{"FloodRateZero", {"--simulate", "--sim-flood", "0"}, "got '0'"},
        BadLine{"FloodRateNotANumber", {"--simulate", "--sim-flood", "fast"}, "got 'fast'"},
        BadLine{"FloodRateTooHigh", {"--simulate", "--sim-flood", "2e6"}, "got '2e6'"},
        BadLine{"FloodNoIdentifiers", {"--simulate", "--sim-flood", "100,0"}, "IDS from 1"},
        BadLine{"FloodIdentifiersNotANumber", {"--simulate", "--sim-flood=100,x"}, "got 'x'"},
        BadLine{
            "SimulatorSwitchAlone", {"--sim-errors"}, "--sim-errors works only with --simulate"},
        BadLine{"ReplayWithoutFile", {"--simulate", "--sim-replay"}, "--sim-replay needs a log"},
        BadLine{"ReplayAlone", {"--sim-replay", "a.log"}, "--sim-replay works only with"},
        BadLine{"LanguageUnknown", {"--lang", "fr"}, "--lang needs ja, en or auto, got 'fr'"},
        BadLine{"LanguageWithoutValue", {"--lang"}, "--lang needs ja, en or auto"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CommandLine, ReplayLogIsTakenWithOrWithoutEquals) {
  std::string error;
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--simulate", "--sim-replay", "a b.log"}, {"--sim-replay=a b.log", "--simulate"}}) {
    const std::optional<CommandLine> cl = ParseCommandLine(args, error);
    ASSERT_TRUE(cl) << error;
    EXPECT_EQ(cl->sim.replayLog, std::filesystem::path("a b.log"));
  }
}

TEST(CommandLine, LanguageIsTakenWithOrWithoutEquals) {
  std::string error;
  EXPECT_EQ(ParseCommandLine({"--lang", "en"}, error)->language, "en");
  EXPECT_EQ(ParseCommandLine({"--lang=ja", "--simulate"}, error)->language, "ja");
  EXPECT_EQ(ParseCommandLine({}, error)->language, "");
}

TEST(CommandLine, HelpIsTakenAndTheUsageNamesEveryOption) {
  std::string error;
  const std::optional<CommandLine> cl = ParseCommandLine({"--help"}, error);
  ASSERT_TRUE(cl);
  EXPECT_TRUE(cl->help);
  EXPECT_TRUE(ParseCommandLine({"-h"}, error)->help);
  const std::string usage = kVelqorUsage;
  for (const char* option : {"--simulate", "--sim-flood RATE[,IDS]", "--sim-unacknowledged",
                             "--sim-errors", "--sim-replay FILE", "--lang ja|en", "--help"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

struct DisplayCase {
  const char* name;
  std::map<std::string, std::string> environment;
  std::vector<std::string> args;
  bool hint;
};

class MissingDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(MissingDisplay, HintOnlyWhenQtWouldFindNoScreen) {
  const DisplayCase& c = GetParam();
  const std::optional<std::string> hint = MissingDisplayHint(c.environment, c.args);
  EXPECT_EQ(hint.has_value(), c.hint);
  if (hint) {
    EXPECT_NE(hint->find("xvfb-run"), std::string::npos);
    EXPECT_NE(hint->find("QT_QPA_PLATFORM=offscreen"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Environments, MissingDisplay,
    ::testing::Values(DisplayCase{"Nothing", {{"HOME", "/root"}}, {}, true},
                      DisplayCase{"EmptyDisplay", {{"DISPLAY", ""}}, {}, true},
                      DisplayCase{"X11", {{"DISPLAY", ":0"}}, {}, false},
                      DisplayCase{"Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, {}, false},
                      DisplayCase{
                          "PlatformVariable", {{"QT_QPA_PLATFORM", "offscreen"}}, {}, false},
                      DisplayCase{"PlatformOption", {}, {"-platform", "offscreen"}, false},
                      DisplayCase{"PlatformOptionWithEquals", {}, {"--platform=vnc"}, false}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace velqor
