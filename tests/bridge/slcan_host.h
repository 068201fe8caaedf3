#pragma once
// The host's end of the bridge's pseudo-terminal, as a serial program opens it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

namespace velqor::testing {

struct SlcanHost {
  explicit SlcanHost(const std::string& path)
      : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    EXPECT_GE(fd, 0) << path;
  }
  ~SlcanHost() {
    if (fd >= 0) ::close(fd);
  }
  SlcanHost(const SlcanHost&) = delete;
  SlcanHost& operator=(const SlcanHost&) = delete;

  void Write(const std::string& text) const {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Reads until `done` holds for what came so far, or 10 s passed; returns what came.
  std::string ReadUntil(const std::function<bool(const std::string&)>& done) const {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done(got) && std::chrono::steady_clock::now() < deadline) {
      pollfd p = {fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char buffer[65536];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  std::string Read(std::size_t count) const {
    return ReadUntil([count](const std::string& s) { return s.size() >= count; });
  }

  int fd = -1;
};

}  // namespace velqor::testing
