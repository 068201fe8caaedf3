#pragma once
// Conversion of a log from one format into another, frame by frame in constant memory.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "canlog/log_format.h"
#include "canlog/log_writer.h"

namespace velqor {

struct ConvertProgress {
  std::uint64_t frames = 0;
  std::uint64_t position = 0;  // bytes of the input read
  std::uint64_t size = 0;      // the input's size (0 when unknown)
};

struct ConvertResult {
  std::uint64_t frames = 0;
  bool cancelled = false;  // stopped by the progress callback; no output file was made
  // What the reader and the writer could not carry over, one sentence each.
  std::vector<std::string> notes;
};

// Reads `in` as `from` and writes every frame to `out` as `to` (the output appears only when
// all went well). `progress`, when given, is called about every 65536 frames and at the end;
// returning false cancels. Throws LogError: the input's errors name the input file and its
// line or byte, the output's the output file.
ConvertResult ConvertLog(const std::filesystem::path& in, LogFormat from,
                         const std::filesystem::path& out, LogFormat to,
                         const std::function<bool(const ConvertProgress&)>& progress = {},
                         LogWriterOptions options = {});

}  // namespace velqor
