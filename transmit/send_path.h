#pragma once
// SendPath: the one path for outgoing bytes, which keeps track of the SendCanFrame commands it
// carries so that the adapter's answers (2/0x01, code 201) can be matched to their senders.
//
// The protocol has no sequence numbers: the adapter answers each SendCanFrame once, in the
// order the commands reached it, with one exception the model of the adapter shows and the
// matching allows for: a request out of range (ide above 1, DLC above 8, identifier beyond
// 11 or 29 bits) is answered at once ("out of range"), ahead of frames still waiting for the
// bus. So the path keeps one queue of pending commands in the order they were written, and
// matches an answer "out of range" to the oldest pending request that is out of range, any
// other answer to the oldest pending request that is not.
//
// That only holds when every block with a SendCanFrame passes here, in the order it is
// written: the page's SEND and ALL SEND, script blocks and the terminal's typed bytes (all
// through SendToDevice, owned by nobody) as well as the scheduler's reports (SendOwned). The
// queue lock is held across the write, so the queue's order is the order on the wire.
//
// Limits: an answer the program never sees (input lost on the link, a command the adapter
// dropped) shifts the matching by one until the queue runs empty; the owner calls Forget()
// whenever the link closes or reports lost input. A SendCanFrame cut across two blocks (a
// script can do that) is counted in the block that holds its start and length bytes.
//
// Several senders share one path (the window's cyclic rows and its slcan share): each takes
// its owners from NewOwner(), so that no two of them ever hold the same one, and whoever
// hands the answers out routes each owner TakeAnswer names to the sender that holds it.
//
// Threads: every member may be called from any thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>

#include "link/device_sender.h"

namespace velqor {

class SendPath final : public DeviceSender {
 public:
  // Who sent a command: a value the sender chose, never kNobody.
  using Owner = std::uint64_t;
  static constexpr Owner kNobody = 0;
  // Pending commands kept at most; beyond, the oldest is forgotten (an adapter that never
  // answers must not grow the queue for ever).
  static constexpr std::size_t kMaxPending = 4096;

  struct Counters {
    std::uint64_t pending = 0;    // commands written and not answered yet
    std::uint64_t unmatched = 0;  // answers that came with no command pending
    std::uint64_t forgotten = 0;  // pending commands dropped (Forget, or the queue full)
  };

  // `out` writes one block as one report (the main window, or a tool's link); it must outlive
  // the path.
  explicit SendPath(DeviceSender& out) : m_out(out) {}

  // An owner no other caller of this path holds (counted from 1).
  Owner NewOwner() { return m_nextOwner.fetch_add(1, std::memory_order_relaxed); }

  // A block nobody here owns; its SendCanFrame commands are noted as kNobody's.
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override;
  using DeviceSender::SendToDevice;
  // A block whose i-th SendCanFrame belongs to owners[i] (commands beyond the owners given
  // are kNobody's). When the write fails nothing is noted.
  bool SendOwned(std::span<const std::uint8_t> bytes, std::span<const Owner> owners);

  // The adapter answered a SendCanFrame with `result` (0 sent, 1 failed, 2 out of range):
  // the owner of the command it answers (kNobody for one nobody owns), or nullopt when no
  // command was pending.
  std::optional<Owner> TakeAnswer(std::uint8_t result);
  // Drops every pending command: their answers will not come (the link closed).
  void Forget();

  Counters GetCounters() const;

 private:
  struct Pending {
    Owner owner = kNobody;
    bool outOfRange = false;
  };
  bool send(std::span<const std::uint8_t> bytes, std::span<const Owner> owners);

  DeviceSender& m_out;
  mutable std::mutex m_mutex;  // held across the write: the queue's order is the wire's
  std::deque<Pending> m_pending;
  std::uint64_t m_unmatched = 0;
  std::uint64_t m_forgotten = 0;
  std::atomic<Owner> m_nextOwner{kNobody + 1};
};

// Whether the adapter answers a request "out of range": ide above 1, DLC above 8, an
// identifier beyond 11 bits (ide 0) or 29 bits (ide 1).
constexpr bool TxRequestOutOfRange(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc) {
  return ide > 1 || dlc > 8 || id > (ide ? 0x1FFFFFFFu : 0x7FFu);
}

}  // namespace velqor
