#include "tools/gen_command.h"

#include <charconv>
#include <cstdio>
#include <iostream>
#include <random>

#include "common/hex_text.h"
#include "tools/link_transmitter.h"
#include "tools/live_arguments.h"

namespace velqor::cli {

const char kGenUsage[] =
    "usage: velqor-cli gen [--rate N] [--count N] [--id HEX|random|inc] [--dlc N|random|inc]\n"
    "                      [--data HEX|random|inc] [--ext] [--seed N]\n"
    "                      [--sim | --vid HEX --pid HEX]\n"
    "\n"
    "Sends generated CAN frames at an even rate until N have gone out or Ctrl-C, for load\n"
    "tests, then says on standard error how many were sent and failed.\n"
    "\n"
    "  --rate N       frames a second, 1 to 20000 (a full 1 Mbit/s bus; default 10)\n"
    "  --count N      stop after N frames (default 0: until Ctrl-C)\n"
    "  --id X         a fixed hexadecimal identifier, random (default) or inc (0, 1, 2, ...)\n"
    "  --dlc X        a fixed DLC 0 to 8, random (default) or inc (0 to 8 in turn)\n"
    "  --data X       fixed hexadecimal bytes (their number is the DLC unless --dlc says),\n"
    "                 random (default) or inc (the frame's number, least significant byte\n"
    "                 first)\n"
    "  --ext          extended (29-bit) identifiers\n"
    "  --seed N       seed of the random choices (default 1: the same frames every run)\n"
    "%s"
    "\n"
    "Exit status: 0 every frame went out, 2 bad arguments or an adapter that cannot be found\n"
    "or opened, 3 any frame failed, 5 answers were missing.\n";

namespace {

enum class Mode { Fixed, Random, Increment };

struct GenOptions {
  std::uint32_t rate = 10;
  std::uint64_t count = 0;
  Mode idMode = Mode::Random;
  std::uint32_t id = 0;
  Mode dlcMode = Mode::Random;
  bool dlcGiven = false;
  std::uint8_t dlc = 0;
  Mode dataMode = Mode::Random;
  std::vector<std::uint8_t> data;
  bool extended = false;
  std::uint64_t seed = 1;
};

std::string Usage() {
  char text[4096];
  std::snprintf(text, sizeof text, kGenUsage, kLinkOptionsUsage);
  return text;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool IsHex(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (hexDigit(c) < 0) return false;
  }
  return true;
}

// The frames in turn: frame n of the run.
class FrameMaker {
 public:
  explicit FrameMaker(const GenOptions& o) : m_o(o), m_random(o.seed) {}

  TxRecord operator()(std::uint64_t n) {
    TxRecord r;
    r.ide = m_o.extended ? 1 : 0;
    const std::uint32_t most = m_o.extended ? 0x1FFFFFFFu : 0x7FFu;
    switch (m_o.idMode) {
      case Mode::Fixed:
        r.id = m_o.id;
        break;
      case Mode::Random:
        r.id = static_cast<std::uint32_t>(m_random() % (std::uint64_t{most} + 1));
        break;
      case Mode::Increment:
        r.id = static_cast<std::uint32_t>(n % (std::uint64_t{most} + 1));
        break;
    }
    switch (m_o.dlcMode) {
      case Mode::Fixed:
        r.dlc = m_o.dlc;
        break;
      case Mode::Random:
        r.dlc = static_cast<std::uint8_t>(m_random() % 9);
        break;
      case Mode::Increment:
        r.dlc = static_cast<std::uint8_t>(n % 9);
        break;
    }
    for (std::size_t i = 0; i < r.dlc; ++i) {
      switch (m_o.dataMode) {
        case Mode::Fixed:
          r.data[i] = i < m_o.data.size() ? m_o.data[i] : 0;
          break;
        case Mode::Random:
          r.data[i] = static_cast<std::uint8_t>(m_random());
          break;
        case Mode::Increment:
          r.data[i] = static_cast<std::uint8_t>(n >> (8 * i));
          break;
      }
    }
    return r;
  }

 private:
  GenOptions m_o;
  std::mt19937_64 m_random;
};

}  // namespace

int RunGen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  LinkOptions link;
  GenOptions o;
  LiveArguments cli("gen", args, link, Usage(), out, err);
  auto bad = [&cli](const std::string& what) { return cli.Bad(what); };
  while (cli.Next()) {
    const std::string& a = cli.Arg();

    if (a == "--ext") {
      o.extended = true;
      continue;
    }
    const bool takesValue = a == "--rate" || a == "--count" || a == "--id" || a == "--dlc" ||
                            a == "--data" || a == "--seed";
    if (!takesValue) return bad("unknown argument '" + a + "'");
    const std::string* value = cli.Value();
    if (!value) return bad(a + " needs a value");
    const std::string& v = *value;
    const std::string got = ", got '" + v + "'";
    if (a == "--rate") {
      if (!ParseNumber(v, o.rate) || o.rate < 1 || o.rate > 20000) {
        return bad("--rate needs frames a second from 1 to 20000" + got);
      }
    } else if (a == "--count") {
      if (!ParseNumber(v, o.count)) return bad("--count needs a number of frames" + got);
    } else if (a == "--seed") {
      if (!ParseNumber(v, o.seed)) return bad("--seed needs a number" + got);
    } else if (v == "random" || v == "inc") {
      const Mode mode = v == "random" ? Mode::Random : Mode::Increment;
      (a == "--id" ? o.idMode : a == "--dlc" ? o.dlcMode : o.dataMode) = mode;
      if (a == "--dlc") o.dlcGiven = true;
    } else if (a == "--id") {
      if (!IsHex(v) || v.size() > 8 || !ParseNumber(v, o.id, 16)) {
        return bad("--id needs random, inc or 1 to 8 hexadecimal digits" + got);
      }
      o.idMode = Mode::Fixed;
    } else if (a == "--dlc") {
      if (!ParseNumber(v, o.dlc) || o.dlc > 8)
        return bad("--dlc needs random, inc or 0 to 8" + got);
      o.dlcMode = Mode::Fixed;
      o.dlcGiven = true;
    } else {  // --data
      if (!IsHex(v) || v.size() % 2 != 0 || v.size() > 16) {
        return bad("--data needs random, inc or 1 to 8 bytes as hexadecimal pairs" + got);
      }
      o.data = HexTextToBytes(v);
      o.dataMode = Mode::Fixed;
    }
  }
  if (cli.Exit()) return *cli.Exit();
  if (o.dataMode == Mode::Fixed && !o.dlcGiven) {
    o.dlcMode = Mode::Fixed;
    o.dlc = static_cast<std::uint8_t>(o.data.size());
  }
  return RunTransmitRow(
      "gen", link,
      [&](TransmitScheduler& s) { return s.StartGenerator(kRow, o.rate, o.count, FrameMaker(o)); },
      std::chrono::nanoseconds(1'000'000'000 / o.rate), err);
}

}  // namespace velqor::cli
