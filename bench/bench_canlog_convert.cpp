// Two runs that take real time, printed as plain figures:
//
// 1. Converting a large candump log (VELQOR_BENCH_CONVERT_MB, default 1024 MB, 0 to skip,
//    written first into the scratch folder) to BLF and to ASC, each in a child process: frames, seconds,
//    frames per second and the child's peak resident memory.
// 2. A recorded candump log (1000 frames, 1 to 20 ms apart) as the simulated adapter's bus
//    traffic, received by `velqor-cli monitor --sim --sim-replay ... --output`: the received
//    intervals against the recorded ones. Then the same log sent through the simulated adapter
//    by `velqor-cli play --sim`, which says how late frames went out.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "canlog/log_convert.h"
#include "canlog/log_reader.h"
#include "canlog/log_writer.h"
#include "tools/monitor_command.h"
#include "tools/play_command.h"

namespace {

using velqor::CanFrame;
using velqor::LogFormat;
using Clock = std::chrono::steady_clock;

void Convert(const std::string& in, const std::string& out, LogFormat to) {
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      const velqor::ConvertResult r = velqor::ConvertLog(in, LogFormat::Candump, out, to);
      std::printf("  frames %llu", static_cast<unsigned long long>(r.frames));
      std::fflush(stdout);
      ::_exit(0);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ::_exit(1);
    }
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::error_code ec;
  const auto inSize = std::filesystem::file_size(in, ec);
  const auto outSize = std::filesystem::file_size(out, ec);
  std::printf(
      " -> %s: %.1f s (%.1f s of CPU, %.0f MB/s of input on one core), peak resident "
      "memory %.1f MB, output %.0f MB%s\n",
      velqor::LogFormatName(to), seconds, cpu, static_cast<double>(inSize) / 1e6 / cpu,
      static_cast<double>(usage.ru_maxrss) / 1024.0, static_cast<double>(outSize) / 1e6,
      status == 0 ? "" : "  FAILED");
  std::filesystem::remove(out, ec);
}

void ConvertLargeLog(const velqor::bench::ScratchFolder& folder) {
  const char* env = std::getenv("VELQOR_BENCH_CONVERT_MB");
  const std::uint64_t megabytes = env ? std::strtoull(env, nullptr, 10) : 1024;
  if (megabytes == 0) return;
  const std::string in = (folder.path() / "large.log").string();
  auto writer = velqor::MakeLogWriter(LogFormat::Candump);
  writer->Open(in);
  CanFrame f;
  f.dlc = 8;
  std::uint64_t n = 0;
  while (writer->BytesWritten() < megabytes * 1000000) {
    f.time.wallUs = 1700000000000000 + static_cast<std::int64_t>(n) * 47;
    f.ide = n % 4 == 0;
    f.id = f.ide ? 0x18FF0000u + n % 50 : 0x100u + n % 150;
    for (int b = 0; b < 8; ++b) f.data[b] = static_cast<std::uint8_t>(n >> (b % 4 * 8));
    writer->Write(f);
    ++n;
  }
  writer->Close();
  std::printf("candump log of %.0f MB, %llu frames\n",
              static_cast<double>(std::filesystem::file_size(in)) / 1e6,
              static_cast<unsigned long long>(n));
  Convert(in, (folder.path() / "large.blf").string(), LogFormat::Blf);
  Convert(in, (folder.path() / "large.asc").string(), LogFormat::Asc);
  std::filesystem::remove(in);
}

void ReplayAgainstTheSimulator(const velqor::bench::ScratchFolder& folder) {
  constexpr int kFrames = 1000;
  const std::string recorded = (folder.path() / "recorded.log").string();
  std::vector<std::int64_t> times;
  {
    auto writer = velqor::MakeLogWriter(LogFormat::Candump);
    writer->Open(recorded);
    std::int64_t t = 1700000000000000;
    for (int i = 0; i < kFrames; ++i) {
      CanFrame f;
      f.id = 0x100 + static_cast<std::uint32_t>(i % 64);
      f.dlc = 8;
      f.data[0] = static_cast<std::uint8_t>(i >> 8);
      f.data[1] = static_cast<std::uint8_t>(i);
      f.time.wallUs = t;
      times.push_back(t);
      writer->Write(f);
      t += 1000 + (static_cast<std::int64_t>(i) * 7919 % 19000);  // 1 to 20 ms
    }
    writer->Close();
  }
  const std::string received = (folder.path() / "received.log").string();
  std::ostringstream out, err;
  const int status = velqor::cli::RunMonitor(
      {"--sim", "--sim-replay", recorded, "--count", std::to_string(kFrames), "--output", received},
      out, err);
  if (status != 0) {
    std::cout << "monitor failed:\n" << err.str();
    return;
  }
  auto reader = velqor::OpenLogReader(received);
  std::vector<CanFrame> got;
  CanFrame f;
  while (reader->Next(f)) got.push_back(f);
  std::vector<double> deviation;
  int outOfOrder = 0;
  for (std::size_t i = 1; i < got.size(); ++i) {
    const int a = got[i - 1].data[0] << 8 | got[i - 1].data[1];
    const int b = got[i].data[0] << 8 | got[i].data[1];
    if (b != a + 1) {
      ++outOfOrder;
      continue;
    }
    const double recordedUs = static_cast<double>(times[b] - times[a]);
    const double receivedUs = static_cast<double>(got[i].time.wallUs - got[i - 1].time.wallUs);
    deviation.push_back(std::fabs(receivedUs - recordedUs) / 1000.0);
  }
  std::sort(deviation.begin(), deviation.end());
  const auto within2 =
      std::count_if(deviation.begin(), deviation.end(), [](double d) { return d <= 2.0; });
  std::printf(
      "replay as the simulated bus's traffic (monitor --sim --sim-replay): %zu intervals, "
      "received minus recorded: median %.3f ms, p99 %.3f ms, max %.3f ms; %ld of %zu "
      "within 2 ms; %d frames out of sequence\n",
      deviation.size(), deviation[deviation.size() / 2], deviation[deviation.size() * 99 / 100],
      deviation.back(), static_cast<long>(within2), deviation.size(), outOfOrder);

  std::ostringstream playOut, playErr;
  velqor::cli::RunPlay({recorded, "--sim"}, playOut, playErr, false);
  std::cout << "play through the simulated adapter: " << playErr.str();
}

}  // namespace

int main() {
  velqor::bench::ScratchFolder folder;
  ReplayAgainstTheSimulator(folder);
  ConvertLargeLog(folder);
  return 0;
}
