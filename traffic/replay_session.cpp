#include "traffic/replay_session.h"

#include <algorithm>

#include "link/protocol.h"

namespace velqor {

// Each frame of the log as one SendCanFrame command.
class ReplaySession::Sender final : public ReplaySender {
 public:
  explicit Sender(DeviceSender& out) : m_out(out) {}

  bool Send(const CanFrame& frame) override {
    TxRecord record;
    record.ide = frame.ide;
    record.id = frame.id;
    record.dlc = frame.dlc;
    std::copy_n(frame.data.begin(), frame.length(), record.data.begin());
    return m_out.SendToDevice(SendCanFrame(record));
  }

 private:
  DeviceSender& m_out;
};

ReplaySession::ReplaySession(DeviceSender& out) : m_sender(std::make_unique<Sender>(out)) {}

ReplaySession::~ReplaySession() { Stop(); }

std::chrono::microseconds ReplaySession::LeastInterval(int bitRate) {
  if (bitRate <= 0) bitRate = kBitRatesPerSecond.front();  // the slowest: never too fast
  return std::chrono::microseconds((kLongestFrameBits * 1000000LL + bitRate - 1) / bitRate);
}

bool ReplaySession::Start(Request request, std::function<void()> onFinished, std::string& error) {
  Stop();
  if (!request.format) request.format = LogFormatFromPath(request.file);
  if (!request.format) {
    error = request.file.string() + ": cannot tell the log format from the extension '" +
            request.file.extension().string() + "': choose it under Format";
    return false;
  }
  m_request = std::move(request);
  // The file is opened on the replay thread, once per pass: a slow disk holds nobody else.
  auto open = [file = m_request.file, format = *m_request.format] {
    return OpenLogReader(file, format);
  };
  auto engine = std::make_unique<ReplayEngine>(std::move(open), m_request.options, *m_sender);
  m_runner = std::make_unique<ReplayRunner>(std::move(engine), std::move(onFinished));
  m_runner->Start();
  return true;
}

void ReplaySession::Stop() {
  if (!m_runner) return;
  m_runner->Stop();
}

bool ReplaySession::Finished() const { return m_runner && m_runner->Finished(); }

ReplayStats ReplaySession::Stats() const { return m_runner ? m_runner->Stats() : ReplayStats{}; }

std::string ReplaySession::Error() const { return m_runner ? m_runner->Error() : std::string(); }

void ReplaySession::OnSendResult(bool sent) {
  if (m_runner) m_runner->OnSendResult(sent);
}

}  // namespace velqor
