#include "canlog/blf_log.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "canlog/log_text.h"

namespace velqor {

using namespace logtext;

namespace {

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
std::uint64_t Get64(const std::uint8_t* p) {
  return std::uint64_t{Get32(p)} | std::uint64_t{Get32(p + 4)} << 32;
}
void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

bool IsSignature(const std::uint8_t* p) { return std::memcmp(p, "LOBJ", 4) == 0; }

std::string HexBytes(const std::uint8_t* p, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    AppendByte(out, p[i]);
  }
  return out;
}

// SYSTEMTIME: year, month, day of week, day, hour, minute, second, milliseconds.
void PutSystemTime(std::uint8_t* p, std::int64_t us) {
  const LocalTime t = ToLocalTime(us);
  const int fields[8] = {t.year, t.month,  t.weekday, t.day,
                         t.hour, t.minute, t.second,  t.millisecond};
  for (int i = 0; i < 8; ++i) Put16(p + 2 * i, static_cast<std::uint16_t>(fields[i]));
}

bool GetSystemTime(const std::uint8_t* p, std::int64_t& us) {
  LocalTime t;
  t.year = Get16(p);
  t.month = Get16(p + 2);
  t.day = Get16(p + 6);
  t.hour = Get16(p + 8);
  t.minute = Get16(p + 10);
  t.second = Get16(p + 12);
  t.millisecond = Get16(p + 14);
  return t.year != 0 && FromLocalTime(t, us);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Reader

BlfReader::BlfReader(const std::filesystem::path& path) : m_in(path) {
  std::uint8_t header[blf::kFileHeaderSize] = {};
  const std::size_t got = m_in.Read(header, 8);
  if (got < 8 || std::memcmp(header, "LOGG", 4) != 0) {
    m_in.FailAtOffset(
        0, "expected the signature 'LOGG' of a BLF file, found " + HexBytes(header, got));
  }
  const std::uint32_t headerSize = Get32(header + 4);
  if (headerSize < 72 || headerSize > blf::kMaxObjectSize) {
    m_in.FailAtOffset(
        4, "expected a file header size of at least 72 bytes, found " + std::to_string(headerSize));
  }
  const std::size_t fixed = std::min<std::size_t>(headerSize, blf::kFileHeaderSize) - 8;
  if (m_in.Read(header + 8, fixed) < fixed || !m_in.Skip(headerSize - 8 - fixed)) {
    m_in.FailAtOffset(m_in.Position(), "expected the rest of the " + std::to_string(headerSize) +
                                           "-byte file header, found the end of the file");
  }
  m_objectCount = Get32(header + 32);
  m_dated = GetSystemTime(header + 40, m_startUs);
  if (!m_dated) m_startUs = 0;
}

bool BlfReader::loadMore() {
  for (;;) {
    if (m_eof) return false;
    std::uint64_t offset = m_in.Position();
    std::uint8_t base[16];
    std::size_t got = m_in.Read(base, sizeof base);
    // Padding after the previous object: up to three zero bytes (its size modulo four, or up
    // to a multiple of four, as writers differ).
    std::size_t zeros = 0;
    while (zeros < got && zeros < 3 && base[zeros] == 0) ++zeros;
    if (zeros > 0) {
      std::memmove(base, base + zeros, got - zeros);
      got -= zeros;
      got += m_in.Read(base + got, sizeof base - got);
      offset += zeros;
    }
    if (got == 0) {
      m_eof = true;
      return false;
    }
    if (got < sizeof base) {
      m_truncatedBytes += got;
      m_eof = true;
      return false;
    }
    if (!IsSignature(base)) {
      m_in.FailAtOffset(offset, "expected an object signature 'LOBJ', found " + HexBytes(base, 4));
    }
    const std::uint16_t headerSize = Get16(base + 4);
    const std::uint32_t size = Get32(base + 8);
    const std::uint32_t type = Get32(base + 12);
    if (size < 16 || size > blf::kMaxObjectSize || headerSize > size) {
      m_in.FailAtOffset(
          offset, "expected an object size of 16 bytes to 8 MiB, found " + std::to_string(size));
    }
    m_object.resize(size);
    std::memcpy(m_object.data(), base, sizeof base);
    const std::size_t rest = size - sizeof base;
    const std::size_t read = m_in.Read(m_object.data() + sizeof base, rest);
    if (read < rest) {
      m_truncatedBytes += sizeof base + read;
      m_eof = true;
      return false;
    }
    if (type != blf::kLogContainer) {
      // An object outside any container: taken as it is, after what is pending.
      m_stream.erase(m_stream.begin(), m_stream.begin() + static_cast<std::ptrdiff_t>(m_pos));
      m_pos = 0;
      if (!AllZero(m_stream.data(), m_stream.size())) {
        m_truncatedBytes += m_stream.size();  // a container's object cut short
      }
      m_stream.clear();
      m_stream.insert(m_stream.end(), m_object.begin(), m_object.end());
      m_containerOffset = offset;
      return true;
    }
    if (size < 32) {
      m_in.FailAtOffset(offset,
                        "expected a container of at least 32 bytes, found " + std::to_string(size));
    }
    const std::uint16_t method = Get16(m_object.data() + 16);
    const std::uint32_t inflatedSize = Get32(m_object.data() + 24);
    const std::uint8_t* payload = m_object.data() + 32;
    const std::size_t payloadSize = size - 32;
    // Keep what is left of the previous container: an object may continue here.
    m_stream.erase(m_stream.begin(), m_stream.begin() + static_cast<std::ptrdiff_t>(m_pos));
    m_pos = 0;
    m_containerOffset = offset;
    const std::size_t kept = m_stream.size();
    if (method == 0) {
      m_stream.insert(m_stream.end(), payload, payload + payloadSize);
      return true;
    }
    if (method != 2) {
      m_in.FailAtOffset(offset + 16, "expected compression method 0 (none) or 2 (zlib), found " +
                                         std::to_string(method));
    }
    if (inflatedSize > blf::kMaxObjectSize) {
      m_in.FailAtOffset(offset + 24,
                        "expected an uncompressed container size of at most 8 MiB, found " +
                            std::to_string(inflatedSize));
    }
    m_stream.resize(kept + inflatedSize);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
    z.next_in = const_cast<Bytef*>(payload);
    z.avail_in = static_cast<uInt>(payloadSize);
    z.next_out = m_stream.data() + kept;
    z.avail_out = inflatedSize;
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = inflatedSize - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != inflatedSize) {
      m_in.FailAtOffset(offset + 32,
                        std::string("expected zlib data that inflates to the "
                                    "container's ") +
                            std::to_string(inflatedSize) + " bytes, " +
                            (rc == Z_STREAM_END ? "found " + std::to_string(produced) + " bytes"
                                                : std::string("found damaged data")));
    }
    return true;
  }
}

bool BlfReader::Next(CanFrame& frame) {
  for (;;) {
    // Find the next object in the stream; padding may leave up to 3 bytes before it.
    while (m_stream.size() - m_pos >= 16) {
      const std::uint8_t* p = m_stream.data() + m_pos;
      if (!IsSignature(p)) {
        // Padding: at least 16 bytes are held, enough to look 7 bytes ahead.
        std::size_t skip = 1;
        while (skip < 8 && !IsSignature(p + skip)) ++skip;
        if (skip == 8) {
          m_in.FailAtOffset(m_containerOffset,
                            "in the container's inflated data: expected an object signature "
                            "'LOBJ', found " +
                                HexBytes(p, 4));
        }
        m_pos += skip;
        continue;
      }
      const std::uint32_t size = Get32(p + 8);
      const std::uint32_t type = Get32(p + 12);
      const std::uint16_t headerSize = Get16(p + 4);
      if (size < 16 || size > blf::kMaxObjectSize || headerSize > size) {
        m_in.FailAtOffset(m_containerOffset,
                          "in the container's inflated data: expected an object size of 16 "
                          "bytes to 8 MiB, found " +
                              std::to_string(size));
      }
      if (m_stream.size() - m_pos < size) break;  // continues in the next container
      m_pos += size;
      if (decode(p, size, type, frame)) return true;
    }
    if (!loadMore()) {
      // Zero bytes at the end are padding; anything else is an object cut short.
      if (!AllZero(m_stream.data() + m_pos, m_stream.size() - m_pos)) {
        m_truncatedBytes += m_stream.size() - m_pos;
      }
      m_stream.clear();
      m_pos = 0;
      return false;
    }
  }
}

bool BlfReader::decode(const std::uint8_t* p, std::uint32_t size, std::uint32_t type, CanFrame& f) {
  const std::uint16_t headerSize = Get16(p + 4);
  const std::uint16_t version = Get16(p + 6);
  if (version != 1 && version != 2) return false;
  if (type != blf::kCanMessage && type != blf::kCanMessage2 && type != blf::kCanError &&
      type != blf::kCanErrorExt && type != blf::kCanFdMessage && type != blf::kCanFdMessage64) {
    return false;
  }
  if (headerSize < 32) return false;
  const std::uint32_t flags = Get32(p + 16);
  const std::uint64_t stamp = Get64(p + 24);
  // 10 us units only when the flags say exactly that, as python-can reads them.
  const std::int64_t us = flags == 1 ? static_cast<std::int64_t>(stamp) * 10
                                     : static_cast<std::int64_t>((stamp + 500) / 1000);
  const std::uint8_t* d = p + headerSize;
  const std::uint32_t payload = size - headerSize;
  f = CanFrame{};
  f.time.wallUs = m_startUs + us;
  f.time.steadyUs = f.time.wallUs;

  // What CAN_MESSAGE(2) and CAN_FD_MESSAGE share: the direction and remote flags, the DLC and
  // the identifier; at most `bytes` data bytes from `dataAt`.
  const auto canFields = [&f, d](std::size_t dataAt, std::size_t bytes) {
    const std::uint32_t id = Get32(d + 4);
    f.id = id & 0x1FFFFFFFu;
    f.ide = (id & 0x80000000u) != 0 ? 1 : 0;
    f.dlc = static_cast<std::uint8_t>(d[3] & 0x0F);
    if ((d[2] & 0x01) != 0) f.flags |= CanFrame::kTx;
    if ((d[2] & 0x80) != 0) {
      f.flags |= CanFrame::kRtr;
    } else {
      std::memcpy(f.data.data(), d + dataAt, std::min<std::size_t>(bytes, f.length()));
    }
  };
  switch (type) {
    case blf::kCanMessage:
    case blf::kCanMessage2: {
      if (payload < 16) return false;
      canFields(8, 8);
      return true;
    }
    case blf::kCanError:
    case blf::kCanErrorExt:
      f.flags = CanFrame::kError;
      f.id = 0x80;  // a bus error; the object holds no SocketCAN class
      f.dlc = 8;
      return true;
    case blf::kCanFdMessage: {
      if (payload < 20 + 8) return false;
      const std::uint8_t fdFlags = d[13];
      const std::uint8_t valid = d[14];
      if ((fdFlags & 0x01) != 0 || valid > 8) {
        ++m_fdSkipped;
        return false;
      }
      canFields(20, valid);
      return true;
    }
    case blf::kCanFdMessage64: {
      if (payload < 40) return false;
      const std::uint32_t fdFlags = Get32(d + 12);
      const std::uint8_t valid = d[2];
      if ((fdFlags & 0x1000) != 0 || valid > 8 || payload < 40u + valid) {
        ++m_fdSkipped;
        return false;
      }
      const std::uint32_t id = Get32(d + 4);
      f.id = id & 0x1FFFFFFFu;
      f.ide = (id & 0x80000000u) != 0 ? 1 : 0;
      f.dlc = static_cast<std::uint8_t>(d[1] & 0x0F);
      if (d[34] != 0) f.flags |= CanFrame::kTx;
      if ((fdFlags & 0x10) != 0) {
        f.flags |= CanFrame::kRtr;
      } else {
        std::memcpy(f.data.data(), d + 40, std::min<std::size_t>(valid, f.length()));
      }
      return true;
    }
    default:
      return false;
  }
}

std::vector<std::string> BlfReader::Notes() const {
  std::vector<std::string> notes;
  if (!m_dated) {
    notes.push_back(
        "the file header has no start time: times count from 1970-01-01 00:00 "
        "local time");
  }
  if (m_fdSkipped > 0) {
    notes.push_back(std::to_string(m_fdSkipped) +
                    " CAN FD frames skipped: the program handles classic CAN only");
  }
  if (m_truncatedBytes > 0) {
    notes.push_back("the file ends inside an object (a recording cut short?): its last " +
                    std::to_string(m_truncatedBytes) + " bytes were not read");
  }
  return notes;
}

// ---------------------------------------------------------------------------------------
// Writer

void BlfWriter::begin(LogOutput& out) {
  // A header with zero counts; rewritten at the end (and at each live flush).
  const std::uint8_t zeros[blf::kFileHeaderSize] = {};
  out.Append(std::string_view(reinterpret_cast<const char*>(zeros), sizeof zeros));
  m_container.reserve(blf::kContainerSize);
}

void BlfWriter::frame(LogOutput& out, const CanFrame& f) {
  if (!m_started) {
    m_started = true;
    m_startUs = FloorToMs(f.time.wallUs);
  }
  std::int64_t offsetUs = f.time.wallUs - m_startUs;
  if (offsetUs < 0) {
    ++m_early;
    offsetUs = 0;
  }
  m_lastUs = std::max(m_lastUs, f.time.wallUs);
  const std::uint32_t size = f.error() ? 64 : 48;
  if (m_container.size() + size > blf::kContainerSize) writeContainer(out);
  const std::size_t at = m_container.size();
  m_container.resize(at + size);
  std::uint8_t* p = m_container.data() + at;
  std::memcpy(p, "LOBJ", 4);
  Put16(p + 4, 32);  // header size: base + version 1
  Put16(p + 6, 1);
  Put32(p + 8, size);
  Put32(p + 12, f.error() ? blf::kCanErrorExt : blf::kCanMessage);
  Put32(p + 16, 2);  // time stamps in nanoseconds
  Put16(p + 20, 0);  // client index
  Put16(p + 22, 0);  // object version
  Put64(p + 24, static_cast<std::uint64_t>(offsetUs) * 1000);
  std::uint8_t* d = p + 32;
  const auto channel = static_cast<std::uint16_t>(options().channel);
  if (f.error()) {
    // channel, length, validity flags, ECC, position, DLC, reserved, frame length, id of the
    // damaged frame, extended flags, reserved, data: nothing of it is known.
    std::memset(d, 0, 32);
    Put16(d, channel);
  } else {
    Put16(d, channel);
    d[2] = static_cast<std::uint8_t>((f.tx() ? 0x01 : 0) | (f.rtr() ? 0x80 : 0));
    d[3] = f.dlc;
    Put32(d + 4, f.id | (f.extended() ? 0x80000000u : 0));
    std::memset(d + 8, 0, 8);
    if (!f.rtr()) std::memcpy(d + 8, f.data.data(), f.length());
  }
  ++m_objects;
}

void BlfWriter::writeContainer(LogOutput& out) {
  if (m_container.empty()) return;
  const int level = options().compressionLevel;
  const std::uint8_t* payload = m_container.data();
  std::size_t payloadSize = m_container.size();
  if (level != 0) {
    uLongf bound = compressBound(static_cast<uLong>(m_container.size()));
    m_compressed.resize(bound);
    if (compress2(m_compressed.data(), &bound, m_container.data(),
                  static_cast<uLong>(m_container.size()),
                  level < 0 ? Z_DEFAULT_COMPRESSION : level) != Z_OK) {
      throw LogError(LogError::Kind::Write, out.Name(), "cannot compress a container (zlib)");
    }
    payload = m_compressed.data();
    payloadSize = bound;
  }
  std::uint8_t header[32] = {};
  const auto size = static_cast<std::uint32_t>(32 + payloadSize);
  std::memcpy(header, "LOBJ", 4);
  Put16(header + 4, 16);
  Put16(header + 6, 1);
  Put32(header + 8, size);
  Put32(header + 12, blf::kLogContainer);
  Put16(header + 16, level != 0 ? 2 : 0);
  Put32(header + 24, static_cast<std::uint32_t>(m_container.size()));
  out.Append(std::string_view(reinterpret_cast<const char*>(header), sizeof header));
  out.Append(std::string_view(reinterpret_cast<const char*>(payload), payloadSize));
  // Padding after an object: its size modulo four, as Vector's library and python-can write.
  static constexpr char kZeros[4] = {};
  out.Append(std::string_view(kZeros, size % 4));
  m_uncompressedSize += 32 + m_container.size();
  m_container.clear();
}

void BlfWriter::writeHeader(LogOutput& out) {
  std::uint8_t h[blf::kFileHeaderSize] = {};
  std::memcpy(h, "LOGG", 4);
  Put32(h + 4, blf::kFileHeaderSize);
  // Application and logging library numbers as python-can writes them: files with these open
  // in Vector's tools.
  h[8] = 5;
  h[12] = 2;
  h[13] = 6;
  h[14] = 8;
  h[15] = 1;
  Put64(h + 16, out.Size());
  Put64(h + 24, m_uncompressedSize);
  Put32(h + 32, m_objects);
  if (m_started) {
    PutSystemTime(h + 40, m_startUs);
    PutSystemTime(h + 56, m_lastUs);
  }
  out.WriteAt(0, h, sizeof h);
}

void BlfWriter::flushLive(LogOutput& out) {
  writeContainer(out);
  out.Flush();
  writeHeader(out);
}

void BlfWriter::end(LogOutput& out) {
  writeContainer(out);
  out.Flush();
  writeHeader(out);
}

std::vector<std::string> BlfWriter::formatNotes() const {
  if (m_early == 0) return {};
  return {std::to_string(m_early) +
          " frames earlier than the first frame written at its time: BLF times cannot go "
          "before the start of the file"};
}

}  // namespace velqor
