#pragma once
// The trace's settings and the received-frame list's optional columns, each in a section of
// their own in the settings file (old files, without them, load the defaults):
//
//   [TRACE]
//   CAPACITY=2000000   rows the trace keeps (0 keeps none: no trace; at most 50 000 000);
//                      read at start
//   WALLCLOCK=0        1 shows the local time of day instead of the time since the connection
//   [RXCOLUMNS]
//   COUNT=0            the "Receive" list's optional columns, 1 when shown
//   CYCLE=0
//   MEAN=0
//   TXCOUNT=0
//
// Read and written by the main window inside its one reading and writing of the file. A key
// is written only when its value is not the default or the file has it already: a file of a
// program whose trace and columns were never changed keeps the sections it always had.

#include <cstddef>

#include "common/ini_file.h"

namespace velqor {

struct TraceSettings {
  std::size_t capacity = 2'000'000;
  bool wallClock = false;
};

// The optional columns of the received-frame list, off by default.
struct ReceiveColumnSettings {
  bool count = false;
  bool cycle = false;
  bool mean = false;
  bool txCount = false;
  bool operator==(const ReceiveColumnSettings&) const = default;
};

TraceSettings loadTraceSettings(const IniFile& ini);
void saveTraceSettings(IniFile& ini, const TraceSettings& settings);
ReceiveColumnSettings loadReceiveColumnSettings(const IniFile& ini);
void saveReceiveColumnSettings(IniFile& ini, const ReceiveColumnSettings& settings);

}  // namespace velqor
