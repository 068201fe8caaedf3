#pragma once
// `velqor-cli gen`: random or incrementing frames at a given rate, for load tests (the
// counterpart of can-utils' cangen).

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kGenUsage[];

// Exit status: 0 every frame went out, 2 bad arguments or no adapter, 3 any failed, 5 answers
// missing.
int RunGen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velqor::cli
