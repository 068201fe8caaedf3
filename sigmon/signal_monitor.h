#pragma once
// SignalMonitor: what the bus says about every signal of the loaded DBC files. Frames come in
// batches (from the receive path, on the GUI thread); each frame a loaded file defines is
// decoded once and its signals' states updated in place: the last raw bits and physical value,
// when, the lowest and highest value seen, how often. Nothing is formatted here: a view makes
// the texts of the rows it paints, at its own rate, from these states.
//
// Signals are numbered as in the decoder (FrameDecoder). The series of plotted signals are
// kept here too, fed from the same decoding: a plotted signal's every value goes into its
// SignalSeries, time in seconds from the monitor's origin (the steady time of the first frame
// it decoded).
//
// A new decoder (a file loaded or unloaded) renumbers the signals; the state and the series
// of a signal that is still there (same file, message identifier and IDE, signal name) carry
// over.
//
// One thread (the owner's).

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/can_frame.h"
#include "sigmon/signal_series.h"
#include "signals/frame_decoder.h"

namespace velqor {

struct SignalState {
  std::uint64_t bits = 0;  // the field's bits as on the bus
  double value = 0;        // physical
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();
  CanTime time;             // of the frame that carried the last value
  std::uint64_t count = 0;  // values seen; 0: never
};

class SignalMonitor {
 public:
  SignalMonitor();
  ~SignalMonitor();

  void setDecoder(std::shared_ptr<const dbc::FrameDecoder> decoder);
  const dbc::FrameDecoder& decoder() const { return *m_decoder; }
  std::size_t signalCount() const { return m_states.size(); }

  // Decodes each frame (received ones: remote, error and sent frames are skipped) and updates
  // the states of the signals it carries.
  void onFrames(std::span<const CanFrame> frames);

  const SignalState& state(std::uint32_t signal) const { return m_states[signal]; }
  // Frames decoded so far; a view compares it with what it showed last.
  std::uint64_t framesDecoded() const { return m_framesDecoded; }
  // The signals seen for the first time since the last call, in the order they came.
  std::vector<std::uint32_t> takeNewlySeen();
  // Forgets the lowest and highest values: from now on they start again from the last value.
  void resetExtremes();

  // Plotting. startSeries begins keeping the values of `signal` from now on (the series it
  // already has otherwise); stopSeries drops its series.
  SignalSeries& startSeries(std::uint32_t signal);
  void stopSeries(std::uint32_t signal);
  // Null when the signal is not plotted.
  const SignalSeries* series(std::uint32_t signal) const;
  std::vector<std::uint32_t> plottedSignals() const;
  // The instant series times count from; unset until the first frame was decoded.
  const std::optional<CanTime>& origin() const { return m_origin; }

  // A signal's name with its message's ("EngineData.EngineSpeed").
  std::string qualifiedName(std::uint32_t signal) const;

 private:
  // What a signal is, whatever its number: file, identifier, IDE and name.
  std::string keyOf(std::uint32_t signal) const;

  std::shared_ptr<const dbc::FrameDecoder> m_decoder;
  std::vector<SignalState> m_states;
  std::vector<SignalSeries*> m_plotted;  // by signal number; owned by m_series
  std::map<std::uint32_t, std::unique_ptr<SignalSeries>> m_series;
  std::vector<std::uint32_t> m_newlySeen;
  dbc::DecodedFrame m_decoded;
  std::uint64_t m_framesDecoded = 0;
  std::optional<CanTime> m_origin;
};

}  // namespace velqor
