#include "tools/cli_commands.h"

#include <unistd.h>

#include <iostream>

#include "tools/convert_command.h"
#include "tools/dbc_command.h"
#include "tools/decode_command.h"
#include "tools/gen_command.h"
#include "tools/monitor_command.h"
#include "tools/play_command.h"
#include "tools/send_command.h"
#include "tools/slcan_command.h"
#include "tools/wave_command.h"

namespace velqor::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"decode", "decode a capture of the adapter's byte stream into JSON lines",
       [](const std::vector<std::string>& args) {
         return RunDecode(args, std::cin, std::cout, std::cerr);
       }},
      {"monitor", "watch the adapter's messages, frames in candump's style",
       [](const std::vector<std::string>& args) { return RunMonitor(args, std::cout, std::cerr); }},
      {"send", "send one CAN frame and wait for the adapter's result, or send it periodically",
       [](const std::vector<std::string>& args) { return RunSend(args, std::cout, std::cerr); }},
      {"gen", "send random or incrementing frames at a given rate, for load tests",
       [](const std::vector<std::string>& args) { return RunGen(args, std::cout, std::cerr); }},
      {"dbc", "what a DBC file holds, or where it goes wrong",
       [](const std::vector<std::string>& args) { return RunDbc(args, std::cout, std::cerr); }},
      {"slcan", "serve the adapter as an slcan device on a pseudo-terminal",
       [](const std::vector<std::string>& args) { return RunSlcan(args, std::cout, std::cerr); }},
      {"convert", "convert a CAN log between candump, ASC, BLF, CSV (and from the data log)",
       [](const std::vector<std::string>& args) {
         return RunConvert(args, std::cout, std::cerr, ::isatty(2) == 1);
       }},
      {"play", "send the frames of a recorded log onto the bus with their timing",
       [](const std::vector<std::string>& args) {
         return RunPlay(args, std::cout, std::cerr, ::isatty(2) == 1);
       }},
      {"wave", "capture one waveform and decode its bits, fields and line levels",
       [](const std::vector<std::string>& args) { return RunWave(args, std::cout, std::cerr); }},
  };
  return commands;
}

}  // namespace velqor::cli
