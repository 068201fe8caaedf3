#pragma once
// What a loaded DBC file holds, as text for a person: one line per message and per signal,
// then the warnings and the statements that were stepped over.

#include <string>

#include "signals/dbc.h"

namespace velqor::dbc {

// E.g.
//   example.dbc: VERSION "1.0", 2 nodes, 1 message, 5 signals, 1 value table
//   BO_ 0x123 Msg1: 8 bytes from ECU1, every 100 ms  "Test message"
//     Speed    7|16@0+ (0.01,0) [0|655.35] "km/h"  -> ECU2
//     Gear     56|3@1+ (1,0) [0|7] ""  -> ECU2  values: 0 "P", 1 "R", 2 "N", 3 "D"
//   warning: line 12, column 1: ...
std::string describeDatabase(const Database& db);

}  // namespace velqor::dbc
