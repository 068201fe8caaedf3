#pragma once
// The hand-over from the threads that call the terminal window (the USB reader, script
// threads, the window's own thread) to the window's thread: the calls stage their blocks
// and lines under a mutex, the first one after a hand-over asks its caller to post one
// queued call, and the window's thread takes everything staged at once.
//
// Both stages are bounded, so a window that falls behind a full bus never holds more than a
// few pages of text. The receive pane shows at most 500 lines before it starts again, so of
// a batch only the newest kMaxReceived bytes can still be on screen afterwards: older ones
// are skipped (and counted). The transmit stage drops its oldest items beyond kMaxTransmit
// bytes and counts them; the window shows that count.

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace velqor {

class TerminalStaging {
 public:
  // More than a full receive pane at its widest (500 lines of about 22 bytes).
  static constexpr std::size_t kMaxReceived = 32 * 1024;
  static constexpr std::size_t kMaxTransmit = 4 * 1024 * 1024;

  // One output of the transmit pane, in the order of the calls.
  struct TransmitItem {
    enum class Kind { Sent, Progress };
    Kind kind = Kind::Sent;
    std::vector<std::uint8_t> bytes;  // Sent
    std::string text;                 // Progress

    friend bool operator==(const TransmitItem&, const TransmitItem&) = default;
  };

  struct Batch {
    std::vector<std::uint8_t> received;
    std::uint64_t receivedSkipped = 0;  // older received bytes left out of this batch
    std::vector<TransmitItem> transmit;
    std::uint64_t transmitSkipped = 0;  // transmit items dropped since the last batch
  };

  // Each is true when the caller must post the queued call that takes the batch: nothing was
  // waiting for the window's thread before it.
  bool AddReceived(std::span<const std::uint8_t> bytes);
  bool AddSent(std::span<const std::uint8_t> bytes);
  bool AddProgress(std::string text);

  // Everything staged; afterwards the next Add asks for a post again.
  Batch Take();

 private:
  bool markPending();  // with the mutex held
  void pushTransmit(TransmitItem item);

  std::mutex m_mutex;
  bool m_pending = false;
  std::vector<std::uint8_t> m_received;
  std::uint64_t m_receivedSkipped = 0;
  std::deque<TransmitItem> m_transmit;
  std::size_t m_transmitSize = 0;
  std::uint64_t m_transmitSkipped = 0;
};

}  // namespace velqor
