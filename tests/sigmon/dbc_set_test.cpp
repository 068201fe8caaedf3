// The DBC files of the program: each loaded whole or not at all (and said why), one decoder
// over those that loaded, their list in the settings file.

#include "sigmon/dbc_set.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "common/ini_file.h"
#include "sigmon/dbc_settings.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

void Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(DbcSet, LoadsFilesWholeOrSaysWhereTheyFailed) {
  testing::TempDir dir;
  Write(dir / "good.dbc", "BO_ 256 Engine: 8 E\n SG_ Speed : 0|16@1+ (1,0) [0|0] \"\" X\n");
  // The second message breaks off in its signal: nothing of the file is used.
  Write(dir / "broken.dbc",
        "BO_ 512 Doors: 1 B\n SG_ Open : 0|1@1+ (1,0) [0|0] \"\" X\nBO_ 513 Lights: 1 B\n"
        " SG_ Low : 0|1@1+ (1,0 [0|0] \"\" X\n");
  ASSERT_EQ(::mkfifo((dir / "fifo.dbc").c_str(), 0600), 0);

  // Loaded on the job's thread, in order; a FIFO is refused, not waited on.
  std::mutex mutex;
  std::condition_variable cv;
  bool finished = false;
  DbcLoadJob job({(dir / "good.dbc").string(), (dir / "broken.dbc").string(),
                  (dir / "missing.dbc").string(), (dir / "fifo.dbc").string()},
                 [&] {
                   std::lock_guard lock(mutex);
                   finished = true;
                   cv.notify_all();
                 });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return finished; }));
  }
  std::vector<DbcFile> files = job.take();
  ASSERT_EQ(files.size(), 4u);
  EXPECT_TRUE(files[0].loaded());
  EXPECT_FALSE(files[1].loaded());
  EXPECT_EQ(files[1].error.rfind((dir / "broken.dbc").string() + ":4:", 0), 0u) << files[1].error;
  EXPECT_EQ(files[2].error, (dir / "missing.dbc").string() + ": No such file or directory");
  EXPECT_NE(files[3].error.find("FIFO"), std::string::npos) << files[3].error;

  DbcSet set;
  for (DbcFile& f : files) set.put(std::move(f));
  EXPECT_EQ(set.files().size(), 4u);
  EXPECT_EQ(set.decoder()->messageCount(), 1u);
  CanFrame frame;
  frame.id = 256;
  EXPECT_EQ(set.messageName(frame), "Engine");
  frame.ide = 1;
  EXPECT_EQ(set.messageName(frame), "");

  // The broken file mended and put again: in its place, its messages decoded too.
  Write(dir / "broken.dbc", "BO_ 512 Doors: 1 B\n SG_ Open : 0|1@1+ (1,0) [0|0] \"\" X\n");
  set.put(loadDbcFile((dir / "broken.dbc").string()));
  EXPECT_EQ(set.paths()[1], (dir / "broken.dbc").string());
  EXPECT_EQ(set.decoder()->messageCount(), 2u);
  EXPECT_TRUE(set.remove((dir / "good.dbc").string()));
  EXPECT_FALSE(set.remove((dir / "good.dbc").string()));
  EXPECT_EQ(set.decoder()->messageCount(), 1u);
}

TEST(DbcSettings, KeepsTheListInItsOwnSectionAndReadsOldFilesAsNone) {
  testing::TempDir dir;
  IniFile ini(dir / "Velqor.INI");
  Write(dir / "Velqor.INI", "[UART]\nCOMM=3\n");
  EXPECT_TRUE(loadDbcSettings(ini).files.empty());
  saveDbcSettings(ini, {});
  EXPECT_EQ(testing::readFile(dir / "Velqor.INI"), "[UART]\nCOMM=3\n");

  saveDbcSettings(ini, {{"/a/car.dbc", "", "/b/line\nbreak.dbc", "/c/j1939 ✓.dbc"}});
  EXPECT_EQ(testing::readFile(dir / "Velqor.INI"),
            "[UART]\nCOMM=3\n[SIGNALS]\nDBC1=/a/car.dbc\nDBC2=/c/j1939 ✓.dbc\nDBCCOUNT=2\n");
  EXPECT_EQ(loadDbcSettings(ini).files, (std::vector<std::string>{"/a/car.dbc", "/c/j1939 ✓.dbc"}));
  // A shorter list later: the count says where it ends.
  saveDbcSettings(ini, {{"/d/one.dbc"}});
  EXPECT_EQ(loadDbcSettings(ini).files, (std::vector<std::string>{"/d/one.dbc"}));
  saveDbcSettings(ini, {});
  EXPECT_TRUE(loadDbcSettings(ini).files.empty());
}

}  // namespace
}  // namespace velqor
