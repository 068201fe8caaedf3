// SIGINT and SIGTERM close the main window the way its close box does: in this process
// through TerminationSignals, and for the real program, which must leave its settings file
// written and exit with status 0.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "common/ini_file.h"
#include "link/termination_signals.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"

extern char** environ;

VELQOR_QT_TEST_APPLICATION(velqor::VelqorApplication);

namespace velqor {
namespace {

using namespace std::chrono_literals;

TEST(TerminationSignals, TheFirstSignalClosesTheWindowAndLaterOnesAreIgnored) {
  test::RecordingBoxes boxes;
  QTemporaryDir folder;
  TFrmMain::Options options;
  options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  auto window = std::make_unique<TFrmMain>(boxes, options);
  window->show();
  int closes = 0;
  {
    TerminationSignals termination([&] {
      ++closes;
      window->close();
    });
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(closes, 1);
    // While the program is closing, more signals neither close again nor end the process.
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return termination.handled() >= 2; }));
    EXPECT_EQ(closes, 1);
    termination.disarm();
  }
  // The window goes down through FormDestroy: the settings are written.
  window.reset();
  EXPECT_EQ(IniFile(options.settingsPath).readString("UART", "COMM", ""), "1");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST(TerminationSignals, ADisarmedHandlerTakesTheSignalAndDoesNothing) {
  int closes = 0;
  TerminationSignals termination([&] { ++closes; });
  termination.disarm();
  ASSERT_EQ(::raise(SIGINT), 0);
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return termination.handled() >= 1; }));
  EXPECT_EQ(closes, 0);
}

// The real program, started in a folder of its own.
class ProgramExit : public ::testing::TestWithParam<std::vector<int>> {
 protected:
  // Whether the process has its handler for `sig` in place (SigCgt of /proc/PID/status).
  static bool Catches(pid_t pid, int sig) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigCgt:", 0) != 0) continue;
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      return (mask >> (sig - 1)) & 1u;
    }
    return false;
  }
  // Whether the process ignores `sig` (SigIgn of /proc/PID/status).
  static bool Ignores(pid_t pid, int sig) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigIgn:", 0) == 0)
        return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1u;
    }
    return false;
  }
};

TEST_P(ProgramExit, ASignalEndsItThroughTheWindowsShutdown) {
  QTemporaryDir folder;
  const std::string dir = folder.path().toStdString();
  const std::string output = dir + "/output.txt";

  posix_spawn_file_actions_t actions;
  ASSERT_EQ(posix_spawn_file_actions_init(&actions), 0);
  ASSERT_EQ(posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()), 0);
  ASSERT_EQ(posix_spawn_file_actions_addopen(&actions, 1, output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644),
            0);
  ASSERT_EQ(posix_spawn_file_actions_adddup2(&actions, 1, 2), 0);
  char program[] = VELQOR_BINARY;
  char simulate[] = "--simulate";
  char* argv[] = {program, simulate, nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Until its handlers are in place (the window comes up right after).
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!(Catches(pid, SIGTERM) && Catches(pid, SIGINT)) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  // A write beyond the file-size limit fails with EFBIG instead of ending the program.
  EXPECT_TRUE(Ignores(pid, SIGXFSZ));
  for (int sig : GetParam()) ASSERT_EQ(::kill(pid, sig), 0);

  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline + 30s)
    std::this_thread::sleep_for(10ms);
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the program did not end";
  }
  std::stringstream printed;
  printed << std::ifstream(output).rdbuf();
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << "\n" << printed.str();
  EXPECT_EQ(WEXITSTATUS(status), 0) << printed.str();
  // FormDestroy wrote the settings in the working directory.
  const IniFile ini(dir + "/Velqor.INI");
  EXPECT_EQ(ini.readString("UART", "COMM", ""), "1");
  EXPECT_EQ(ini.readString("OPTION", "TERM", ""), "1");
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgramExit,
                         ::testing::Values(std::vector<int>{SIGTERM}, std::vector<int>{SIGINT},
                                           std::vector<int>{SIGTERM, SIGTERM},
                                           std::vector<int>{SIGINT, SIGTERM, SIGINT}),
                         [](const auto& p) {
                           std::string name;
                           for (int sig : p.param) name += sig == SIGINT ? "Int" : "Term";
                           return name;
                         });

}  // namespace
}  // namespace velqor
