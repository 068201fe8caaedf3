#pragma once
// Vector's binary trace format BLF (CANoe, CANalyzer; python-can's ".blf"). Little-endian
// throughout: a 144-byte file header ("LOGG": sizes, object count, first and last time as
// SYSTEMTIME, local time with milliseconds), then objects ("LOBJ"), normally LOG_CONTAINERs
// whose zlib-compressed payloads, taken together, are one stream of inner objects; an inner
// object may start in one container and end in the next.
//
// Read: CAN_MESSAGE (1) and CAN_MESSAGE2 (86) as frames; CAN_ERROR (2) and CAN_ERROR_EXT (73)
// as error frames (a bus error: the object holds no SocketCAN class); CAN FD objects (100,
// 101) when they carry a classic frame; object headers of version 1 and 2; time stamps in
// 10 us or 1 ns units; CAN objects outside containers. Other objects are passed over; CAN FD
// frames are skipped and counted. A file that ends inside an object keeps the frames before
// it (said in Notes(): a recording cut short).
// Written: CAN_MESSAGE and CAN_ERROR_EXT objects with nanosecond time stamps counted from the
// first frame's local time cut to the millisecond, in zlib containers of at most 128 KiB.

#include <vector>

#include "canlog/log_io.h"
#include "canlog/log_reader.h"
#include "canlog/log_writer.h"

namespace velqor {

namespace blf {
inline constexpr std::uint32_t kFileHeaderSize = 144;
inline constexpr std::uint32_t kCanMessage = 1;
inline constexpr std::uint32_t kCanError = 2;
inline constexpr std::uint32_t kLogContainer = 10;
inline constexpr std::uint32_t kCanErrorExt = 73;
inline constexpr std::uint32_t kCanMessage2 = 86;
inline constexpr std::uint32_t kCanFdMessage = 100;
inline constexpr std::uint32_t kCanFdMessage64 = 101;
inline constexpr std::uint32_t kCanFdError64 = 104;
inline constexpr std::size_t kContainerSize = 128 * 1024;  // uncompressed, at most
// Larger containers or objects are taken for damage rather than allocated (writers fill
// containers to 128 KiB), which keeps a reader's memory small whatever a file claims.
inline constexpr std::uint32_t kMaxObjectSize = 8u * 1024 * 1024;
}  // namespace blf

class BlfReader : public LogReader {
 public:
  explicit BlfReader(const std::filesystem::path& path);
  bool Next(CanFrame& frame) override;
  std::uint64_t Position() const override { return m_in.Position(); }
  std::uint64_t Size() const override { return m_in.Size(); }
  std::vector<std::string> Notes() const override;

  // From the file header.
  std::uint32_t ObjectCount() const { return m_objectCount; }
  std::int64_t StartUs() const { return m_startUs; }

 private:
  // Reads the next top-level object into m_stream (containers inflated); false at the end.
  bool loadMore();
  // The CAN object at `p` (its header included) as a frame; false for other objects.
  bool decode(const std::uint8_t* p, std::uint32_t size, std::uint32_t type, CanFrame& f);

  LogInput m_in;
  std::uint32_t m_objectCount = 0;
  std::int64_t m_startUs = 0;
  bool m_dated = true;
  std::vector<std::uint8_t> m_stream;  // inflated inner objects not yet taken
  std::size_t m_pos = 0;
  std::uint64_t m_containerOffset = 0;  // file offset of the container m_stream came from
  std::vector<std::uint8_t> m_object;   // one top-level object as read
  bool m_eof = false;
  std::uint64_t m_fdSkipped = 0;
  std::uint64_t m_truncatedBytes = 0;
};

class BlfWriter : public LogWriter {
 public:
  using LogWriter::LogWriter;

 protected:
  std::vector<std::string> formatNotes() const override;
  void begin(LogOutput& out) override;
  void frame(LogOutput& out, const CanFrame& frame) override;
  void flushLive(LogOutput& out) override;
  void end(LogOutput& out) override;

 private:
  void writeContainer(LogOutput& out);
  void writeHeader(LogOutput& out);

  std::vector<std::uint8_t> m_container;  // inner objects of the open container
  std::vector<std::uint8_t> m_compressed;
  bool m_started = false;
  std::int64_t m_startUs = 0;
  std::int64_t m_lastUs = 0;
  std::uint32_t m_objects = 0;
  std::uint64_t m_uncompressedSize = blf::kFileHeaderSize;
  std::uint64_t m_early = 0;  // frames earlier than the first, written at its time
};

}  // namespace velqor
