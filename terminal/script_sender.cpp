#include "terminal/script_sender.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>

#include "common/hex_text.h"

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
        step.progress = "送信：" + arg;
      }
      break;
    case 'W':
      if (!arg.empty()) {
        step.progress = "wait：" + arg + " msec";
        step.sleep = milliseconds(ScriptWaitMilliseconds(arg));
      } else {
        step.progress = "wait:500msec";
        step.sleep = milliseconds(500);
      }
      break;
    case 'H':
      step.progress = "wait:100msec";
      step.sleep = milliseconds(100);
      break;
    case 'B':
      step.progress = "wait:300msec";
      step.sleep = milliseconds(300);
      break;
    case 'Q':
      step.progress = kScriptEndText;
      step.ends = true;
      break;
    default:
      break;
  }
  return step;
}

ScriptReader::~ScriptReader() {
  if (m_file != nullptr) std::fclose(m_file);
}

std::error_code ScriptReader::Open(const std::filesystem::path& path) {
  // "e": the descriptor is closed on exec.
  m_file = std::fopen(path.c_str(), "rbe");
  if (m_file == nullptr) return {errno, std::generic_category()};
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
  return "スクリプトファイルを開けません：" + pathText(path) + " (" + reason.message() + ")";
}

std::string ScriptReadErrorText(const std::filesystem::path& path, std::error_code reason) {
  return "スクリプトファイルを読み込めません：" + pathText(path) + " (" + reason.message() + ")";
}

std::string ScriptNotSentText(std::size_t length) {
  return "送信できません (" + std::to_string(length) +
         " バイト)：アダプタが接続されていないか、1 レポートに収まりません";
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
        m_progress.ShowProgress(kScriptEndText);
        return;
      }
      if (result == ScriptReader::Result::Error) {
        // Not the end line: the script did not run to its end.
        m_progress.ShowProgress(ScriptReadErrorText(m_path, reader.error()));
        return;
      }
      const ScriptStep step = InterpretScriptLine(ParseScriptLine(piece));
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
