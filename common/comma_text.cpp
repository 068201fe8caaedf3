#include "common/comma_text.h"

namespace velqor {
namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Reads a quoted item starting at text[pos] == '"'; leaves pos after the closing quote.
std::string takeQuoted(std::string_view text, std::size_t& pos) {
  std::string item;
  ++pos;  // opening quote
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c != '"') {
      item += c;
    } else if (pos < text.size() && text[pos] == '"') {
      item += '"';  // "" stands for one quote
      ++pos;
    } else {
      break;  // closing quote
    }
  }
  return item;
}

}  // namespace

std::vector<std::string> splitCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  auto skipBlanks = [&] {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < text.size()) {
    if (text[pos] == '"') {
      items.push_back(takeQuoted(text, pos));
    } else {
      const std::size_t start = pos;
      while (pos < text.size() && !isBlank(text[pos]) && text[pos] != ',') ++pos;
      items.emplace_back(text.substr(start, pos - start));
    }
    skipBlanks();
    if (pos < text.size() && text[pos] == ',') {
      if (pos + 1 == text.size()) items.emplace_back();
      ++pos;
      skipBlanks();
    }
  }
  return items;
}

}  // namespace velqor
