#include "sim/bus_traffic.h"

#include <cmath>
#include <numbers>

namespace velqor {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

std::uint64_t FieldMask(int width) {
  return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

// Width of a field as stored; widths other than 1..8, 16 and 32 are read as 8.
int FieldWidth(const Signal& s) {
  if (s.width >= 1 && s.width <= 8) return s.width;
  if (s.width == 16 || s.width == 32) return s.width;
  return 8;
}

void WriteField(const Signal& s, std::uint64_t value, std::array<std::uint8_t, 8>& data) {
  const int width = FieldWidth(s);
  value &= FieldMask(width);
  if (width <= 8) {
    if (s.byte >= 8) return;
    const int shift = s.bit + width <= 8 ? s.bit : 8 - width;
    const auto mask = static_cast<std::uint8_t>(FieldMask(width) << shift);
    data[s.byte] = static_cast<std::uint8_t>((data[s.byte] & ~mask) | ((value << shift) & mask));
    return;
  }
  const int bytes = width / 8;
  for (int i = 0; i < bytes; ++i) {
    const int index = s.byte + i;
    if (index >= 8) break;
    const int shift = s.bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
    data[index] = static_cast<std::uint8_t>(value >> shift);
  }
}

double Phase(nanoseconds t, nanoseconds period) {
  if (period.count() <= 0) return 0;
  const auto rem = t.count() % period.count();
  return static_cast<double>(rem) / static_cast<double>(period.count());
}

std::uint64_t ToField(double v, int width) {
  if (!(v > 0)) return 0;  // also NaN
  const double top = static_cast<double>(FieldMask(width));
  return static_cast<std::uint64_t>(std::llround(std::min(v, top)));
}

std::uint64_t SignalValue(const Signal& s, std::uint64_t count, nanoseconds t, SimRandom& random) {
  const int width = FieldWidth(s);
  switch (s.kind) {
    case Signal::Kind::Constant:
      return ToField(s.min, width);
    case Signal::Kind::Counter:
      return (ToField(s.min, 32) + count * s.step) & FieldMask(width);
    case Signal::Kind::Sine: {
      const double x = Phase(t, s.period);
      return ToField(s.min + (s.max - s.min) * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * x)),
                     width);
    }
    case Signal::Kind::Ramp:
      return ToField(s.min + (s.max - s.min) * Phase(t, s.period), width);
    case Signal::Kind::Toggle: {
      const auto half = s.period.count() > 0 ? t.count() / s.period.count() : 0;
      return ToField(half % 2 == 0 ? s.min : s.max, width);
    }
    case Signal::Kind::Noise:
      return ToField(s.min + (s.max - s.min) * random.Uniform(), width);
    case Signal::Kind::Checksum:
      return 0;
  }
  return 0;
}

}  // namespace

void ComposeFrame(const PeriodicMessage& message, std::uint64_t count, nanoseconds t,
                  SimRandom& random, BusFrame& frame) {
  frame.id = message.id;
  frame.extended = message.extended;
  frame.dlc = message.dlc;
  frame.data = message.data;
  for (const Signal& s : message.fields) {
    if (s.kind != Signal::Kind::Checksum)
      WriteField(s, SignalValue(s, count, t, random), frame.data);
  }
  for (const Signal& s : message.fields) {
    if (s.kind != Signal::Kind::Checksum || s.byte >= 8) continue;
    unsigned sum = (message.id & 0xFF) + ((message.id >> 8) & 0xFF) + ((message.id >> 16) & 0xFF) +
                   ((message.id >> 24) & 0xFF);
    for (std::size_t i = 0; i < frame.DataBytes(); ++i) {
      if (i != s.byte) sum += frame.data[i];
    }
    frame.data[s.byte] = static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
  }
}

namespace {

Signal Field(Signal::Kind kind, std::uint8_t byte, std::uint8_t width, double min, double max,
             nanoseconds period = seconds(1), bool bigEndian = true) {
  Signal s;
  s.kind = kind;
  s.byte = byte;
  s.width = width;
  s.min = min;
  s.max = max;
  s.period = period;
  s.bigEndian = bigEndian;
  return s;
}

Signal Bit(Signal::Kind kind, std::uint8_t byte, std::uint8_t bit, nanoseconds period) {
  Signal s = Field(kind, byte, 1, 0, 1, period);
  s.bit = bit;
  return s;
}

Signal Counter(std::uint8_t byte, std::uint8_t width = 8, double start = 0, std::uint8_t bit = 0) {
  Signal s = Field(Signal::Kind::Counter, byte, width, start, 0);
  s.bit = bit;
  return s;
}

Signal Checksum(std::uint8_t byte) { return Field(Signal::Kind::Checksum, byte, 8, 0, 0); }

PeriodicMessage Message(std::string name, std::uint32_t id, bool extended, std::uint8_t dlc,
                        nanoseconds cycle, nanoseconds phase, std::array<std::uint8_t, 8> data,
                        std::vector<Signal> fields) {
  PeriodicMessage m;
  m.name = std::move(name);
  m.id = id;
  m.extended = extended;
  m.dlc = dlc;
  m.cycle = cycle;
  m.phase = phase;
  m.data = data;
  m.fields = std::move(fields);
  return m;
}

}  // namespace

std::vector<PeriodicMessage> DefaultVehicleProfile() {
  using K = Signal::Kind;
  const auto ms = [](int n) { return milliseconds(n); };
  std::vector<PeriodicMessage> p;
  // Powertrain.
  p.push_back(Message("EngineData", 0x0C0, false, 8, ms(10), ms(1), {},
                      {Field(K::Sine, 0, 16, 780 * 4, 3400 * 4, seconds(20)),  // rpm, 0.25/bit
                       Field(K::Sine, 2, 8, 0, 200, seconds(7)),               // throttle, 0.4 %
                       Field(K::Noise, 3, 8, 40, 90),                          // load
                       Field(K::Constant, 4, 8, 0x21, 0), Counter(6, 4), Checksum(7)}));
  p.push_back(Message(
      "Brake", 0x0C8, false, 4, ms(20), ms(3), {},
      {Bit(K::Toggle, 0, 0, seconds(3)), Field(K::Sine, 1, 16, 0, 1200, seconds(9)), Counter(3)}));
  p.push_back(Message("WheelSpeeds", 0x110, false, 8, ms(20), ms(5), {},
                      {Field(K::Sine, 0, 16, 0, 12000, seconds(30), false),
                       Field(K::Sine, 2, 16, 0, 12010, seconds(30), false),
                       Field(K::Sine, 4, 16, 0, 11990, seconds(30), false),
                       Field(K::Sine, 6, 16, 0, 12005, seconds(30), false)}));
  p.push_back(Message("SteeringAngle", 0x130, false, 6, ms(10), ms(6), {},
                      {Field(K::Sine, 0, 16, 0x7000, 0x9000, seconds(11)),
                       Field(K::Noise, 2, 16, 0x7F00, 0x8100), Counter(4), Checksum(5)}));
  p.push_back(Message("VehicleSpeed", 0x1A0, false, 4, ms(50), ms(8), {0, 0, 0x01},
                      {Field(K::Sine, 0, 16, 0, 13000, seconds(30)), Counter(3)}));
  p.push_back(
      Message("Gear", 0x1F0, false, 2, ms(100), ms(12), {},
              {Field(K::Ramp, 0, 4, 1, 6.49, seconds(12)), Bit(K::Toggle, 1, 7, seconds(2))}));
  p.push_back(
      Message("AbsStatus", 0x200, false, 3, ms(20), ms(14), {0x10}, {Counter(1), Checksum(2)}));
  p.push_back(Message("Transmission", 0x240, false, 8, ms(50), ms(17), {},
                      {Field(K::Ramp, 0, 8, 80, 135, seconds(600)),  // oil temperature + 40
                       Field(K::Sine, 1, 16, 0, 4000, seconds(20)),  // torque
                       Field(K::Constant, 3, 8, 0x03, 0), Counter(7)}));
  // Body.
  p.push_back(Message(
      "Doors", 0x2A0, false, 2, ms(200), ms(23), {},
      {Bit(K::Toggle, 0, 0, seconds(5)), Bit(K::Toggle, 0, 2, seconds(11)), Counter(1, 4, 0, 4)}));
  p.push_back(Message("Lights", 0x320, false, 3, ms(100), ms(29), {0x10},
                      {Bit(K::Toggle, 0, 1, ms(500)),  // direction indicator
                       Field(K::Noise, 2, 8, 90, 110)}));
  p.push_back(Message("Climate", 0x350, false, 4, ms(500), ms(31), {0, 0, 3, 0},
                      {Field(K::Ramp, 0, 16, 180, 230, seconds(300))}));
  p.push_back(Message("FuelLevel", 0x3B0, false, 2, ms(1000), ms(37), {},
                      {Field(K::Sine, 0, 8, 40, 200, seconds(3600)), Counter(1)}));
  p.push_back(Message("Coolant", 0x420, false, 2, ms(1000), ms(41), {},
                      {Field(K::Ramp, 0, 8, 100, 170, seconds(900)), Counter(1)}));
  p.push_back(Message("Odometer", 0x4F0, false, 4, ms(1000), ms(43), {}, {Counter(0, 32, 123456)}));
  p.push_back(Message("Battery", 0x580, false, 2, ms(500), ms(47), {},
                      {Field(K::Sine, 0, 16, 13800, 14300, seconds(40))}));
  p.push_back(Message("Dashboard", 0x6A0, false, 8, ms(200), ms(53), {0, 0, 0, 0, 0xFF, 0xFF},
                      {Bit(K::Toggle, 0, 3, seconds(4)), Field(K::Noise, 1, 8, 0, 20), Counter(2),
                       Counter(3, 8, 0x80), Checksum(7)}));
  p.push_back(Message("Heartbeat", 0x705, false, 1, ms(1000), ms(59), {0x05}, {}));
  // A few J1939-style extended identifiers (engine, vehicle speed, temperature, diagnostics).
  const std::array<std::uint8_t, 8> ff = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  p.push_back(Message("EEC1", 0x0CF00400, true, 8, ms(20), ms(2), ff,
                      {Field(K::Constant, 0, 8, 0xF0, 0), Field(K::Noise, 1, 8, 125, 135),
                       Field(K::Noise, 2, 8, 150, 170),
                       Field(K::Sine, 3, 16, 780 * 8, 3400 * 8, seconds(20), false)}));
  p.push_back(Message(
      "CCVS", 0x18FEF100, true, 8, ms(100), ms(19), ff,
      {Field(K::Sine, 1, 16, 0, 130 * 256, seconds(30), false), Bit(K::Toggle, 3, 0, seconds(6))}));
  p.push_back(Message(
      "ET1", 0x18FEEE00, true, 8, ms(1000), ms(61), ff,
      {Field(K::Ramp, 0, 8, 100, 150, seconds(900)), Field(K::Ramp, 1, 8, 90, 140, seconds(900))}));
  p.push_back(Message("DM1", 0x18FECA00, true, 8, ms(1000), ms(67),
                      {0x00, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF}, {}));
  return p;
}

BusFrame FloodFrame(const FloodOptions& options, std::uint64_t sequence) {
  const std::uint32_t n = options.identifiers == 0 ? 1 : options.identifiers;
  const auto index = static_cast<std::uint32_t>(sequence % n);
  BusFrame f;
  if (index < 0x800) {
    f.id = index;
  } else {
    f.id = (kFloodExtendedBase + index) & 0x1FFFFFFFu;
    f.extended = true;
  }
  f.dlc = options.dlc > 8 ? 8 : options.dlc;
  for (int i = 0; i < f.dlc; ++i) {
    f.data[i] = static_cast<std::uint8_t>(sequence >> (8 * (f.dlc - 1 - i)));
  }
  return f;
}

std::uint32_t ArbitrationKey(const BusFrame& frame) {
  if (!frame.extended) return (frame.id & 0x7FFu) << 21;  // RTR, IDE dominant
  const std::uint32_t id = frame.id & 0x1FFFFFFFu;
  return ((id >> 18) << 21) | (1u << 20) | (1u << 19) | ((id & 0x3FFFFu) << 1);
}

}  // namespace velqor
