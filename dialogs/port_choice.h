#pragma once
// The logic of the port dialog TFrmOption: which list items it selects for the serial
// component's values when it opens, what it writes back when it is hidden, and the device
// path each COM number stands for on this system (section PORTS of the settings file).

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/ini_file.h"
#include "link/commx.h"

namespace velqor {

// "COM1" .. "COM127": position p is port number p + 1.
inline constexpr int kComPortCount = 127;
// ComRate, by position.
inline constexpr std::array<int, 9> kComRates = {600,    4800,   9600,   38400, 57600,
                                                 115200, 230400, 460800, 921600};
// The serial component's parity values.
enum class SerialParity { None, Odd, Even };
// ComParity, by position: "None", "Even", "Odd".
inline constexpr std::array<SerialParity, 3> kComParities = {SerialParity::None, SerialParity::Even,
                                                             SerialParity::Odd};

// What the dialog reads of the serial component.
struct SerialPortValues {
  int portNo = 1;
  int bitRate = 9600;
  SerialParity parity = SerialParity::None;
  bool open = false;  // OpenFlag: the connect switch holds the port open
};

// The three lists: a position, or -1 for no selection.
struct PortListSelection {
  int comPort = -1;
  int comRate = -1;
  int comParity = -1;
  bool enabled = true;  // the lists take input only while the port is closed
};

// FormCreate: port number p selects position p - 1 (none outside 1..127); the rate selects
// its position in the table (none for another rate); the parity its position.
PortListSelection PortListsFor(const SerialPortValues& values);

// FormHide: what goes back to the component. A value that is not set stays as it is.
struct SerialPortChanges {
  std::optional<int> portNo;
  std::optional<int> bitRate;
  std::optional<SerialParity> parity;
};
// The port number only while the port is closed and a port is selected; the rate and parity
// when their lists have a selection (also while open: the open port gets them again).
SerialPortChanges PortChangesFrom(const PortListSelection& lists, bool open);

// The same for the serial component itself: its values (`open` is its OpenFlag, kept by the
// connect switch), and the changes written back. A rate or parity set on an open port is
// applied at once and raises ECommError when the port refuses it.
SerialPortValues SerialPortValuesOf(const TCommX& comm, bool open);
void ApplySerialPortChanges(TCommX& comm, const SerialPortChanges& changes);

// The serial devices found in `roots` (for this system /dev): ttyACM*, ttyUSB* and ttyS*
// followed by a number, in that order and by number within each kind.
std::vector<std::string> FindSerialDevices(const std::vector<std::filesystem::path>& roots);

// The device path of each COM number as the dialog shows and edits it: the settings file's
// mapping, or what the user typed or picked for that number since the dialog opened.
class PortPathChoice {
 public:
  explicit PortPathChoice(IniFile& ini) : m_ini(ini) {}

  std::string pathFor(int comNumber) const;
  // Blanks around the path are dropped; an empty path stands for the number's usual device
  // (/dev/ttyACM<n-1>).
  void setPath(int comNumber, std::string path);
  // Writes PORTS COM<n> for every number whose path now differs from the file's mapping.
  // Throws SettingsWriteError when the file cannot be written (what was written stays).
  void save();

 private:
  std::string storedPath(int comNumber) const;

  IniFile& m_ini;
  std::map<int, std::string> m_edits;
};

}  // namespace velqor
