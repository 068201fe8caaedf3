#pragma once
// The texts of a trace row, made only for the rows being shown or copied.
//
//   time         relative: seconds since the connection with six decimals, "12.345678";
//                wall clock: the local time of day to the microsecond, "14:03:09.123456"
//   direction    "Rx", "Tx"; "Error" for bus errors, failed sends and lost frames; "" for
//                the program's events
//   type         "Std", "Ext" (frames only)
//   identifier   hexadecimal as candump writes it: 3 digits standard, 8 extended
//   DLC          decimal
//   data         the data bytes in hexadecimal, "11 22 33" ("Remote" for a remote frame); for
//                the other rows what happened, "Bus error: CRC_ERROR (TEC 5, REC 7)"
//
// Copied rows are candump log lines (canlog/candump_log.h), bus errors as SocketCAN error
// frames; the rows that are not frames as comment lines ("# ...") that candump readers skip.

#include <cstdint>
#include <string>

#include "trace/trace_store.h"

namespace velqor {

std::string TraceRelativeTimeText(std::int64_t relativeUs);
std::string TraceWallTimeText(std::int64_t wallUs);
std::string TraceDirectionText(const TraceRecord& row);
std::string TraceTypeText(const TraceRecord& row);
std::string TraceIdText(const TraceRecord& row);
std::string TraceDlcText(const TraceRecord& row);
std::string TraceDataText(const TraceRecord& row);

// The row `seq` of `store` as a candump log line (with its '\n'), appended to `out`.
void AppendTraceCandumpLine(std::string& out, const TraceStore& store, std::uint64_t seq);

}  // namespace velqor
