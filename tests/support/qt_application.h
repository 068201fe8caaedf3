#pragma once
// A Qt application object for the widget tests of one test program: include this header in
// exactly one source of the program and write VELQOR_QT_TEST_APPLICATION(AppClass).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace velqor::test {

template <typename App>
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "velqor-test";
    static char* argv[] = {name, nullptr};
    m_app = std::make_unique<App>(argc, argv);
  }
  void TearDown() override { m_app.reset(); }

 private:
  std::unique_ptr<App> m_app;
};

// Runs the event loop until `done` holds or `timeoutMs` passed; returns `done()`. The bound
// is only there so that a fault fails instead of hanging.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

inline void ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace velqor::test

#define VELQOR_QT_TEST_APPLICATION(App)                                              \
  static ::testing::Environment* const velqor_qt_test_environment [[maybe_unused]] = \
      ::testing::AddGlobalTestEnvironment(new ::velqor::test::QtApplicationEnvironment<App>)
