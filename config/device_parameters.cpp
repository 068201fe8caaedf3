#include "config/device_parameters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/dlc_tables.h"
#include "common/hex_text.h"
#include "link/protocol.h"

namespace velqor {

namespace {

// "%0x": lower-case hexadecimal without leading zeros (0 is "0").
std::string LowerHex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// The record's text up to its terminating zero, never beyond the array.
std::string_view TextOf(const DeviceMessage& message) {
  return std::string_view(message.Text, ::strnlen(message.Text, sizeof message.Text));
}

// A list position as one byte on the wire: no selection (-1) goes out as 255.
std::uint8_t PositionByte(int position) { return static_cast<std::uint8_t>(position); }

}  // namespace

std::vector<std::string> DeviceParameters::SampleTimingTexts(const SampleTimingEntry& entry) {
  const int count = std::min<int>(entry.count, kSampleTimingMax);
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    texts.push_back(std::to_string(entry.values[static_cast<std::size_t>(k)]));
  }
  return texts;
}

void DeviceParameters::BtnConfigSetClick() {
  send(SetBitTiming(PositionByte(m_view.BitRateIndex()), PositionByte(m_view.SampleTimingIndex())));
  send(SetTerminator(m_view.Terminator() ? kTerminatorOn : kTerminatorOff));
  send(SetConsoleFormat(PositionByte(m_view.ConsoleFormat())));
  for (int i = 0; i < kRxMailboxCount; ++i) {
    const RxMailboxRow row = m_view.RxMailbox(i);
    RxMailboxRecord record;
    record.index = static_cast<std::uint8_t>(i);
    record.enable = row.enabled ? 1 : 0;
    record.ide = row.ide ? 1 : 0;
    record.id = HexTextToValue(row.id);
    record.mask = HexTextToValue(row.mask);
    record.spare = 0;
    send(SetRxMailbox(record));
  }
}

void DeviceParameters::BtnReadParamClick() {
  // The tables first: the bit-timing answer that refills the list must find them in place.
  for (int rate = 0; rate < kBitRateCount; ++rate) {
    send(GetTimingTable(static_cast<std::uint8_t>(rate)));
  }
  m_view.SetSampleTimings({}, -1);
  send(GetTerminator());
  send(GetConsoleFormat());
  for (int i = 0; i < kRxMailboxCount; ++i) send(GetRxMailbox(static_cast<std::uint8_t>(i)));
  send(GetBitTiming());
  send(GetFirmwareVersion());
  send(GetDeviceName());
  m_view.SetResultText(UiText("Status", "Cmd Request!"));
}

void DeviceParameters::BtnStioreClick() {
  if (m_boxes.Confirm(UiText(kTextContext, kStoreQuestion), UiText(kTextContext, kStoreCaption),
                      MessageBoxes::Icon::Information)) {
    send(StoreParams());
  }
}

void DeviceParameters::CmbBitRateChange() {
  const int rate = m_view.BitRateIndex();
  std::vector<std::string> items;
  if (rate >= 0 && rate < kBitRateCount) {
    items = SampleTimingTexts(m_table[static_cast<std::size_t>(rate)]);
  }
  m_view.SetSampleTimings(items, 0);
}

void DeviceParameters::SpinRxDlcChange(int row, int dlc) {
  if (row < 1 || row > kRxMailboxCount) return;
  m_view.SetRxDataMask(row - 1, MaskByDlc[static_cast<std::size_t>(std::clamp(dlc, 0, kMaxDlc))]);
}

bool DeviceParameters::OnReply(int code, const DeviceMessage& message) {
  const std::uint8_t* d = message.Data;
  switch (code) {
    case MsgCode::RxMailboxContents: {
      const int index = d[0];
      if (index >= kRxMailboxCount) {
        ++m_rejected;
        return true;
      }
      RxMailboxRow row;
      row.enabled = d[1] != 0;
      row.ide = d[2] != 0;
      row.id = LowerHex(ReadBe32(d + 3));
      row.mask = LowerHex(ReadBe32(d + 7));
      m_view.SetRxMailbox(index, row);
      m_view.SetResultText(UiText("Status", "Complete!"));
      return true;
    }

    case MsgCode::SetTerminatorDone:
      m_view.SetResultText(UiText("Status", "Complete!"));
      return true;

    case MsgCode::TerminatorState:
      m_view.SetTerminator(d[0] == kTerminatorOn);
      return true;

    case MsgCode::BitTiming: {
      const int rate = d[0];
      if (rate >= kBitRateCount) {
        ++m_rejected;
        return true;
      }
      // Not CmbBitRateChange: the refilled list shows the adapter's position, not the first.
      m_view.SetBitRateIndex(rate);
      m_view.SetSampleTimings(SampleTimingTexts(m_table[static_cast<std::size_t>(rate)]), d[1]);
      m_view.SetResultText(UiText("Status", "Complete!"));
      return true;
    }

    case MsgCode::TimingTable: {
      const int rate = d[0];
      const int count = d[1];
      if (rate >= kBitRateCount || count > kSampleTimingMax) {
        ++m_rejected;
        return true;
      }
      SampleTimingEntry& entry = m_table[static_cast<std::size_t>(rate)];
      entry.count = static_cast<std::uint8_t>(count);
      std::copy_n(d + 2, count, entry.values.begin());
      // The list on show is refilled by the next bit-timing answer or bit-rate change.
      m_view.SetResultText(UiText("Status", "Complete!"));
      return true;
    }

    case MsgCode::ConsoleFormat:
      m_view.SetConsoleFormat(d[0]);
      m_view.SetResultText(UiText("Status", "Complete!"));
      return true;

    case MsgCode::StoreResult: {
      static constexpr const char* kResults[] = {VELQOR_TRANSLATE_NOOP("Status", "success!"),
                                                 VELQOR_TRANSLATE_NOOP("Status", "FAIL!"),
                                                 VELQOR_TRANSLATE_NOOP("Status", "OUT_OF_RANGE!")};
      if (d[0] < std::size(kResults)) m_view.SetResultText(UiText("Status", kResults[d[0]]));
      return true;
    }

    case MsgCode::FirmwareVersion:
      m_view.SetVersionText(
          SubstituteArgs(UiText("DeviceParameters", "F/W: %1"), {TextOf(message)}));
      return true;

    case MsgCode::DeviceName:
      m_view.SetDeviceText(
          SubstituteArgs(UiText("DeviceParameters", "MCU: %1"), {TextOf(message)}));
      return true;

    default:
      return false;
  }
}

}  // namespace velqor
