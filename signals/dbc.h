#pragma once
// The contents of a DBC file (a signal database) as the parser understood them: messages
// with their signals, nodes, value tables, comments and attributes, plus the warnings about
// what was read but cannot be used. A Database is built whole by parseDbc and never changed
// afterwards, so one instance may be shared between threads (see dbc_parser.h).
//
// Texts (names, units, comments, value texts) are UTF-8: a file that is not valid UTF-8 is
// read as Windows-1252, the code page DBC editors write.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velqor::dbc {

// A number as written in the file: its nearest double, and the exact decimal value
// mantissa x 10^exponent when that fits (at most 18 significant digits).
struct Number {
  double value = 0;
  std::int64_t mantissa = 0;
  std::int32_t exponent = 0;
  bool exact = true;

  static Number integer(std::int64_t v) { return {static_cast<double>(v), v, 0, true}; }
};

enum class ByteOrder : std::uint8_t {
  Intel,     // @1: little-endian, the start bit is the least significant bit
  Motorola,  // @0: big-endian, the start bit is the most significant bit
};

enum class ValueType : std::uint8_t {
  Integer,
  Float32,  // SIG_VALTYPE_ 1: the 32 bits are an IEEE 754 single
  Float64,  // SIG_VALTYPE_ 2: the 64 bits are an IEEE 754 double
};

enum class MuxRole : std::uint8_t {
  None,         // always present
  Multiplexor,  // M: selects which multiplexed signals the frame carries
  Multiplexed,  // mN: present when the multiplexor's raw value is N
};

// One entry of a value table (VAL_ or VAL_TABLE_).
struct ValueText {
  // The raw value as the signal's field bits (a negative value in two's complement over the
  // signal's length); for VAL_TABLE_ entries, which belong to no signal, over 64 bits.
  std::uint64_t bits = 0;
  double value = 0;  // as written, for float signals
  std::string text;
};

// An attribute's value: INT and HEX as integers, FLOAT as double, STRING and ENUM as text
// (an ENUM value given by its index is stored as the index's text).
using AttributeValue = std::variant<std::int64_t, double, std::string>;

struct Attribute {
  std::string name;
  AttributeValue value;
};

struct Signal {
  std::string name;
  std::uint16_t startBit = 0;  // as written: bit index byte x 8 + bit, bit 0 = LSB
  std::uint8_t length = 1;     // 1..64
  ByteOrder byteOrder = ByteOrder::Intel;
  bool isSigned = false;
  ValueType valueType = ValueType::Integer;
  Number factor = Number::integer(1);
  Number offset = Number::integer(0);
  double minimum = 0;
  double maximum = 0;
  std::string unit;
  std::vector<std::string> receivers;
  MuxRole mux = MuxRole::None;
  std::uint64_t muxValue = 0;     // Multiplexed: the multiplexor's raw value that selects it
  bool alsoMultiplexor = false;   // mNM: extended multiplexing, not decoded
  std::vector<ValueText> values;  // VAL_, ordered by bits
  std::string comment;
  std::vector<Attribute> attributes;
  std::uint32_t line = 0;  // where its SG_ stands
};

struct Message {
  std::uint32_t id = 0;  // 11 or 29 bits
  bool extended = false;
  std::string name;
  std::uint16_t size = 0;  // bytes
  std::string transmitter;
  std::vector<std::string> otherTransmitters;  // BO_TX_BU_
  std::vector<Signal> signalList;              // in the file's order
  std::string comment;
  std::optional<std::uint32_t> cycleTimeMs;  // GenMsgCycleTime, or its default when above 0
  bool fd = false;                           // VFrameFormat says CAN FD: never matched
                                             // against classic frames
  // Extended multiplexing (SG_MUL_VAL_, mNM, several multiplexors): only the signals that
  // are always present and the multiplexors are decoded.
  bool extendedMux = false;
  std::vector<Attribute> attributes;
  std::uint32_t line = 0;  // where its BO_ stands
};

struct Node {
  std::string name;
  std::string comment;
  std::vector<Attribute> attributes;
};

struct ValueTable {
  std::string name;
  std::vector<ValueText> values;
};

enum class AttributeObject : std::uint8_t { Network, Node, Message, Signal, EnvVar };
enum class AttributeType : std::uint8_t { Int, Hex, Float, String, Enum };

struct AttributeDefinition {
  std::string name;
  AttributeObject object = AttributeObject::Network;
  AttributeType type = AttributeType::Int;
  double minimum = 0;
  double maximum = 0;
  std::vector<std::string> enumValues;
  std::optional<AttributeValue> defaultValue;  // BA_DEF_DEF_
};

// Something the file says that was read but is not used, or is doubtful.
struct Warning {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::string text;
};

// A statement kind the parser steps over, and how often it occurred.
struct Skipped {
  std::string keyword;
  std::uint32_t count = 0;
};

struct Database {
  std::string fileName;
  std::string version;
  std::string comment;  // CM_ "..." for the network
  std::vector<Node> nodes;
  std::vector<Message> messages;  // in the file's order
  std::vector<ValueTable> valueTables;
  std::vector<AttributeDefinition> attributeDefinitions;
  std::vector<Attribute> attributes;  // the network's
  std::vector<Warning> warnings;
  std::vector<Skipped> skipped;

  const Message* findMessage(std::uint32_t id, bool extended) const;
  std::size_t signalCount() const;
};

}  // namespace velqor::dbc
