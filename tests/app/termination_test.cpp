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
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/application.h"
#include "app/main_window.h"
#include "app/qt_message_boxes.h"
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

// Records every modal window that shows (a box by its text, a dialog by its class) and raises
// SIGTERM the moment the first one shows: the request is then seen inside that window's own
// event loop. Anything still open after a generous bound is closed and marked, so that a fault
// fails the test instead of hanging it.
class ModalWatch : public QObject {
 public:
  ModalWatch() {
    qApp->installEventFilter(this);
    m_bound.setSingleShot(true);
    m_bound.setInterval(60000);
    QObject::connect(&m_bound, &QTimer::timeout, [this] {
      boundReached = true;
      while (QWidget* w = QApplication::activeModalWidget()) w->hide();
    });
  }
  ~ModalWatch() override { qApp->removeEventFilter(this); }

  std::vector<QString> shown;
  bool boundReached = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (!w->isWindow() || !w->isModal()) return false;
    const auto* box = qobject_cast<QMessageBox*>(w);
    shown.push_back(box ? box->text() : QString::fromLatin1(w->metaObject()->className()));
    if (shown.size() == 1) ::raise(SIGTERM);
    m_bound.start();
    return false;
  }

 private:
  QTimer m_bound;
};

bool HandlerInPlace(int sig) {
  struct sigaction now {};
  ::sigaction(sig, nullptr, &now);
  return now.sa_handler != SIG_DFL && now.sa_handler != SIG_IGN;
}

// The program's stop (ProgramStop) with the real message boxes, offscreen.
class StopTest : public ::testing::Test {
 public:
  // The settings file holds `settings`; a folder stands in its place when null.
  void makeWindow(const char* settings) {
    options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
    if (settings != nullptr) {
      std::ofstream(options.settingsPath, std::ios::binary) << settings;
    } else {
      QDir(folder.path()).mkdir(QStringLiteral("Velqor.INI"));
    }
    window = std::make_unique<TFrmMain>(boxes, options);
  }
  void run() {
    stop.setMainWindow(window.get());
    window->show();
  }

  QTemporaryDir folder;
  TFrmMain::Options options;
  QtMessageBoxes boxes;
  ProgramStop stop{boxes};
  ModalWatch watch;
  std::unique_ptr<TFrmMain> window;
};

struct OpenBox {
  const char* name;
  std::function<void(StopTest&)> open;  // returns once the box has closed
  const char* shown;                    // in the box's text, or the dialog's class
};

void PrintTo(const OpenBox& c, std::ostream* os) { *os << c.name; }

class StopWithABoxOpen : public StopTest, public ::testing::WithParamInterface<OpenBox> {};

TEST_P(StopWithABoxOpen, ClosesTheBoxAndEndsTheProgramInOrder) {
  GetParam().open(*this);
  EXPECT_FALSE(watch.boundReached) << "the box stayed open";
  ASSERT_EQ(watch.shown.size(), 1u);
  EXPECT_TRUE(watch.shown[0].contains(QString::fromUtf8(GetParam().shown)))
      << watch.shown[0].toStdString();
  EXPECT_TRUE(stop.requested());
  if (window) {
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_TRUE(HandlerInPlace(SIGTERM) && HandlerInPlace(SIGINT));
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, StopWithABoxOpen,
    ::testing::Values(
        // Shown while the window is made: the program then never starts its event loop.
        OpenBox{"StartUpSettingsWarning",
                [](StopTest& f) { f.makeWindow("[BITIM]\r\nBITRATE=99\r\n"); },
                "BITRATE=99: there is no such bit rate"},
        OpenBox{"MessageBox",
                [](StopTest& f) {
                  f.makeWindow("");
                  f.run();
                  f.boxes.Show("a box", "Velqor", MessageBoxes::Icon::Error);
                },
                "a box"},
        OpenBox{"QuestionAnsweredCancel",
                [](StopTest& f) {
                  f.makeWindow("");
                  f.run();
                  EXPECT_FALSE(f.boxes.Confirm("go on?", "Velqor", MessageBoxes::Icon::None));
                },
                "go on?"},
        OpenBox{"ModalDialog",
                [](StopTest& f) {
                  f.makeWindow("");
                  f.run();
                  f.window->About1Click();
                },
                "TFrmAbout"},
        // A person closed the window and its settings cannot be saved: the box says why.
        OpenBox{"SaveFailureAfterAPersonClosed",
                [](StopTest& f) {
                  f.makeWindow(nullptr);
                  f.run();
                  f.window->close();
                  f.window.reset();
                },
                "/Velqor.INI: Is a directory"}),
    [](const auto& p) { return std::string(p.param.name); });

// The real program, started in a folder of its own.
struct ExitCase {
  const char* name;
  std::vector<int> sent;      // the signals, in order
  const char* settings = "";  // the settings file's bytes ("": none); null: a folder instead
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class ProgramExit : public ::testing::TestWithParam<ExitCase> {
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
  const ExitCase& c = GetParam();
  QTemporaryDir folder;
  const std::string dir = folder.path().toStdString();
  const std::string output = dir + "/output.txt";
  if (c.settings == nullptr) {
    QDir(folder.path()).mkdir(QStringLiteral("Velqor.INI"));
  } else if (*c.settings != '\0') {
    std::ofstream(dir + "/Velqor.INI", std::ios::binary) << c.settings;
  }

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

  // Until its handlers are in place (the window comes up right after, or its warning box).
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!(Catches(pid, SIGTERM) && Catches(pid, SIGINT)) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  // A write beyond the file-size limit fails with EFBIG instead of ending the program.
  EXPECT_TRUE(Ignores(pid, SIGXFSZ));
  for (int sig : c.sent) ASSERT_EQ(::kill(pid, sig), 0);

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
  if (c.settings != nullptr) {
    // FormDestroy wrote the settings in the working directory.
    const IniFile ini(dir + "/Velqor.INI");
    EXPECT_EQ(ini.readString("UART", "COMM", ""), "1");
    EXPECT_EQ(ini.readString("OPTION", "TERM", ""), "1");
  } else {
    // They could not be written: said on standard error, with the reason.
    EXPECT_NE(printed.str().find("Velqor.INI に書き込めません"), std::string::npos)
        << printed.str();
    EXPECT_NE(printed.str().find(std::generic_category().message(EISDIR)), std::string::npos)
        << printed.str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, ProgramExit,
    ::testing::Values(ExitCase{"Term", {SIGTERM}}, ExitCase{"Int", {SIGINT}},
                      ExitCase{"TermTerm", {SIGTERM, SIGTERM}},
                      ExitCase{"IntTermInt", {SIGINT, SIGTERM, SIGINT}},
                      // The warning box of the settings file is open when the signal comes.
                      ExitCase{"TermAtTheStartUpWarning", {SIGTERM}, "[BITIM]\r\nBITRATE=99\r\n"},
                      // A folder where the settings file should be: the save fails.
                      ExitCase{"TermWithSettingsThatCannotBeSaved", {SIGTERM}, nullptr}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace velqor
