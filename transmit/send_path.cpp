#include "transmit/send_path.h"

#include <algorithm>

#include "link/protocol.h"

namespace velqor {

namespace {

// Calls `found(outOfRange)` for each SendCanFrame in the block, walking the frames as the
// adapter reads them: a start byte, a length, that many bytes; anything else is skipped.
template <typename F>
void ForEachSendCanFrame(std::span<const std::uint8_t> bytes, F found) {
  std::size_t i = 0;
  while (i + 1 < bytes.size()) {
    if (bytes[i] != kFrameStart || bytes[i + 1] < 2) {
      ++i;
      continue;
    }
    const std::size_t size = std::size_t{bytes[i + 1]} + 2;
    if (i + 3 < bytes.size() && bytes[i + 2] == Category::Can &&
        bytes[i + 3] == Cmd::SendCanFrame) {
      const std::size_t payload = i + kFrameHeaderSize;
      bool outOfRange = false;
      if (payload + TxRecord::kSize <= bytes.size() && size >= kFrameHeaderSize + TxRecord::kSize) {
        outOfRange =
            TxRequestOutOfRange(bytes[payload], ReadBe32(&bytes[payload + 1]), bytes[payload + 5]);
      }
      found(outOfRange);
    }
    i += size;
  }
}

}  // namespace

bool SendPath::SendToDevice(const std::uint8_t* bytes, std::size_t length) {
  return send(std::span(bytes, length), {});
}

bool SendPath::SendOwned(std::span<const std::uint8_t> bytes, std::span<const Owner> owners) {
  return send(bytes, owners);
}

bool SendPath::send(std::span<const std::uint8_t> bytes, std::span<const Owner> owners) {
  std::lock_guard lock(m_mutex);
  const std::size_t before = m_pending.size();
  std::size_t n = 0;
  ForEachSendCanFrame(bytes, [&](bool outOfRange) {
    m_pending.push_back({n < owners.size() ? owners[n] : kNobody, outOfRange});
    ++n;
  });
  if (!m_out.SendToDevice(bytes.data(), bytes.size())) {
    m_pending.resize(before);  // nothing went out: no answer will come
    return false;
  }
  while (m_pending.size() > kMaxPending) {
    m_pending.pop_front();
    ++m_forgotten;
  }
  return true;
}

std::optional<SendPath::Owner> SendPath::TakeAnswer(std::uint8_t result) {
  std::lock_guard lock(m_mutex);
  if (m_pending.empty()) {
    ++m_unmatched;
    return std::nullopt;
  }
  const bool outOfRange = result == kResultOutOfRange;
  auto it = std::find_if(m_pending.begin(), m_pending.end(),
                         [&](const Pending& p) { return p.outOfRange == outOfRange; });
  // An answer that does not fit any request (the adapter judged a range we do not know of):
  // the oldest command it is.
  if (it == m_pending.end()) it = m_pending.begin();
  const Owner owner = it->owner;
  m_pending.erase(it);
  return owner;
}

void SendPath::Forget() {
  std::lock_guard lock(m_mutex);
  m_forgotten += m_pending.size();
  m_pending.clear();
}

SendPath::Counters SendPath::GetCounters() const {
  std::lock_guard lock(m_mutex);
  return {m_pending.size(), m_unmatched, m_forgotten};
}

}  // namespace velqor
