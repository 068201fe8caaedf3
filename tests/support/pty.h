#pragma once
// A pseudo-terminal a test owns: the code under test opens `slave`, the test writes to and
// reads from `master`.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace velqor::testing {

struct Pty {
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(::grantpt(master), 0);
    EXPECT_EQ(::unlockpt(master), 0);
    char name[128];
    EXPECT_EQ(::ptsname_r(master, name, sizeof name), 0);
    slave = name;
  }
  ~Pty() { CloseMaster(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void Write(const std::vector<std::uint8_t>& bytes) const {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads until `count` bytes came or 5 s passed.
  std::vector<std::uint8_t> Read(std::size_t count) const {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd fd = {master, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) continue;
      std::uint8_t buffer[4096];
      const ssize_t n = ::read(master, buffer, std::min(sizeof buffer, count - out.size()));
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }
  // True once nobody has the slave open any more.
  bool SlaveClosed() const {
    pollfd fd = {master, POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP);
  }

  int master = -1;
  std::string slave;
};

}  // namespace velqor::testing
