// The Linux hidraw backend: sysfs enumeration, report descriptors and the checks made when a
// node is opened, on fixture trees and descriptors written down from the HID usage tables.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/hid_hidraw.h"
#include "link/usbif.h"

namespace velqor {
namespace {

const std::string kData = VELQOR_TEST_DATA_DIR;
using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A vendor-defined device with one 64-byte input and one 64-byte output report, no IDs.
const Bytes kVendor64 = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor Defined 0xFF00)
    0x09, 0x01,        // Usage (0x01)
    0xA1, 0x01,        // Collection (Application)
    0x09, 0x02,        //   Usage (0x02)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x09, 0x03,        //   Usage (0x03)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x40,        //   Report Count (64)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// A boot keyboard, report ID 1 (8 input bytes, 1 output byte for the LEDs).
const Bytes kKeyboardId1 = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // Generic Desktop, Keyboard, Collection (Application)
    0x85, 0x01,                          //   Report ID (1)
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,  //   Key Codes, modifiers E0..E7
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,              // 8 x 1 bit input
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,                                      // reserved byte
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02,  // 5 LEDs
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                      // LED padding
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00,
    0x29, 0x65, 0x81, 0x00,  // 6 key codes
    0xC0,
};

// Consumer control, report ID 2: one 16-bit usage.
const Bytes kConsumerId2 = {
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // Consumer, Consumer Control, Collection
    0x85, 0x02,                          //   Report ID (2)
    0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A,
    0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00,  //   1 x 16 bits input
    0xC0,
};

// A mouse with its pointer in a physical collection inside the application collection,
// report ID 1 (4 input bytes).
const Bytes kMouseId1Nested = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Collection (Application)
    0x85, 0x01,                          //   Report ID (1)
    0x09, 0x01, 0xA1, 0x00,              //   Pointer, Collection (Physical)
    0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25,
    0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,  //     3 buttons
    0x95, 0x01, 0x75, 0x05, 0x81, 0x03,        //     5 bits padding
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15,
    0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06,  //     X, Y, wheel
    0xC0,                                                  //   End Collection
    0xC0,                                                  // End Collection
};

// The keyboard again, as report ID 2 (for the composite device).
Bytes KeyboardAs(std::uint8_t id) {
  Bytes b = kKeyboardId1;
  b[7] = id;
  return b;
}

// A vendor feature report of 256 bytes, report ID 3 (two-byte Report Count).
const Bytes kFeatureId3 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03,
                           0x75, 0x08, 0x96, 0x00, 0x01, 0xB1, 0x02, 0xC0};

struct DescriptorCase {
  const char* name;
  Bytes descriptor;
  std::size_t input, output, feature;
  bool numbered;
};

void PrintTo(const DescriptorCase& c, std::ostream* os) { *os << c.name; }

class ReportDescriptorLengths : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(ReportDescriptorLengths, AreCountedAsWindowsReportsThem) {
  const DescriptorCase& c = GetParam();
  const ReportDescriptorParse parsed = ParseReportDescriptor(c.descriptor);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.lengths.input, c.input);
  EXPECT_EQ(parsed.lengths.output, c.output);
  EXPECT_EQ(parsed.lengths.feature, c.feature);
  EXPECT_EQ(parsed.lengths.numbered, c.numbered);
}

Bytes WithLongItems() {
  // A long item whose data looks like Report Count (255) and Input: skipped whole, it
  // changes nothing; another one right at the end.
  Bytes b = kVendor64;
  const Bytes longItem = {0xFE, 0x04, 0xF1, 0x95, 0xFF, 0x81, 0x02};
  b.insert(b.begin() + 7, longItem.begin(), longItem.end());
  b.insert(b.end(), {0xFE, 0x00, 0xF2});
  return b;
}

const Bytes kPushPop = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x20,  // 32 x 8 bits
    0xA4,                                                              // Push
    0x75, 0x10, 0x95, 0x04,                                            // 4 x 16 bits
    0x81, 0x02,                                                        // Input: 8 bytes
    0xB4,                                                              // Pop: back to 32 x 8 bits
    0x91, 0x02,                                                        // Output: 32 bytes
    0x81, 0x02,  // Input: 32 more bytes, 40 in all
    0xC0,
};

INSTANTIATE_TEST_SUITE_P(
    Devices, ReportDescriptorLengths,
    ::testing::Values(
        DescriptorCase{"Vendor64WithoutIds", kVendor64, 65, 65, 0, false},
        // Largest report wins: report 1 has 8 input bytes, report 2 only 2.
        DescriptorCase{"KeyboardWithIds", Concat({kKeyboardId1, kConsumerId2}), 9, 2, 0, true},
        // Here the larger input report comes second.
        DescriptorCase{"CompositeNested", Concat({kMouseId1Nested, KeyboardAs(2), kFeatureId3}), 9,
                       2, 257, true},
        DescriptorCase{"LongItems", WithLongItems(), 65, 65, 0, false},
        DescriptorCase{"PushPop", kPushPop, 41, 33, 0, false},
        DescriptorCase{
            "NoReports", {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0}, 0, 0, 0, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CheckReportDescriptor, RefusesDevicesWhoseReportsCannotBeRead) {
  const Bytes outputOnly = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                            0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0};
  const struct {
    const char* name;
    Bytes descriptor;
    HidErrorKind kind;
    const char* says;
  } cases[] = {
      {"adapter", kVendor64, HidErrorKind::None, ""},
      {"output only", outputOnly, HidErrorKind::BadDescriptor, "declares no input report"},
      {"no reports",
       {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0},
       HidErrorKind::BadDescriptor,
       "declares no input report"},
      {"unreadable", {}, HidErrorKind::BadDescriptor, "cannot be read"},
      {"huge",
       {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
       HidErrorKind::TooLong,
       "input report longer"},
  };
  for (const auto& c : cases) {
    HidReportLengths lengths;
    const HidError error = CheckReportDescriptor("/dev/hidraw3", c.descriptor, lengths);
    EXPECT_EQ(error.kind, c.kind) << c.name;
    EXPECT_THAT(error.text, ::testing::HasSubstr(c.says)) << c.name;
    if (error) {
      EXPECT_THAT(error.text, ::testing::StartsWith("/dev/hidraw3: ")) << c.name;
    } else {
      EXPECT_EQ(lengths.input, 65u);
    }
  }
}

struct BrokenCase {
  const char* name;
  Bytes descriptor;
  const char* says;
  HidErrorKind kind = HidErrorKind::BadDescriptor;
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

class ReportDescriptorErrors : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(ReportDescriptorErrors, AreReportedWithTheirOffset) {
  const ReportDescriptorParse parsed = ParseReportDescriptor(GetParam().descriptor);
  ASSERT_FALSE(parsed.ok());
  EXPECT_NE(parsed.error.find(GetParam().says), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.errorKind, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ReportDescriptorErrors,
    ::testing::Values(
        BrokenCase{"ItemCutShort", {0x06, 0x00, 0xFF, 0x26, 0xFF}, "byte 3: item 0x26 needs 2"},
        BrokenCase{"LongItemCutShort", {0x09, 0x01, 0xFE, 0x05, 0xF1, 0x00}, "byte 2: long item"},
        BrokenCase{"PopWithoutPush", {0x75, 0x08, 0xB4}, "byte 2: Pop without Push"},
        BrokenCase{"EndWithoutCollection", {0xC0}, "byte 0: End Collection"},
        BrokenCase{"CollectionLeftOpen", {0xA1, 0x01, 0xA1, 0x00, 0xC0}, "1 collection(s)"},
        BrokenCase{"ReportIdZero", {0x85, 0x00}, "report ID 0"},
        // 0xFFFFFFFF fields of 0xFFFFFFFF bits: refused, not wrapped round.
        BrokenCase{"HugeReport",
                   {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
                   "input report longer",
                   HidErrorKind::TooLong}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ParseUeventHidId, ReadsBusVendorAndProduct) {
  struct Case {
    const char* text;
    bool found;
    std::uint16_t bus, vendor, product;
  } cases[] = {
      {"DRIVER=hid-generic\nHID_ID=0003:00004242:0000EE02\nHID_NAME=x\n", true, 3, 0x4242, 0xEE02},
      {"HID_ID=0005:0000054C:000005C4", true, 5, 0x054C, 0x05C4},      // last line, no newline
      {"HID_ID=0003:0000abcd:0000ef01\r\n", true, 3, 0xABCD, 0xEF01},  // CRLF, lower case
      {"HID_NAME=HID_ID=0003:00004242:0000EE02\n", false, 0, 0, 0},    // not at line start
      {"HID_ID=0003:00004242\n", false, 0, 0, 0},                      // product missing
      {"HID_ID=0003:0000424G:0000EE02\n", false, 0, 0, 0},             // not hexadecimal
      {"HID_ID=0003:00014242:0000EE02\n", false, 0, 0, 0},             // vendor above 16 bits
      {"HID_ID=0003::0000EE02\n", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto id = ParseUeventHidId(c.text);
    ASSERT_EQ(id.has_value(), c.found);
    if (!id) continue;
    EXPECT_EQ(id->bus, c.bus);
    EXPECT_EQ(id->vendor, c.vendor);
    EXPECT_EQ(id->product, c.product);
  }
}

TEST(HidrawPlatform, EnumeratesNodesInNumberOrderAndSkipsUnreadableOnes) {
  HidrawPlatform platform(kData + "/sysfs", "/devroot");
  const std::vector<HidDeviceInfo> devices = platform.Enumerate();
  // hidraw3 has no HID_ID, hidraw4 no uevent, README is no node.
  ASSERT_EQ(devices.size(), 4u);
  EXPECT_EQ(devices[0].path, "/devroot/hidraw0");
  EXPECT_EQ(devices[0].vendor, 0x046D);
  EXPECT_EQ(devices[1].path, "/devroot/hidraw1");
  EXPECT_EQ(devices[1].vendor, 0x4242);
  EXPECT_EQ(devices[1].product, 0xEE02);
  EXPECT_EQ(devices[2].path, "/devroot/hidraw2");
  EXPECT_EQ(devices[3].path, "/devroot/hidraw10");
  EXPECT_EQ(devices[3].product, 0x2A3C);
}

TEST(HidrawPlatform, MissingSysfsRootEnumeratesNothing) {
  HidrawPlatform platform(kData + "/no-such-dir", "/dev");
  EXPECT_TRUE(platform.Enumerate().empty());
}

TEST(HidrawPlatform, SysfsReportDescriptorGivesTheAdaptersLengths) {
  const Bytes descriptor = ReadSysfsReportDescriptor(kData + "/sysfs", "hidraw1");
  EXPECT_EQ(descriptor, kVendor64);
  const ReportDescriptorParse parsed = ParseReportDescriptor(descriptor);
  EXPECT_EQ(parsed.lengths.input, 65u);
  EXPECT_EQ(parsed.lengths.output, 65u);
  EXPECT_TRUE(ReadSysfsReportDescriptor(kData + "/sysfs", "hidraw0").empty());
}

TEST(HidrawPlatform, OpenRefusesWhatIsNotAHidrawNode) {
  HidrawPlatform platform(kData + "/sysfs", kData + "/dev");
  HidError error;
  EXPECT_EQ(platform.Open(kData + "/dev/hidraw1", error), nullptr);
  EXPECT_EQ(error.kind, HidErrorKind::NotHid);
  EXPECT_NE(error.text.find("dev/hidraw1"), std::string::npos) << error.text;

  EXPECT_EQ(platform.Open(kData + "/dev/hidraw9", error), nullptr);
  EXPECT_EQ(error.kind, HidErrorKind::NotFound);
  EXPECT_NE(error.text.find("open " + kData + "/dev/hidraw9"), std::string::npos);
}

TEST(HidSystemError, PermissionNamesTheUdevRule) {
  const HidError error = HidSystemError(EACCES, "open /dev/hidraw3");
  EXPECT_EQ(error.kind, HidErrorKind::Permission);
  EXPECT_EQ(error.text.rfind("open /dev/hidraw3: permission denied", 0), 0u) << error.text;
  EXPECT_NE(error.text.find("udev rule"), std::string::npos);
}

TEST(HidrawPlatform, TUsbifReportsTheFirstMatchThatCannotBeOpened) {
  // hidraw1 matches first; its node is a plain file, so the open fails and nothing is open,
  // though hidraw2 matches too.
  TUsbif usb(std::make_shared<HidrawPlatform>(kData + "/sysfs", kData + "/dev"));
  EXPECT_FALSE(usb.Open(0x4242, 0xEE02));
  EXPECT_FALSE(usb.IsOpen());
  EXPECT_FALSE(usb.DeviceFound());
  EXPECT_EQ(usb.LastError().kind, HidErrorKind::NotHid);
  EXPECT_NE(usb.LastError().text.find("hidraw1"), std::string::npos);
  usb.Close();
}

TEST(HidrawPlatform, ArrivalsAreHidrawNodesCreatedInTheDevRoot) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("velqor-hotplug-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    HidrawPlatform platform(kData + "/sysfs", dir.string());
    ASSERT_GE(platform.HotplugDescriptor(), 0);
    EXPECT_EQ(platform.TakeArrivals(), 0);
    std::ofstream(dir / "hidraw7").put('x');
    std::ofstream(dir / "ttyACM0").put('x');
    std::ofstream(dir / "hidraw12").put('x');
    EXPECT_EQ(platform.TakeArrivals(), 2);
    EXPECT_EQ(platform.TakeArrivals(), 0);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velqor
