#include "signals/message_encoder.h"

#include <cmath>
#include <variant>

#include "signals/signal_codec.h"

namespace velqor::dbc {

namespace {

const std::string* valueFor(const std::vector<std::pair<std::string, std::string>>& values,
                            const std::string& name) {
  for (const auto& [signal, text] : values) {
    if (signal == name) return &text;
  }
  return nullptr;
}

// The raw start value as field bits, 0 when the signal has none.
std::uint64_t startBits(const Signal& s, const SignalCodec& codec) {
  for (const Attribute& a : s.attributes) {
    if (a.name != "GenSigStartValue") continue;
    double raw = 0;
    if (const auto* i = std::get_if<std::int64_t>(&a.value)) raw = static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&a.value)) raw = *d;
    if (s.valueType != ValueType::Integer) {
      return codec.fromPhysical(raw * s.factor.value + s.offset.value).bits;
    }
    const std::uint64_t mask =
        s.length == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << s.length) - 1;
    if (!std::isfinite(raw) || std::fabs(raw) >= 9.2e18) return 0;
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(std::llround(raw))) & mask;
  }
  return 0;
}

const char* reason(SignalCodec::EncodeError e) {
  switch (e) {
    case SignalCodec::EncodeError::NotANumber:
      return "is neither a number nor one of its value texts";
    case SignalCodec::EncodeError::OutOfRange:
      return "does not fit in its bits";
    case SignalCodec::EncodeError::NoFactor:
      return "cannot be encoded: its factor is 0";
    case SignalCodec::EncodeError::None:
      break;
  }
  return "";
}

}  // namespace

EncodedMessage encodeMessage(const Message& message,
                             const std::vector<std::pair<std::string, std::string>>& values) {
  EncodedMessage out;
  out.data.assign(message.size, 0);
  for (const auto& [name, text] : values) {
    bool known = false;
    for (const Signal& s : message.signalList) known = known || s.name == name;
    if (!known) out.errors.push_back(message.name + " has no signal " + name);
  }

  // Every signal the message sends, the multiplexor first: start values, then the values given
  // (so that a given value wins where fields overlap).
  std::vector<const Signal*> sent;
  const Signal* multiplexor = nullptr;
  for (const Signal& s : message.signalList) {
    if (s.mux == MuxRole::Multiplexor && !message.extendedMux) multiplexor = &s;
  }
  std::uint64_t mux = 0;
  if (multiplexor != nullptr) {
    const SignalCodec codec(*multiplexor);
    mux = startBits(*multiplexor, codec);
    if (const std::string* text = valueFor(values, multiplexor->name)) {
      const SignalCodec::Encoded e = codec.fromText(*text);
      if (e.ok()) mux = e.bits;
    }
    sent.push_back(multiplexor);
  }
  for (const Signal& s : message.signalList) {
    if (&s == multiplexor) continue;
    if (s.mux == MuxRole::Multiplexed && (multiplexor == nullptr || s.muxValue != mux)) {
      if (valueFor(values, s.name) == nullptr) continue;
      out.errors.push_back(multiplexor == nullptr
                               ? s.name + " is multiplexed in a way that is not supported"
                               : s.name + " is not sent when " + multiplexor->name + " is " +
                                     std::to_string(mux));
      continue;
    }
    sent.push_back(&s);
  }
  for (const bool given : {false, true}) {
    for (const Signal* s : sent) {
      const SignalCodec codec(*s);
      if (codec.bytesNeeded() > out.data.size()) {
        if (given) {
          out.errors.push_back(s->name + " lies beyond the message's " +
                               std::to_string(out.data.size()) + " bytes");
        }
        continue;
      }
      const std::string* text = valueFor(values, s->name);
      if (!given) {
        codec.insert(startBits(*s, codec), out.data.data());
        continue;
      }
      if (text == nullptr) continue;
      const SignalCodec::Encoded e = codec.fromText(*text);
      if (!e.ok()) {
        out.errors.push_back(s->name + ": \"" + *text + "\" " + reason(e.error));
        continue;
      }
      codec.insert(e.bits, out.data.data());
    }
  }
  return out;
}

}  // namespace velqor::dbc
