#pragma once
// What the main window does with each device message (OnDeviceMessage): one switch on the
// message code that fills the window's fields and tells a DeviceMessageView what to show.
// Plain logic, no widgets: tests drive it with a recording view.
//
// Answers whose indexes fall outside the window's tables are rejected whole: a mailbox index
// above 15 (code 107), a bit-rate index above 2 (codes 110 and 113) or a table count above 30
// (code 113) changes nothing at all, not even the result text, and is counted in
// rejectedCount(). Applying part of a malformed answer would show values the adapter did not
// mean.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "link/interpreter.h"
#include "traffic/rx_frame.h"

namespace velqor {

// The targets on screen. Texts from the adapter (versions, names, error texts) arrive as the
// adapter's bytes.
class DeviceMessageView {
 public:
  virtual void SetResultText(std::string_view text) = 0;                 // ResultPanel
  virtual void SetErrorCounters(std::string_view tx, std::string_view rx) = 0;
  virtual void SetWaveState(std::string_view text) = 0;                  // PanelWaveStat
  virtual void SetVersionText(std::string_view text) = 0;                // LabVersion
  virtual void SetDeviceText(std::string_view text) = 0;                 // LabDevice
  // Row `index` 0..15 of the receive mailboxes.
  virtual void SetRxMailbox(int index, bool enabled, bool ide, std::string_view id,
                            std::string_view mask) = 0;
  virtual void SetTerminator(bool checked) = 0;                          // ChkTerm
  // Selects `bitRateIndex` in CmbBitRate, refills CombSmpleTime with `sampleTimings` and
  // selects `sampleTimingIndex` there (none when the list has no such item).
  virtual void SetBitTiming(int bitRateIndex, const std::vector<std::string>& sampleTimings,
                            int sampleTimingIndex) = 0;
  virtual void SetConsoleFormat(int index) = 0;                          // RadioTerminalForm
  virtual void ShowReceivedFrame() = 0;  // LastRxFrame into the list
  virtual void WriteLogLine() = 0;       // LastRxFrame into the log
  virtual void PlotWave() = 0;           // WaveInterval and WaveSamples into the chart

 protected:
  ~DeviceMessageView() = default;
};

// The window's fields that the messages fill.
struct MainWindowFields {
  RxFrame LastRxFrame;
  std::array<float, 200> WaveSamples{};
  std::uint16_t WaveInterval = 0;
  float TriggerLevel = 2.5f;  // volts
  velqor::SampleTimingTable SampleTimingTable = defaultSampleTimingTable();
};

class DeviceMessageDispatch {
 public:
  static constexpr int kRxMailboxes = 16;

  DeviceMessageDispatch(MainWindowFields& fields, DeviceMessageView& view)
      : m_fields(fields), m_view(view) {}

  // Performs the action of `code` with `message`, which is only read during the call.
  void OnDeviceMessage(int code, const DeviceMessage& message);

  // Answers rejected because an index lay outside the tables.
  std::uint64_t rejectedCount() const { return m_rejected; }

  // The decimal texts of a table entry, as CombSmpleTime lists them.
  static std::vector<std::string> SampleTimingTexts(const SampleTimingEntry& entry);

 private:
  MainWindowFields& m_fields;
  DeviceMessageView& m_view;
  std::uint64_t m_rejected = 0;
};

}  // namespace velqor
