#include "signals/signal_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velqor::dbc {

namespace {

using Wide = __int128;
using UWide = unsigned __int128;

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxScale = 22;  // 10^22 is the largest power of ten a double holds exactly

// value x 10^power, or false when it leaves the range (|result| < 2^62).
bool scaleBy(std::int64_t value, int power, std::int64_t& out) {
  Wide v = value;
  for (int i = 0; i < power; ++i) {
    v *= 10;
    if (v >= (Wide{1} << 62) || v <= -(Wide{1} << 62)) return false;
  }
  out = static_cast<std::int64_t>(v);
  return true;
}

// Magnitude x 10^power within 2^126, or false.
bool wideScale(UWide& value, int power) {
  constexpr UWide kLimit = UWide{1} << 126;
  for (int i = 0; i < power; ++i) {
    if (value > kLimit / 10) return false;
    value *= 10;
  }
  return true;
}

std::size_t writeWide(Wide n, int scale, char* out) {
  char digits[48];
  std::size_t count = 0;
  const bool negative = n < 0;
  UWide m = negative ? static_cast<UWide>(-n) : static_cast<UWide>(n);
  do {
    digits[count++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m != 0);
  while (count <= static_cast<std::size_t>(scale)) digits[count++] = '0';
  // Trailing zeros of the fraction go, and the point with them when nothing is left.
  std::size_t drop = 0;
  while (static_cast<int>(drop) < scale && digits[drop] == '0') ++drop;
  std::size_t at = 0;
  if (negative) out[at++] = '-';
  for (std::size_t i = count; i-- > drop;) {
    out[at++] = digits[i];
    if (i == static_cast<std::size_t>(scale) && static_cast<int>(drop) < scale) out[at++] = '.';
  }
  if (at == 2 && out[0] == '-' && out[1] == '0') {  // no negative zero
    out[0] = '0';
    at = 1;
  }
  return at;
}

std::size_t writeDouble(double v, char* out, std::size_t size) {
  if (std::isnan(v)) {
    std::memcpy(out, "nan", 3);
    return 3;
  }
  if (std::isinf(v)) {
    const char* t = v < 0 ? "-inf" : "inf";
    std::memcpy(out, t, std::strlen(t));
    return std::strlen(t);
  }
  if (v == 0) v = 0;  // no negative zero
  const auto r = std::to_chars(out, out + size, v);
  return static_cast<std::size_t>(r.ptr - out);
}

// A decimal number's text as sign, digits (at most 38) and exponent.
struct DecimalText {
  bool negative = false;
  UWide mantissa = 0;
  int exponent = 0;
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool parseDecimal(std::string_view s, DecimalText& d) {
  s = trimmed(s);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) d.negative = s[i++] == '-';
  bool any = false;
  bool point = false;
  int significant = 0;
  long exponent = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      any = true;
      if (d.mantissa == 0 && c == '0') {
        if (point) --exponent;
        continue;
      }
      if (significant < 38) {
        d.mantissa = d.mantissa * 10 + static_cast<unsigned>(c - '0');
        ++significant;
        if (point) --exponent;
      } else if (!point) {
        ++exponent;  // digits beyond 38 are dropped: the value is rounded down
      }
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    int e = 0;
    const char* first = s.data() + i + (i < s.size() && s[i] == '+');
    const auto [end, ec] = std::from_chars(first, s.data() + s.size(), e);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    exponent += e;
  } else if (i != s.size()) {
    return false;
  }
  if (exponent < -400 || exponent > 400) return false;
  d.exponent = static_cast<int>(exponent);
  return true;
}

}  // namespace

SignalCodec::SignalCodec(const Signal& signal) : m_signal(&signal) {
  const int length = signal.length;
  m_mask = length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << length) - 1;
  m_motorola = signal.byteOrder == ByteOrder::Motorola;
  if (m_motorola) {
    // Bit numbers counted from the first byte's most significant bit.
    const int from = signal.startBit / 8 * 8 + (7 - signal.startBit % 8);
    const int end = from + length;
    m_firstByte = static_cast<std::uint8_t>(from / 8);
    m_byteCount = static_cast<std::uint8_t>((end - 1) / 8 - from / 8 + 1);
    m_shift = static_cast<std::uint8_t>(8 * (m_firstByte + m_byteCount) - end);
    m_within8 = end <= 64;
    m_shift8 = static_cast<std::uint8_t>(m_within8 ? 64 - end : 0);
  } else {
    m_firstByte = static_cast<std::uint8_t>(signal.startBit / 8);
    m_shift = static_cast<std::uint8_t>(signal.startBit % 8);
    m_byteCount = static_cast<std::uint8_t>((m_shift + length + 7) / 8);
    m_within8 = signal.startBit + length <= 64;
    m_shift8 = static_cast<std::uint8_t>(m_within8 ? signal.startBit : 0);
  }

  const Number& f = signal.factor;
  const Number& o = signal.offset;
  if (signal.valueType == ValueType::Integer && f.exact && o.exact) {
    const int scale = std::max({0, -f.exponent, -o.exponent});
    m_exact = scale <= kMaxScale && scaleBy(f.mantissa, scale + f.exponent, m_factorScaled) &&
              scaleBy(o.mantissa, scale + o.exponent, m_offsetScaled);
    m_scale = static_cast<std::uint8_t>(scale);
  }
}

std::uint64_t SignalCodec::extract(const std::uint8_t* data) const {
  UWide v = 0;
  const std::uint8_t* p = data + m_firstByte;
  if (m_motorola) {
    for (int i = 0; i < m_byteCount; ++i) v = v << 8 | p[i];
  } else {
    for (int i = m_byteCount; i-- > 0;) v = v << 8 | p[i];
  }
  return static_cast<std::uint64_t>(v >> m_shift) & m_mask;
}

void SignalCodec::insert(std::uint64_t bits, std::uint8_t* data) const {
  std::uint8_t* p = data + m_firstByte;
  UWide v = 0;
  if (m_motorola) {
    for (int i = 0; i < m_byteCount; ++i) v = v << 8 | p[i];
  } else {
    for (int i = m_byteCount; i-- > 0;) v = v << 8 | p[i];
  }
  v &= ~(UWide{m_mask} << m_shift);
  v |= UWide{bits & m_mask} << m_shift;
  if (m_motorola) {
    for (int i = m_byteCount; i-- > 0;) {
      p[i] = static_cast<std::uint8_t>(v);
      v >>= 8;
    }
  } else {
    for (int i = 0; i < m_byteCount; ++i) {
      p[i] = static_cast<std::uint8_t>(v);
      v >>= 8;
    }
  }
}

std::int64_t SignalCodec::signedRaw(std::uint64_t bits) const {
  const int length = m_signal->length;
  if (!m_signal->isSigned || length >= 64) return static_cast<std::int64_t>(bits);
  const std::uint64_t sign = std::uint64_t{1} << (length - 1);
  return static_cast<std::int64_t>((bits ^ sign) - sign);
}

Wide SignalCodec::rawWide(std::uint64_t bits) const {
  return m_signal->isSigned ? Wide{signedRaw(bits)} : Wide{bits};
}

double SignalCodec::floatValue(std::uint64_t bits) const {
  if (m_signal->valueType == ValueType::Float32) {
    float f;
    const auto b = static_cast<std::uint32_t>(bits);
    std::memcpy(&f, &b, sizeof f);
    return f;
  }
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

double SignalCodec::physical(std::uint64_t bits) const {
  const Signal& s = *m_signal;
  if (s.valueType != ValueType::Integer) {
    return floatValue(bits) * s.factor.value + s.offset.value;
  }
  if (m_exact) {
    // |raw| < 2^64 and both scaled terms < 2^62: no overflow in 128 bits. The conversion of
    // an integer below 2^53 is exact and the division by an exact power of ten rounds once.
    const Wide n = rawWide(bits) * m_factorScaled + m_offsetScaled;
    return m_scale == 0 ? static_cast<double>(n) : static_cast<double>(n) / kPow10[m_scale];
  }
  const double raw = s.isSigned ? static_cast<double>(signedRaw(bits)) : static_cast<double>(bits);
  return raw * s.factor.value + s.offset.value;
}

std::size_t SignalCodec::formatPhysical(std::uint64_t bits, char* out) const {
  if (m_exact) return writeWide(rawWide(bits) * m_factorScaled + m_offsetScaled, m_scale, out);
  return writeDouble(physical(bits), out, kTextSize);
}

std::string SignalCodec::physicalText(std::uint64_t bits) const {
  char buf[kTextSize];
  return std::string(buf, formatPhysical(bits, buf));
}

std::size_t SignalCodec::formatRaw(std::uint64_t bits, char* out) const {
  const Signal& s = *m_signal;
  if (s.valueType == ValueType::Integer) return writeWide(rawWide(bits), 0, out);
  return writeDouble(floatValue(bits), out, kTextSize);
}

const std::string* SignalCodec::text(std::uint64_t bits) const {
  const std::vector<ValueText>& values = m_signal->values;
  if (values.empty()) return nullptr;
  if (m_signal->valueType != ValueType::Integer) {
    const double v = floatValue(bits);
    for (const ValueText& t : values) {
      if (t.value == v) return &t.text;
    }
    return nullptr;
  }
  const auto it = std::lower_bound(values.begin(), values.end(), bits,
                                   [](const ValueText& t, std::uint64_t b) { return t.bits < b; });
  return it != values.end() && it->bits == bits ? &it->text : nullptr;
}

SignalCodec::Encoded SignalCodec::fromRawWide(bool negative, UWide magnitude) const {
  const Signal& s = *m_signal;
  const int length = s.length;
  if (negative && magnitude != 0) {
    if (!s.isSigned || magnitude > (UWide{1} << (length - 1))) {
      return {0, EncodeError::OutOfRange};
    }
    return {static_cast<std::uint64_t>(~magnitude + 1) & m_mask, EncodeError::None};
  }
  const UWide top = s.isSigned ? (UWide{1} << (length - 1)) - 1 : UWide{m_mask};
  if (magnitude > top) return {0, EncodeError::OutOfRange};
  return {static_cast<std::uint64_t>(magnitude), EncodeError::None};
}

SignalCodec::Encoded SignalCodec::fromPhysical(double value) const {
  const Signal& s = *m_signal;
  if (std::isnan(value)) return {0, EncodeError::NotANumber};
  if (s.factor.value == 0) return {0, EncodeError::NoFactor};
  const double raw = (value - s.offset.value) / s.factor.value;
  if (s.valueType == ValueType::Float32) {
    const auto f = static_cast<float>(raw);
    if (std::isinf(f) && !std::isinf(raw)) return {0, EncodeError::OutOfRange};
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return {b, EncodeError::None};
  }
  if (s.valueType == ValueType::Float64) {
    std::uint64_t b;
    std::memcpy(&b, &raw, sizeof b);
    return {b, EncodeError::None};
  }
  const double rounded = std::round(raw);
  // 2^64: every double below it converts to an unsigned 64-bit integer.
  if (!(std::fabs(rounded) < 18446744073709551616.0)) return {0, EncodeError::OutOfRange};
  const bool negative = rounded < 0;
  return fromRawWide(negative, static_cast<UWide>(static_cast<std::uint64_t>(std::fabs(rounded))));
}

SignalCodec::Encoded SignalCodec::fromText(std::string_view text) const {
  DecimalText d;
  if (!parseDecimal(text, d)) {
    for (const ValueText& t : m_signal->values) {
      if (t.text == text) {
        if (m_signal->valueType == ValueType::Integer) return {t.bits, EncodeError::None};
        return fromPhysical(t.value * m_signal->factor.value + m_signal->offset.value);
      }
    }
    return {0, EncodeError::NotANumber};
  }
  if (m_exact) {
    if (m_factorScaled == 0) return {0, EncodeError::NoFactor};
    // raw = (V - offset) / factor = (V x 10^scale - offsetScaled) / factorScaled, with both
    // sides multiplied by 10^q when V has more decimals than the scaling.
    UWide value = d.mantissa;
    UWide offset = static_cast<UWide>(m_offsetScaled < 0 ? -Wide{m_offsetScaled} : m_offsetScaled);
    UWide factor = static_cast<UWide>(m_factorScaled < 0 ? -Wide{m_factorScaled} : m_factorScaled);
    const int up = d.exponent + m_scale;
    bool fits = true;
    if (up >= 0) {
      fits = wideScale(value, up);
    } else {
      fits = wideScale(offset, -up) && wideScale(factor, -up);
    }
    if (fits) {
      // numerator = ±value - offsetScaled, as sign and magnitude.
      const bool valueNegative = d.negative && value != 0;
      const bool offsetNegative = m_offsetScaled < 0;
      bool negative;
      UWide magnitude;
      if (valueNegative == !offsetNegative) {  // -(value + offset) or value + |offset|
        magnitude = value + offset;
        negative = valueNegative;
      } else if (value >= offset) {
        magnitude = value - offset;
        negative = valueNegative;
      } else {
        magnitude = offset - value;
        negative = !valueNegative;
      }
      if (m_factorScaled < 0) negative = !negative;
      UWide quotient = magnitude / factor;
      if (2 * (magnitude % factor) >= factor) ++quotient;
      return fromRawWide(negative, quotient);
    }
  }
  // Not exact: the double nearest to the text.
  std::string_view t = trimmed(text);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec == std::errc::result_out_of_range) return {0, EncodeError::OutOfRange};
  if (ec != std::errc() || end != t.data() + t.size()) return {0, EncodeError::NotANumber};
  return fromPhysical(v);
}

}  // namespace velqor::dbc
