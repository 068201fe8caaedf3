#include "dialogs/memory_status.h"

#include <gtest/gtest.h>

#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using velqor::testing::TempDir;
using velqor::testing::writeFile;

TEST(MemoryStatus, OneGibibyteShowsAsKilobytesWithSeparators) {
  EXPECT_EQ(PhysMemText(1073741824ull), "1,048,576 KB");
  EXPECT_EQ(PhysMemText(1024ull * 999), "999 KB");
  EXPECT_EQ(PhysMemText(1024ull * 1000), "1,000 KB");
  EXPECT_EQ(PhysMemText(1024ull * 16303448), "16,303,448 KB");
  EXPECT_EQ(PhysMemText(1023), " KB");  // "#,###" has no digit for 0
  EXPECT_EQ(MemoryLoadText(37), "37 %");
  EXPECT_EQ(MemoryLoadText(100), "100 %");
}

TEST(MemoryStatus, ParsesTotalAndLoadFromMemInfo) {
  const auto status = ParseMemInfo(
      "MemTotal:        1048576 kB\n"
      "MemFree:          100000 kB\n"
      "MemAvailable:     660603 kB\n"
      "Buffers:           20000 kB\n");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->totalPhysBytes, 1073741824ull);
  EXPECT_EQ(status->memoryLoad, 37u);
}

TEST(MemoryStatus, OlderKernelsCountFreeBuffersAndCacheAsAvailable) {
  const auto status = ParseMemInfo(
      "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 100 kB\nSwapCached: 7 kB\n");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->memoryLoad, 75u);
}

TEST(MemoryStatus, WithoutATotalThereAreNoFigures) {
  EXPECT_FALSE(ParseMemInfo("").has_value());
  EXPECT_FALSE(ParseMemInfo("MemFree: 10 kB\n").has_value());
  EXPECT_FALSE(ParseMemInfo("MemTotal: 0 kB\n").has_value());
  EXPECT_FALSE(ParseMemInfo("MemTotal: lots\n").has_value());
  // More available than there is reads as an idle machine, not as a negative load.
  EXPECT_EQ(ParseMemInfo("MemTotal: 10 kB\nMemAvailable: 20 kB\n")->memoryLoad, 0u);
}

TEST(MemoryStatus, ReadsTheFileItIsGiven) {
  TempDir dir;
  writeFile(dir / "meminfo", "MemTotal: 2048 kB\nMemAvailable: 1024 kB\n");
  const auto status = ReadMemoryStatus(dir / "meminfo");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->totalPhysBytes, 2048u * 1024u);
  EXPECT_EQ(status->memoryLoad, 50u);
  EXPECT_FALSE(ReadMemoryStatus(dir / "missing").has_value());
  EXPECT_TRUE(ReadMemoryStatus().has_value());  // this machine's /proc/meminfo
}

}  // namespace
}  // namespace velqor
