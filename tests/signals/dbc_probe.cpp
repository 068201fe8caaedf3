// For the canmatrix comparison (canmatrix_interop.py): reads frames from standard input, one a
// line as "<hex identifier> <0|1 extended> <hex data>", and prints for each one JSON line with
// what the decoder made of it: the message, each signal's raw value, physical value and
// value-table text, and the payload encoded back from the physical values ("encoded"), with
// the bits that encoding wrote ("mask"). A frame of no message prints {}.

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "signals/dbc_parser.h"
#include "signals/frame_decoder.h"

namespace {

using namespace velqor::dbc;

std::string hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: dbc_probe FILE.dbc < frames\n";
    return 2;
  }
  const DbcResult loaded = loadDbcFile(argv[1]);
  if (!loaded.ok()) {
    std::cerr << loaded.error.text() << "\n";
    return 2;
  }
  const FrameDecoder decoder({loaded.database});
  DecodedFrame decoded;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string idText, dataText;
    int extended = 0;
    in >> idText >> extended >> dataText;
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i + 1 < dataText.size(); i += 2) {
      data.push_back(static_cast<std::uint8_t>(std::stoul(dataText.substr(i, 2), nullptr, 16)));
    }
    const auto id = static_cast<std::uint32_t>(std::stoul(idText, nullptr, 16));
    if (!decoder.decode(id, extended != 0, data.data(), data.size(), decoded)) {
      std::cout << "{}\n";
      continue;
    }
    std::vector<std::uint8_t> encoded(data.size(), 0);
    std::vector<std::uint8_t> mask(data.size(), 0);
    std::cout << "{\"message\":" << quoted(decoder.message(decoded.message).message->name)
              << ",\"signals\":{";
    for (std::size_t i = 0; i < decoded.values.size(); ++i) {
      const DecodedSignal& s = decoded.values[i];
      const SignalCodec& codec = decoder.signal(s.index).codec;
      char raw[SignalCodec::kTextSize];
      const std::string physical = codec.physicalText(s.bits);
      std::cout << (i ? "," : "") << quoted(codec.signal().name)
                << ":{\"raw\":" << quoted(std::string(raw, codec.formatRaw(s.bits, raw)))
                << ",\"phys\":" << quoted(physical);
      if (s.text) std::cout << ",\"text\":" << quoted(*s.text);
      std::cout << "}";
      // Integer values go back through their exact text, float values through the double.
      const SignalCodec::Encoded back = codec.signal().valueType == ValueType::Integer
                                            ? codec.fromText(physical)
                                            : codec.fromPhysical(s.physical);
      if (back.ok()) {
        codec.insert(back.bits, encoded.data());
        codec.insert(~std::uint64_t{0}, mask.data());
      }
    }
    std::cout << "},\"encoded\":\"" << hex(encoded) << "\",\"mask\":\"" << hex(mask) << "\"}\n";
  }
  return 0;
}
