#pragma once
// `velqor-cli decode`: a raw capture of the adapter's byte stream in, one JSON line per
// decoded message out.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kDecodeUsage[];

// Returns the exit status: 0 done, 2 bad arguments or input that is not hexadecimal (the
// messages of the part before the fault are printed first).
int RunDecode(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err);

}  // namespace velqor::cli
