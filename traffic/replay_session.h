#pragma once
// ReplaySession: a recorded log sent onto the bus through the adapter, as the replay window
// runs it. The frames go out as SendCanFrame commands through the program's one send path
// (the main window's SendToDevice, which also hands each to the frame path as a sent frame),
// timed by canlog's ReplayEngine on a ReplayRunner thread.
//
// Send results. While the adapter's answers to the replay's own frames reach OnSendResult(),
// the replay keeps a few frames in flight and waits for the rest (Request::awaitResults);
// without them it waits for nothing and spaces the frames by the time the longest classic
// frame takes on the bus at the chosen bit rate (LeastInterval), so that "as fast as the link
// allows" does not outrun the adapter's transmit queue.
//
// Errors: a log that cannot be opened or read further ends the replay; Error() then gives the
// file, the line (or byte) and what was expected there.
//
// Threads: every member on the owner's thread (the window's, where the adapter's answers are
// handled too). `out` is called on the replay thread and must outlive the session; so is
// Start's `onFinished`.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "canlog/replay.h"
#include "link/device_sender.h"

namespace velqor {

class ReplaySession {
 public:
  // The speeds offered, slowest first; 0 is "as fast as the link allows".
  static constexpr double kSpeeds[] = {0.25, 0.5, 1, 2, 4, 0};
  // The longest classic frame on the bus: an extended frame with eight bytes (131 bits), its
  // worst stuffing (24 bits) and the gap before the next frame (3 bits), rounded up.
  static constexpr int kLongestFrameBits = 160;

  struct Request {
    std::filesystem::path file;
    std::optional<LogFormat> format;  // from the file's extension when empty
    ReplayOptions options;
  };

  explicit ReplaySession(DeviceSender& out);
  ~ReplaySession();  // stops and joins
  ReplaySession(const ReplaySession&) = delete;
  ReplaySession& operator=(const ReplaySession&) = delete;

  // The least time between two frames at `bitRate` bits/s when no send results come back.
  static std::chrono::microseconds LeastInterval(int bitRate);

  // Starts the replay of `request` (ending one that runs); `onFinished` runs on the replay
  // thread when it is over. False, with `error` said for the technician, when the request
  // cannot start (a format the extension does not tell).
  bool Start(Request request, std::function<void()> onFinished, std::string& error);
  // Ends the replay and waits for its thread.
  void Stop();

  bool Started() const { return m_runner != nullptr; }
  bool Finished() const;
  ReplayStats Stats() const;
  std::string Error() const;
  const Request& request() const { return m_request; }

  // The adapter's answer to the oldest of the replay's frames without one.
  void OnSendResult(bool sent);

 private:
  class Sender;

  std::unique_ptr<Sender> m_sender;
  Request m_request;
  std::unique_ptr<ReplayRunner> m_runner;
};

}  // namespace velqor
