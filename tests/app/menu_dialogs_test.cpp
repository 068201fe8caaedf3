// The dialogs the main window's menu opens: the port dialog changes the serial port and its
// device path, the About box shows the version.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "common/settings.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"

namespace velqor {
namespace {

class MenuDialogsTest : public ::testing::Test {
 protected:
  MenuDialogsTest() {
    TFrmMain::Options options;
    options.settingsPath = iniPath();
    options.runModal = [this](QDialog& dialog) {
      // Shown and hidden as usual, but never painted.
      dialog.setAttribute(Qt::WA_DontShowOnScreen);
      dialog.setUpdatesEnabled(false);
      if (onModal) onModal(dialog);
    };
    window = std::make_unique<TFrmMain>(boxes, options);
  }

  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  template <typename T>
  T* find(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  std::function<void(QDialog&)> onModal;
  std::unique_ptr<TFrmMain> window;
};

TEST_F(MenuDialogsTest, ThePortDialogChangesTheSerialPortAndItsDevicePath) {
  onModal = [this](QDialog& dialog) {
    auto* port = find<QComboBox>(dialog, "ComPort");
    EXPECT_EQ(port->currentText(), "COM1");
    port->setCurrentIndex(11);
    find<QComboBox>(dialog, "ComDevice")->setEditText(QStringLiteral("/dev/ttyUSB7"));
    dialog.show();
    find<QPushButton>(dialog, "OKBtn")->click();
  };
  window->Option1Click();
  EXPECT_EQ(window->uartSettings().comm, 12);
  EXPECT_EQ(window->uartSettings().rate, 115200);
  EXPECT_EQ(window->uartSettings().parity, 2);
  EXPECT_EQ(portDevicePath(IniFile(iniPath()), 12), "/dev/ttyUSB7");
  // Saved with the other settings at exit.
  window.reset();
  EXPECT_EQ(IniFile(iniPath()).readInteger("UART", "COMM", 0), 12);
}

TEST_F(MenuDialogsTest, TheAboutBoxFromTheMenuShowsTheVersionAndClosesOnAClick) {
  QString version;
  onModal = [this, &version](QDialog& dialog) {
    dialog.show();
    version = find<QLabel>(dialog, "LabVersion")->text();
    QTest::mouseClick(find<QLabel>(dialog, "Image1"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  };
  window->About1Click();
  EXPECT_EQ(version, "3.1.0");
}

}  // namespace
}  // namespace velqor
