#include "common/ini_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

namespace fs = std::filesystem;
using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

const year_month_day kSomeDay{year(2026), month(12), day(7)};

TEST(IniFile, MissingFileGivesEveryDefault) {
  TempDir dir;
  const IniFile ini(dir / "absent.ini");
  EXPECT_EQ(ini.readValue("S", "k"), std::nullopt);
  EXPECT_EQ(ini.readString("S", "k", "dflt"), "dflt");
  EXPECT_EQ(ini.readInteger("S", "k", 42), 42);
  EXPECT_TRUE(ini.readBool("S", "k", true));
  EXPECT_EQ(ini.readFloat("S", "k", 2.5), 2.5);
  EXPECT_EQ(ini.readDate("S", "k", kSomeDay), kSomeDay);
  EXPECT_FALSE(fs::exists(dir / "absent.ini"));  // reading creates nothing
}

TEST(IniFile, UnreadableValuesGiveTheDefault) {
  TempDir dir;
  writeFile(dir / "v.ini", "[S]\nint=12x\nbool=yes\nfloat=2,5\ndate=07.12.2026\nempty=\n");
  const IniFile ini(dir / "v.ini");
  EXPECT_EQ(ini.readInteger("S", "int", 7), 7);
  EXPECT_TRUE(ini.readBool("S", "bool", true));
  EXPECT_FALSE(ini.readBool("S", "bool", false));
  EXPECT_EQ(ini.readFloat("S", "float", 1.5), 1.5);
  EXPECT_EQ(ini.readDate("S", "date", kSomeDay), kSomeDay);
  EXPECT_EQ(ini.readInteger("S", "empty", 3), 3);
  EXPECT_EQ(ini.readString("S", "empty", "dflt"), "");  // an empty text is a text
}

TEST(IniFile, TypedValuesRoundTripThroughTheFile) {
  TempDir dir;
  IniFile ini(dir / "t.ini");
  ini.writeInteger("S", "int", -56);
  ini.writeBool("S", "yes", true);
  ini.writeBool("S", "no", false);
  ini.writeFloat("S", "float", static_cast<double>(2.2f));
  ini.writeDate("S", "date", kSomeDay);
  ini.writeString("S", "text", "11 22 33");
  EXPECT_EQ(readFile(dir / "t.ini"),
            "[S]\nint=-56\nyes=1\nno=0\nfloat=2.20000004768372\ndate=2026/12/07\n"
            "text=11 22 33\n");
  const IniFile again(dir / "t.ini");  // a second object on the same file sees it all
  EXPECT_EQ(again.readInteger("S", "int", 0), -56);
  EXPECT_TRUE(again.readBool("S", "yes", false));
  EXPECT_FALSE(again.readBool("S", "no", true));
  EXPECT_EQ(static_cast<float>(again.readFloat("S", "float", 0)), 2.2f);
  EXPECT_EQ(again.readDate("S", "date", year_month_day{}), kSomeDay);
  EXPECT_EQ(again.readString("S", "text", ""), "11 22 33");
}

TEST(IniFile, ReadsCrLfAndWritesLfKeepingOtherLines) {
  TempDir dir;
  writeFile(dir / "w.ini",
            "; keep me\r\n[UART]\r\nComm=3\r\nUnknown=x\r\r\n\r\n[AD]\r\nPORT=1\r\n");
  IniFile ini(dir / "w.ini");
  EXPECT_EQ(ini.readInteger("uart", "COMM", 0), 3);
  ini.writeInteger("UART", "RATE", 9600);
  EXPECT_EQ(readFile(dir / "w.ini"),
            "; keep me\n[UART]\nComm=3\nUnknown=x\nRATE=9600\n\n[AD]\nPORT=1\n");
}

TEST(IniFile, WriteLeavesNoTemporaryFileAndKeepsPermissions) {
  TempDir dir;
  writeFile(dir / "p.ini", "[S]\nk=1\n");
  fs::permissions(dir / "p.ini",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  IniFile ini(dir / "p.ini");
  for (int i = 0; i < 5; ++i) ini.writeInteger("S", "k", i);
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
  EXPECT_EQ(fs::status(dir / "p.ini").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(ini.readInteger("S", "k", -1), 4);
}

TEST(IniFile, WriteThroughASymbolicLinkChangesTheFileItPointsTo) {
  TempDir dir;
  fs::create_directory(dir / "real");
  writeFile(dir / "real" / "Velqor.INI", "[S]\nk=1\n");
  fs::create_symlink("real/Velqor.INI", dir / "link.ini");
  IniFile ini(dir / "link.ini");
  ini.writeInteger("S", "k", 2);
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(readFile(dir / "real" / "Velqor.INI"), "[S]\nk=2\n");
}

TEST(IniFile, WriteToAReadOnlyFileRaisesTheWriteErrorAndChangesNothing) {
  TempDir dir;
  const fs::path file = dir / "ro.ini";
  writeFile(file, "[S]\nk=1\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  IniFile ini(file);
  try {
    ini.writeInteger("S", "k", 2);
    FAIL() << "the write went through";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()),
              file.string() + " に書き込めません\n" + file.string() + ": Permission denied");
    EXPECT_EQ(e.file(), file);
    EXPECT_TRUE(e.reason());
  }
  EXPECT_EQ(readFile(file), "[S]\nk=1\n");
}

TEST(IniFile, WriteIntoAFolderThatCannotExistRaisesTheWriteError) {
  TempDir dir;
  writeFile(dir / "plain", "a regular file, not a folder");
  const fs::path file = dir / "plain" / "Velqor.INI";
  IniFile ini(file);
  try {
    ini.writeString("S", "k", "v");
    FAIL() << "the write went through";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()),
              file.string() + " に書き込めません\n" + file.string() + ": Not a directory");
  }
  EXPECT_EQ(ini.readValue("S", "k"), std::nullopt);
}

TEST(IniFile, AFolderOrFifoAtThePathIsNeitherReadNorReplacedNorWaitedOn) {
  TempDir dir;
  fs::create_directory(dir / "folder.ini");
  IniFile folder(dir / "folder.ini");
  EXPECT_EQ(folder.readValue("S", "k"), std::nullopt);
  EXPECT_THROW(folder.writeString("S", "k", "v"), SettingsWriteError);
  EXPECT_TRUE(fs::is_directory(dir / "folder.ini"));

  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  IniFile fifo(dir / "fifo.ini");
  EXPECT_EQ(fifo.readValue("S", "k"), std::nullopt);  // no writer: would block without care
  EXPECT_THROW(fifo.writeString("S", "k", "v"), SettingsWriteError);
}

TEST(IniFile, WhatIsNotARegularFileIsRefusedWithoutBeingOpened) {
  TempDir dir;
  fs::create_directory(dir / "folder.ini");
  ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  fs::create_symlink("fifo.ini", dir / "fifo-link.ini");
  fs::create_symlink("/dev/null", dir / "device.ini");
  const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(opens, 0);
  ASSERT_GE(::inotify_add_watch(opens, dir.path().c_str(), IN_OPEN), 0);
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"folder.ini", "Is a directory"},
      {"fifo.ini", "a FIFO, not a regular file"},
      {"fifo-link.ini", "a FIFO, not a regular file"},
      {"device.ini", "a device, not a regular file"},
  };
  for (const auto& c : cases) {
    IniFile ini(dir / c.name);
    EXPECT_EQ(ini.readValue("S", "k"), std::nullopt) << c.name;
    try {
      ini.writeString("S", "k", "v");
      ADD_FAILURE() << c.name << " was written";
    } catch (const SettingsWriteError& e) {
      EXPECT_THAT(e.what(), ::testing::EndsWith(std::string(": ") + c.reason)) << c.name;
    }
  }
  char events[4096];
  EXPECT_EQ(::read(opens, events, sizeof events), -1) << "something in the folder was opened";
  ::close(opens);
  EXPECT_EQ(fs::symlink_status(dir / "fifo-link.ini").type(), fs::file_type::symlink);
  EXPECT_EQ(fs::status(dir / "fifo.ini").type(), fs::file_type::fifo);
}

TEST(IniFile, BadNameIsRefusedBeforeTheFileIsTouched) {
  TempDir dir;
  IniFile ini(dir / "n.ini");
  EXPECT_THROW(ini.writeString("S", "a=b", "v"), std::invalid_argument);
  EXPECT_FALSE(fs::exists(dir / "n.ini"));
}

}  // namespace
}  // namespace velqor
