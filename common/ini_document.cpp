#include "common/ini_document.h"

#include <stdexcept>

namespace velqor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A value that reading would change is written in double quotes.
std::string encodeValue(std::string_view value) {
  const bool blanksAround = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
  const bool quotedAlready = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  std::string encoded;
  if (!blanksAround && !quotedAlready) return encoded.assign(value);
  encoded.reserve(value.size() + 2);
  encoded.append(1, '"').append(value).append(1, '"');
  return encoded;
}

void checkName(std::string_view what, std::string_view name, std::string_view forbidden) {
  auto fail = [&](std::string_view why) {
    throw std::invalid_argument("INI " + std::string(what) + " name \"" + std::string(name) +
                                "\" " + std::string(why));
  };
  if (name.empty()) fail("is empty");
  if (hasLineBreak(name)) fail("holds a line break");
  if (trim(name).size() != name.size()) fail("has blanks around it");
  if (name.find_first_of(forbidden) != std::string_view::npos) {
    fail("holds \"" + std::string(forbidden) + "\"");
  }
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

IniDocument::Line IniDocument::classify(std::string raw) {
  Line line;
  const std::string_view t = trim(raw);
  if (!t.empty() && t.front() == '[') {
    const std::size_t close = t.find(']');
    if (close != std::string_view::npos) {
      line.kind = Kind::kSection;
      line.name = trim(t.substr(1, close - 1));
    }
  } else if (!t.empty() && t.front() != ';') {
    const std::size_t eq = t.find('=');
    if (eq != std::string_view::npos && !trim(t.substr(0, eq)).empty()) {
      line.kind = Kind::kKey;
      line.name = trim(t.substr(0, eq));
      std::string_view v = trim(t.substr(eq + 1));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      line.value = v;
    }
  }
  line.raw = std::move(raw);
  return line;
}

IniDocument IniDocument::parse(std::string_view text) {
  IniDocument doc;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    doc.m_byteOrderMark = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  // A line ends at LF, at CRs before an LF or the end (CRLF, or CR CR LF as text-mode copying
  // leaves it), or at a CR of its own (a file with CR line ends). The next LF is looked for
  // once, not once per line of a file without any.
  std::size_t lf = text.find('\n');
  for (std::size_t start = 0; start < text.size();) {
    if (lf != std::string_view::npos && lf < start) lf = text.find('\n', start);
    const std::size_t lineEnd = lf == std::string_view::npos ? text.size() : lf;
    const std::size_t cr = text.substr(0, lineEnd).find('\r', start);
    std::size_t next = lineEnd + 1;
    std::size_t end = lineEnd;
    if (cr != std::string_view::npos) {
      end = cr;
      const std::size_t afterCrs = text.find_first_not_of('\r', cr);
      if (afterCrs != std::string_view::npos && text[afterCrs] != '\n') next = cr + 1;
    }
    doc.m_lines.push_back(classify(std::string(text.substr(start, end - start))));
    start = next;
  }
  return doc;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const {
  for (std::size_t i = 0; i < m_lines.size(); ++i) {
    if (m_lines[i].kind == Kind::kSection && equalsIgnoringCase(m_lines[i].name, section)) {
      return i;
    }
  }
  return std::nullopt;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < m_lines.size() && m_lines[i].kind != Kind::kSection) ++i;
  return i;
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
  const std::optional<std::size_t> header = findSection(section);
  if (!header) return std::nullopt;
  const std::size_t end = sectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (m_lines[i].kind == Kind::kKey && equalsIgnoringCase(m_lines[i].name, key)) {
      return m_lines[i].value;
    }
  }
  return std::nullopt;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
  checkName("section", section, "]");
  checkName("key", key, "=");
  if (key.front() == ';' || key.front() == '[') {
    throw std::invalid_argument("INI key name \"" + std::string(key) +
                                "\" would read as a comment or a section");
  }
  if (hasLineBreak(value)) {
    throw std::invalid_argument("INI value of key \"" + std::string(key) + "\" holds a line break");
  }
  const std::string encoded = encodeValue(value);

  const std::optional<std::size_t> header = findSection(section);
  if (!header) {
    m_lines.push_back(classify("[" + std::string(section) + "]"));
    m_lines.push_back(classify(std::string(key) + "=" + encoded));
    return;
  }
  const std::size_t end = sectionEnd(*header);
  std::size_t insertAt = *header + 1;
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (m_lines[i].kind != Kind::kKey) continue;
    if (equalsIgnoringCase(m_lines[i].name, key)) {
      // The key keeps the spelling it has in the file.
      m_lines[i] = classify(m_lines[i].name + "=" + encoded);
      return;
    }
    insertAt = i + 1;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 classify(std::string(key) + "=" + encoded));
}

std::string IniDocument::text() const {
  std::string out;
  if (m_byteOrderMark) out += kByteOrderMark;
  for (const Line& line : m_lines) {
    out += line.raw;
    out += '\n';
  }
  return out;
}

}  // namespace velqor
