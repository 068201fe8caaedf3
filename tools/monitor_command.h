#pragma once
// `velqor-cli monitor`: the adapter's messages as they arrive, received frames in candump's
// log style, and at the end how many frames were received and lost.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kMonitorUsage[];

// Exit status: 0 done, 1 the adapter went away while monitoring, 2 bad arguments or an
// adapter that cannot be found or opened.
int RunMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velqor::cli
