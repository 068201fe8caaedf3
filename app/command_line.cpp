#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace velqor {

const char kVelqorUsage[] =
    "Usage: velqor [options]\n"
    "\n"
    "Velqor for the USB CAN adapter: the adapter's HID device and COM port are opened when the\n"
    "connect switch is pressed. Settings (Velqor.INI) and data logs live in the working\n"
    "directory.\n"
    "\n"
    "Options:\n"
    "  --simulate             run against a simulated adapter in this process instead of the\n"
    "                         real one: its USB side answers every command, every COM number\n"
    "                         not mapped in [PORTS] of Velqor.INI is its serial port, and its\n"
    "                         EEPROM is the file VelqorSim.eeprom in the working directory\n"
    "  --sim-flood RATE[,IDS]\n"
    "                         (with --simulate) RATE more frames a second on the simulated bus\n"
    "                         (as many as a 1 Mbit/s bus carries at most), with IDS distinct\n"
    "                         identifiers (default 1000; beyond 2048 they are extended)\n"
    "  --sim-unacknowledged   (with --simulate) the adapter alone on the bus: nobody\n"
    "                         acknowledges its frames and no other node sends\n"
    "  --sim-errors           (with --simulate) bus errors now and then (every 3 s on average)\n"
    "  --sim-replay FILE      (with --simulate) a recorded log (.log .asc .blf .csv .txt) as the\n"
    "                         bus traffic instead of the vehicle's: its frames at their\n"
    "                         recorded intervals, from the start again when it ends\n"
    "  --lang ja|en|auto      the language of the windows: ja the program's own texts, en\n"
    "                         English; auto (the default, or [OPTION] LANGUAGE of\n"
    "                         Velqor.INI) English when the desktop's language is English\n"
    "  -h, --help             this text\n"
    "\n"
    "Qt's own options (-platform offscreen, -style NAME, ...) are passed to Qt.\n"
    "SIGINT and SIGTERM close the window as its close box does: settings saved, log and links\n"
    "closed.\n";

namespace {

// Qt's options, as QGuiApplication and QApplication take them (with one dash or two).
const std::set<std::string, std::less<>> kQtOptionsWithValue = {
    "platform",      "platformpluginpath",
    "platformtheme", "plugin",
    "display",       "geometry",
    "style",         "stylesheet",
    "session",       "qwindowgeometry",
    "qwindowtitle",  "qwindowicon",
    "name",          "title",
    "qmljsdebugger"};
const std::set<std::string, std::less<>> kQtFlags = {"reverse", "widgetcount", "nograb",
                                                     "dograb",  "sync",        "testability"};

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool ParseFlood(const std::string& text, FloodOptions& flood, std::string& error) {
  const std::size_t comma = text.find(',');
  const std::string_view rateText = std::string_view(text).substr(0, comma);
  double rate = 0;
  if (!ParseNumber(rateText, rate) || !(rate > 0) || rate > 1e6) {
    error = "--sim-flood needs a rate of frames a second above 0 and at most 1000000, got '" +
            std::string(rateText) + "'";
    return false;
  }
  std::uint32_t ids = 1000;
  if (comma != std::string::npos) {
    const std::string_view idsText = std::string_view(text).substr(comma + 1);
    if (!ParseNumber(idsText, ids) || ids < 1 || ids > 1'000'000) {
      error = "--sim-flood RATE,IDS needs IDS from 1 to 1000000 distinct identifiers, got '" +
              std::string(idsText) + "'";
      return false;
    }
  }
  flood.framesPerSecond = rate;
  flood.identifiers = ids;
  flood.dlc = 8;
  flood.busLimited = true;
  return true;
}

// The name of a Qt option without its dashes, or empty when `arg` is not one.
std::string QtOptionName(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return {};
  std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
  if (const std::size_t eq = name.find('='); eq != std::string::npos) name.resize(eq);
  return kQtOptionsWithValue.count(name) || kQtFlags.count(name) ? name : std::string();
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine cl;
  std::vector<std::string> simOnly;  // simulation options given, for the check at the end
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      cl.help = true;
    } else if (a == "--simulate") {
      cl.simulate = true;
    } else if (a == "--sim-unacknowledged") {
      cl.sim.unacknowledged = true;
      simOnly.push_back(a);
    } else if (a == "--sim-errors") {
      cl.sim.errorInterval = std::chrono::seconds(3);
      simOnly.push_back(a);
    } else if (a == "--sim-flood" || a.starts_with("--sim-flood=")) {
      std::string value;
      if (a.size() > 11) {
        value = a.substr(12);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "--sim-flood needs RATE[,IDS], e.g. --sim-flood 5000,200";
        return std::nullopt;
      }
      if (!ParseFlood(value, cl.sim.flood, error)) return std::nullopt;
      simOnly.push_back("--sim-flood");
    } else if (a == "--sim-replay" || a.starts_with("--sim-replay=")) {
      if (a.size() > 12) {
        cl.sim.replayLog = a.substr(13);
      } else if (i + 1 < args.size()) {
        cl.sim.replayLog = args[++i];
      } else {
        error = "--sim-replay needs a log file (.log .asc .blf .csv .txt)";
        return std::nullopt;
      }
      if (cl.sim.replayLog.empty()) {
        error = "--sim-replay needs a log file (.log .asc .blf .csv .txt)";
        return std::nullopt;
      }
      simOnly.push_back("--sim-replay");
    } else if (a == "--lang" || a.starts_with("--lang=")) {
      if (a.size() > 6) {
        cl.language = a.substr(7);
      } else if (i + 1 < args.size()) {
        cl.language = args[++i];
      }
      if (cl.language != "ja" && cl.language != "en" && cl.language != "auto") {
        error = "--lang needs ja, en or auto, got '" + cl.language + "'";
        return std::nullopt;
      }
    } else if (const std::string qt = QtOptionName(a); !qt.empty()) {
      // Qt's; a value-taking option written "-style fusion" takes the next argument along.
      if (kQtOptionsWithValue.count(qt) && a.find('=') == std::string::npos) ++i;
    } else {
      error = "unknown argument '" + a + "' (velqor --help lists the options)";
      return std::nullopt;
    }
  }
  if (!cl.simulate && !simOnly.empty() && !cl.help) {
    error = simOnly.front() + " works only with --simulate";
    return std::nullopt;
  }
  return cl;
}

std::optional<std::string> MissingDisplayHint(const std::map<std::string, std::string>& environment,
                                              const std::vector<std::string>& args) {
  auto set = [&environment](const char* name) {
    const auto it = environment.find(name);
    return it != environment.end() && !it->second.empty();
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM")) return std::nullopt;
  const bool platformChosen = std::any_of(
      args.begin(), args.end(), [](const std::string& a) { return QtOptionName(a) == "platform"; });
  if (platformChosen) return std::nullopt;
  return std::string(
      "velqor: there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY "
      "is set).\n"
      "  On a machine without a screen, run it on a virtual one:  xvfb-run -a velqor ...\n"
      "  or without any window (for scripted runs):  QT_QPA_PLATFORM=offscreen velqor ...\n"
      "  Over ssh, log in with X forwarding:  ssh -X ...\n");
}

}  // namespace velqor
