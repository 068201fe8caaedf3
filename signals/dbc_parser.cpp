#include "signals/dbc_parser.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace velqor::dbc {

const Message* Database::findMessage(std::uint32_t id, bool extended) const {
  for (const Message& m : messages) {
    if (m.id == id && m.extended == extended) return &m;
  }
  return nullptr;
}

std::size_t Database::signalCount() const {
  std::size_t n = 0;
  for (const Message& m : messages) n += m.signalList.size();
  return n;
}

std::string DbcError::text() const {
  if (line == 0) return file + ": " + message;
  return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

namespace {

// ---------------------------------------------------------------------------------------
// Text: UTF-8 as it is, anything else read as Windows-1252.

bool isValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
    static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string windows1252ToUtf8(std::string_view s) {
  // 0x80..0x9F; the five bytes the code page leaves undefined stay as the C1 controls.
  static constexpr std::uint16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    appendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Tokens.

enum class Tok : std::uint8_t { End, Identifier, Number, String, Punct };

struct Token {
  Tok kind = Tok::End;
  std::string_view text;  // identifier, number or punctuation as written; a string's inside
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::uint32_t endLine = 0;  // the line its last character stands on
};

struct Failure {
  std::uint32_t line;
  std::uint32_t column;
  std::string message;
};

bool isIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isIdentChar(char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
 public:
  explicit Lexer(std::string_view text) : m_text(text) { m_next = scan(); }

  const Token& peek() const { return m_next; }
  Token next() {
    Token t = m_next;
    m_next = scan();
    return t;
  }

 private:
  bool atEnd() const { return m_pos >= m_text.size(); }

  // Moves one byte on, counting lines and (UTF-8) characters.
  void advance() {
    const char c = m_text[m_pos++];
    if (c == '\n') {
      ++m_line;
      m_column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++m_column;
    }
  }

  void skipBlanks() {
    while (!atEnd()) {
      const char c = m_text[m_pos];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        advance();
      } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
        while (!atEnd() && m_text[m_pos] != '\n') advance();
      } else {
        break;
      }
    }
  }

  Token scan() {
    skipBlanks();
    Token t;
    t.line = m_line;
    t.column = m_column;
    const std::size_t start = m_pos;
    if (atEnd()) {
      t.kind = Tok::End;
      t.endLine = m_line;
      return t;
    }
    const char c = m_text[m_pos];
    if (isIdentStart(c)) {
      while (!atEnd() && isIdentChar(m_text[m_pos])) advance();
      t.kind = Tok::Identifier;
    } else if (isDigit(c) ||
               (c == '.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]))) {
      while (!atEnd() && isDigit(m_text[m_pos])) advance();
      if (!atEnd() && m_text[m_pos] == '.') {
        advance();
        while (!atEnd() && isDigit(m_text[m_pos])) advance();
      }
      if (!atEnd() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
        std::size_t p = m_pos + 1;
        if (p < m_text.size() && (m_text[p] == '+' || m_text[p] == '-')) ++p;
        if (p < m_text.size() && isDigit(m_text[p])) {
          while (m_pos < p) advance();
          while (!atEnd() && isDigit(m_text[m_pos])) advance();
        }
      }
      t.kind = Tok::Number;
    } else if (c == '"') {
      advance();
      const std::size_t inside = m_pos;
      for (;;) {
        if (atEnd()) throw Failure{t.line, t.column, "a string that is never closed starts here"};
        const char d = m_text[m_pos];
        if (d == '\\' && m_pos + 1 < m_text.size()) {
          advance();
          advance();
        } else if (d == '"') {
          break;
        } else {
          advance();
        }
      }
      t.kind = Tok::String;
      t.text = m_text.substr(inside, m_pos - inside);
      advance();  // the closing quote
      t.endLine = m_line;
      return t;
    } else {
      advance();
      while (!atEnd() && (static_cast<unsigned char>(m_text[m_pos]) & 0xC0) == 0x80) advance();
      t.kind = Tok::Punct;
    }
    t.text = m_text.substr(start, m_pos - start);
    t.endLine = m_line;
    return t;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  std::uint32_t m_line = 1;
  std::uint32_t m_column = 1;
  Token m_next;
};

std::string unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) ++i;
    out += s[i];
  }
  return out;
}

// Every statement keyword of the format: a node list ends at one.
const std::unordered_set<std::string_view>& keywords() {
  static const std::unordered_set<std::string_view> k = {
      "VERSION",      "NS_",
      "NS_DESC_",     "BS_",
      "BU_",          "BO_",
      "SG_",          "BO_TX_BU_",
      "CM_",          "BA_DEF_",
      "BA_DEF_DEF_",  "BA_",
      "VAL_",         "VAL_TABLE_",
      "SIG_VALTYPE_", "SG_MUL_VAL_",
      "EV_",          "ENVVAR_DATA_",
      "EV_DATA_",     "SGTYPE_",
      "SGTYPE_VAL_",  "BA_DEF_SGTYPE_",
      "BA_SGTYPE_",   "SIG_TYPE_REF_",
      "SIG_GROUP_",   "SIGTYPE_VALTYPE_",
      "CAT_DEF_",     "CAT_",
      "FILTER",       "BA_DEF_REL_",
      "BA_REL_",      "BA_DEF_DEF_REL_",
      "BU_SG_REL_",   "BU_EV_REL_",
      "BU_BO_REL_",
  };
  return k;
}

// Statements the decoder has no use for; each ends in ';'.
const std::unordered_set<std::string_view>& skippedKeywords() {
  static const std::unordered_set<std::string_view> k = {
      "EV_",         "ENVVAR_DATA_",     "EV_DATA_",   "SGTYPE_",
      "SGTYPE_VAL_", "BA_DEF_SGTYPE_",   "BA_SGTYPE_", "SIG_TYPE_REF_",
      "SIG_GROUP_",  "SIGTYPE_VALTYPE_", "CAT_DEF_",   "CAT_",
      "FILTER",      "BA_DEF_REL_",      "BA_REL_",    "BA_DEF_DEF_REL_",
      "BU_SG_REL_",  "BU_EV_REL_",       "BU_BO_REL_"};
  return k;
}

std::string describe(const Token& t) {
  switch (t.kind) {
    case Tok::End:
      return "the end of the file";
    case Tok::String: {
      // At most 24 bytes, cut between characters.
      std::size_t n = std::min<std::size_t>(t.text.size(), 24);
      while (n < t.text.size() && (static_cast<unsigned char>(t.text[n]) & 0xC0) == 0x80) --n;
      std::string s(t.text.substr(0, n));
      if (n < t.text.size()) s += "...";
      return "the string \"" + s + "\"";
    }
    default:
      return "'" + std::string(t.text) + "'";
  }
}

// The value of a number token (digits, a point, an exponent) with its sign.
Number toNumber(bool negative, std::string_view text) {
  Number n;
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range) {
    const bool tiny =
        text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos;
    v = tiny ? 0 : std::numeric_limits<double>::infinity();
  }
  (void)end;
  n.value = negative ? -v : v;
  // The exact decimal: digits without the point, the exponent adjusted.
  std::string digits;
  std::int64_t exponent = 0;
  std::size_t i = 0;
  bool point = false;
  for (; i < text.size() && (isDigit(text[i]) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      point = true;
    } else {
      digits += text[i];
      if (point) --exponent;
    }
  }
  if (i + 1 < text.size()) {  // e / E
    std::int64_t e = 0;
    const auto parsed =
        std::from_chars(text.data() + i + 1 + (text[i + 1] == '+'), text.data() + text.size(), e);
    if (parsed.ec != std::errc()) {
      n.exact = false;  // an exponent beyond 64 bits: the double says it all
      return n;
    }
    exponent += std::clamp<std::int64_t>(e, -100000, 100000);
  }
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) {
    n.mantissa = 0;
    n.exponent = 0;
    n.exact = true;
    return n;
  }
  digits.erase(0, first);
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (digits.size() > 18 || exponent < -400 || exponent > 400) {
    n.exact = false;
    return n;
  }
  std::int64_t m = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), m);
  n.mantissa = negative ? -m : m;
  n.exponent = static_cast<std::int32_t>(exponent);
  n.exact = true;
  return n;
}

// A whole number as written (sign and up to 64 bits of magnitude), for value tables.
struct WholeNumber {
  bool negative = false;
  std::uint64_t magnitude = 0;
  double value = 0;
  bool integral = true;
};

// ---------------------------------------------------------------------------------------
// Statements that name objects by identifier and signal, resolved once the whole file is read.

struct Place {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
};

enum class Target : std::uint8_t { Network, Node, Message, Signal, EnvVar };

struct PendingComment {
  Place at;
  Target target;
  std::string name;  // node or env var
  std::uint32_t rawId = 0;
  std::string signal;
  std::string text;
};

struct PendingAttribute {
  Place at;
  std::string name;
  Target target;
  std::string nodeName;
  std::uint32_t rawId = 0;
  std::string signal;
  bool isString = false;
  std::string text;
  Number number;
};

struct PendingValues {
  Place at;
  std::uint32_t rawId = 0;
  std::string signal;
  std::vector<std::pair<WholeNumber, std::string>> entries;
};

struct PendingValueType {
  Place at;
  std::uint32_t rawId = 0;
  std::string signal;
  std::int64_t type = 0;
};

struct PendingTransmitters {
  Place at;
  std::uint32_t rawId = 0;
  std::vector<std::string> nodes;
};

struct PendingMuxValues {
  Place at;
  std::uint32_t rawId = 0;
};

constexpr std::uint32_t kExtendedBit = 0x80000000u;
// The pseudo-message some editors keep signals in that belong to no message.
constexpr std::string_view kIndependent = "VECTOR__INDEPENDENT_SIG_MSG";

std::uint64_t fieldMask(int length) {
  return length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << length) - 1;
}

class Parser {
 public:
  Parser(std::string_view text, Database& db) : m_lex(text), m_db(db) {}

  void parse() {
    while (m_lex.peek().kind != Tok::End) statement();
    resolve();
  }

 private:
  // ---- token helpers ----
  [[noreturn]] void fail(const Token& at, const std::string& expected) {
    throw Failure{at.line, at.column, "expected " + expected + ", got " + describe(at)};
  }
  [[noreturn]] void failAt(const Token& at, std::string message) {
    throw Failure{at.line, at.column, std::move(message)};
  }

  bool peekPunct(char c) const {
    const Token& t = m_lex.peek();
    return t.kind == Tok::Punct && t.text.size() == 1 && t.text[0] == c;
  }
  bool peekKeyword(std::string_view k) const {
    const Token& t = m_lex.peek();
    return t.kind == Tok::Identifier && t.text == k;
  }

  Token expectPunct(char c, const std::string& what) {
    if (!peekPunct(c)) fail(m_lex.peek(), what);
    return m_lex.next();
  }
  std::string expectIdentifier(const std::string& what) {
    if (m_lex.peek().kind != Tok::Identifier) fail(m_lex.peek(), what);
    return std::string(m_lex.next().text);
  }
  std::string expectString(const std::string& what) {
    if (m_lex.peek().kind != Tok::String) fail(m_lex.peek(), what);
    return unescape(m_lex.next().text);
  }
  // A whole number without sign, at most `max`.
  std::uint64_t expectUnsigned(const std::string& what, std::uint64_t max) {
    const Token& t = m_lex.peek();
    std::uint64_t v = 0;
    if (t.kind != Tok::Number) fail(t, what);
    const auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (ec != std::errc() || end != t.text.data() + t.text.size() || v > max) fail(t, what);
    m_lex.next();
    return v;
  }
  // A number with an optional sign.
  Number expectNumber(const std::string& what) {
    bool negative = false;
    if (peekPunct('-') || peekPunct('+')) negative = m_lex.next().text[0] == '-';
    if (m_lex.peek().kind != Tok::Number) fail(m_lex.peek(), what);
    return toNumber(negative, m_lex.next().text);
  }
  WholeNumber expectWhole(const std::string& what) {
    WholeNumber w;
    if (peekPunct('-') || peekPunct('+')) w.negative = m_lex.next().text[0] == '-';
    const Token& t = m_lex.peek();
    if (t.kind != Tok::Number) fail(t, what);
    const auto [end, ec] =
        std::from_chars(t.text.data(), t.text.data() + t.text.size(), w.magnitude);
    const Number n = toNumber(w.negative, t.text);
    w.value = n.value;
    if (ec != std::errc() || end != t.text.data() + t.text.size()) {
      // 1.0 or 1e3 are whole numbers too; 1.5 is not.
      w.integral = n.exact && n.exponent >= 0 && n.exponent <= 19;
      if (w.integral) {
        std::uint64_t m = static_cast<std::uint64_t>(n.mantissa < 0 ? -n.mantissa : n.mantissa);
        for (int i = 0; i < n.exponent && w.integral; ++i) {
          if (m > std::numeric_limits<std::uint64_t>::max() / 10) w.integral = false;
          m *= 10;
        }
        w.magnitude = m;
      }
    }
    m_lex.next();
    return w;
  }
  void expectEnd(const std::string& statement) {
    expectPunct(';', "';' to end the " + statement + " statement");
  }
  Place here() const { return {m_lex.peek().line, m_lex.peek().column}; }

  // ---- statements ----
  void statement() {
    const Token t = m_lex.peek();
    if (t.kind != Tok::Identifier) {
      fail(t, "a statement keyword (VERSION, BU_, BO_, SG_, CM_, BA_, VAL_, ...)");
    }
    const std::string_view k = t.text;
    if (k == "BO_") {
      message();
      return;
    }
    m_lex.next();
    if (k == "VERSION") {
      m_db.version = expectString("the version string after VERSION");
    } else if (k == "NS_") {
      newSymbols();
    } else if (k == "BS_") {
      bitTiming();
    } else if (k == "BU_") {
      nodes();
    } else if (k == "VAL_TABLE_") {
      valueTable();
    } else if (k == "SG_") {
      failAt(t, "SG_ stands outside a message: a signal follows its BO_ line");
    } else if (k == "BO_TX_BU_") {
      transmitters();
    } else if (k == "CM_") {
      comment();
    } else if (k == "BA_DEF_") {
      attributeDefinition();
    } else if (k == "BA_DEF_DEF_") {
      attributeDefault();
    } else if (k == "BA_") {
      attribute();
    } else if (k == "VAL_") {
      valueDescriptions();
    } else if (k == "SIG_VALTYPE_") {
      signalValueType();
    } else if (k == "SG_MUL_VAL_") {
      PendingMuxValues p;
      p.at = {t.line, t.column};
      p.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
      m_muxValues.push_back(p);
      skipStatement(t);
    } else if (skippedKeywords().count(k) != 0) {
      skipStatement(t);
    } else {
      fail(t, "a statement keyword (VERSION, BU_, BO_, SG_, CM_, BA_, VAL_, ...)");
    }
  }

  void skipStatement(const Token& start) {
    while (!peekPunct(';')) {
      if (m_lex.peek().kind == Tok::End) {
        fail(m_lex.peek(), "';' to end the " + std::string(start.text) + " statement of line " +
                               std::to_string(start.line));
      }
      m_lex.next();
    }
    m_lex.next();
    const std::string keyword(start.text);
    for (Skipped& s : m_db.skipped) {
      if (s.keyword == keyword) {
        ++s.count;
        return;
      }
    }
    m_db.skipped.push_back({keyword, 1});
  }

  // NS_ : followed by the list of keywords the file may use, indented. The list ends at the
  // bit timing, the nodes or a message, or at a line that starts at its first column.
  void newSymbols() {
    const Token ns = m_lex.peek();
    expectPunct(':', "':' after NS_");
    for (;;) {
      const Token& t = m_lex.peek();
      if (t.kind != Tok::Identifier) break;
      if (t.text == "BS_" || t.text == "BU_" || t.text == "BO_" || t.text == "VERSION") break;
      if (t.line != ns.line && t.column == 1 && keywords().count(t.text) == 0) break;
      m_lex.next();
    }
  }

  // BS_: [baud rate : BTR1 , BTR2], obsolete.
  void bitTiming() {
    const Token colon = expectPunct(':', "':' after BS_");
    if (m_lex.peek().kind == Tok::Number && m_lex.peek().line == colon.line) {
      expectUnsigned("the baud rate", std::numeric_limits<std::uint64_t>::max());
      expectPunct(':', "':' after the baud rate");
      expectUnsigned("BTR1", std::numeric_limits<std::uint64_t>::max());
      expectPunct(',', "',' between BTR1 and BTR2");
      expectUnsigned("BTR2", std::numeric_limits<std::uint64_t>::max());
    }
  }

  void nodes() {
    expectPunct(':', "':' after BU_");
    while (m_lex.peek().kind == Tok::Identifier && keywords().count(m_lex.peek().text) == 0) {
      m_db.nodes.push_back({std::string(m_lex.next().text), {}, {}});
    }
  }

  std::vector<std::pair<WholeNumber, std::string>> valueEntries(const std::string& statement) {
    std::vector<std::pair<WholeNumber, std::string>> entries;
    while (!peekPunct(';')) {
      WholeNumber w = expectWhole("a raw value or ';' to end the " + statement + " statement");
      std::string text =
          expectString("the text of the value " + std::string(w.negative ? "-" : "") +
                       std::to_string(w.magnitude));
      entries.emplace_back(w, std::move(text));
    }
    m_lex.next();
    return entries;
  }

  void valueTable() {
    ValueTable table;
    const Token at = m_lex.peek();
    table.name = expectIdentifier("the value table's name after VAL_TABLE_");
    for (auto& [w, text] : valueEntries("VAL_TABLE_")) {
      if (!w.integral) {
        warn({at.line, at.column}, "VAL_TABLE_ " + table.name + ": the value " +
                                       std::to_string(w.value) + " is not whole; left out");
        continue;
      }
      const std::uint64_t bits = w.negative ? ~w.magnitude + 1 : w.magnitude;
      table.values.push_back({bits, w.value, std::move(text)});
    }
    m_db.valueTables.push_back(std::move(table));
  }

  // BO_ <id> <name> : <size> <transmitter>, then its SG_ lines.
  void message() {
    const Token bo = m_lex.next();
    Message m;
    m.line = bo.line;
    const Token idToken = m_lex.peek();
    const auto rawId = static_cast<std::uint32_t>(expectUnsigned(
        "the message identifier (a decimal number of at most 32 bits)", 0xFFFFFFFFu));
    m.name = expectIdentifier("the message name");
    expectPunct(':', "':' after the message name");
    m.size = static_cast<std::uint16_t>(expectUnsigned("the message size (0 to 64 bytes)", 64));
    if (m_lex.peek().kind == Tok::Identifier && keywords().count(m_lex.peek().text) == 0) {
      m.transmitter = std::string(m_lex.next().text);
    }
    m.extended = (rawId & kExtendedBit) != 0;
    m.id = m.extended ? rawId & 0x1FFFFFFFu : rawId;
    while (peekKeyword("SG_")) m.signalList.push_back(signal(m));

    if (m.name == kIndependent) {  // holds signals of no message
      m_ignoredIds.insert(rawId);
      return;
    }
    if (m.extended && (rawId & 0x60000000u) != 0) {
      warn({idToken.line, idToken.column},
           "BO_ " + m.name + ": identifier " + std::to_string(rawId) +
               " has bits 29 or 30 set beyond the 29-bit identifier; they are ignored");
    } else if (!m.extended && m.id > 0x7FF) {
      warn({idToken.line, idToken.column},
           "BO_ " + m.name + ": identifier 0x" + hex(m.id) +
               " is above 0x7FF without bit 31 (extended); no standard frame has it");
    }
    const auto [it, inserted] = m_byRawId.emplace(rawId, m_db.messages.size());
    if (!inserted) {
      warn({idToken.line, idToken.column},
           "BO_ " + m.name + ": identifier " + std::to_string(rawId) + " is already " +
               m_db.messages[it->second].name + "'s (line " +
               std::to_string(m_db.messages[it->second].line) + "); the first one is used");
    }
    m_db.messages.push_back(std::move(m));
  }

  static std::string hex(std::uint32_t v) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
    std::string s(buf, r.ptr);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }

  // SG_ <name> [M|mN|mNM] : <start>|<length>@<order><sign> (<factor>,<offset>) [<min>|<max>]
  //     "<unit>" <receivers>
  Signal signal(const Message& m) {
    const Token sg = m_lex.next();
    Signal s;
    s.line = sg.line;
    s.name = expectIdentifier("the signal name after SG_");
    if (m_lex.peek().kind == Tok::Identifier) {
      const Token mux = m_lex.next();
      const std::string_view t = mux.text;
      if (t == "M") {
        s.mux = MuxRole::Multiplexor;
      } else if (t.size() >= 2 && t[0] == 'm' && isDigit(t[1])) {
        std::size_t i = 1;
        while (i < t.size() && isDigit(t[i])) ++i;
        const auto [end, ec] = std::from_chars(t.data() + 1, t.data() + i, s.muxValue);
        const std::string_view rest = t.substr(i);
        if (ec != std::errc() || (rest != "" && rest != "M")) {
          fail(mux, "a multiplexer marker (M, m<N> or m<N>M) or ':'");
        }
        (void)end;
        s.mux = MuxRole::Multiplexed;
        s.alsoMultiplexor = rest == "M";
      } else {
        fail(mux, "a multiplexer marker (M, m<N> or m<N>M) or ':'");
      }
    }
    expectPunct(':', "':' after the signal name");
    const Token startToken = m_lex.peek();
    s.startBit = static_cast<std::uint16_t>(expectUnsigned("the start bit (0 to 511)", 511));
    expectPunct('|', "'|' after the start bit");
    const Token lengthToken = m_lex.peek();
    s.length = static_cast<std::uint8_t>(expectUnsigned("the length (1 to 64 bits)", 64));
    if (s.length == 0) fail(lengthToken, "the length (1 to 64 bits)");
    expectPunct('@', "'@' after the length");
    const Token order = m_lex.peek();
    if (order.kind != Tok::Number || (order.text != "0" && order.text != "1")) {
      fail(order, "the byte order after '@': 1 (Intel) or 0 (Motorola)");
    }
    m_lex.next();
    s.byteOrder = order.text == "1" ? ByteOrder::Intel : ByteOrder::Motorola;
    if (peekPunct('+') || peekPunct('-')) {
      s.isSigned = m_lex.next().text == "-";
    } else {
      fail(m_lex.peek(), "'+' (unsigned) or '-' (signed) after the byte order");
    }
    // The field must lie within the 64 bytes of the longest frame.
    const unsigned from =
        s.byteOrder == ByteOrder::Intel ? s.startBit : s.startBit / 8 * 8 + (7 - s.startBit % 8);
    if (from + s.length > 512) {
      failAt(startToken, "signal " + s.name + " (start bit " + std::to_string(s.startBit) + ", " +
                             std::to_string(s.length) +
                             " bits) does not fit in the 64 bytes of a frame");
    }
    expectPunct('(', "'(' before the factor");
    s.factor = expectNumber("the factor");
    expectPunct(',', "',' between factor and offset");
    s.offset = expectNumber("the offset");
    expectPunct(')', "')' after the offset");
    expectPunct('[', "'[' before the minimum");
    s.minimum = expectNumber("the minimum").value;
    expectPunct('|', "'|' between minimum and maximum");
    s.maximum = expectNumber("the maximum").value;
    expectPunct(']', "']' after the maximum");
    const Token unitToken = m_lex.peek();
    s.unit = expectString("the unit (a string, \"\" for none)");
    // Receivers: node names on the unit's line, separated by commas (or blanks).
    for (;;) {
      const Token& t = m_lex.peek();
      if (t.line != unitToken.endLine) break;
      if (t.kind == Tok::Punct && t.text == ",") {
        m_lex.next();
        continue;
      }
      if (t.kind != Tok::Identifier) fail(t, "a receiving node or the end of the line");
      s.receivers.emplace_back(m_lex.next().text);
    }
    if (s.receivers.size() == 1 && s.receivers[0] == "Vector__XXX") s.receivers.clear();
    if (s.factor.value == 0) {
      warn({sg.line, sg.column},
           "SG_ " + m.name + "." + s.name + ": factor 0, so no value can be encoded");
    }
    const unsigned bytes = (from + s.length + 7) / 8;
    if (bytes > m.size && m.name != kIndependent) {
      warn({sg.line, sg.column}, "SG_ " + m.name + "." + s.name + " reaches into byte " +
                                     std::to_string(bytes) + " of a " + std::to_string(m.size) +
                                     "-byte message; decoded only from frames that long");
    }
    return s;
  }

  void transmitters() {
    PendingTransmitters p;
    p.at = here();
    p.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
    expectPunct(':', "':' after the message identifier");
    while (!peekPunct(';')) {
      if (peekPunct(',')) {
        m_lex.next();
        continue;
      }
      p.nodes.push_back(expectIdentifier("a node name or ';' to end the BO_TX_BU_ statement"));
    }
    m_lex.next();
    m_transmitters.push_back(std::move(p));
  }

  // CM_ ["text" | BU_ node "text" | BO_ id "text" | SG_ id signal "text" | EV_ var "text"];
  void comment() {
    PendingComment c;
    c.at = here();
    if (m_lex.peek().kind == Tok::String) {
      c.target = Target::Network;
    } else {
      const Token kind = m_lex.peek();
      const std::string k = expectIdentifier("BU_, BO_, SG_, EV_ or the comment text");
      if (k == "BU_") {
        c.target = Target::Node;
        c.name = expectIdentifier("the node name");
      } else if (k == "BO_") {
        c.target = Target::Message;
        c.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
      } else if (k == "SG_") {
        c.target = Target::Signal;
        c.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
        c.signal = expectIdentifier("the signal name");
      } else if (k == "EV_") {
        c.target = Target::EnvVar;
        c.name = expectIdentifier("the environment variable's name");
      } else {
        fail(kind, "BU_, BO_, SG_, EV_ or the comment text");
      }
    }
    c.text = expectString("the comment text");
    expectEnd("CM_");
    m_comments.push_back(std::move(c));
  }

  // BA_DEF_ [BU_|BO_|SG_|EV_] "name" INT|HEX|FLOAT min max | STRING | ENUM "a","b"... ;
  void attributeDefinition() {
    AttributeDefinition d;
    if (m_lex.peek().kind == Tok::Identifier) {
      const Token kind = m_lex.next();
      if (kind.text == "BU_") {
        d.object = AttributeObject::Node;
      } else if (kind.text == "BO_") {
        d.object = AttributeObject::Message;
      } else if (kind.text == "SG_") {
        d.object = AttributeObject::Signal;
      } else if (kind.text == "EV_") {
        d.object = AttributeObject::EnvVar;
      } else {
        fail(kind, "BU_, BO_, SG_, EV_ or the attribute's name");
      }
    }
    d.name = expectString("the attribute's name (a string)");
    const Token type = m_lex.peek();
    const std::string t = expectIdentifier("the attribute's type (INT, HEX, FLOAT, STRING, ENUM)");
    if (t == "INT" || t == "HEX" || t == "FLOAT") {
      d.type = t == "INT" ? AttributeType::Int
                          : (t == "HEX" ? AttributeType::Hex : AttributeType::Float);
      d.minimum = expectNumber("the attribute's minimum").value;
      d.maximum = expectNumber("the attribute's maximum").value;
    } else if (t == "STRING") {
      d.type = AttributeType::String;
    } else if (t == "ENUM") {
      d.type = AttributeType::Enum;
      while (!peekPunct(';')) {
        if (!d.enumValues.empty()) expectPunct(',', "',' or ';' after an ENUM value");
        d.enumValues.push_back(expectString("an ENUM value (a string)"));
      }
    } else {
      fail(type, "the attribute's type (INT, HEX, FLOAT, STRING, ENUM)");
    }
    expectEnd("BA_DEF_");
    m_db.attributeDefinitions.push_back(std::move(d));
  }

  void attributeDefault() {
    const Place at = here();
    const std::string name = expectString("the attribute's name (a string)");
    AttributeValue value;
    if (m_lex.peek().kind == Tok::String) {
      value = unescape(m_lex.next().text);
    } else {
      const Number n = expectNumber("the attribute's default value");
      value = numberValue(n);
    }
    expectEnd("BA_DEF_DEF_");
    m_defaults.push_back({at, name, std::move(value)});
  }

  static AttributeValue numberValue(const Number& n) {
    if (n.exact && n.exponent >= 0 && std::abs(n.value) < 9.2e18) {
      return static_cast<std::int64_t>(n.value);
    }
    return n.value;
  }

  // BA_ "name" [BU_ node | BO_ id | SG_ id signal | EV_ var] value ;
  void attribute() {
    PendingAttribute a;
    a.at = here();
    a.name = expectString("the attribute's name (a string)");
    a.target = Target::Network;
    if (m_lex.peek().kind == Tok::Identifier) {
      const Token kind = m_lex.next();
      if (kind.text == "BU_") {
        a.target = Target::Node;
        a.nodeName = expectIdentifier("the node name");
      } else if (kind.text == "BO_") {
        a.target = Target::Message;
        a.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
      } else if (kind.text == "SG_") {
        a.target = Target::Signal;
        a.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
        a.signal = expectIdentifier("the signal name");
      } else if (kind.text == "EV_") {
        a.target = Target::EnvVar;
        a.nodeName = expectIdentifier("the environment variable's name");
      } else {
        fail(kind, "BU_, BO_, SG_, EV_ or the attribute's value");
      }
    }
    if (m_lex.peek().kind == Tok::String) {
      a.isString = true;
      a.text = unescape(m_lex.next().text);
    } else {
      a.number = expectNumber("the attribute's value");
    }
    expectEnd("BA_");
    m_attributes.push_back(std::move(a));
  }

  // VAL_ id signal { raw "text" } ;   (VAL_ of an environment variable is skipped)
  void valueDescriptions() {
    const Token start = m_lex.peek();
    if (start.kind == Tok::Identifier) {
      skipStatement({Tok::Identifier, "VAL_", start.line, start.column, start.line});
      return;
    }
    PendingValues v;
    v.at = {start.line, start.column};
    v.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
    v.signal = expectIdentifier("the signal name");
    v.entries = valueEntries("VAL_");
    m_values.push_back(std::move(v));
  }

  void signalValueType() {
    PendingValueType p;
    p.at = here();
    p.rawId = static_cast<std::uint32_t>(expectUnsigned("a message identifier", 0xFFFFFFFFu));
    p.signal = expectIdentifier("the signal name");
    if (peekPunct(':')) m_lex.next();
    p.type = static_cast<std::int64_t>(expectUnsigned("the value type (0, 1 float, 2 double)", 3));
    expectEnd("SIG_VALTYPE_");
    m_valueTypes.push_back(std::move(p));
  }

  // ---- resolution ----
  void warn(Place at, std::string text) {
    m_db.warnings.push_back({at.line, at.column, std::move(text)});
  }

  Message* messageOf(std::uint32_t rawId, Place at, const char* statement) {
    const auto it = m_byRawId.find(rawId);
    if (it == m_byRawId.end()) {
      if (m_ignoredIds.count(rawId) != 0) return nullptr;
      warn(at, std::string(statement) + " names message " + std::to_string(rawId) +
                   ", which no BO_ defines; ignored");
      return nullptr;
    }
    return &m_db.messages[it->second];
  }

  Signal* signalOf(std::uint32_t rawId, const std::string& name, Place at, const char* statement) {
    Message* m = messageOf(rawId, at, statement);
    if (m == nullptr) return nullptr;
    for (Signal& s : m->signalList) {
      if (s.name == name) return &s;
    }
    warn(at, std::string(statement) + " names signal " + name + " of " + m->name +
                 ", which has no such signal; ignored");
    return nullptr;
  }

  Node* nodeOf(const std::string& name, Place at, const char* statement) {
    for (Node& n : m_db.nodes) {
      if (n.name == name) return &n;
    }
    warn(at, std::string(statement) + " names node " + name + ", which BU_ does not list; ignored");
    return nullptr;
  }

  const AttributeDefinition* definition(const std::string& name) const {
    for (const AttributeDefinition& d : m_db.attributeDefinitions) {
      if (d.name == name) return &d;
    }
    return nullptr;
  }

  AttributeValue attributeValue(const PendingAttribute& a) {
    const AttributeDefinition* d = definition(a.name);
    if (a.isString) return a.text;
    if (d == nullptr) return numberValue(a.number);
    switch (d->type) {
      case AttributeType::Float:
        return a.number.value;
      case AttributeType::Enum: {
        const double index = a.number.value;
        if (index >= 0 && index < static_cast<double>(d->enumValues.size()) &&
            index == static_cast<double>(static_cast<std::size_t>(index))) {
          return d->enumValues[static_cast<std::size_t>(index)];
        }
        warn(a.at, "BA_ \"" + a.name + "\": " + std::to_string(a.number.value) +
                       " is not an index of its ENUM values");
        return numberValue(a.number);
      }
      default:
        return numberValue(a.number);
    }
  }

  void resolve() {
    // Attribute defaults.
    for (const auto& [at, name, value] : m_defaults) {
      bool found = false;
      for (AttributeDefinition& d : m_db.attributeDefinitions) {
        if (d.name != name) continue;
        found = true;
        AttributeValue v = value;
        if (d.type == AttributeType::Float) {
          if (const auto* i = std::get_if<std::int64_t>(&v)) v = static_cast<double>(*i);
        }
        d.defaultValue = std::move(v);
      }
      if (!found) warn(at, "BA_DEF_DEF_ \"" + name + "\" has no BA_DEF_; ignored");
    }
    for (PendingComment& c : m_comments) {
      switch (c.target) {
        case Target::Network:
          m_db.comment = std::move(c.text);
          break;
        case Target::Node:
          if (Node* n = nodeOf(c.name, c.at, "CM_ BU_")) n->comment = std::move(c.text);
          break;
        case Target::Message:
          if (Message* m = messageOf(c.rawId, c.at, "CM_ BO_")) m->comment = std::move(c.text);
          break;
        case Target::Signal:
          if (Signal* s = signalOf(c.rawId, c.signal, c.at, "CM_ SG_"))
            s->comment = std::move(c.text);
          break;
        case Target::EnvVar:
          break;
      }
    }
    for (const PendingAttribute& a : m_attributes) {
      if (definition(a.name) == nullptr) {
        warn(a.at, "BA_ \"" + a.name + "\" has no BA_DEF_; kept as written");
      }
      Attribute attr{a.name, attributeValue(a)};
      switch (a.target) {
        case Target::Network:
          m_db.attributes.push_back(std::move(attr));
          break;
        case Target::Node:
          if (Node* n = nodeOf(a.nodeName, a.at, "BA_ BU_"))
            n->attributes.push_back(std::move(attr));
          break;
        case Target::Message:
          if (Message* m = messageOf(a.rawId, a.at, "BA_ BO_"))
            m->attributes.push_back(std::move(attr));
          break;
        case Target::Signal:
          if (Signal* s = signalOf(a.rawId, a.signal, a.at, "BA_ SG_"))
            s->attributes.push_back(std::move(attr));
          break;
        case Target::EnvVar:
          break;
      }
    }
    for (const PendingValueType& p : m_valueTypes) {
      Signal* s = signalOf(p.rawId, p.signal, p.at, "SIG_VALTYPE_");
      if (s == nullptr) continue;
      if (p.type == 0) {
        s->valueType = ValueType::Integer;
      } else if ((p.type == 1 && s->length == 32) || (p.type == 2 && s->length == 64)) {
        s->valueType = p.type == 1 ? ValueType::Float32 : ValueType::Float64;
      } else {
        warn(p.at, "SIG_VALTYPE_ " + s->name + ": type " + std::to_string(p.type) +
                       " needs a length of " +
                       (p.type == 1   ? "32"
                        : p.type == 2 ? "64"
                                      : "32 or 64") +
                       " bits, the signal has " + std::to_string(s->length) +
                       "; read as an integer");
      }
    }
    for (PendingValues& v : m_values) {
      Signal* s = signalOf(v.rawId, v.signal, v.at, "VAL_");
      if (s == nullptr) continue;
      s->values.clear();
      for (auto& [w, text] : v.entries) {
        if (!w.integral && s->valueType == ValueType::Integer) {
          warn(v.at, "VAL_ " + s->name + ": the value " + std::to_string(w.value) +
                         " is not whole; left out");
          continue;
        }
        std::uint64_t bits = 0;
        if (s->valueType == ValueType::Integer) {
          const std::uint64_t mask = fieldMask(s->length);
          const std::uint64_t half = std::uint64_t{1} << (s->length - 1);
          if (w.negative && w.magnitude != 0) {
            if (!s->isSigned || w.magnitude > half) {
              warn(v.at, "VAL_ " + s->name + ": -" + std::to_string(w.magnitude) +
                             " is outside the signal's raw range; left out");
              continue;
            }
            bits = (~w.magnitude + 1) & mask;
          } else {
            if (w.magnitude > mask) {
              warn(v.at, "VAL_ " + s->name + ": " + std::to_string(w.magnitude) +
                             " is outside the signal's raw range; left out");
              continue;
            }
            bits = w.magnitude;
          }
        }
        s->values.push_back({bits, w.value, std::move(text)});
      }
      std::stable_sort(s->values.begin(), s->values.end(),
                       [](const ValueText& a, const ValueText& b) { return a.bits < b.bits; });
    }
    for (const PendingTransmitters& p : m_transmitters) {
      if (Message* m = messageOf(p.rawId, p.at, "BO_TX_BU_")) {
        m->otherTransmitters.insert(m->otherTransmitters.end(), p.nodes.begin(), p.nodes.end());
      }
    }
    for (const PendingMuxValues& p : m_muxValues) {
      if (Message* m = messageOf(p.rawId, p.at, "SG_MUL_VAL_")) m->extendedMux = true;
    }
    for (Message& m : m_db.messages) finishMessage(m);
  }

  std::optional<AttributeValue> attributeOf(const std::vector<Attribute>& attributes,
                                            const std::string& name) const {
    for (const Attribute& a : attributes) {
      if (a.name == name) return a.value;
    }
    if (const AttributeDefinition* d = definition(name)) return d->defaultValue;
    return std::nullopt;
  }

  void finishMessage(Message& m) {
    if (const auto cycle = attributeOf(m.attributes, "GenMsgCycleTime")) {
      double ms = 0;
      if (const auto* i = std::get_if<std::int64_t>(&*cycle)) ms = static_cast<double>(*i);
      if (const auto* d = std::get_if<double>(&*cycle)) ms = *d;
      if (ms >= 1 && ms <= 4294967295.0) m.cycleTimeMs = static_cast<std::uint32_t>(ms);
    }
    if (const auto format = attributeOf(m.attributes, "VFrameFormat")) {
      if (const auto* s = std::get_if<std::string>(&*format)) {
        m.fd = s->find("FD") != std::string::npos;
      }
    }
    int multiplexors = 0;
    bool multiplexed = false;
    for (const Signal& s : m.signalList) {
      multiplexors += s.mux == MuxRole::Multiplexor || s.alsoMultiplexor;
      multiplexed = multiplexed || s.mux == MuxRole::Multiplexed;
      if (s.alsoMultiplexor) m.extendedMux = true;
    }
    if (multiplexors > 1) m.extendedMux = true;
    const Place at{m.line, 1};
    if (m.extendedMux) {
      warn(at, "BO_ " + m.name +
                   ": extended multiplexing (SG_MUL_VAL_, m<N>M or several multiplexors) is "
                   "not supported; only its multiplexors and the signals always present are "
                   "decoded");
    } else if (multiplexed && multiplexors == 0) {
      m.extendedMux = true;
      warn(at, "BO_ " + m.name +
                   ": multiplexed signals (m<N>) without a multiplexor (M) are not decoded");
    }
    for (std::size_t i = 0; i < m.signalList.size(); ++i) {
      for (std::size_t k = 0; k < i; ++k) {
        if (m.signalList[i].name == m.signalList[k].name) {
          warn({m.signalList[i].line, 1}, "SG_ " + m.name + "." + m.signalList[i].name +
                                              " repeats the name of line " +
                                              std::to_string(m.signalList[k].line));
          break;
        }
      }
    }
  }

  Lexer m_lex;
  Database& m_db;
  std::unordered_map<std::uint32_t, std::size_t> m_byRawId;
  std::unordered_set<std::uint32_t> m_ignoredIds;
  std::vector<PendingComment> m_comments;
  std::vector<PendingAttribute> m_attributes;
  struct PendingDefault {
    Place at;
    std::string name;
    AttributeValue value;
  };
  std::vector<PendingDefault> m_defaults;
  std::vector<PendingValues> m_values;
  std::vector<PendingValueType> m_valueTypes;
  std::vector<PendingTransmitters> m_transmitters;
  std::vector<PendingMuxValues> m_muxValues;
};

}  // namespace

DbcResult parseDbc(std::string_view bytes, std::string fileName) {
  DbcResult result;
  result.error.file = fileName;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::string converted;
  if (!isValidUtf8(bytes)) {
    converted = windows1252ToUtf8(bytes);
    bytes = converted;
  }
  auto db = std::make_shared<Database>();
  db->fileName = std::move(fileName);
  try {
    Parser parser(bytes, *db);
    parser.parse();
  } catch (const Failure& f) {
    result.error.line = f.line;
    result.error.column = f.column;
    result.error.message = f.message;
    return result;
  }
  result.database = std::move(db);
  return result;
}

DbcResult loadDbcFile(const std::string& path) {
  DbcResult failed;
  failed.error.file = path;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    failed.error.message = std::strerror(errno);
    return failed;
  }
  constexpr std::size_t kLimit = 64u << 20;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failed.error.message = std::strerror(errno);
      ::close(fd);
      return failed;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > kLimit) {
      ::close(fd);
      failed.error.message = "larger than 64 MiB; not a DBC file";
      return failed;
    }
  }
  ::close(fd);
  return parseDbc(bytes, path);
}

}  // namespace velqor::dbc
