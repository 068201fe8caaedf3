#include "dialogs/port_choice.h"

#include <algorithm>
#include <string_view>
#include <system_error>
#include <tuple>

#include "common/settings.h"

namespace velqor {

PortListSelection PortListsFor(const SerialPortValues& values) {
  PortListSelection lists;
  if (values.portNo >= 1 && values.portNo <= kComPortCount) lists.comPort = values.portNo - 1;
  for (std::size_t i = 0; i < kComRates.size(); ++i) {
    if (kComRates[i] == values.bitRate) lists.comRate = static_cast<int>(i);
  }
  for (std::size_t i = 0; i < kComParities.size(); ++i) {
    if (kComParities[i] == values.parity) lists.comParity = static_cast<int>(i);
  }
  lists.enabled = !values.open;
  return lists;
}

SerialPortChanges PortChangesFrom(const PortListSelection& lists, bool open) {
  SerialPortChanges changes;
  // Without a selection the number stays: there is no COM0 to open.
  if (!open && lists.comPort >= 0 && lists.comPort < kComPortCount) {
    changes.portNo = lists.comPort + 1;
  }
  if (lists.comRate >= 0 && lists.comRate < static_cast<int>(kComRates.size())) {
    changes.bitRate = kComRates[static_cast<std::size_t>(lists.comRate)];
  }
  if (lists.comParity >= 0 && lists.comParity < static_cast<int>(kComParities.size())) {
    changes.parity = kComParities[static_cast<std::size_t>(lists.comParity)];
  }
  return changes;
}

namespace {
SerialParity fromComm(TCommParityBits parity) {
  switch (parity) {
    case cpbOdd:
      return SerialParity::Odd;
    case cpbEven:
      return SerialParity::Even;
    default:
      return SerialParity::None;
  }
}
TCommParityBits toComm(SerialParity parity) {
  switch (parity) {
    case SerialParity::Odd:
      return cpbOdd;
    case SerialParity::Even:
      return cpbEven;
    default:
      return cpbNone;
  }
}
}  // namespace

SerialPortValues SerialPortValuesOf(const TCommX& comm, bool open) {
  return {comm.PortNo(), comm.BitRate(), fromComm(comm.ParityBit()), open};
}

void ApplySerialPortChanges(TCommX& comm, const SerialPortChanges& changes) {
  if (changes.portNo) comm.SetPortNo(*changes.portNo);
  if (changes.bitRate) comm.SetBitRate(*changes.bitRate);
  if (changes.parity) comm.SetParityBit(toComm(*changes.parity));
}

std::vector<std::string> FindSerialDevices(const std::vector<std::filesystem::path>& roots) {
  static constexpr std::array<std::string_view, 3> kKinds = {"ttyACM", "ttyUSB", "ttyS"};
  struct Found {
    std::size_t kind;
    unsigned long number;
    std::string path;
  };
  std::vector<Found> found;
  for (const std::filesystem::path& root : roots) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      for (std::size_t kind = 0; kind < kKinds.size(); ++kind) {
        const std::string_view prefix = kKinds[kind];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(),
                                              [](char c) { return c >= '0' && c <= '9'; })) {
          continue;
        }
        found.push_back({kind, std::stoul(digits), it->path().string()});
      }
    }
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return std::tie(a.kind, a.number, a.path) < std::tie(b.kind, b.number, b.path);
  });
  std::vector<std::string> paths;
  for (Found& f : found) paths.push_back(std::move(f.path));
  return paths;
}

std::string PortPathChoice::storedPath(int comNumber) const {
  return portDevicePath(m_ini, comNumber).value_or(std::string());
}

std::string PortPathChoice::pathFor(int comNumber) const {
  if (auto it = m_edits.find(comNumber); it != m_edits.end()) return it->second;
  return storedPath(comNumber);
}

void PortPathChoice::setPath(int comNumber, std::string path) {
  if (comNumber < 1) return;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!path.empty() && blank(path.back())) path.pop_back();
  std::size_t start = 0;
  while (start < path.size() && blank(path[start])) ++start;
  path.erase(0, start);
  // An emptied field means the number's usual device.
  m_edits[comNumber] = path.empty() ? defaultPortDevicePath(comNumber) : std::move(path);
}

void PortPathChoice::save() {
  for (const auto& [number, path] : m_edits) {
    if (path != storedPath(number)) savePortDevicePath(m_ini, number, path);
  }
  m_edits.clear();
}

}  // namespace velqor
