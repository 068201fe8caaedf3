#pragma once
// FrameDecoder: the messages of one or more DBC files, ready to decode received frames at
// bus rate. Built once (on any thread) from loaded databases, then only read, so one decoder
// may serve several threads. The lookup by identifier and IDE is an array for standard
// identifiers and a hash for extended ones; a frame decodes into a DecodedFrame the caller
// owns and reuses, so decoding allocates nothing once that has grown to the largest message.
//
// Every message and signal has a number in the decoder (0 .. messageCount()-1,
// 0 .. signalCount()-1), in the order of the databases and of each file, so that a view can
// keep per-signal state in a plain array.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "link/can_frame.h"
#include "signals/dbc.h"
#include "signals/signal_codec.h"

namespace velqor::dbc {

struct DecodedSignal {
  std::uint32_t index = 0;  // the signal's number in the decoder
  std::uint64_t bits = 0;   // the field's bits as on the bus
  double physical = 0;
  const std::string* text = nullptr;  // the value-table text of the raw value, if any
};

struct DecodedFrame {
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  std::uint32_t message = kNone;  // the message's number in the decoder
  // The frame was shorter than the message's fields: the signals beyond its end are missing.
  bool shortFrame = false;
  // The multiplexor and the signals its value selects, or every signal of a message without
  // multiplexing, in the file's order.
  std::vector<DecodedSignal> values;
};

class FrameDecoder {
 public:
  struct MessageEntry {
    const Message* message = nullptr;
    const Database* database = nullptr;
    std::uint32_t firstSignal = 0;  // the number of its first signal
    std::uint32_t signalCount = 0;
    std::int32_t multiplexor = -1;  // the number of its multiplexor signal, if it has one
  };
  struct SignalEntry {
    const Signal* signal = nullptr;
    std::uint32_t message = 0;  // the number of its message
    SignalCodec codec;
    bool decoded = true;  // false: multiplexed under extended multiplexing
  };

  FrameDecoder() = default;
  // The messages of `databases`; where two define the same identifier (and IDE) the earlier
  // one is used and the other is listed in notes(). Messages in CAN FD format are left out.
  explicit FrameDecoder(std::vector<std::shared_ptr<const Database>> databases);

  // The message with this identifier, or null.
  const MessageEntry* find(std::uint32_t id, bool extended) const;

  // Decodes a received frame into `out` when its identifier and IDE name a message (remote
  // and error frames never do); false leaves `out` cleared. Without `texts` the value-table
  // texts are not looked up (DecodedSignal::text stays null), for a caller that looks up only
  // the few it shows.
  bool decode(const CanFrame& frame, DecodedFrame& out, bool texts = true) const;
  // The same for a payload of any length (up to 64 bytes of a CAN FD frame's data).
  bool decode(std::uint32_t id, bool extended, const std::uint8_t* data, std::size_t length,
              DecodedFrame& out, bool texts = true) const;

  std::size_t messageCount() const { return m_messages.size(); }
  std::size_t signalCount() const { return m_signals.size(); }
  const MessageEntry& message(std::uint32_t index) const { return m_messages[index]; }
  const SignalEntry& signal(std::uint32_t index) const { return m_signals[index]; }
  // What was left out while building: identifiers defined twice, CAN FD messages.
  const std::vector<std::string>& notes() const { return m_notes; }
  const std::vector<std::shared_ptr<const Database>>& databases() const { return m_databases; }

 private:
  void decodeSignals(const MessageEntry& m, std::uint32_t index, const std::uint8_t* data,
                     std::size_t length, DecodedFrame& out, bool texts) const;

  std::vector<std::shared_ptr<const Database>> m_databases;
  std::vector<MessageEntry> m_messages;
  std::vector<SignalEntry> m_signals;
  std::vector<std::int32_t> m_standard;  // identifier -> message number, -1 none; 2048 entries
  std::unordered_map<std::uint32_t, std::uint32_t> m_extended;
  std::size_t m_maxSignals = 0;
  std::vector<std::string> m_notes;
};

}  // namespace velqor::dbc
