#pragma once
// `velqor-cli slcan`: the adapter (or the simulated one) served as an slcan (LAWICEL) device
// on a pseudo-terminal until SIGINT or SIGTERM.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kSlcanUsage[];

// Prints the pseudo-terminal's path as the first line of `out`, serves, and at the end writes
// on `err` what went each way. Exit status: 0 stopped by a signal, 1 the adapter went away or
// the pseudo-terminal failed, 2 bad arguments, an adapter that cannot be found or opened, or
// a pseudo-terminal or link that cannot be made.
int RunSlcan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velqor::cli
