// Signal decoding on one core:
// - BM_DecodeTenSignals: a 10-signal message (Intel and Motorola fields, scaled, signed, a
//   value table) decoded from frames whose data changes: frames/s and signals/s.
// - BM_DecodeTenSignalsAsText: the same plus the text of every physical value, as a view or
//   `velqor-cli --dbc` shows them.
// - BM_DecodeLargeDatabase: frames cycling over the 300 messages (standard and extended) of a
//   generated database, one in ten of an identifier it does not define.
// - BM_ParseLargeDatabase: parsing that database's text (300 messages, 2400 signals).

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "signals/dbc_parser.h"
#include "signals/frame_decoder.h"

namespace velqor::dbc {
namespace {

const char kTenSignals[] =
    "BO_ 291 Engine: 8 E\n"
    " SG_ Speed : 7|16@0+ (0.25,0) [0|16383.75] \"rpm\" X\n"
    " SG_ Throttle : 16|8@1+ (0.4,0) [0|102] \"%\" X\n"
    " SG_ Load : 24|7@1+ (1,0) [0|127] \"%\" X\n"
    " SG_ Mode : 31|3@1+ (1,0) [0|7] \"\" X\n"
    " SG_ Torque : 39|12@0- (0.5,-100) [-1124|923.5] \"Nm\" X\n"
    " SG_ Lamp : 44|1@1+ (1,0) [0|1] \"\" X\n"
    " SG_ Gear : 45|3@1+ (1,0) [0|7] \"\" X\n"
    " SG_ Temp : 48|8@1- (1,-40) [-168|87] \"degC\" X\n"
    " SG_ Counter : 56|4@1+ (1,0) [0|15] \"\" X\n"
    " SG_ Check : 63|4@0+ (1,0) [0|15] \"\" X\n"
    "VAL_ 291 Gear 0 \"P\" 1 \"R\" 2 \"N\" 3 \"D\" ;\n"
    "VAL_ 291 Mode 0 \"Off\" 1 \"Idle\" 2 \"Run\" ;\n";

std::vector<CanFrame> Frames(std::uint32_t id, bool extended, std::size_t n) {
  std::mt19937_64 rng(7);
  std::vector<CanFrame> frames(n);
  for (CanFrame& f : frames) {
    f.id = id;
    f.ide = extended;
    f.dlc = 8;
    const std::uint64_t r = rng();
    for (int i = 0; i < 8; ++i) f.data[i] = static_cast<std::uint8_t>(r >> (8 * i));
  }
  return frames;
}

void BM_DecodeTenSignals(benchmark::State& state) {
  const DbcResult r = parseDbc(kTenSignals, "ten.dbc");
  const FrameDecoder decoder({r.database});
  const auto frames = Frames(291, false, 4096);
  DecodedFrame out;
  std::uint64_t signals = 0;
  double sum = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    decoder.decode(frames[i++ & 4095], out);
    signals += out.values.size();
    sum += out.values[0].physical;
  }
  benchmark::DoNotOptimize(sum);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["signals/s"] =
      benchmark::Counter(static_cast<double>(signals), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeTenSignals);

void BM_DecodeTenSignalsAsText(benchmark::State& state) {
  const DbcResult r = parseDbc(kTenSignals, "ten.dbc");
  const FrameDecoder decoder({r.database});
  const auto frames = Frames(291, false, 4096);
  DecodedFrame out;
  char text[SignalCodec::kTextSize];
  std::size_t chars = 0;
  std::uint64_t signals = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    decoder.decode(frames[i++ & 4095], out);
    for (const DecodedSignal& s : out.values) {
      chars += decoder.signal(s.index).codec.formatPhysical(s.bits, text);
    }
    signals += out.values.size();
  }
  benchmark::DoNotOptimize(chars);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["signals/s"] =
      benchmark::Counter(static_cast<double>(signals), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeTenSignalsAsText);

// 300 messages of 8 signals each: standard identifiers 0x100.., every third extended.
std::string LargeDatabase() {
  std::string text = "VERSION \"bench\"\nBU_: A B\n";
  for (int m = 0; m < 300; ++m) {
    const bool extended = m % 3 == 0;
    const std::uint32_t raw = extended ? 0x80000000u | (0x18FF0000u + m) : 0x100u + m;
    text += "BO_ " + std::to_string(raw) + " Message" + std::to_string(m) + ": 8 A\n";
    for (int s = 0; s < 8; ++s) {
      const bool motorola = s % 2 == 1;
      const int start = motorola ? s * 8 + 7 : s * 8;
      text += " SG_ S" + std::to_string(s) + " : " + std::to_string(start) + "|8@" +
              (motorola ? "0" : "1") + (s == 3 ? "-" : "+") + " (0.5,-10) [-74|117.5] \"u\" B\n";
    }
  }
  for (int m = 0; m < 300; m += 5) {
    text += "BA_ \"GenMsgCycleTime\" BO_ " + std::to_string(0x100 + m) + " 100;\n";
  }
  return "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n" + text;
}

void BM_DecodeLargeDatabase(benchmark::State& state) {
  const DbcResult r = parseDbc(LargeDatabase(), "large.dbc");
  if (!r.ok()) state.SkipWithError(r.error.text().c_str());
  const FrameDecoder decoder({r.database});
  std::vector<CanFrame> frames;
  for (int k = 0; k < 3000; ++k) {
    const int m = k % 330;  // 300..329: identifiers the database does not define
    const bool extended = m % 3 == 0;
    const std::uint32_t id = extended ? 0x18FF0000u + m : 0x100u + m;
    frames.push_back(Frames(id, extended, 1)[0]);
  }
  DecodedFrame out;
  std::uint64_t signals = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    decoder.decode(frames[i], out);
    signals += out.values.size();
    if (++i == frames.size()) i = 0;
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["signals/s"] =
      benchmark::Counter(static_cast<double>(signals), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeLargeDatabase);

void BM_ParseLargeDatabase(benchmark::State& state) {
  const std::string text = LargeDatabase();
  for (auto _ : state) {
    const DbcResult r = parseDbc(text, "large.dbc");
    benchmark::DoNotOptimize(r.database);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(std::to_string(text.size() / 1024) + " KiB");
}
BENCHMARK(BM_ParseLargeDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velqor::dbc

BENCHMARK_MAIN();
