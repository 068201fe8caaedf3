#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "common/settings.h"
#include "dialogs/about_box.h"
#include "dialogs/port_dialog.h"
#include "tests/common/temp_dir.h"
#include "tests/support/control_table.h"
#include "tests/support/qt_application.h"
#include "tests/support/recorders.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

using ::testing::ElementsAre;
using velqor::testing::ExpectControls;
using velqor::testing::RecordingBoxes;
using velqor::testing::TempDir;
using velqor::testing::writeFile;

template <typename T>
T* child(QWidget& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

class PortDialogTest : public ::testing::Test {
 protected:
  PortDialogTest() : ini(dir / "Velqor.INI") {
    writeFile(dev / "ttyACM0", "");
    writeFile(dev / "ttyUSB3", "");
  }

  // Opens the dialog on `values`, lets `act` work on it, closes it with "Close" and returns
  // what it applied.
  std::optional<SerialPortChanges> run(const SerialPortValues& values,
                                       const std::function<void(TFrmOption&)>& act = {}) {
    TFrmOption dialog(values, ini, boxes, {{dev.path()}});
    std::optional<SerialPortChanges> applied;
    dialog.OnApply = [&applied](const SerialPortChanges& changes) { applied = changes; };
    dialog.show();
    if (act) act(dialog);
    child<QPushButton>(dialog, "OKBtn")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    return applied;
  }

  TempDir dir;
  TempDir dev;
  IniFile ini;
  RecordingBoxes boxes;
};

TEST_F(PortDialogTest, HasItsListsAndLabels) {
  TFrmOption dialog({1, 115200, SerialParity::Even, false}, ini, boxes, {{dev.path()}});
  EXPECT_EQ(dialog.windowTitle(), "serialport set");
  EXPECT_EQ(dialog.size(), QSize(188, 185));
  ExpectControls(dialog, {{"Label1", "QLabel", {8, 12, 72, 16}, "Port Number"},
                          {"ComPort", "QComboBox", {84, 8, 96, 24}, "COM1"},
                          {"Label4", "QLabel", {8, 40, 172, 16}, "これはバイナリデータを"},
                          {"Label3", "QLabel", {8, 58, 172, 16}, "転送するポートです"},
                          {"OKBtn", "QPushButton", {56, 148, 75, 25}, "Close"},
                          {"Label2", "QLabel", {}, "Baudrate (bps)"},
                          {"ComRate", "QComboBox", {}, "115200"},
                          {"ComParity", "QComboBox", {}, "Even"}});
  EXPECT_EQ(child<QComboBox>(dialog, "ComPort")->count(), 127);
  EXPECT_EQ(child<QComboBox>(dialog, "ComPort")->itemText(126), "COM127");
  EXPECT_EQ(child<QComboBox>(dialog, "ComRate")->count(), 9);
  dialog.show();
  for (const char* hidden : {"Label2", "ComRate", "ComParity"}) {
    EXPECT_FALSE(child<QWidget>(dialog, hidden)->isVisible()) << hidden;
  }
  // Every control lies inside the client area.
  for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->isVisible()) {
      EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->objectName().toStdString();
    }
  }
}

TEST_F(PortDialogTest, OpensOnTheComponentsPortAndAppliesTheChosenOne) {
  const auto applied = run({3, 115200, SerialParity::Even, false}, [](TFrmOption& dialog) {
    auto* port = dialog.findChild<QComboBox*>("ComPort");
    EXPECT_EQ(port->currentText(), "COM3");
    EXPECT_TRUE(port->isEnabled());
    port->setCurrentIndex(11);
  });
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->portNo, 12);
  // Untouched rate and parity go back as they were.
  EXPECT_EQ(applied->bitRate, 115200);
  EXPECT_EQ(applied->parity, SerialParity::Even);
}

TEST_F(PortDialogTest, WhileConnectedTheListsAreDisabledAndThePortStays) {
  const auto applied = run({3, 115200, SerialParity::Even, true}, [](TFrmOption& dialog) {
    EXPECT_FALSE(dialog.findChild<QComboBox*>("ComPort")->isEnabled());
    EXPECT_FALSE(dialog.findChild<QComboBox*>("ComDevice")->isEnabled());
  });
  ASSERT_TRUE(applied);
  EXPECT_FALSE(applied->portNo.has_value());
  EXPECT_EQ(applied->bitRate, 115200);
}

TEST_F(PortDialogTest, ARateOutsideTheTableStaysAsItIs) {
  const auto applied = run({2, 1200, SerialParity::Odd, false});
  ASSERT_TRUE(applied);
  EXPECT_FALSE(applied->bitRate.has_value());
  EXPECT_EQ(applied->parity, SerialParity::Odd);
}

TEST_F(PortDialogTest, EscapeClosesAndAppliesToo) {
  TFrmOption dialog({5, 9600, SerialParity::None, false}, ini, boxes, {{dev.path()}});
  std::optional<SerialPortChanges> applied;
  dialog.OnApply = [&applied](const SerialPortChanges& changes) { applied = changes; };
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->portNo, 5);
}

TEST_F(PortDialogTest, ShowsAndSavesTheDevicePathOfTheChosenNumber) {
  writeFile(dir / "Velqor.INI", "[PORTS]\nCOM2=/dev/ttyS1\n");
  run({1, 115200, SerialParity::Even, false}, [this](TFrmOption& dialog) {
    auto* port = dialog.findChild<QComboBox*>("ComPort");
    auto* device = dialog.findChild<QComboBox*>("ComDevice");
    EXPECT_EQ(device->currentText(), "/dev/ttyACM0");
    // The devices found are offered.
    ASSERT_EQ(device->count(), 2);
    EXPECT_EQ(device->itemText(0).toStdString(), (dev / "ttyACM0").string());
    EXPECT_EQ(device->itemText(1).toStdString(), (dev / "ttyUSB3").string());
    port->setCurrentIndex(1);
    EXPECT_EQ(device->currentText(), "/dev/ttyS1");
    port->setCurrentIndex(2);
    device->setCurrentIndex(1);  // picked from the list
    port->setCurrentIndex(3);
    device->setEditText(QStringLiteral("/dev/serial/by-id/usb-adapter"));  // typed
  });
  EXPECT_EQ(portDevicePath(ini, 2), "/dev/ttyS1");
  EXPECT_EQ(portDevicePath(ini, 3), (dev / "ttyUSB3").string());
  EXPECT_EQ(portDevicePath(ini, 4), "/dev/serial/by-id/usb-adapter");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PortDialogTest, ASettingThePortRefusesIsShownAndTheDialogStillCloses) {
  // While connected to a device that has gone, the serial component refuses even the rate it
  // had; that must not escape the hide event.
  TFrmOption dialog({3, 115200, SerialParity::Even, true}, ini, boxes, {{dev.path()}});
  int calls = 0;
  dialog.OnApply = [&calls](const SerialPortChanges&) {
    ++calls;
    throw ECommError(kCommErrBitRate, "COM3 (/dev/ttyACM2): Input/output error");
  };
  dialog.show();
  EXPECT_NO_THROW(child<QPushButton>(dialog, "OKBtn")->click());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text,
            std::string(kCommErrBitRate) + "\nCOM3 (/dev/ttyACM2): Input/output error");
}

TEST_F(PortDialogTest, WhileConnectedNoPathIsSaved) {
  run({1, 115200, SerialParity::Even, true}, [](TFrmOption& dialog) {
    dialog.findChild<QComboBox*>("ComDevice")->setEditText(QStringLiteral("/dev/other"));
  });
  EXPECT_EQ(portDevicePath(ini, 1), "/dev/ttyACM0");
}

TEST(SerialPortComponent, TheDialogReadsAndWritesTheComponentsValues) {
  TCommX comm;
  comm.SetPortNo(3);
  comm.SetBitRate(115200);
  comm.SetParityBit(cpbEven);
  const SerialPortValues values = SerialPortValuesOf(comm, true);
  EXPECT_EQ(values.portNo, 3);
  EXPECT_EQ(values.bitRate, 115200);
  EXPECT_EQ(values.parity, SerialParity::Even);
  EXPECT_TRUE(values.open);

  ApplySerialPortChanges(comm, {});  // nothing selected: nothing changes
  EXPECT_EQ(comm.PortNo(), 3);
  EXPECT_EQ(comm.BitRate(), 115200);
  EXPECT_EQ(comm.ParityBit(), cpbEven);
  ApplySerialPortChanges(comm, {12, 600, SerialParity::Odd});
  EXPECT_EQ(comm.PortNo(), 12);
  EXPECT_EQ(comm.BitRate(), 600);
  EXPECT_EQ(comm.ParityBit(), cpbOdd);
  ApplySerialPortChanges(comm, {{}, {}, SerialParity::None});
  EXPECT_EQ(comm.ParityBit(), cpbNone);
}

class AboutBoxTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(AboutBoxTest, ShowsVersionAndMemoryFiguresWhenShown) {
  writeFile(dir / "meminfo", "MemTotal: 1048576 kB\nMemAvailable: 660603 kB\n");
  TFrmAbout about(nullptr, dir / "meminfo");
  EXPECT_EQ(about.windowTitle(), "About Velqor");
  EXPECT_EQ(about.size(), QSize(318, 199));
  EXPECT_EQ(child<QLabel>(about, "LabVersion")->text(), "");  // filled when shown
  about.show();
  ExpectControls(about, {{"Label1", "QLabel", {}, "Velqor"},
                         {"LabVersion", "QLabel", {}, "3.1.0"},
                         {"Label3", "QLabel", {}, "Physical Memory Available to Windows:"},
                         {"PhysMem", "QLabel", {}, "1,048,576 KB"},
                         {"Label4", "QLabel", {}, "Memory in Use:"},
                         {"FreeRes", "QLabel", {}, "37 %"}});
  // Taken afresh at every showing.
  about.hide();
  writeFile(dir / "meminfo", "MemTotal: 2048 kB\nMemAvailable: 1024 kB\n");
  about.show();
  EXPECT_EQ(child<QLabel>(about, "PhysMem")->text(), "2,048 KB");
  EXPECT_EQ(child<QLabel>(about, "FreeRes")->text(), "50 %");
}

TEST_F(AboutBoxTest, LabelsAreYellowInTheirFontsAndFitTheBox) {
  TFrmAbout about;
  about.show();
  struct Style {
    const char* name;
    const char* family;
    int pixels;
  };
  for (const Style& s : {Style{"Label1", "Century", 19}, Style{"LabVersion", "Century", 19},
                         Style{"Label3", "Arial", 12}, Style{"PhysMem", "Arial", 12},
                         Style{"Label4", "Arial", 12}, Style{"FreeRes", "Arial", 12}}) {
    QLabel* label = child<QLabel>(about, s.name);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::yellow)) << s.name;
    EXPECT_EQ(label->font().families().front(), s.family) << s.name;
    EXPECT_EQ(label->font().pixelSize(), s.pixels) << s.name;
    EXPECT_TRUE(about.rect().contains(label->geometry())) << s.name;
    EXPECT_TRUE(label->testAttribute(Qt::WA_TransparentForMouseEvents)) << s.name;
  }
  EXPECT_GT(child<QLabel>(about, "PhysMem")->geometry().left(),
            child<QLabel>(about, "Label3")->geometry().right());
}

TEST_F(AboutBoxTest, AFileThatCannotBeReadShowsNoFigures) {
  TFrmAbout about(nullptr, dir / "missing");
  about.show();
  EXPECT_EQ(child<QLabel>(about, "PhysMem")->text(), "(unavailable)");
  EXPECT_EQ(child<QLabel>(about, "FreeRes")->text(), "(unavailable)");
}

TEST_F(AboutBoxTest, AClickOnThePictureClosesTheBox) {
  TFrmAbout about;
  auto* image = child<QLabel>(about, "Image1");
  EXPECT_EQ(image->geometry(), QRect(0, 0, 322, 199));
  ASSERT_FALSE(image->pixmap().isNull());
  EXPECT_EQ(image->pixmap().size(), QSize(322, 199));
  about.show();
  QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(200, 120));
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(AboutBoxTest, ThePictureIsAWaveformOnADarkScreen) {
  const QImage picture = TFrmAbout::Picture();
  ASSERT_EQ(picture.size(), QSize(322, 199));
  // Dark corners, bright traces somewhere in the middle band.
  EXPECT_LT(qGray(picture.pixel(2, 190)), 40);
  int bright = 0;
  for (int x = 0; x < picture.width(); ++x) {
    for (int y = 60; y < 150; ++y) bright += qGray(picture.pixel(x, y)) > 120 ? 1 : 0;
  }
  EXPECT_GT(bright, 300);
}

}  // namespace
}  // namespace velqor
