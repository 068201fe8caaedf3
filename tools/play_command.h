#pragma once
// `velqor-cli play FILE`: a recorded log sent onto the bus through the adapter.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kPlayUsage[];

// Exit status: 0 every frame sent, 1 the adapter went away, 2 bad arguments, a log that cannot
// be read or is malformed, or an adapter that cannot be found or opened, 3 some frames failed.
int RunPlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progressToTerminal = false);

}  // namespace velqor::cli
