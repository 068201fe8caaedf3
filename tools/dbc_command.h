#pragma once
// `velqor-cli dbc FILE...`: what Velqor understands of DBC files, or where a file goes wrong.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kDbcUsage[];

// Exit status: 0 every file loaded (warnings or not), 2 bad arguments or a file that does not
// load (its line and column and what was expected there on standard error).
int RunDbc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velqor::cli
