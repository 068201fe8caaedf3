#include "sigmon/mailbox_signals.h"

#include <array>
#include <cstdio>

#include "common/hex_text.h"
#include "signals/message_encoder.h"
#include "signals/signal_codec.h"

namespace velqor {

MailboxEncoding encodeMailboxRow(const dbc::Message& message, const SignalValueTexts& values) {
  MailboxEncoding out;
  if (message.size > 8) {
    out.errors.push_back(message.name + " is " + std::to_string(message.size) +
                         " bytes long; a mailbox sends at most 8");
    return out;
  }
  dbc::EncodedMessage encoded = dbc::encodeMessage(message, values);
  out.errors = std::move(encoded.errors);
  char id[16];
  std::snprintf(id, sizeof id, "%X", static_cast<unsigned>(message.id));
  out.row.id = id;
  out.row.ide = message.extended;
  out.row.dlc = message.size;
  for (std::size_t i = 0; i < encoded.data.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(encoded.data[i]));
    if (i != 0) out.row.data += ' ';
    out.row.data += pair;
  }
  return out;
}

std::optional<std::uint32_t> mailboxMessage(const dbc::FrameDecoder& decoder,
                                            const TxRowText& row) {
  const dbc::FrameDecoder::MessageEntry* m = decoder.find(HexTextToValue(row.id), row.ide);
  if (m == nullptr) return std::nullopt;
  return static_cast<std::uint32_t>(m - &decoder.message(0));
}

SignalValueTexts mailboxSignalValues(const dbc::FrameDecoder& decoder, std::uint32_t message,
                                     const TxRowText& row) {
  const dbc::Message& m = *decoder.message(message).message;
  std::array<std::uint8_t, 8> data{};
  const int dlc = row.dlc < 0 ? 0 : (row.dlc > 8 ? 8 : row.dlc);
  ReadTxDataBytes(row.data, dlc, data);  // missing pairs stay 0
  dbc::DecodedFrame decoded;
  SignalValueTexts out;
  if (!decoder.decode(m.id, m.extended, data.data(), m.size <= 8 ? m.size : 8, decoded)) {
    return out;
  }
  for (const dbc::DecodedSignal& v : decoded.values) {
    const dbc::FrameDecoder::SignalEntry& s = decoder.signal(v.index);
    out.emplace_back(s.signal->name, v.text != nullptr ? *v.text : s.codec.physicalText(v.bits));
  }
  return out;
}

std::vector<bool> signalsSent(const dbc::Message& message, std::string_view multiplexorText) {
  std::vector<bool> sent(message.signalList.size(), true);
  const dbc::Signal* multiplexor = nullptr;
  for (const dbc::Signal& s : message.signalList) {
    if (s.mux == dbc::MuxRole::Multiplexor && !message.extendedMux) multiplexor = &s;
  }
  std::optional<std::uint64_t> mux;
  if (multiplexor != nullptr) {
    const dbc::SignalCodec::Encoded e = dbc::SignalCodec(*multiplexor).fromText(multiplexorText);
    if (e.ok()) mux = e.bits;
  }
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const dbc::Signal& s = message.signalList[i];
    if (s.mux != dbc::MuxRole::Multiplexed) continue;
    sent[i] = multiplexor != nullptr && mux && s.muxValue == *mux;
  }
  return sent;
}

}  // namespace velqor
