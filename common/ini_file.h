#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace velqor {

// A key that could not be written. The text is the one the program has always shown:
// "<file name> に書き込めません"; the system's reason is kept apart for logs.
class SettingsWriteError : public std::runtime_error {
 public:
  SettingsWriteError(const std::filesystem::path& file, std::error_code reason);

  const std::filesystem::path& file() const { return m_file; }
  std::error_code reason() const { return m_reason; }

 private:
  std::filesystem::path m_file;
  std::error_code m_reason;
};

// A settings file read and written one key at a time (IniDocument's rules). The object holds
// only the path: each read parses the file anew, each write rewrites it at once through a
// temporary file in the same folder that is renamed over the old one, so a crash never
// leaves a half-written file and two objects on the same file (main window, terminal window)
// do not disturb each other.
//
// Reads never fail: a missing or unreadable file, section or key, or a value that is not of
// the asked type, gives the caller's default. Writes raise SettingsWriteError when the file
// cannot be written (a file without write permission, a folder that does not exist or
// cannot be written, a full disk) and leave the file as it was.
//
// readValue and writeValue are the two primitives every typed call goes through; they are
// virtual so that tests can watch the order of keys or make a given key fail.
class IniFile {
 public:
  explicit IniFile(std::filesystem::path path);
  virtual ~IniFile() = default;
  IniFile(const IniFile&) = default;
  IniFile& operator=(const IniFile&) = default;

  const std::filesystem::path& path() const { return m_path; }

  virtual std::optional<std::string> readValue(std::string_view section,
                                               std::string_view key) const;
  // Throws SettingsWriteError, or std::invalid_argument for names or values a file cannot
  // hold (see IniDocument::setValue); the file is then unchanged.
  virtual void writeValue(std::string_view section, std::string_view key, std::string_view value);

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
  std::filesystem::path m_path;
};

}  // namespace velqor
