#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace velqor {

// A settings file that could not be written. The first line of the text is the one the
// program has always shown, "<file name> に書き込めません"; a second line names the file that
// was to be written, in full (a symbolic link's target), and the system's reason:
//   ./Velqor.INI に書き込めません
//   /home/tech/Velqor/Velqor.INI: File too large
class SettingsWriteError : public std::runtime_error {
 public:
  // `written` is the file the text was to go to; the full path of `file` when empty.
  SettingsWriteError(const std::filesystem::path& file, std::error_code reason,
                     const std::filesystem::path& written = {});

  const std::filesystem::path& file() const { return m_file; }
  std::error_code reason() const { return m_reason; }

 private:
  std::filesystem::path m_file;
  std::error_code m_reason;
};

// A settings file read and written with the per-key rules of Windows' profile services
// (IniDocument). The object holds only the path; the file is not kept open.
//
// One key at a time: each readValue reads the file anew, each writeValue rewrites it at once,
// so two objects on the same file (main window, terminal window) do not disturb each other
// and a key written when a log file opens is on the disk at once.
//
// Many keys at a time (the main window's load and save): while a Batch of the object lives,
// its reads and writes work on one reading of the file, made at the first of them, and
// commitBatch() writes the result back once. The bytes are those the same keys written one by
// one would leave.
//
// A write goes to a temporary file in the same folder, which is synced to the disk and renamed
// over the old file, then the folder is synced: a crash leaves the old file or the new one,
// never a mix; a write that fails removes its temporary file. A symbolic
// link stays a link: the file it points to is rewritten.
//
// Only a regular file is read: a folder, a FIFO or a device at the path is looked at, not
// opened, and reads as a missing file; writing to it fails. Reads never fail: a missing or
// unreadable file, section or key, or a value that is not of the asked type, gives the
// caller's default. Writes raise SettingsWriteError when the file cannot be written (a file
// without write permission, a folder that does not exist or cannot be written, a full disk,
// the file-size limit) and leave the file as it was.
//
// readValue and writeValue are the two primitives every typed call goes through; they are
// virtual so that tests can watch the order of keys or make a given key fail.
class IniFile {
 public:
  explicit IniFile(std::filesystem::path path);
  virtual ~IniFile();
  // A copy names the same file; a batch stays with the object that opened it.
  IniFile(const IniFile& other);
  IniFile& operator=(const IniFile& other);

  const std::filesystem::path& path() const { return m_path; }

  virtual std::optional<std::string> readValue(std::string_view section,
                                               std::string_view key) const;
  // Throws SettingsWriteError, or std::invalid_argument for names or values a file cannot
  // hold (see IniDocument::setValue); the file is then unchanged. In a batch the file is
  // looked at with the first read or write and written by commitBatch().
  virtual void writeValue(std::string_view section, std::string_view key, std::string_view value);

  // Ends the batch when it goes; writes not committed by then are dropped. A batch opened while
  // one is open joins it: the same reading, and only the outermost one's commitBatch() writes
  // (so the window's load and save can wrap the settings of several sections in one).
  class [[nodiscard]] Batch {
   public:
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    friend class IniFile;
    explicit Batch(const IniFile& file);
    const IniFile& m_file;
  };
  // Opens a batch, or joins the one open.
  Batch batch() const;
  // Writes what the batch changed, once (nothing when no key was written, or inside a batch
  // that joined another); throws SettingsWriteError and leaves the file as it was. The batch
  // stays open.
  void commitBatch();

  std::string readString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  std::int32_t readInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  // An integer; anything but 0 is true.
  bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;
  double readFloat(std::string_view section, std::string_view key, double defaultValue) const;
  std::chrono::year_month_day readDate(std::string_view section, std::string_view key,
                                       std::chrono::year_month_day defaultValue) const;

  void writeString(std::string_view section, std::string_view key, std::string_view value);
  void writeInteger(std::string_view section, std::string_view key, std::int32_t value);
  void writeBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"
  void writeFloat(std::string_view section, std::string_view key, double value);
  void writeDate(std::string_view section, std::string_view key,
                 std::chrono::year_month_day value);  // yyyy/MM/dd

 private:
  struct Contents;
  struct BatchState;

  Contents load() const;
  void checkWritable(const Contents& contents) const;
  void store(const Contents& contents) const;
  Contents& batchContents() const;

  std::filesystem::path m_path;
  mutable std::unique_ptr<BatchState> m_batch;
};

}  // namespace velqor
