#include "app/device_message_dispatch.h"

#include <cstdio>
#include <cstring>

#include "link/protocol.h"

namespace velqor {

namespace {

// The record's text up to its terminating zero (never beyond the array).
std::string_view TextOf(const DeviceMessage& m) {
  return std::string_view(m.Text, strnlen(m.Text, sizeof m.Text));
}

// "%0x": lower-case hexadecimal without leading zeros.
std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", v);
  return buf;
}

}  // namespace

std::vector<std::string> DeviceMessageDispatch::SampleTimingTexts(const SampleTimingEntry& entry) {
  std::vector<std::string> texts;
  const int n = entry.count <= kSampleTimingMax ? entry.count : kSampleTimingMax;
  texts.reserve(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) texts.push_back(std::to_string(entry.values[static_cast<std::size_t>(k)]));
  return texts;
}

void DeviceMessageDispatch::OnDeviceMessage(int code, const DeviceMessage& m) {
  const std::uint8_t* d = m.Data;
  switch (code) {
    case MsgCode::Answer02:
    case MsgCode::Answer04:
    case MsgCode::SetTerminatorDone:
      m_view.SetResultText("Complete!");
      break;

    case MsgCode::RxMailboxContents: {
      const int index = d[0];
      if (index >= kRxMailboxes) {
        ++m_rejected;
        break;
      }
      m_view.SetRxMailbox(index, d[1] != 0, d[2] != 0, Hex(ReadBe32(d + 3)), Hex(ReadBe32(d + 7)));
      m_view.SetResultText("Complete!");
      break;
    }

    case MsgCode::TerminatorState:
      m_view.SetTerminator(d[0] == kTerminatorOn);
      break;

    case MsgCode::BitTiming: {
      const int rate = d[0];
      if (rate >= kBitRateCount) {
        ++m_rejected;
        break;
      }
      m_view.SetBitTiming(rate, SampleTimingTexts(m_fields.SampleTimingTable[static_cast<std::size_t>(rate)]), d[1]);
      m_view.SetResultText("Complete!");
      break;
    }

    case MsgCode::TimingTable: {
      const int rate = d[0];
      const int count = d[1];
      if (rate >= kBitRateCount || count > kSampleTimingMax) {
        ++m_rejected;
        break;
      }
      SampleTimingEntry& entry = m_fields.SampleTimingTable[static_cast<std::size_t>(rate)];
      entry.count = static_cast<std::uint8_t>(count);
      std::memcpy(entry.values.data(), d + 2, static_cast<std::size_t>(count));
      m_view.SetResultText("Complete!");
      break;
    }

    case MsgCode::ConsoleFormat:
      m_view.SetConsoleFormat(d[0]);
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

    case MsgCode::StoreResult: {
      static constexpr const char* kResults[] = {"success!", "FAIL!", "OUT_OF_RANGE!"};
      if (d[0] < std::size(kResults)) m_view.SetResultText(kResults[d[0]]);
      break;
    }

    case MsgCode::FirmwareVersion:
      m_view.SetVersionText(std::string("F/W: ").append(TextOf(m)));
      break;

    case MsgCode::DeviceName:
      m_view.SetDeviceText(std::string("MCU: ").append(TextOf(m)));
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

    case MsgCode::ReceivedFrame: {
      RxFrame& f = m_fields.LastRxFrame;
      f.Id = m.Id;
      f.Ide = m.Ide;
      f.Dlc = m.Dlc;
      std::memcpy(f.Data.data(), d, f.Data.size());
      m_view.ShowReceivedFrame();
      m_view.WriteLogLine();
      break;
    }

    default:  // 101, 103, 105, 112, 114 and unknown codes: no visible effect
      break;
  }
}

}  // namespace velqor
