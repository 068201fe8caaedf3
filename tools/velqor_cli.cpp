// velqor-cli: the command-line companion of Velqor, for technicians who work without the
// window: decoding captures of the adapter's byte stream, and (with an adapter or the
// simulated one) watching and sending traffic.

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli_commands.h"

namespace {

void PrintUsage(std::ostream& os) {
  os << "Usage: velqor-cli <command> [options]\n"
        "\n"
        "The command-line companion of Velqor: decodes captures of the USB CAN adapter's byte\n"
        "stream and, with the adapter or the simulated one, watches and sends CAN traffic.\n"
        "\n"
        "Commands:\n";
  for (const auto& c : velqor::cli::Commands()) {
    os << "  " << c.name << std::string(10 - std::min<std::size_t>(9, c.name.size()), ' ')
       << c.summary << "\n";
  }
  os << "\n'velqor-cli <command> --help' explains a command.\n";
}

}  // namespace

int main(int argc, char** argv) {
  // Output beyond the file-size limit (ulimit -f) fails with EFBIG, which the commands report;
  // the signal would end the program half-way through a line instead.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    PrintUsage(std::cerr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& c : velqor::cli::Commands()) {
    if (c.name == command) return c.run(args);
  }
  std::cerr << "velqor-cli: unknown command '" << command << "'\n";
  PrintUsage(std::cerr);
  return 2;
}
