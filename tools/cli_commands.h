#pragma once
// The table of velqor-cli's commands. Each command lives in its own file.

#include <functional>
#include <string>
#include <vector>

namespace velqor::cli {

struct Command {
  std::string name;
  std::string summary;
  std::function<int(const std::vector<std::string>& args)> run;  // returns the exit status
};

const std::vector<Command>& Commands();

}  // namespace velqor::cli
