#include "trace/trace_settings.h"

#include <algorithm>

#include "trace/trace_store.h"

namespace velqor {

namespace {
constexpr const char* kTrace = "TRACE";
constexpr const char* kColumns = "RXCOLUMNS";
}  // namespace

TraceSettings loadTraceSettings(const IniFile& ini) {
  TraceSettings s;
  const std::int32_t capacity =
      ini.readInteger(kTrace, "CAPACITY", static_cast<std::int32_t>(TraceStore::kDefaultCapacity));
  s.capacity = static_cast<std::size_t>(
      std::clamp<std::int64_t>(capacity, 0, static_cast<std::int64_t>(TraceStore::kMaxCapacity)));
  s.wallClock = ini.readBool(kTrace, "WALLCLOCK", false);
  return s;
}

void saveTraceSettings(IniFile& ini, const TraceSettings& s) {
  ini.writeInteger(kTrace, "CAPACITY", static_cast<std::int32_t>(s.capacity));
  ini.writeBool(kTrace, "WALLCLOCK", s.wallClock);
}

ReceiveColumnSettings loadReceiveColumnSettings(const IniFile& ini) {
  ReceiveColumnSettings s;
  s.count = ini.readBool(kColumns, "COUNT", false);
  s.cycle = ini.readBool(kColumns, "CYCLE", false);
  s.mean = ini.readBool(kColumns, "MEAN", false);
  s.txCount = ini.readBool(kColumns, "TXCOUNT", false);
  return s;
}

void saveReceiveColumnSettings(IniFile& ini, const ReceiveColumnSettings& s) {
  ini.writeBool(kColumns, "COUNT", s.count);
  ini.writeBool(kColumns, "CYCLE", s.cycle);
  ini.writeBool(kColumns, "MEAN", s.mean);
  ini.writeBool(kColumns, "TXCOUNT", s.txCount);
}

}  // namespace velqor
