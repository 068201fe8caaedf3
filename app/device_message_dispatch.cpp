#include "app/device_message_dispatch.h"

#include <cstring>

#include "common/ui_text.h"
#include "link/protocol.h"

namespace velqor {

namespace {

constexpr char kContext[] = "Status";  // the status bar's texts

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
      m_view.SetResultText(UiText("Status", "Complete!"));
      break;

    case MsgCode::CaptureState: {
      static constexpr const char* kStates[] = {VELQOR_TRANSLATE_NOOP("Status", "STOP"),
                                                VELQOR_TRANSLATE_NOOP("Status", "READY"),
                                                VELQOR_TRANSLATE_NOOP("Status", "CONT")};
      if (d[0] < std::size(kStates)) m_view.SetWaveState(UiText(kContext, kStates[d[0]]));
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
      // The adapter's error name, as the interpreter recorded it (kErrorTexts).
      m_view.SetResultText(
          SubstituteArgs(UiText("Status", "ERROR!: %1"),
                         {UiText(kBusErrorContext, std::string(TextOf(m)).c_str())}));
      break;

    case MsgCode::SendResult: {
      static constexpr const char* kResults[] = {VELQOR_TRANSLATE_NOOP("Status", "Complete!"),
                                                 VELQOR_TRANSLATE_NOOP("Status", "CAN fail!"),
                                                 VELQOR_TRANSLATE_NOOP("Status", "Out of Range!")};
      if (d[0] < std::size(kResults)) m_view.SetResultText(UiText(kContext, kResults[d[0]]));
      break;
    }

    default:  // 101, 103, 105, 112, 114 and unknown codes: no visible effect
      break;
  }
}

}  // namespace velqor
