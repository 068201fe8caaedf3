#include "app/application.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <stdexcept>

#include "tests/app/test_doubles.h"

namespace velqor {
namespace {

class Throwing : public QObject {
 public:
  bool throwStd = true;
  int handled = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++handled;
    if (throwStd) throw std::runtime_error("'abc' is not a number");
    throw 42;
  }
};

TEST(VelqorApplication, AnExceptionFromAHandlerIsShownAndTheLoopCarriesOn) {
  auto* app = qobject_cast<VelqorApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  test::RecordingBoxes boxes;
  app->setMessageBoxes(&boxes);
  Throwing target;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  target.throwStd = false;
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  app->setMessageBoxes(nullptr);
  EXPECT_EQ(target.handled, 2);
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[0].text, "'abc' is not a number");
  EXPECT_EQ(boxes.shown()[0].caption, "Velqor");
  EXPECT_EQ(boxes.shown()[1].text, "");  // not a std::exception: an empty message
  EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Velqor"));
}

}  // namespace
}  // namespace velqor
