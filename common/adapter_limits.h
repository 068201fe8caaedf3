#pragma once
// How much of everything the adapter and the program have: the counts that the protocol,
// the settings file and the pages all size their tables by, and the adapter's identifiers.

namespace velqor {

inline constexpr int kBitRateCount = 3;  // 250 kbit/s, 500 kbit/s, 1 Mbit/s
inline constexpr int kRxMailboxCount = 16;
inline constexpr int kTxMailboxCount = 8;
inline constexpr int kMaxDlc = 8;
inline constexpr int kSampleTimingMax = 30;  // sample points per bit rate

// The adapter's USB identifiers, which the settings file ([USB]) and velqor-cli start from.
inline constexpr unsigned kAdapterVendorId = 0x4242;
inline constexpr unsigned kAdapterProductId = 0xEE02;

}  // namespace velqor
