#include "tools/signal_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "signals/dbc_parser.h"

namespace velqor::cli {

std::string jsonUtf8String(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

bool SignalJson::load(const std::vector<std::string>& paths, std::string& error,
                      std::ostream& notes) {
  std::vector<std::shared_ptr<const dbc::Database>> databases;
  for (const std::string& path : paths) {
    const dbc::DbcResult r = dbc::loadDbcFile(path);
    if (!r.ok()) {
      error = r.error.text();
      return false;
    }
    if (const std::size_t n = r.database->warnings.size()) {
      notes << path << ": " << n << (n == 1 ? " warning" : " warnings") << " ('velqor-cli dbc "
            << path << "' lists them)\n";
    }
    databases.push_back(r.database);
  }
  m_decoder = dbc::FrameDecoder(std::move(databases));
  for (const std::string& note : m_decoder.notes()) notes << note << "\n";
  return true;
}

void SignalJson::annotate(std::string& json, const CanFrame& frame) {
  if (!m_decoder.decode(frame, m_decoded)) return;
  if (json.empty() || json.back() != '}') return;
  json.pop_back();
  json += ",\"message\":";
  json += jsonUtf8String(m_decoder.message(m_decoded.message).message->name);
  json += ",\"signals\":{";
  bool texts = false;
  char value[dbc::SignalCodec::kTextSize];
  for (std::size_t i = 0; i < m_decoded.values.size(); ++i) {
    const dbc::DecodedSignal& s = m_decoded.values[i];
    const dbc::SignalCodec& codec = m_decoder.signal(s.index).codec;
    if (i > 0) json += ',';
    json += jsonUtf8String(codec.signal().name);
    json += ':';
    if (std::isfinite(s.physical)) {
      json.append(value, codec.formatPhysical(s.bits, value));
    } else {
      json += "null";
    }
    texts = texts || s.text != nullptr;
  }
  json += '}';
  if (texts) {
    json += ",\"texts\":{";
    bool first = true;
    for (const dbc::DecodedSignal& s : m_decoded.values) {
      if (s.text == nullptr) continue;
      if (!first) json += ',';
      first = false;
      json += jsonUtf8String(m_decoder.signal(s.index).signal->name);
      json += ':';
      json += jsonUtf8String(*s.text);
    }
    json += '}';
  }
  json += '}';
}

}  // namespace velqor::cli
