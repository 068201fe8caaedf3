// Feeds arbitrary bytes to the command-script reader as a script file and checks what must
// hold for any file: nothing crashes, no piece is longer than 511 characters, the pieces put
// together are the file with each CR LF read as LF, an argument holds no white space, a send
// line sends the argument's digits in pairs and a wait never asks for a negative time.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/hex_text.h"
#include "terminal/script_sender.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string withLineFeeds(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One scratch file for the whole run, removed when the fuzzer ends.
  static const struct Scratch {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("fuzz_script_" + std::to_string(::getpid()));
    ~Scratch() {
      std::error_code ec;
      std::filesystem::remove(path, ec);
    }
  } scratch;
  const std::filesystem::path& path = scratch.path;
  const std::string content(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
  }
  velqor::ScriptReader reader;
  check(!reader.Open(path));
  std::string piece;
  std::string all;
  while (reader.Next(piece) == velqor::ScriptReader::Result::Piece) {
    check(!piece.empty() && piece.size() <= velqor::ScriptReader::kMaxPiece);
    all += piece;
    const velqor::ScriptLine line = velqor::ParseScriptLine(piece);
    for (char c : line.argument) {
      check(c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f' && c != 0);
    }
    const velqor::ScriptStep step = velqor::InterpretScriptLine(line);
    if (step.send) check(*step.send == velqor::HexTextToBytes(line.argument));
    if (step.sleep) check(step.sleep->count() >= 0);
  }
  check(all == withLineFeeds(content));
  return 0;
}
