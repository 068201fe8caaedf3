// Feeds arbitrary bytes to the log readers as a file's contents (the first byte chooses the
// format) and checks what must hold for any file: nothing crashes or reads out of bounds, a
// malformed file ends in LogError, and every frame read is a classic CAN frame (identifier
// within its IDE, a remote frame without data) that the candump writer takes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "canlog/candump_log.h"
#include "canlog/log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static constexpr velqor::LogFormat kFormats[] = {
      velqor::LogFormat::Candump, velqor::LogFormat::Asc, velqor::LogFormat::Blf,
      velqor::LogFormat::Csv, velqor::LogFormat::DataLog};
  const velqor::LogFormat format = kFormats[data[0] % 5];
  const int fd = ::memfd_create("fuzz_canlog", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  if (size > 1 && ::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    auto reader = velqor::OpenLogReader(path, format);
    velqor::CanFrame f;
    std::string line;
    while (reader->Next(f)) {
      // The data log keeps identifiers as the adapter sent them; other formats hold CAN's.
      if (format != velqor::LogFormat::DataLog && !f.error() &&
          f.id > (f.extended() ? 0x1FFFFFFFu : 0x7FFu)) {
        std::abort();
      }
      if (f.rtr() && f.data != decltype(f.data){}) std::abort();
      line.clear();
      velqor::AppendCandumpLine(line, f, "can0");
      if (line.back() != '\n') std::abort();
    }
    reader->Notes();
  } catch (const velqor::LogError&) {
    // A malformed file: said, not crashed on.
  }
  ::close(fd);
  return 0;
}
