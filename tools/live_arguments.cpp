#include "tools/live_arguments.h"

#include <utility>

namespace velqor::cli {

LiveArguments::LiveArguments(std::string command, const std::vector<std::string>& args,
                             LinkOptions& link, std::string usage, std::ostream& out,
                             std::ostream& err)
    : m_command(std::move(command)),
      m_args(args),
      m_link(link),
      m_usage(std::move(usage)),
      m_out(out),
      m_err(err) {}

bool LiveArguments::Next() {
  if (m_exit) return false;
  while (true) {
    if (m_started) ++m_index;
    m_started = true;
    if (m_index >= m_args.size()) return false;
    std::string error;
    switch (TakeLinkOption(m_args, m_index, m_link, error)) {
      case OptionResult::Taken:
        continue;
      case OptionResult::Bad:
        m_exit = Bad(error);
        return false;
      case OptionResult::NotMine:
        break;
    }
    if (Arg() == "--help" || Arg() == "-h") {
      m_out << m_usage;
      m_exit = 0;
      return false;
    }
    return true;
  }
}

const std::string* LiveArguments::Value() {
  return m_index + 1 < m_args.size() ? &m_args[++m_index] : nullptr;
}

int LiveArguments::Bad(const std::string& what) {
  m_err << "velqor-cli " << m_command << ": " << what << "\n" << m_usage;
  return 2;
}

}  // namespace velqor::cli
