#include "tools/decode_command.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>
#include <iterator>

#include "link/interpreter.h"
#include "link/protocol.h"
#include "tools/hex_input.h"
#include "tools/message_json.h"
#include "tools/signal_json.h"

namespace velqor::cli {

const char kDecodeUsage[] =
    "usage: velqor-cli decode [--binary] [--chunk N] [--dbc FILE]...\n"
    "\n"
    "Reads a capture of the adapter's byte stream from standard input, cuts it into device\n"
    "frames as the program does, and prints one JSON object per message, one per line.\n"
    "\n"
    "  (default)   the input is hexadecimal text: pairs of digits, separated or not by\n"
    "              blanks, commas and line ends, each run optionally prefixed with 0x\n"
    "  --binary    the input is the raw bytes\n"
    "  --chunk N   feed the interpreter N bytes at a time, as a link delivering N-byte\n"
    "              pieces would (a USB report carries 64); bytes that overflow its\n"
    "              4096-byte buffer are dropped as the program drops them, and their\n"
    "              number is said on standard error. Without it the whole stream is fed\n"
    "              in the largest pieces the buffer takes without dropping bytes\n"
    "  --dbc FILE  received frames whose identifier the DBC file defines also carry\n"
    "              \"message\", \"signals\" (physical values) and \"texts\" (value-table\n"
    "              texts); may be given more than once\n"
    "\n"
    "Exit status: 0 done, 1 the output cannot be written, 2 bad arguments, a DBC file that\n"
    "does not load, or input that is not hexadecimal (the messages of the text before the\n"
    "fault are printed, then the fault on standard error).\n";

namespace {

// The buffer keeps at most one incomplete frame (256 bytes) between feeds, so pieces of
// this size never overflow it.
constexpr std::size_t kSafePiece = TMsgInterpret::kBufferCapacity - 256;

class JsonPrinter : public DeviceMessageSink {
 public:
  JsonPrinter(std::ostream& out, SignalJson& signalJson) : m_out(out), m_signals(signalJson) {}
  void OnReceivedFrame(const CanFrame& frame) override {
    if (m_writeError != 0) return;
    std::string line = FrameJson(frame);
    if (m_signals.active()) m_signals.annotate(line, frame);
    write(line);
  }
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    if (m_writeError != 0) return;
    write(MessageJson(code, message));
  }
  void Flush() {
    if (m_writeError != 0) return;
    m_out.flush();
    if (!m_out) m_writeError = errno != 0 ? errno : EIO;
  }
  // The system's error of the first write that failed, 0 while none did.
  int WriteError() const { return m_writeError; }

 private:
  void write(const std::string& line) {
    m_out << line << '\n';
    if (!m_out) m_writeError = errno != 0 ? errno : EIO;  // the write just failed: its reason
  }

  std::ostream& m_out;
  SignalJson& m_signals;
  int m_writeError = 0;
};

}  // namespace

int RunDecode(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err) {
  bool binary = false;
  std::size_t chunk = 0;
  std::vector<std::string> dbcFiles;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kDecodeUsage;
      return 0;
    } else if (a == "--binary") {
      binary = true;
    } else if (a == "--chunk") {
      if (i + 1 >= args.size()) {
        err << "velqor-cli decode: --chunk needs a number of bytes\n";
        return 2;
      }
      const std::string& v = args[++i];
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), chunk);
      if (ec != std::errc() || end != v.data() + v.size() || chunk == 0) {
        err << "velqor-cli decode: --chunk needs a whole number of bytes above 0, got '" << v
            << "'\n";
        return 2;
      }
    } else if (a == "--dbc") {
      if (i + 1 >= args.size()) {
        err << "velqor-cli decode: --dbc needs a DBC file\n";
        return 2;
      }
      dbcFiles.push_back(args[++i]);
    } else {
      err << "velqor-cli decode: unknown argument '" << a << "'\n" << kDecodeUsage;
      return 2;
    }
  }

  SignalJson signalJson;
  std::string dbcError;
  if (!dbcFiles.empty() && !signalJson.load(dbcFiles, dbcError, err)) {
    err << "velqor-cli decode: " << dbcError << "\n";
    return 2;
  }

  const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HexInput parsed;
  if (binary) {
    parsed.bytes.assign(input.begin(), input.end());
  } else {
    parsed = ParseHexText(input);
  }

  JsonPrinter printer(out, signalJson);
  TMsgInterpret interpreter(&printer);
  const std::size_t piece = chunk != 0 ? chunk : kSafePiece;
  std::uint64_t dropped = 0;
  for (std::size_t at = 0; at < parsed.bytes.size() && printer.WriteError() == 0; at += piece) {
    const std::size_t n = std::min(piece, parsed.bytes.size() - at);
    const std::size_t room =
        TMsgInterpret::kBufferCapacity - static_cast<std::size_t>(interpreter.BufferedBytes());
    if (n > room) dropped += n - room;
    interpreter.Feed(parsed.bytes.data() + at, static_cast<std::uint32_t>(n));
  }
  printer.Flush();
  if (printer.WriteError() != 0) {
    err << "velqor-cli decode: cannot write the output: " << std::strerror(printer.WriteError())
        << "\n";
    return 1;
  }
  if (dropped > 0) {
    err << "velqor-cli decode: " << dropped << " bytes dropped: pieces of " << chunk
        << " bytes overflowed the interpreter's " << TMsgInterpret::kBufferCapacity
        << "-byte buffer\n";
  }

  if (parsed.error) {
    const HexInputError& e = *parsed.error;
    err << "velqor-cli decode: " << e.message << " at line " << e.line << ", column " << e.column
        << " (offset " << e.offset << ")\n";
    return 2;
  }
  return 0;
}

}  // namespace velqor::cli
