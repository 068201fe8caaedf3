#pragma once
// What the main window does with each device message (OnDeviceMessage): one switch on the
// message code that fills the window's fields and tells a DeviceMessageView what to show.
// The answers that belong to the "Config" page (107, 108, 109, 110, 113, 115, 118, 119,
// 120) go to its logic, DeviceParameters, which also rejects answers beyond its tables.
// Received CAN frames (202) do not come here: they travel as CanFrame values to the frame
// consumers (app/receive_path.h). Plain logic, no widgets: tests drive it with a recording
// view.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "config/device_parameters.h"
#include "link/can_frame.h"
#include "link/frame_consumer.h"
#include "link/interpreter.h"

namespace velqor {

// The targets on screen. Texts from the adapter (versions, names, error texts) arrive as the
// adapter's bytes.
class DeviceMessageView {
 public:
  virtual void SetResultText(std::string_view text) = 0;  // ResultPanel
  virtual void SetErrorCounters(std::string_view tx, std::string_view rx) = 0;
  virtual void SetWaveState(std::string_view text) = 0;  // PanelWaveStat
  virtual void PlotWave() = 0;  // WaveInterval and WaveSamples into the chart

 protected:
  ~DeviceMessageView() = default;
};

// The window's fields that the messages fill.
struct MainWindowFields {
  CanFrame LastRxFrame;  // the last frame received, set per batch of frames
  std::array<float, 200> WaveSamples{};
  std::uint16_t WaveInterval = 0;
  float TriggerLevel = 2.5f;  // volts
  velqor::SampleTimingTable SampleTimingTable = defaultSampleTimingTable();
};

class DeviceMessageDispatch : public DeviceMessageHandler {
 public:
  // `config` works on the same SampleTimingTable as `fields`.
  DeviceMessageDispatch(MainWindowFields& fields, DeviceMessageView& view, DeviceParameters& config)
      : m_fields(fields), m_view(view), m_config(config) {}

  // Performs the action of `code` with `message`, which is only read during the call, then
  // hands the message to the followers in the order they were added.
  void OnDeviceMessage(int code, const DeviceMessage& message) override;

  // Handlers that see every message after its action, in arrival order (the routing of send
  // answers to their senders, the slcan share). A follower must stay until removed.
  void addFollower(DeviceMessageHandler& follower) { m_followers.push_back(&follower); }
  void removeFollower(DeviceMessageHandler& follower) { std::erase(m_followers, &follower); }

  // Answers rejected because an index lay outside the tables.
  std::uint64_t rejectedCount() const { return m_config.rejectedCount(); }

 private:
  MainWindowFields& m_fields;
  DeviceMessageView& m_view;
  DeviceParameters& m_config;
  std::vector<DeviceMessageHandler*> m_followers;

  void act(int code, const DeviceMessage& message);
};

}  // namespace velqor
