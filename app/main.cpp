// velqor: the main window, the terminal window and the About box, then the event loop.
// With --simulate the links reach a simulated adapter in this process.

#include <QGuiApplication>
#include <QIcon>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/folder_lock.h"
#include "app/main_window.h"
#include "app/qt_message_boxes.h"
#include "app/simulated_adapter.h"
#include "canlog/log_error.h"
#include "dialogs/about_box.h"
#include "terminal/terminal_window.h"

extern char** environ;

namespace {

std::map<std::string, std::string> Environment() {
  std::map<std::string, std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string entry(*e);
    const std::size_t eq = entry.find('=');
    if (eq != std::string::npos) env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return env;
}

}  // namespace

int main(int argc, char** argv) {
  // Beyond the file-size limit (ulimit -f) a write fails with EFBIG and is reported where it
  // happens (data log, settings file); the signal would end the program instead.
  std::signal(SIGXFSZ, SIG_IGN);
  // The command line is read before Qt starts, so that --help and mistakes need no display.
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const std::optional<velqor::CommandLine> commandLine = velqor::ParseCommandLine(args, error);
  if (!commandLine) {
    std::fprintf(stderr, "velqor: %s\n", error.c_str());
    return 2;
  }
  if (commandLine->help) {
    std::fputs(velqor::kVelqorUsage, stdout);
    return 0;
  }
  if (const auto hint = velqor::MissingDisplayHint(Environment(), args)) {
    std::fputs(hint->c_str(), stderr);
    return 1;
  }

  velqor::VelqorApplication app(argc, argv);
  app.setWindowIcon(QIcon(QStringLiteral(":/velqor/velqor.png")));
  velqor::QtMessageBoxes boxes;
  app.setMessageBoxes(&boxes);

  // One Velqor per working folder, whose Velqor.INI and log numbers it owns; held until exit.
  const velqor::FolderLock folderLock(".");
  if (folderLock.result() != velqor::FolderLock::Result::Held) {
    std::fprintf(stderr, "velqor: %s\n", folderLock.message().c_str());
    // A box only where someone can see and close it.
    const QString platform = QGuiApplication::platformName();
    const bool seen =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    if (folderLock.result() == velqor::FolderLock::Result::InUse) {
      if (seen) boxes.Show(folderLock.message(), "Velqor", velqor::MessageBoxes::Icon::Warning);
      return 1;
    }
  }

  velqor::TFrmMain::Options options;
  std::unique_ptr<velqor::SimulatedAdapter> simulation;  // outlives the window
  if (commandLine->simulate) {
    try {
      simulation = std::make_unique<velqor::SimulatedAdapter>(commandLine->sim);
    } catch (const velqor::LogError& e) {
      std::fprintf(stderr, "velqor: --sim-replay: %s\n", e.what());
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velqor: the simulated adapter cannot start: %s\n", e.what());
      return 1;
    }
    simulation->applyTo(options);
    if (const std::string warning = simulation->eepromWarning(); !warning.empty())
      std::fprintf(stderr, "velqor: simulated adapter: %s\n", warning.c_str());
  }

  // SIGINT and SIGTERM stop the program in order, whatever box is open. Made before the
  // windows and destroyed after them, so that a signal during the shutdown is still handled.
  velqor::ProgramStop stop(boxes);

  velqor::TFrmMain frmMain(boxes, options);  // may show the settings file's warnings
  boxes.setParent(&frmMain);
  velqor::TFrmTTY frmTty(frmMain, boxes);  // hidden until "&TTY"
  frmMain.setTerminal(&frmTty, &frmTty);
  velqor::TFrmAbout frmAbout;  // hidden
  // A request that came while the window was made: the window is not shown, the event loop
  // not started; the windows go down in order all the same.
  if (!stop.requested()) {
    stop.setMainWindow(&frmMain);
    frmMain.show();
    app.exec();
    stop.setMainWindow(nullptr);
  }
  // No reader or script thread reaches the terminal window after this.
  frmMain.setTerminal(nullptr, nullptr);
  return 0;
}
