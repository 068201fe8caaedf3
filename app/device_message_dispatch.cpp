#include "app/device_message_dispatch.h"

#include <cstring>

#include "link/protocol.h"

namespace velqor {

namespace {

// The record's text up to its terminating zero (never beyond the array).
std::string_view TextOf(const DeviceMessage& m) {
  return std::string_view(m.Text, strnlen(m.Text, sizeof m.Text));
}

}  // namespace

void DeviceMessageDispatch::OnDeviceMessage(int code, const DeviceMessage& message) {
  act(code, message);
  // By index: a follower that removes one of them meanwhile never leaves a stale pointer here.
  for (std::size_t i = 0; i < m_followers.size(); ++i)
    m_followers[i]->OnDeviceMessage(code, message);
}

void DeviceMessageDispatch::act(int code, const DeviceMessage& m) {
  if (m_config.OnReply(code, m)) return;  // the Config page's answers

  const std::uint8_t* d = m.Data;
  switch (code) {
    case MsgCode::Answer02:
    case MsgCode::Answer04:
      m_view.SetResultText("Complete!");
      break;

    case MsgCode::CaptureState: {
      static constexpr const char* kStates[] = {"STOP", "READY", "CONT"};
      if (d[0] < std::size(kStates)) m_view.SetWaveState(kStates[d[0]]);
      break;
    }

    case MsgCode::Waveform:
      m_fields.WaveInterval = static_cast<std::uint16_t>(d[2] * 256 + d[3]);
      for (std::size_t i = 0; i < m_fields.WaveSamples.size(); ++i)
        m_fields.WaveSamples[i] = static_cast<float>(d[4 + i]);
      m_view.PlotWave();
      break;

    case MsgCode::BusError:
      m_view.SetErrorCounters(std::to_string(d[1]), std::to_string(d[2]));
      m_view.SetResultText(std::string("ERROR!: ").append(TextOf(m)));
      break;

    case MsgCode::SendResult: {
      static constexpr const char* kResults[] = {"Complete!", "CAN fail!", "Out of Range!"};
      if (d[0] < std::size(kResults)) m_view.SetResultText(kResults[d[0]]);
      break;
    }

    default:  // 101, 103, 105, 112, 114 and unknown codes: no visible effect
      break;
  }
}

}  // namespace velqor
