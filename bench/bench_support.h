#pragma once
// Pieces the benchmarks share: a scratch folder for the files a run writes, message boxes
// that only print, and a line count of a written file.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/message_boxes.h"

namespace velqor::bench {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velqor-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    m_dir = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return m_dir; }

 private:
  std::filesystem::path m_dir;
};

// A box during a benchmark is a fault worth seeing, but must not stop the run.
struct PrintingBoxes : MessageBoxes {
  void Show(const std::string& text, const std::string&, Icon) override {
    std::fprintf(stderr, "message box: %s\n", text.c_str());
  }
  bool Confirm(const std::string&, const std::string&, Icon) override { return false; }
};

inline std::uint64_t CountLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::uint64_t lines = 0;
  std::string line;
  while (std::getline(in, line)) ++lines;
  return lines;
}

}  // namespace velqor::bench
