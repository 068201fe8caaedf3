#pragma once
// The arguments of a command that opens the adapter, one at a time: the link options (--sim,
// --vid, ...) go straight into the LinkOptions, --help prints the usage, and the loop of the
// command sees only its own arguments.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/live_link.h"

namespace velqor::cli {

class LiveArguments {
 public:
  LiveArguments(std::string command, const std::vector<std::string>& args, LinkOptions& link,
                std::string usage, std::ostream& out, std::ostream& err);

  // Moves to the command's next own argument. False at the end, or when the run ends here:
  // after --help (exit code 0) or a bad link option (2, said on the error stream); Exit()
  // tells which.
  bool Next();
  const std::string& Arg() const { return m_args[m_index]; }
  // The value that follows the current argument (taking it), or nullptr when there is none.
  const std::string* Value();
  // Says what was wrong, then the usage; returns the exit code for it.
  int Bad(const std::string& what);
  std::optional<int> Exit() const { return m_exit; }

 private:
  std::string m_command;
  const std::vector<std::string>& m_args;
  LinkOptions& m_link;
  std::string m_usage;
  std::ostream& m_out;
  std::ostream& m_err;
  std::size_t m_index = 0;
  bool m_started = false;
  std::optional<int> m_exit;
};

}  // namespace velqor::cli
