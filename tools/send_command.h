#pragma once
// `velqor-cli send <ID>#<DATA>`: one SendCanFrame, and the adapter's result as exit status.

#include <iosfwd>
#include <string>
#include <vector>

namespace velqor::cli {

extern const char kSendUsage[];

// Exit status: 0 sent, 2 bad arguments or an adapter that cannot be found or opened,
// 3 transmission failed (also: the frame could not be written to the adapter), 4 out of
// range, 5 no answer within 1 s.
int RunSend(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velqor::cli
