#pragma once
// One signal's field worked out once from its SG_ line, so that decoding a frame costs a few
// shifts per signal: where its bits lie in the payload, how raw values become physical ones
// (physical = raw x factor + offset), its value table, and the way back from a value to the
// field's bits.
//
// Raw values are exact integers of up to 64 bits. Where factor and offset are decimals of at
// most 18 digits (nearly always), the physical value is worked out in exact decimal
// arithmetic: the double is the one nearest to the true value (0.1 x 3 is 0.3), and the text
// form is the exact decimal (a 64-bit counter prints all its digits).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "signals/dbc.h"

namespace velqor::dbc {

class SignalCodec {
 public:
  explicit SignalCodec(const Signal& signal);

  const Signal& signal() const { return *m_signal; }

  // Bytes a payload needs to hold the field.
  std::size_t bytesNeeded() const { return m_firstByte + m_byteCount; }
  // Physical values are worked out in exact decimal arithmetic (see above).
  bool exactScaling() const { return m_exact; }
  // The field lies within the first 8 bytes: extract8 may be used.
  bool within8() const { return m_within8; }

  // The field's bits from a payload of at least bytesNeeded() bytes.
  std::uint64_t extract(const std::uint8_t* data) const;
  // The same from the first 8 bytes read as a little-endian and as a big-endian integer.
  std::uint64_t extract8(std::uint64_t little, std::uint64_t big) const {
    return ((m_motorola ? big : little) >> m_shift8) & m_mask;
  }
  // Writes `bits` (cut to the length) into the field of a payload of at least bytesNeeded()
  // bytes, leaving every other bit alone.
  void insert(std::uint64_t bits, std::uint8_t* data) const;

  // The raw value of integer signals: two's complement over the length when signed.
  std::int64_t signedRaw(std::uint64_t bits) const;
  // raw x factor + offset; for float signals the float's value x factor + offset.
  double physical(std::uint64_t bits) const;

  // Text forms, written to `out` (at least kTextSize bytes) without a terminating zero;
  // return the length. The physical value: the exact decimal where the scaling is exact,
  // else the shortest text that reads back as the same double ("nan", "inf", "-inf").
  static constexpr std::size_t kTextSize = 64;
  std::size_t formatPhysical(std::uint64_t bits, char* out) const;
  std::string physicalText(std::uint64_t bits) const;
  // The raw value: signed or unsigned integer; for float signals the float's value.
  std::size_t formatRaw(std::uint64_t bits, char* out) const;

  // The value-table text of the raw value, or null.
  const std::string* text(std::uint64_t bits) const;

  // From a value to the field's bits (round to nearest, halves away from zero).
  enum class EncodeError : std::uint8_t {
    None,
    NotANumber,  // neither a number nor one of the signal's value-table texts
    OutOfRange,  // the raw value does not fit in the field
    NoFactor,    // factor 0: every raw value has the same physical value
  };
  struct Encoded {
    std::uint64_t bits = 0;
    EncodeError error = EncodeError::None;
    bool ok() const { return error == EncodeError::None; }
  };
  Encoded fromPhysical(double value) const;
  // A decimal number ("46.6", "-40", "1e3"), worked out exactly where the scaling is exact
  // (so a 64-bit value's text gives back its bits), or one of the value-table texts.
  Encoded fromText(std::string_view text) const;

 private:
  Encoded fromRawWide(bool negative, unsigned __int128 magnitude) const;
  __int128 rawWide(std::uint64_t bits) const;
  double floatValue(std::uint64_t bits) const;  // float signals: the IEEE value of the bits

  const Signal* m_signal;
  std::uint64_t m_mask = 0;
  std::uint8_t m_firstByte = 0;
  std::uint8_t m_byteCount = 0;
  std::uint8_t m_shift = 0;  // of the field's lowest bit in the bytes read as one integer
  std::uint8_t m_shift8 = 0;
  bool m_motorola = false;
  bool m_within8 = false;
  // Exact scaling: physical = (raw x m_factorScaled + m_offsetScaled) / 10^m_scale.
  bool m_exact = false;
  std::uint8_t m_scale = 0;
  std::int64_t m_factorScaled = 0;
  std::int64_t m_offsetScaled = 0;
};

}  // namespace velqor::dbc
