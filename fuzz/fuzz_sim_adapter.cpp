// Arbitrary bytes written to the simulated adapter, in chunks and at times taken from the
// input, with traffic and capture running: the model must never crash and its parameters
// must stay within range.

#include <cstdint>
#include <cstdlib>

#include "sim/sim_adapter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace std::chrono_literals;
  velqor::SimOptions options;
  options.errorInterval = 20ms;
  velqor::SimAdapter sim(options);
  sim.Write(velqor::SetTrigger(velqor::kPortCanH, 30));
  sim.Write(velqor::SetCaptureMode(velqor::kCaptureContinuous));
  std::size_t i = 0;
  while (i < size) {
    // One control byte: chunk length (low 5 bits) and how far to run the model after it.
    const std::uint8_t control = data[i++];
    const std::size_t n = std::min<std::size_t>(control & 0x1F, size - i);
    sim.Write({data + i, n});
    i += n;
    sim.AdvanceTo(sim.Now() + std::chrono::microseconds((control >> 5) * 400));
    velqor::InputReport report;
    while (sim.TakeInputReport(report)) {
    }
    std::string console;
    sim.TakeConsoleOutput(console);
    if (!sim.Params().Valid()) std::abort();
  }
  return 0;
}
