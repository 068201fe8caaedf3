#include "tools/decode_command.h"

#include <charconv>
#include <iostream>
#include <iterator>

#include "link/interpreter.h"
#include "tools/hex_input.h"
#include "tools/message_json.h"

namespace velqor::cli {

const char kDecodeUsage[] =
    "usage: velqor-cli decode [--binary] [--chunk N]\n"
    "\n"
    "Reads a capture of the adapter's byte stream from standard input, cuts it into device\n"
    "frames as the program does, and prints one JSON object per message, one per line.\n"
    "\n"
    "  (default)   the input is hexadecimal text: pairs of digits, separated or not by\n"
    "              blanks, commas and line ends, each run optionally prefixed with 0x\n"
    "  --binary    the input is the raw bytes\n"
    "  --chunk N   feed the interpreter N bytes at a time, as a link delivering N-byte\n"
    "              pieces would (a USB report carries 64); without it the whole stream is\n"
    "              fed in the largest pieces the interpreter's 4096-byte buffer takes\n"
    "              without dropping bytes\n"
    "\n"
    "Exit status: 0 done, 2 bad arguments or input that is not hexadecimal (the messages of\n"
    "the text before the fault are printed, then the fault on standard error).\n";

namespace {

// The buffer keeps at most one incomplete frame (256 bytes) between feeds, so pieces of
// this size never overflow it.
constexpr std::size_t kSafePiece = TMsgInterpret::kBufferCapacity - 256;

class JsonPrinter : public DeviceMessageSink {
 public:
  explicit JsonPrinter(std::ostream& out) : m_out(out) {}
  void OnReceivedFrame(const CanFrame& frame) override { m_out << FrameJson(frame) << '\n'; }
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    m_out << MessageJson(code, message) << '\n';
  }

 private:
  std::ostream& m_out;
};

}  // namespace

int RunDecode(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err) {
  bool binary = false;
  std::size_t chunk = 0;
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
    } else {
      err << "velqor-cli decode: unknown argument '" << a << "'\n" << kDecodeUsage;
      return 2;
    }
  }

  const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  HexInput parsed;
  if (binary) {
    parsed.bytes.assign(input.begin(), input.end());
  } else {
    parsed = ParseHexText(input);
  }

  JsonPrinter printer(out);
  TMsgInterpret interpreter(&printer);
  const std::size_t piece = chunk != 0 ? chunk : kSafePiece;
  for (std::size_t at = 0; at < parsed.bytes.size(); at += piece) {
    const std::size_t n = std::min(piece, parsed.bytes.size() - at);
    interpreter.Feed(parsed.bytes.data() + at, static_cast<std::uint32_t>(n));
  }
  out.flush();

  if (parsed.error) {
    const HexInputError& e = *parsed.error;
    err << "velqor-cli decode: " << e.message << " at line " << e.line << ", column " << e.column
        << " (offset " << e.offset << ")\n";
    return 2;
  }
  return 0;
}

}  // namespace velqor::cli
