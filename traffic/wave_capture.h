#pragma once
// The logic of the "Wave" page: the trigger level (the text `EditTriggerlv` and the track bar
// `TracTrigger`, whose change handlers run each other), the capture buttons and the points of
// a captured trace. Plain C++: the page widget mirrors the state kept here and forwards its
// controls' changes, tests drive it without a window.
//
// The two controls raise their change handlers the way the form controls always did: setting
// the text runs EditTriggerlvChange when the text changes, setting the track bar runs
// TracTriggerChange when the position changes, at once and nested inside whatever set them.
// Setting the text to 3 therefore moves the bar to 30, whose handler rewrites the text to
// "3.0", whose handler sends SetTrigger; the outer handler then sends it a second time.
//
// What a person types is never rewritten under the caret (typeTriggerText): the bar follows
// the typed text at once and SetTrigger goes out, but the text the bar's handler would write
// waits until editing finishes (finishTriggerEditing). A rewrite would move the caret to the
// end and clear the undo history: selecting all and typing "1.0" would give "1.0.".

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/message_boxes.h"
#include "link/device_sender.h"

namespace velqor {

// The trigger text as a number: optional blanks, an optional sign, digits with an optional
// "." and more digits (at least one digit in all), an optional exponent ("e" or "E", an
// optional sign, digits), optional blanks. Nothing for anything else ("", ".", "1.2.3",
// "2,5", "1e") and for a value beyond the range of long double. Read in long double, so
// that "2.3" times 10 truncates to 23.
std::optional<long double> ParseFloatText(std::string_view text);

// The error text for a trigger text that is not a number.
std::string NotAFloatMessage(std::string_view text);

// The track bar's position for a level in volts: x 10 truncated toward zero, held to 0..50.
int TrackPositionForLevel(long double volts);

// One point of the trace: x in microseconds, y in volts.
struct WavePoint {
  float x = 0;
  double y = 0;
};

inline constexpr int kWaveSamples = 200;
using WaveSampleArray = std::array<float, kWaveSamples>;

// The points PlotWave shows: step = interval x 0.001 in single precision (nanoseconds to
// microseconds), x from 0 accumulated in single precision, y = sample x 5/256.
std::array<WavePoint, kWaveSamples> PlotWavePoints(std::uint16_t interval,
                                                   const WaveSampleArray& samples);

class WaveCapture {
 public:
  static constexpr int kTrackMin = 0;
  static constexpr int kTrackMax = 50;

  // What the page shows of the state: called after the text or the position changed here,
  // before the change handler of that control runs. The page sets its control; the change
  // signal that follows comes back with the value already held and does nothing.
  struct View {
    std::function<void(const std::string&)> triggerTextChanged;
    std::function<void(int)> trackPositionChanged;
  };

  // `sender` and `boxes` must outlive this object. `triggerLevel`, when given, is where
  // TriggerLevel lives (the main window's field); otherwise this object keeps it.
  WaveCapture(DeviceSender& sender, MessageBoxes& boxes, float* triggerLevel = nullptr);
  WaveCapture(const WaveCapture&) = delete;
  WaveCapture& operator=(const WaveCapture&) = delete;

  void setView(View view) { m_view = std::move(view); }

  // Commands go out only once the terminal window exists: it is created after the main
  // window, so the changes made while the settings load send nothing.
  void setTerminalExists(bool exists) { m_terminalExists = exists; }
  bool terminalExists() const { return m_terminalExists; }

  // Loads TriggerLevel from the settings: the track bar to the level x 10 (truncated), then
  // the text to the level in general format. Both run their handlers as the form did.
  void loadTriggerLevel(float level);

  // The controls. Setting a value runs the control's change handler when it changes.
  const std::string& triggerText() const { return m_text; }
  void setTriggerText(std::string text);
  int trackPosition() const { return m_position; }
  void setTrackPosition(int position);  // held to 0..50, as the track bar does
  // A change the person made in the trigger field (typed, pasted or deleted); `text` is what
  // it reads now. EditTriggerlvChange runs as for any change, once: the bar takes the text's
  // position and TriggerLevel follows, but the text stays as typed. When the bar moved, its
  // "0.0" text is held for finishTriggerEditing, and until then it is that text's level that
  // SetTrigger carries, the level the field will show; otherwise the typed text's.
  void typeTriggerText(std::string text);
  // Editing the trigger field ended (Enter, the focus elsewhere, a capture button): the text
  // held back is written now, through the view. Nothing is sent for it: its level went out
  // while typing.
  void finishTriggerEditing();
  int capturePort() const { return m_port; }
  void setCapturePort(int port) { m_port = port; }  // sends nothing by itself
  float TriggerLevel() const { return *m_triggerLevel; }

  // Handlers. EditTriggerlvChange is false when the text is not a number: the error box has
  // then been shown and nothing was sent.
  bool EditTriggerlvChange();
  void TracTriggerChange();
  void BtnSingleClick();
  void BtnContinueClick();
  void BtnStopClick();
  // True when the trigger edit takes the typed character: digits, "." and Backspace ('\b').
  static bool EditTriggerlvKeyPress(char32_t typed);

 private:
  void send(const std::vector<std::uint8_t>& frame);

  DeviceSender& m_sender;
  MessageBoxes& m_boxes;
  View m_view;
  bool m_terminalExists = false;
  std::string m_text = "2.5";             // the form's text
  bool m_typing = false;                  // inside typeTriggerText
  std::optional<std::string> m_heldText;  // the bar's text, waiting for the end of editing
  int m_position = 0;
  int m_port = 2;  // "Differential"
  float m_ownTriggerLevel = 2.5f;
  float* m_triggerLevel;
};

}  // namespace velqor
