#pragma once
// The command line of `velqor`. The program takes no options of its own for the real adapter;
// these are for running it against the simulated one, plus --help. Qt's own options
// (-platform, -style, ...) are left for Qt.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/simulated_adapter.h"

namespace velqor {

struct CommandLine {
  bool help = false;
  bool simulate = false;
  SimulationOptions sim;
  // --lang: "ja", "en" or "auto" (see app/ui_language.h); empty when not given.
  std::string language;
};

// What `velqor --help` prints.
extern const char kVelqorUsage[];

// `args` without the program name. Nothing when an argument is wrong; `error` then says which
// and why.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// When Qt would find no display to open its window on (no DISPLAY or WAYLAND_DISPLAY, no
// platform chosen through QT_QPA_PLATFORM or -platform), the hint to print instead of Qt's
// abort; nothing otherwise. `environment` holds the variables that are set.
std::optional<std::string> MissingDisplayHint(const std::map<std::string, std::string>& environment,
                                              const std::vector<std::string>& args);

}  // namespace velqor
