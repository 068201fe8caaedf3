#pragma once
// The logic of the "Config" page: the frames that "&Write Parameter", "&Read Parameter" and
// "&Store" send, the refill of the sample-timing list, and what the adapter's answers change
// on the page. Plain logic: the page's controls are reached through ConfigPageView, so tests
// drive it with a plain record and the window binds its widgets.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/adapter_limits.h"
#include "common/message_boxes.h"
#include "common/settings.h"
#include "common/ui_text.h"
#include "link/device_sender.h"
#include "link/interpreter.h"

namespace velqor {

// One receive mailbox row as the page shows it.
struct RxMailboxRow {
  bool enabled = false;  // Chrx n
  bool ide = false;      // ChkRxIde n
  std::string id;        // EditIdRx n, hexadecimal text
  std::string mask;      // EditRxMask n, hexadecimal text

  friend bool operator==(const RxMailboxRow&, const RxMailboxRow&) = default;
};

// The controls of the page. Row indexes are 0-based (index i is row i + 1) and always lie
// within 0 .. kRxMailboxCount - 1 when the logic calls.
class ConfigPageView {
 public:
  virtual RxMailboxRow RxMailbox(int index) const = 0;
  virtual void SetRxMailbox(int index, const RxMailboxRow& row) = 0;
  // MaskEditRx n: cleared, then given the edit mask (the form library's mask language).
  virtual void SetRxDataMask(int index, std::string_view editMask) = 0;

  // CmbBitRate position, -1 when nothing is selected.
  virtual int BitRateIndex() const = 0;
  // Selects a CmbBitRate position without running CmbBitRateChange.
  virtual void SetBitRateIndex(int index) = 0;
  // CombSmpleTime position, -1 when nothing is selected.
  virtual int SampleTimingIndex() const = 0;
  // Empties CombSmpleTime, fills it with `items` and selects `selected`; a position the list
  // does not have (-1, or not below the number of items) leaves nothing selected.
  virtual void SetSampleTimings(const std::vector<std::string>& items, int selected) = 0;

  virtual bool Terminator() const = 0;  // ChkTerm
  virtual void SetTerminator(bool checked) = 0;
  virtual int ConsoleFormat() const = 0;  // RadioTerminalForm position
  // Sets the RadioTerminalForm position as the radio group takes it (beyond the last item
  // reads as the last item).
  virtual void SetConsoleFormat(int index) = 0;

  virtual void SetVersionText(std::string_view text) = 0;  // LabVersion
  virtual void SetDeviceText(std::string_view text) = 0;   // LabDevice
  virtual void SetResultText(std::string_view text) = 0;   // the status bar's ResultPanel

 protected:
  ~ConfigPageView() = default;
};

class DeviceParameters {
 public:
  // The buttons' hints and the confirmation of "&Store", the program's own texts; shown
  // through UiText(kTextContext, ...).
  static constexpr char kTextContext[] = "DeviceParameters";
  static constexpr char kWriteHint[] =
      VELQOR_TRANSLATE_NOOP("DeviceParameters", "デバイスに値を設定する");
  static constexpr char kReadHint[] =
      VELQOR_TRANSLATE_NOOP("DeviceParameters", "デバイス内部の設定値を読みだします");
  static constexpr char kStoreHint[] =
      VELQOR_TRANSLATE_NOOP("DeviceParameters", "デバイス内部に保存します。");
  static constexpr char kStoreQuestion[] =
      VELQOR_TRANSLATE_NOOP("DeviceParameters", "EEPROMに書き込みます！");
  static constexpr char kStoreCaption[] = VELQOR_TRANSLATE_NOOP("DeviceParameters", "メッセージ");

  // Everything given must outlive this object. `table` is the window's SampleTimingTable:
  // read by the list refills, replaced entry by entry by the adapter's table answers.
  DeviceParameters(DeviceSender& sender, MessageBoxes& boxes, SampleTimingTable& table,
                   ConfigPageView& view)
      : m_sender(sender), m_boxes(boxes), m_table(table), m_view(view) {}

  // "&Write Parameter": SetBitTiming, SetTerminator, SetConsoleFormat, then SetRxMailbox for
  // mailboxes 0..15, enabled or not, each with the values its row shows. No status text.
  void BtnConfigSetClick();
  // "&Read Parameter": the three GetTimingTable, CombSmpleTime emptied, GetTerminator,
  // GetConsoleFormat, GetRxMailbox 0..15, GetBitTiming, GetFirmwareVersion, GetDeviceName;
  // then "Cmd Request!".
  void BtnReadParamClick();
  // "&Store": asks first; StoreParams only on OK.
  // (The key filters of EditIdRx n and EditRxMask n are KeyFilter::HexDigitOrBackspace.)
  void BtnStioreClick();
  // Refills CombSmpleTime from the table of the selected bit rate and selects position 0.
  void CmbBitRateChange();
  // The hidden data field of receive row `row` (1-based, the spin edit's Tag) follows its
  // DLC: cleared and given MaskByDlc[dlc]. A row outside 1..16 is ignored; a DLC outside
  // 0..8 reads as the nearest end.
  void SpinRxDlcChange(int row, int dlc);

  // An answer of the adapter. Handles codes 107, 108, 109, 110, 113, 115, 118, 119 and 120
  // and returns true for them; returns false, changing nothing, for any other code.
  //
  // An answer that does not fit the page's tables is rejected whole: it changes nothing, not
  // even the result text, and is counted in rejectedCount(). That is a mailbox index above
  // 15 (107), a bit-rate index above 2 (110, 113) or a table count above 30 (113). Applying
  // part of a malformed answer would show values the adapter did not mean.
  bool OnReply(int code, const DeviceMessage& message);

  std::uint64_t rejectedCount() const { return m_rejected; }

  // The decimal texts of a table entry, as CombSmpleTime lists them.
  static std::vector<std::string> SampleTimingTexts(const SampleTimingEntry& entry);

 private:
  void send(const std::vector<std::uint8_t>& frame) { m_sender.SendToDevice(frame); }

  DeviceSender& m_sender;
  MessageBoxes& m_boxes;
  SampleTimingTable& m_table;
  ConfigPageView& m_view;
  std::uint64_t m_rejected = 0;
};

}  // namespace velqor
