#include "dialogs/port_choice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/settings.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using velqor::testing::readFile;
using velqor::testing::TempDir;
using velqor::testing::writeFile;

TEST(PortListsFor, SelectsThePositionsOfTheComponentsValues) {
  const PortListSelection lists = PortListsFor({3, 115200, SerialParity::Even, false});
  EXPECT_EQ(lists.comPort, 2);    // "COM3"
  EXPECT_EQ(lists.comRate, 5);    // "115200"
  EXPECT_EQ(lists.comParity, 1);  // "Even"
  EXPECT_TRUE(lists.enabled);

  EXPECT_EQ(PortListsFor({1, 600, SerialParity::None, false}).comParity, 0);
  EXPECT_EQ(PortListsFor({127, 921600, SerialParity::Odd, false}).comPort, 126);
  EXPECT_EQ(PortListsFor({127, 921600, SerialParity::Odd, false}).comRate, 8);
  EXPECT_EQ(PortListsFor({127, 921600, SerialParity::Odd, false}).comParity, 2);
  EXPECT_FALSE(PortListsFor({1, 9600, SerialParity::None, true}).enabled);
}

TEST(PortListsFor, LeavesAListWithoutSelectionForAValueItDoesNotHave) {
  for (int port : {0, -5, 128})
    EXPECT_EQ(PortListsFor({port, 9600, SerialParity::None}).comPort, -1);
  for (int rate : {0, 1200, 19200, 1000000}) {
    EXPECT_EQ(PortListsFor({1, rate, SerialParity::None}).comRate, -1) << rate;
  }
}

TEST(PortChangesFrom, ChoosingCom12WhileClosedSetsPort12) {
  PortListSelection lists = PortListsFor({3, 115200, SerialParity::Even, false});
  lists.comPort = 11;
  const SerialPortChanges changes = PortChangesFrom(lists, false);
  EXPECT_EQ(changes.portNo, 12);
}

TEST(PortChangesFrom, WhileConnectedThePortNumberStays) {
  PortListSelection lists = PortListsFor({3, 115200, SerialParity::Even, true});
  lists.comPort = 11;
  const SerialPortChanges changes = PortChangesFrom(lists, true);
  EXPECT_FALSE(changes.portNo.has_value());
  // Rate and parity go back to the open port as they were.
  EXPECT_EQ(changes.bitRate, 115200);
  EXPECT_EQ(changes.parity, SerialParity::Even);
}

TEST(PortChangesFrom, ClosingUntouchedKeepsRateAndParity) {
  const SerialPortChanges changes =
      PortChangesFrom(PortListsFor({3, 115200, SerialParity::Even, false}), false);
  EXPECT_EQ(changes.portNo, 3);
  EXPECT_EQ(changes.bitRate, 115200);
  EXPECT_EQ(changes.parity, SerialParity::Even);
}

TEST(PortChangesFrom, NoSelectionLeavesTheValueUnchanged) {
  const SerialPortChanges changes =
      PortChangesFrom(PortListsFor({0, 1200, SerialParity::Odd, false}), false);
  EXPECT_FALSE(changes.portNo.has_value());   // not COM0
  EXPECT_FALSE(changes.bitRate.has_value());  // 1200 stays 1200
  PortListSelection none;
  EXPECT_FALSE(PortChangesFrom(none, false).parity.has_value());
}

TEST(FindSerialDevices, ListsTheSerialKindsInOrderAndNothingElse) {
  TempDir dev;
  TempDir more;
  for (const char* name : {"ttyACM10", "ttyACM2", "ttyACM0", "ttyUSB0", "ttyS1", "ttyS0", "tty0",
                           "ttyACMx", "ttyUSB", "console", "hidraw0", "ttyS1a"}) {
    writeFile(dev / name, "");
  }
  writeFile(more / "ttyUSB1", "");
  const std::string d = dev.path().string();
  const std::string m = more.path().string();
  EXPECT_THAT(FindSerialDevices({dev.path(), more.path(), dev / "missing"}),
              ElementsAre(d + "/ttyACM0", d + "/ttyACM2", d + "/ttyACM10", d + "/ttyUSB0",
                          m + "/ttyUSB1", d + "/ttyS0", d + "/ttyS1"));
}

TEST(PortPathChoice, ShowsTheMappingAndSavesOnlyWhatTheUserChanged) {
  TempDir dir;
  writeFile(dir / "Velqor.INI", "[PORTS]\nCOM5=/dev/ttyS4\n");
  IniFile ini(dir / "Velqor.INI");
  PortPathChoice choice(ini);
  EXPECT_EQ(choice.pathFor(1), "/dev/ttyACM0");
  EXPECT_EQ(choice.pathFor(5), "/dev/ttyS4");

  choice.setPath(3, "  /dev/ttyUSB0 ");
  choice.setPath(1, "/dev/ttyACM0");  // the same as before: nothing to write
  EXPECT_EQ(choice.pathFor(3), "/dev/ttyUSB0");
  EXPECT_EQ(portDevicePath(ini, 3), "/dev/ttyACM2");  // not yet written
  choice.save();
  EXPECT_EQ(portDevicePath(ini, 3), "/dev/ttyUSB0");
  EXPECT_THAT(readFile(dir / "Velqor.INI"), Not(HasSubstr("COM1=")));

  // An emptied field goes back to the usual device.
  choice.setPath(5, "");
  EXPECT_EQ(choice.pathFor(5), "/dev/ttyACM4");
  choice.save();
  EXPECT_EQ(portDevicePath(ini, 5), "/dev/ttyACM4");
}

}  // namespace
}  // namespace velqor
