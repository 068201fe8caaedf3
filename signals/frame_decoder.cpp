#include "signals/frame_decoder.h"

#include <cstring>

namespace velqor::dbc {

namespace {

std::string hexId(std::uint32_t id, bool extended) {
  char buf[16];
  std::snprintf(buf, sizeof buf, extended ? "%08X" : "%03X", id);
  return buf;
}

}  // namespace

FrameDecoder::FrameDecoder(std::vector<std::shared_ptr<const Database>> databases)
    : m_databases(std::move(databases)), m_standard(2048, -1) {
  for (const auto& db : m_databases) {
    for (const Message& m : db->messages) {
      const std::string where =
          db->fileName + " BO_ " + m.name + " (" + hexId(m.id, m.extended) + ")";
      if (m.fd) {
        m_notes.push_back(where + ": a CAN FD message; classic frames are not matched to it");
        continue;
      }
      if (const MessageEntry* other = find(m.id, m.extended)) {
        m_notes.push_back(where + ": its identifier is already " + other->database->fileName + " " +
                          other->message->name + "'s; that one is used");
        continue;
      }
      const auto index = static_cast<std::uint32_t>(m_messages.size());
      MessageEntry entry;
      entry.message = &m;
      entry.database = db.get();
      entry.firstSignal = static_cast<std::uint32_t>(m_signals.size());
      entry.signalCount = static_cast<std::uint32_t>(m.signalList.size());
      for (const Signal& s : m.signalList) {
        const bool multiplexed = s.mux == MuxRole::Multiplexed;
        if (s.mux == MuxRole::Multiplexor && !m.extendedMux) {
          entry.multiplexor = static_cast<std::int32_t>(m_signals.size());
        }
        m_signals.push_back({&s, index, SignalCodec(s), !(multiplexed && m.extendedMux)});
      }
      m_maxSignals = std::max(m_maxSignals, m.signalList.size());
      m_messages.push_back(entry);
      if (m.extended) {
        m_extended.emplace(m.id, index);
      } else if (m.id < 2048) {
        m_standard[m.id] = static_cast<std::int32_t>(index);
      }
    }
  }
}

const FrameDecoder::MessageEntry* FrameDecoder::find(std::uint32_t id, bool extended) const {
  if (!extended) {
    if (id >= m_standard.size() || m_standard[id] < 0) return nullptr;
    return &m_messages[static_cast<std::size_t>(m_standard[id])];
  }
  const auto it = m_extended.find(id);
  return it == m_extended.end() ? nullptr : &m_messages[it->second];
}

bool FrameDecoder::decode(const CanFrame& frame, DecodedFrame& out, bool texts) const {
  out.message = DecodedFrame::kNone;
  out.shortFrame = false;
  out.values.clear();
  if (frame.rtr() || frame.error()) return false;
  const MessageEntry* m = find(frame.id, frame.extended());
  if (m == nullptr) return false;
  decodeSignals(*m, static_cast<std::uint32_t>(m - m_messages.data()), frame.data.data(),
                frame.length(), out, texts);
  return true;
}

bool FrameDecoder::decode(std::uint32_t id, bool extended, const std::uint8_t* data,
                          std::size_t length, DecodedFrame& out, bool texts) const {
  out.message = DecodedFrame::kNone;
  out.shortFrame = false;
  out.values.clear();
  const MessageEntry* m = find(id, extended);
  if (m == nullptr) return false;
  decodeSignals(*m, static_cast<std::uint32_t>(m - m_messages.data()), data, length, out, texts);
  return true;
}

void FrameDecoder::decodeSignals(const MessageEntry& m, std::uint32_t index,
                                 const std::uint8_t* data, std::size_t length, DecodedFrame& out,
                                 bool texts) const {
  out.message = index;
  if (out.values.capacity() < m_maxSignals) out.values.reserve(m_maxSignals);
  // The first eight bytes as two integers, for the fields that lie within them.
  std::uint8_t first8[8] = {};
  std::memcpy(first8, data, length < 8 ? length : 8);
  std::uint64_t little = 0;
  std::uint64_t big = 0;
  for (int i = 0; i < 8; ++i) {
    little |= std::uint64_t{first8[i]} << (8 * i);
    big = big << 8 | first8[i];
  }
  auto bitsOf = [&](const SignalCodec& c) {
    return c.within8() ? c.extract8(little, big) : c.extract(data);
  };

  bool muxKnown = false;
  std::uint64_t muxValue = 0;
  if (m.multiplexor >= 0) {
    const SignalEntry& mux = m_signals[static_cast<std::size_t>(m.multiplexor)];
    if (mux.codec.bytesNeeded() <= length) {
      muxKnown = true;
      muxValue = bitsOf(mux.codec);
    }
  }
  const std::uint32_t end = m.firstSignal + m.signalCount;
  for (std::uint32_t i = m.firstSignal; i < end; ++i) {
    const SignalEntry& s = m_signals[i];
    if (!s.decoded) continue;
    if (s.signal->mux == MuxRole::Multiplexed && (!muxKnown || s.signal->muxValue != muxValue)) {
      continue;
    }
    if (s.codec.bytesNeeded() > length) {
      out.shortFrame = true;
      continue;
    }
    const std::uint64_t bits = bitsOf(s.codec);
    out.values.push_back({i, bits, s.codec.physical(bits), texts ? s.codec.text(bits) : nullptr});
  }
}

}  // namespace velqor::dbc
