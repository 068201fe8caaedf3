#include "tools/convert_command.h"

#include <chrono>
#include <iostream>

#include "canlog/log_convert.h"

namespace velqor::cli {

const char kConvertUsage[] =
    "usage: velqor-cli convert IN OUT [--from FORMAT] [--to FORMAT]\n"
    "\n"
    "Converts a CAN log from one format into another, frame by frame (any size, in constant\n"
    "memory). The formats come from the file extensions:\n"
    "  .log  candump -L text          .asc  Vector ASC\n"
    "  .blf  Vector BLF               .csv  python-can's CSV layout\n"
    "  .txt  the data log of Velqor (read only: its 16-bit millisecond time carries no date)\n"
    "OUT appears only when the whole conversion went well; an existing OUT is replaced.\n"
    "\n"
    "  --from FORMAT  the format of IN whatever its extension: candump, asc, blf, csv, datalog\n"
    "  --to FORMAT    the format of OUT whatever its extension: candump, asc, blf, csv\n"
    "\n"
    "What a format cannot carry (CAN FD frames, a DLC above 8 in candump, the direction in CSV)\n"
    "is said on standard error.\n"
    "Exit status: 0 converted, 1 OUT could not be written, 2 bad arguments, or IN unreadable or\n"
    "malformed (its file name and line or byte on standard error).\n";

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool progressToTerminal) {
  auto bad = [&](const std::string& what) {
    err << "velqor-cli convert: " << what << "\n" << kConvertUsage;
    return 2;
  };
  std::vector<std::string> files;
  std::optional<LogFormat> from, to;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kConvertUsage;
      return 0;
    }
    if (a == "--from" || a == "--to") {
      if (i + 1 >= args.size()) return bad(a + " needs a format: candump, asc, blf, csv, datalog");
      const std::string& v = args[++i];
      const auto format = LogFormatFromName(v);
      if (!format) {
        return bad(a + " needs a format: candump, asc, blf, csv, datalog; got '" + v + "'");
      }
      (a == "--from" ? from : to) = format;
    } else if (a.size() > 1 && a[0] == '-') {
      return bad("unknown argument '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return bad("convert needs two files, IN and OUT");
  const std::filesystem::path in = files[0], output = files[1];
  if (!from) from = LogFormatFromPath(in);
  if (!to) to = LogFormatFromPath(output);
  if (!from) {
    return bad("cannot tell the format of '" + in.string() +
               "' from its extension: name it with --from");
  }
  if (!to) {
    return bad("cannot tell the format of '" + output.string() +
               "' from its extension: name it with --to");
  }
  if (!LogFormatWritable(*to)) {
    return bad("the data log (.txt) is read here, not written: write .log, .asc, .blf or .csv");
  }

  auto lastShown = std::chrono::steady_clock::now();
  auto progress = [&](const ConvertProgress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (progressToTerminal && p.size > 0 && now - lastShown >= std::chrono::milliseconds(500)) {
      lastShown = now;
      err << "\rvelqor-cli convert: " << (p.position * 100 / p.size) << "% (" << p.frames
          << " frames)" << std::flush;
    }
    return true;
  };
  try {
    const ConvertResult result = ConvertLog(in, *from, output, *to, progress);
    if (progressToTerminal) err << "\r";
    err << "velqor-cli convert: " << result.frames << " frames from " << in.string() << " ("
        << LogFormatName(*from) << ") to " << output.string() << " (" << LogFormatName(*to)
        << ")\n";
    for (const std::string& note : result.notes)
      err << "velqor-cli convert: note: " << note << "\n";
    return 0;
  } catch (const LogError& e) {
    if (progressToTerminal) err << "\n";
    err << "velqor-cli convert: " << e.what() << "\n";
    if (e.kind() == LogError::Kind::Write && e.file() == output.string()) {
      err << "velqor-cli convert: " << output.string() << " was not created\n";
      return 1;
    }
    return 2;
  }
}

}  // namespace velqor::cli
