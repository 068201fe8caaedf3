// The real program and its working folder: a second start in a folder that is in use says so
// and ends; a program that was killed leaves the folder free.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/folder_lock.h"

extern char** environ;

namespace velqor {
namespace {

using namespace std::chrono_literals;

// `velqor --simulate` in `dir`, its output into `output`.
pid_t StartProgram(const std::string& dir, const std::string& output) {
  posix_spawn_file_actions_t actions;
  EXPECT_EQ(posix_spawn_file_actions_init(&actions), 0);
  EXPECT_EQ(posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()), 0);
  EXPECT_EQ(posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644),
            0);
  EXPECT_EQ(posix_spawn_file_actions_adddup2(&actions, 1, 2), 0);
  char program[] = VELQOR_BINARY;
  char simulate[] = "--simulate";
  char* argv[] = {program, simulate, nullptr};
  pid_t pid = 0;
  EXPECT_EQ(::posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit status, or -1 when it did not end within a minute (it is then killed).
int WaitForExit(pid_t pid) {
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Read(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

TEST(FolderInUse, ASecondStartInTheSameFolderSaysSoAndEnds) {
  QTemporaryDir folder;
  const std::string dir = folder.path().toStdString();
  const FolderLock first(dir);  // the first program
  ASSERT_EQ(first.result(), FolderLock::Result::Held);
  const pid_t second = StartProgram(dir, dir + "/output.txt");
  EXPECT_EQ(WaitForExit(second), 1);
  const std::string said = Read(dir + "/output.txt");
  EXPECT_NE(said.find("velqor: The folder " + dir + " is in use by another Velqor (process " +
                      std::to_string(::getpid()) + ")"),
            std::string::npos)
      << said;
  EXPECT_FALSE(std::ifstream(dir + "/Velqor.INI"));  // it touched nothing
}

TEST(FolderInUse, AKilledProgramLeavesTheFolderFree) {
  QTemporaryDir folder;
  const std::string dir = folder.path().toStdString();
  const pid_t program = StartProgram(dir, dir + "/output.txt");
  // The lock file names its holder once the folder is taken.
  const std::string holder = std::to_string(program) + "\n";
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (Read(dir + "/" + FolderLock::kFileName) != holder &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(FolderLock(dir).result(), FolderLock::Result::InUse);
  ASSERT_EQ(::kill(program, SIGKILL), 0);
  EXPECT_EQ(WaitForExit(program), 128 + SIGKILL);
  EXPECT_EQ(FolderLock(dir).result(), FolderLock::Result::Held);
}

}  // namespace
}  // namespace velqor
