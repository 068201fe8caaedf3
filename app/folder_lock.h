#pragma once
// FolderLock: one Velqor per working folder. Two programs in one folder would overwrite each
// other's Velqor.INI at exit and race for the numbers of the day's log files; a program in
// another folder has its own of both and is left alone.
//
// The lock is an exclusive flock on the file Velqor.lock in the folder, held by an open
// descriptor for the life of the FolderLock: the kernel lets it go when the process ends in
// any way, so a crash never leaves the folder locked. The file itself stays and means
// nothing by its existence; the holder writes its process id into it, so that the next one
// can say who holds the folder.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace velqor {

class FolderLock {
 public:
  static constexpr char kFileName[] = "Velqor.lock";

  enum class Result {
    Held,         // this process holds the folder
    InUse,        // another process holds it
    Unavailable,  // no lock can be made there (a read-only folder): nothing is held
  };

  // Tries once, without waiting.
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();  // lets the folder go
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  Result result() const { return m_result; }
  // InUse: the process that holds the folder, as its lock file says (0 when it cannot tell).
  pid_t holder() const { return m_holder; }
  // InUse and Unavailable: one paragraph for the user, naming the folder and what to do.
  const std::string& message() const { return m_message; }

 private:
  int m_fd = -1;
  Result m_result = Result::Unavailable;
  pid_t m_holder = 0;
  std::string m_message;
};

}  // namespace velqor
