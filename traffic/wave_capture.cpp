#include "traffic/wave_capture.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "common/ini_values.h"
#include "link/protocol.h"

namespace velqor {

namespace {

// The caption of the application's error box.
constexpr char kErrorCaption[] = "Velqor";

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of a run of digits at `pos`.
std::size_t digitRun(std::string_view text, std::size_t pos) {
  std::size_t n = 0;
  while (pos + n < text.size() && isDigit(text[pos + n])) ++n;
  return n;
}

}  // namespace

std::optional<long double> ParseFloatText(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  // Check the whole shape first; from_chars alone would stop at the first stray character.
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const std::size_t numberStart = pos;
  const std::size_t whole = digitRun(text, pos);
  pos += whole;
  std::size_t fraction = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    fraction = digitRun(text, pos);
    pos += fraction;
  }
  if (whole + fraction == 0) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t exponent = digitRun(text, pos);
    if (exponent == 0) return std::nullopt;
    pos += exponent;
  }
  if (pos != text.size()) return std::nullopt;

  long double value = 0;
  const char* first = text.data() + numberStart;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::string NotAFloatMessage(std::string_view text) {
  std::string message = "'";
  message += text;
  message += "' は浮動小数点数ではありません";
  return message;
}

int TrackPositionForLevel(long double volts) {
  const long double tenths = std::trunc(volts * 10.0L);
  if (!(tenths >= WaveCapture::kTrackMin)) return WaveCapture::kTrackMin;  // NaN too
  if (tenths >= WaveCapture::kTrackMax) return WaveCapture::kTrackMax;
  return static_cast<int>(tenths);
}

std::array<WavePoint, kWaveSamples> PlotWavePoints(std::uint16_t interval,
                                                   const WaveSampleArray& samples) {
  // The interval is in nanoseconds; the step, in microseconds, is kept in single precision
  // and so is the running x, as the chart has always been fed.
  const float step = static_cast<float>(interval * 0.001);
  std::array<WavePoint, kWaveSamples> points{};
  float x = 0.0f;
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i].x = x;
    points[i].y = static_cast<double>(samples[i]) * 0.01953125;  // 5 V over 256 counts
    x = x + step;
  }
  return points;
}

WaveCapture::WaveCapture(DeviceSender& sender, MessageBoxes& boxes, float* triggerLevel)
    : m_sender(sender),
      m_boxes(boxes),
      m_triggerLevel(triggerLevel != nullptr ? triggerLevel : &m_ownTriggerLevel) {}

void WaveCapture::loadTriggerLevel(float level) {
  *m_triggerLevel = level;
  setTrackPosition(TrackPositionForLevel(level));
  // The track bar's handler may have replaced TriggerLevel with position x 0.1.
  setTriggerText(formatFloatGeneral(*m_triggerLevel));
}

void WaveCapture::setTriggerText(std::string text) {
  if (text == m_text) return;
  m_heldText.reset();  // a text set from here replaces what typing held back
  m_text = std::move(text);
  if (m_view.triggerTextChanged) m_view.triggerTextChanged(m_text);
  EditTriggerlvChange();
}

void WaveCapture::setTrackPosition(int position) {
  if (position < kTrackMin) position = kTrackMin;
  if (position > kTrackMax) position = kTrackMax;
  if (position == m_position) return;
  m_position = position;
  if (m_view.trackPositionChanged) m_view.trackPositionChanged(m_position);
  TracTriggerChange();
}

void WaveCapture::typeTriggerText(std::string text) {
  if (text == m_text) return;
  m_text = std::move(text);
  m_typing = true;
  EditTriggerlvChange();
  m_typing = false;
}

void WaveCapture::finishTriggerEditing() {
  if (!m_heldText) return;
  std::string text = std::move(*m_heldText);
  m_heldText.reset();
  if (text == m_text) return;
  m_text = std::move(text);
  if (m_view.triggerTextChanged) m_view.triggerTextChanged(m_text);
}

bool WaveCapture::EditTriggerlvChange() {
  const std::optional<long double> value = ParseFloatText(m_text);
  if (!value) {
    m_boxes.Show(NotAFloatMessage(m_text), kErrorCaption, MessageBoxes::Icon::Error);
    return false;
  }
  // May run TracTriggerChange, which rewrites the text and runs this handler again, nested.
  setTrackPosition(TrackPositionForLevel(*value));
  if (!m_terminalExists) return true;

  // The text is read again: the nested run may have rewritten it, or, while a person types,
  // holds the text the field will show when editing ends.
  const std::string& sent = m_heldText ? *m_heldText : m_text;
  const std::optional<long double> level = ParseFloatText(sent);
  if (!level) {
    m_boxes.Show(NotAFloatMessage(sent), kErrorCaption, MessageBoxes::Icon::Error);
    return false;
  }
  send(SetTrigger(static_cast<std::uint8_t>(m_port), TriggerLevelByte(*level)));
  return true;
}

void WaveCapture::TracTriggerChange() {
  *m_triggerLevel = static_cast<float>(m_position * 0.1);
  // "0.0": one decimal, "." whatever the locale says.
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(*m_triggerLevel),
                                    std::chars_format::fixed, 1);
  if (m_typing) {
    m_heldText.emplace(text, result.ptr);  // not under the caret
    return;
  }
  setTriggerText(std::string(text, result.ptr));
}

void WaveCapture::BtnSingleClick() {
  finishTriggerEditing();
  if (!EditTriggerlvChange()) return;
  send(SetCaptureMode(kCaptureSingle));
}

void WaveCapture::BtnContinueClick() {
  finishTriggerEditing();
  if (!EditTriggerlvChange()) return;
  send(SetCaptureMode(kCaptureContinuous));
}

void WaveCapture::BtnStopClick() { send(SetCaptureMode(kCaptureStop)); }

bool WaveCapture::EditTriggerlvKeyPress(char32_t typed) {
  return (typed >= U'0' && typed <= U'9') || typed == U'.' || typed == U'\b';
}

void WaveCapture::send(const std::vector<std::uint8_t>& frame) {
  m_sender.SendToDevice(frame.data(), frame.size());
}

}  // namespace velqor
