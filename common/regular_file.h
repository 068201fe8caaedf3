#pragma once
// Opening a file the user named (the settings file, a command script) only when it is a
// regular file. A FIFO would block the open until someone writes into it, and a device may act
// on being opened (a serial port raises its modem lines), so what the path holds is looked at
// before it is opened.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace velqor {

// Why a path that holds `mode` (st_mode) is not read as a file: "Is a directory" for a
// folder, else an error of our own whose message names what the path is ("a FIFO, not a
// regular file"). Nothing for a regular file.
std::error_code notRegularFileReason(mode_t mode);

// Opens `path` (a symbolic link is followed) read-only, close-on-exec and without blocking,
// when it is a regular file; -1 and the reason otherwise (ENOENT for a missing file). The
// caller closes the descriptor.
int openRegularFileForReading(const std::filesystem::path& path, std::error_code& reason);

// Reads everything from `fd` to its end into `out` (appended), retrying EINTR.
std::error_code readToEnd(int fd, std::string& out);

}  // namespace velqor
