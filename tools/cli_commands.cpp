#include "tools/cli_commands.h"

#include <iostream>

#include "tools/decode_command.h"

namespace velqor::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"decode", "decode a capture of the adapter's byte stream into JSON lines",
       [](const std::vector<std::string>& args) {
         return RunDecode(args, std::cin, std::cout, std::cerr);
       }},
  };
  return commands;
}

}  // namespace velqor::cli
