#include "trace/trace_text.h"

#include <ctime>

#include "canlog/candump_log.h"
#include "canlog/log_text.h"
#include "link/protocol.h"

namespace velqor {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  for (int d = digits - 1; d >= 0; --d) out += kHex[(value >> (4 * d)) & 0xF];
}

void AppendDecimal(std::string& out, std::uint64_t value, int digits) {
  char buffer[24];
  int n = 0;
  do {
    buffer[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || n < digits);
  while (n > 0) out += buffer[--n];
}

}  // namespace

std::string TraceRelativeTimeText(std::int64_t relativeUs) {
  std::string s;
  std::uint64_t magnitude = 0;
  if (relativeUs < 0) {
    s += '-';
    magnitude = static_cast<std::uint64_t>(-(relativeUs + 1)) + 1;
  } else {
    magnitude = static_cast<std::uint64_t>(relativeUs);
  }
  AppendDecimal(s, magnitude / 1'000'000, 1);
  s += '.';
  AppendDecimal(s, magnitude % 1'000'000, 6);
  return s;
}

std::string TraceWallTimeText(std::int64_t wallUs) {
  std::int64_t seconds = wallUs / 1'000'000;
  std::int64_t micro = wallUs % 1'000'000;
  if (micro < 0) {
    micro += 1'000'000;
    --seconds;
  }
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::string();
  std::string s;
  AppendDecimal(s, static_cast<std::uint64_t>(local.tm_hour), 2);
  s += ':';
  AppendDecimal(s, static_cast<std::uint64_t>(local.tm_min), 2);
  s += ':';
  AppendDecimal(s, static_cast<std::uint64_t>(local.tm_sec), 2);
  s += '.';
  AppendDecimal(s, static_cast<std::uint64_t>(micro), 6);
  return s;
}

std::string TraceDirectionText(const TraceRecord& row) {
  switch (row.kind()) {
    case TraceRowKind::Can:
      return row.tx() ? "Tx" : "Rx";
    case TraceRowKind::BusError:
    case TraceRowKind::SendFailed:
    case TraceRowKind::FramesLost:
      return "Error";
    default:
      return std::string();
  }
}

std::string TraceTypeText(const TraceRecord& row) {
  if (!row.isFrame()) return std::string();
  return row.extended() ? "Ext" : "Std";
}

std::string TraceIdText(const TraceRecord& row) {
  if (!row.isFrame()) return std::string();
  std::string s;
  if (row.extended()) {
    AppendHex(s, row.id, 8);
  } else {
    AppendHex(s, row.id, row.id > 0xFFF ? 8 : 3);  // a garbled one keeps every bit shown
  }
  return s;
}

std::string TraceDlcText(const TraceRecord& row) {
  if (!row.isFrame()) return std::string();
  std::string s;
  AppendDecimal(s, row.dlc, 1);
  return s;
}

std::string TraceDataText(const TraceRecord& row) {
  std::string s;
  switch (row.kind()) {
    case TraceRowKind::Can:
      if (row.rtr()) return "Remote";
      for (std::size_t i = 0; i < row.length(); ++i) {
        if (i != 0) s += ' ';
        AppendHex(s, row.data[i], 2);
      }
      return s;
    case TraceRowKind::BusError:
      s = "Bus error: ";
      s += ErrorText(row.data[0]);
      s += " (TEC ";
      AppendDecimal(s, row.data[1], 1);
      s += ", REC ";
      AppendDecimal(s, row.data[2], 1);
      s += ')';
      return s;
    case TraceRowKind::SendFailed:
      return row.data[0] == 2 ? "Send failed: Out of Range!" : "Send failed: CAN fail!";
    case TraceRowKind::Connected:
      return "Connected";
    case TraceRowKind::Disconnected:
      return "Disconnected";
    case TraceRowKind::AdapterLost:
      return "Adapter lost";
    case TraceRowKind::AdapterReconnected:
      return "Adapter reconnected";
    case TraceRowKind::FramesLost:
      AppendDecimal(s, row.id, 1);
      s += row.id == 1 ? " frame lost by the receive queue" : " frames lost by the receive queue";
      return s;
  }
  return s;
}

void AppendTraceCandumpLine(std::string& out, const TraceStore& store, std::uint64_t seq) {
  if (const std::optional<CanFrame> frame = store.asFrame(seq)) {
    AppendCandumpLine(out, *frame, "can0");
    return;
  }
  out += "# (";
  logtext::AppendSeconds(out, store.wallUs(seq), 10);
  out += ") ";
  out += TraceDataText(store.at(seq));
  out += '\n';
}

}  // namespace velqor
