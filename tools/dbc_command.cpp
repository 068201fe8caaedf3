#include "tools/dbc_command.h"

#include <ostream>

#include "signals/dbc_parser.h"
#include "signals/dbc_summary.h"
#include "signals/frame_decoder.h"

namespace velqor::cli {

const char kDbcUsage[] =
    "usage: velqor-cli dbc FILE...\n"
    "\n"
    "Reads DBC files as 'velqor-cli decode --dbc' and 'monitor --dbc' do and prints what was\n"
    "understood: each message (identifier, size, sender, cycle time) with its signals (start\n"
    "bit|length@byte order and sign, (factor,offset), [minimum|maximum], unit, receivers,\n"
    "value texts), then the warnings (what was read but is not used, references to unknown\n"
    "messages or signals) and the statements stepped over. With several files, identifiers\n"
    "defined twice are said too (the earlier file's message is used).\n"
    "\n"
    "A file that does not load is named with the line and column of the fault and what was\n"
    "expected there, e.g. 'car.dbc:12:15: expected ':' after the message name, got '8''.\n"
    "\n"
    "Exit status: 0 every file loaded, 2 bad arguments or a file that does not load.\n";

int RunDbc(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> paths;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      out << kDbcUsage;
      return 0;
    }
    if (a.size() > 1 && a[0] == '-') {
      err << "velqor-cli dbc: unknown argument '" << a << "'\n" << kDbcUsage;
      return 2;
    }
    paths.push_back(a);
  }
  if (paths.empty()) {
    err << "velqor-cli dbc: which DBC file?\n" << kDbcUsage;
    return 2;
  }
  std::vector<std::shared_ptr<const dbc::Database>> databases;
  for (const std::string& path : paths) {
    const dbc::DbcResult r = dbc::loadDbcFile(path);
    if (!r.ok()) {
      out.flush();
      err << "velqor-cli dbc: " << r.error.text() << "\n";
      return 2;
    }
    out << dbc::describeDatabase(*r.database);
    databases.push_back(r.database);
  }
  if (databases.size() > 1) {
    const dbc::FrameDecoder decoder(databases);
    for (const std::string& note : decoder.notes()) out << note << "\n";
  }
  return 0;
}

}  // namespace velqor::cli
