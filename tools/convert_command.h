#pragma once
// `velqor-cli convert IN OUT`: a log from one format into another.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kConvertUsage[];

// Exit status: 0 converted, 1 the output could not be written (disk full, ...), 2 bad
// arguments, an input that cannot be read or is malformed, or an output that cannot be made.
// `progressToTerminal`: a percentage on `err` while it runs (when `err` is a terminal).
int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool progressToTerminal = false);

}  // namespace velqor::cli
