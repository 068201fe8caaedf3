// The main window's place on the desktop and one program per working folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <fstream>

#include "app/folder_lock.h"
#include "app/main_window.h"
#include "app/window_placement.h"
#include "tests/app/test_doubles.h"

// The program's QApplication comes from main_window_test.cpp.

namespace velqor {
namespace {

TEST(PlaceWindow, TheStoredPlaceWhenItsTitleBarIsOnAScreenElseCentred) {
  const QSize window(600, 500);
  // Two screens side by side, the right one lower and smaller.
  const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 200, 1280, 800)};
  const QPoint centred(659, 289);  // QRect's centre is (959, 539)
  struct {
    const char* what;
    std::optional<QPoint> stored;
    QPoint placed;
  } const cases[] = {
      {"nothing stored", std::nullopt, centred},
      {"on the first screen", QPoint(100, 40), QPoint(100, 40)},
      {"on the second screen", QPoint(2400, 300), QPoint(2400, 300)},
      {"half off the left edge", QPoint(-250, 40), QPoint(-250, 40)},
      {"title bar off the left edge", QPoint(-350, 40), centred},
      {"above the second screen", QPoint(2400, 100), centred},
      {"below every screen", QPoint(100, 1075), centred},
      {"far away", QPoint(5000, 5000), centred},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PlaceWindow(c.stored, window, screens, screens[0]), c.placed) << c.what;
}

class WindowPositionTest : public ::testing::Test {
 protected:
  std::unique_ptr<TFrmMain> open() {
    TFrmMain::Options options;
    options.settingsPath = iniPath();
    auto window = std::make_unique<TFrmMain>(boxes, options);
    window->show();
    return window;
  }
  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  QPoint centred(const TFrmMain& window) const {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return area.center() - QPoint(window.width() / 2, window.height() / 2);
  }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
};

TEST_F(WindowPositionTest, TheWindowComesBackWhereItWasAndCentredWhenThatIsOffTheScreens) {
  auto window = open();
  EXPECT_EQ(window->pos(), centred(*window));  // nothing stored: centred, as always
  window->move(40, 30);
  window.reset();
  EXPECT_EQ(LoadWindowPosition(IniFile(iniPath())), QPoint(40, 30));

  window = open();
  EXPECT_EQ(window->pos(), QPoint(40, 30));
  window.reset();

  IniFile ini(iniPath());
  SaveWindowPosition(ini, QPoint(30000, 30000));
  window = open();
  EXPECT_EQ(window->pos(), centred(*window));
}

TEST(FolderLock, OneHolderPerFolderAndTheFilesContentsAreNoLock) {
  QTemporaryDir one, two;
  const std::filesystem::path a = one.path().toStdString(), b = two.path().toStdString();
  // A file left by a process that is gone (a crash) holds nothing.
  std::ofstream(a / FolderLock::kFileName) << "999999999\n";
  {
    const FolderLock first(a);
    ASSERT_EQ(first.result(), FolderLock::Result::Held);
    const FolderLock second(a);
    EXPECT_EQ(second.result(), FolderLock::Result::InUse);
    EXPECT_EQ(second.holder(), ::getpid());
    EXPECT_NE(second.message().find(a.string() + " is in use by another Velqor (process " +
                                    std::to_string(::getpid()) + ")"),
              std::string::npos)
        << second.message();
    EXPECT_EQ(FolderLock(b).result(), FolderLock::Result::Held);  // another folder is fine
  }
  EXPECT_EQ(FolderLock(a).result(), FolderLock::Result::Held);  // let go with its holder
  EXPECT_EQ(FolderLock(a / "missing").result(), FolderLock::Result::Unavailable);
}

}  // namespace
}  // namespace velqor
