#include "trace/trace_settings.h"

#include <algorithm>

#include "trace/trace_store.h"

namespace velqor {

namespace {
constexpr const char* kTrace = "TRACE";
constexpr const char* kColumns = "RXCOLUMNS";

// A key is written when its value is not the default or the file has it already, so that a
// file of a program never told otherwise keeps the sections it always had.
void WriteBool(IniFile& ini, const char* section, const char* key, bool value) {
  if (value || ini.readValue(section, key)) ini.writeBool(section, key, value);
}
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
  if (s.capacity != TraceStore::kDefaultCapacity || ini.readValue(kTrace, "CAPACITY"))
    ini.writeInteger(kTrace, "CAPACITY", static_cast<std::int32_t>(s.capacity));
  WriteBool(ini, kTrace, "WALLCLOCK", s.wallClock);
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
  WriteBool(ini, kColumns, "COUNT", s.count);
  WriteBool(ini, kColumns, "CYCLE", s.cycle);
  WriteBool(ini, kColumns, "MEAN", s.mean);
  WriteBool(ini, kColumns, "TXCOUNT", s.txCount);
}

}  // namespace velqor
