#include "terminal/script_sender.h"

#include <unistd.h>

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>

#include "common/hex_text.h"
#include "common/regular_file.h"
#include "common/ui_text.h"
#include "common/utf8_text.h"

namespace velqor {

namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string pathText(const std::filesystem::path& path) { return path.string(); }

}  // namespace

ScriptLine ParseScriptLine(std::string_view piece) {
  piece = piece.substr(0, piece.find('\0'));
  ScriptLine line;
  if (piece.empty()) return line;
  line.command = piece.front();
  std::size_t pos = 1;
  while (pos < piece.size() && isSpace(piece[pos])) ++pos;
  std::size_t end = pos;
  while (end < piece.size() && !isSpace(piece[end])) ++end;
  line.argument = std::string(piece.substr(pos, end - pos));
  return line;
}

std::int32_t ScriptWaitMilliseconds(std::string_view argument) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < argument.size() && (argument[pos] == '+' || argument[pos] == '-')) {
    negative = argument[pos] == '-';
    ++pos;
  }
  std::int64_t value = 0;
  for (; pos < argument.size() && argument[pos] >= '0' && argument[pos] <= '9'; ++pos) {
    value = value * 10 + (argument[pos] - '0');
    if (value > INT32_MAX) {
      // A negative number waits nothing however long it is; a huge one waits the longest.
      return negative ? 0 : INT32_MAX;
    }
  }
  // A negative wait would be read by the sleep as an endless one: it waits nothing.
  return negative ? 0 : static_cast<std::int32_t>(value);
}

ScriptStep InterpretScriptLine(const ScriptLine& line) {
  using std::chrono::milliseconds;
  ScriptStep step;
  const std::string& arg = line.argument;
  switch (upper(line.command)) {
    case ';':
      step.progress = arg;
      break;
    case 'S':
      if (!arg.empty()) {
        step.send = HexTextToBytes(arg);
        step.progress = SubstituteArgs(UiText("ScriptSender", "送信：%1"), {arg});
      }
      break;
    case 'W':
      if (!arg.empty()) {
        step.progress = SubstituteArgs(UiText("ScriptSender", "wait：%1 msec"), {arg});
        step.sleep = milliseconds(ScriptWaitMilliseconds(arg));
      } else {
        step.progress = UiText("ScriptSender", "wait:500msec");
        step.sleep = milliseconds(500);
      }
      break;
    case 'H':
      step.progress = UiText("ScriptSender", "wait:100msec");
      step.sleep = milliseconds(100);
      break;
    case 'B':
      step.progress = UiText("ScriptSender", "wait:300msec");
      step.sleep = milliseconds(300);
      break;
    case 'Q':
      step.progress = UiText("ScriptSender", kScriptEndText);
      step.ends = true;
      break;
    default:
      break;
  }
  return step;
}

std::string ScriptTextForDisplay(std::string_view text, ScriptEncoding encoding) {
  if (encoding == ScriptEncoding::Utf8) return std::string(text);
  QStringDecoder decoder("windows-31j");
  if (!decoder.isValid()) return std::string(text);  // a Qt without ICU: shown as it stands
  const QString decoded =
      decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  return decoded.toStdString();
}

ScriptReader::~ScriptReader() {
  if (m_file != nullptr) std::fclose(m_file);
}

std::error_code ScriptReader::Open(const std::filesystem::path& path) {
  std::error_code reason;
  const int fd = openRegularFileForReading(path, reason);
  if (fd < 0) return reason;
  m_file = ::fdopen(fd, "rb");
  if (m_file == nullptr) {
    reason = {errno, std::generic_category()};
    ::close(fd);
    return reason;
  }
  // The encoding: valid UTF-8 to the end, or not. A sequence cut by the end of a block is
  // carried into the next one.
  std::string pending;
  char block[65536];
  bool utf8 = true;
  while (utf8) {
    const std::size_t n = std::fread(block, 1, sizeof block, m_file);
    if (n == 0) break;
    pending.append(block, n);
    const std::size_t valid = utf8ValidLength(pending);
    utf8 = pending.size() - valid < 4;  // at most the start of one sequence is left over
    pending.erase(0, valid);
  }
  if (utf8 && !pending.empty()) utf8 = false;
  m_encoding = utf8 ? ScriptEncoding::Utf8 : ScriptEncoding::ShiftJis;
  // From the start again (a read error shows again with the first piece), after a
  // byte-order mark.
  std::rewind(m_file);
  char mark[3];
  if (std::fread(mark, 1, sizeof mark, m_file) != sizeof mark ||
      std::string_view(mark, sizeof mark) != "\xEF\xBB\xBF") {
    std::rewind(m_file);
  }
  return {};
}

ScriptReader::Result ScriptReader::Next(std::string& piece) {
  piece.clear();
  if (m_file == nullptr) return Result::End;
  errno = 0;
  while (piece.size() < kMaxPiece) {
    int c = std::getc(m_file);
    if (c == EOF) break;
    if (c == '\r') {
      const int next = std::getc(m_file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, m_file);
      }
    }
    piece += static_cast<char>(c);
    if (c == '\n') return Result::Piece;
  }
  if (std::ferror(m_file)) {
    m_error = {errno != 0 ? errno : EIO, std::generic_category()};
    return Result::Error;
  }
  return piece.empty() ? Result::End : Result::Piece;
}

void SystemSleeper::Sleep(std::chrono::milliseconds duration, std::stop_token abort) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, abort, duration, [] { return false; });
}

std::string ScriptOpenErrorText(const std::filesystem::path& path, std::error_code reason) {
  return SubstituteArgs(UiText("ScriptSender", "スクリプトファイルを開けません：%1 (%2)"),
                        {pathText(path), reason.message()});
}

std::string ScriptReadErrorText(const std::filesystem::path& path, std::error_code reason) {
  return SubstituteArgs(UiText("ScriptSender", "スクリプトファイルを読み込めません：%1 (%2)"),
                        {pathText(path), reason.message()});
}

std::string ScriptNotSentText(std::size_t length) {
  return SubstituteArgs(
      UiText("ScriptSender",
             "送信できません (%1 バイト)：アダプタが接続されていないか、1 レポートに収まりません"),
      {std::to_string(length)});
}

TSendFileSerial::TSendFileSerial(std::filesystem::path path, DeviceSender& sender,
                                 ScriptProgress& progress, ScriptSleeper& sleeper,
                                 Finished finished)
    : m_path(std::move(path)),
      m_sender(sender),
      m_progress(progress),
      m_sleeper(sleeper),
      m_finished(std::move(finished)),
      m_thread([this](std::stop_token abort) { Execute(abort); }) {}

TSendFileSerial::~TSendFileSerial() {
  m_thread.request_stop();
  if (m_thread.joinable()) m_thread.join();
}

void TSendFileSerial::Join() {
  if (m_thread.joinable()) m_thread.join();
}

bool TSendFileSerial::SendLine(const std::vector<std::uint8_t>& bytes) {
  // A word without a single pair of digits gives no byte, and nothing goes out.
  if (bytes.empty()) return true;
  return m_sender.SendToDevice(bytes.data(), bytes.size());
}

void TSendFileSerial::Execute(std::stop_token abort) {
  [&] {
    ScriptReader reader;
    if (const std::error_code reason = reader.Open(m_path)) {
      m_progress.ShowProgress(ScriptOpenErrorText(m_path, reason));
      return;
    }
    std::string piece;
    while (!abort.stop_requested()) {
      const ScriptReader::Result result = reader.Next(piece);
      if (result == ScriptReader::Result::End) {
        m_progress.ShowProgress(UiText("ScriptSender", kScriptEndText));
        return;
      }
      if (result == ScriptReader::Result::Error) {
        // Not the end line: the script did not run to its end.
        m_progress.ShowProgress(ScriptReadErrorText(m_path, reader.error()));
        return;
      }
      const ScriptLine line = ParseScriptLine(piece);
      ScriptStep step = InterpretScriptLine(line);
      if (step.progress && reader.encoding() != ScriptEncoding::Utf8) {
        ScriptLine shown = line;
        shown.argument = ScriptTextForDisplay(line.argument, reader.encoding());
        step.progress = InterpretScriptLine(shown).progress;
      }
      const bool sent = !step.send || SendLine(*step.send);
      if (step.progress) m_progress.ShowProgress(*step.progress);
      if (!sent) m_progress.ShowProgress(ScriptNotSentText(step.send->size()));
      if (step.sleep) m_sleeper.Sleep(*step.sleep, abort);
      if (step.ends || m_stopRequested.load()) return;
    }
  }();
  m_running.store(false);
  if (m_finished) m_finished(*this);
}

}  // namespace velqor
