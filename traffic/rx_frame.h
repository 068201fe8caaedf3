#pragma once
// The last received CAN frame as the main window keeps it (`LastRxFrame`): what the list and
// the log are built from.

#include <array>
#include <cstdint>

namespace velqor {

struct RxFrame {
  std::uint32_t Id = 0;  // all 32 bits as received
  std::uint8_t Ide = 0;
  std::uint8_t Dlc = 0;  // as received, not limited to 8
  std::array<std::uint8_t, 8> Data{};

  bool operator==(const RxFrame&) const = default;
};

}  // namespace velqor
