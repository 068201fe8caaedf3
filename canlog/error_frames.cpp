#include "canlog/error_frames.h"

#include "link/protocol.h"

namespace velqor {

CanFrame BusErrorFrame(std::uint8_t errorIndex, std::uint8_t transmitErrors,
                       std::uint8_t receiveErrors, const CanTime& time) {
  CanFrame f;
  f.flags = CanFrame::kError;
  f.dlc = 8;
  f.time = time;
  std::uint32_t cls = kCanErrBusError | kCanErrCounters;
  switch (ErrorTextIndex(errorIndex)) {
    case 1:  // CRC_ERROR
      cls |= kCanErrProtocol;
      f.data[3] = 0x08;  // in the CRC sequence
      break;
    case 2:  // ARBITRATION_LOS
      cls |= kCanErrLostArbitration;
      break;
    case 3:  // OVERLOAD_ERROR
      cls |= kCanErrProtocol;
      f.data[2] = 0x20;
      break;
    case 4:  // BIT_ERROR
      cls |= kCanErrProtocol;
      f.data[2] = 0x01;
      break;
    case 5:  // STUFF_ERROR
      cls |= kCanErrProtocol;
      f.data[2] = 0x04;
      break;
    case 6:  // ACK_ERROR
      cls |= kCanErrAck;
      break;
    case 7:  // FORM_ERROR
      cls |= kCanErrProtocol;
      f.data[2] = 0x02;
      break;
    case 8:  // BUS_OFF_ERROR
      cls |= kCanErrBusOff;
      break;
    case 0:  // Receive Buffer Full
    case 9:  // RX_MSG_LOST_ERROR
      cls |= kCanErrController;
      f.data[1] = 0x01;  // receive overflow
      break;
    default:  // no text: a bus error, nothing more known
      break;
  }
  f.id = cls;
  f.data[6] = transmitErrors;
  f.data[7] = receiveErrors;
  return f;
}

std::optional<std::uint8_t> ErrorIndexFromText(std::string_view text) {
  for (std::size_t i = 0; i < kErrorTexts.size(); ++i) {
    if (text == kErrorTexts[i]) return static_cast<std::uint8_t>(i);
  }
  return std::nullopt;
}

}  // namespace velqor
