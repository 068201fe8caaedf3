#pragma once
// Test helpers for components that deliver on the owner's thread through queued calls.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace velqor::testing {

// The process's QCoreApplication, made on first use (on the test's main thread).
inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "velqor-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

// Runs the event loop until `done` holds; false after `limit`, a bound only there so that a
// fault fails instead of hanging.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  App();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits, without running the event loop, until `done` holds; false after a minute.
inline bool WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace velqor::testing
