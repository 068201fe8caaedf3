#pragma once
// A window's layout as one table: each row names a control by its objectName and says what
// it is, where it sits and what it reads. ExpectControls finds each row's control under a
// root object and compares; a control moved, renamed, retyped or relabelled fails its row.
// How the window looks beyond that is for the screenshots.

#include <gtest/gtest.h>

#include <QObject>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <initializer_list>
#include <ostream>

// Readable rectangles in failure messages.
inline void PrintTo(const QRect& r, std::ostream* os) {
  *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ')';
}

namespace velqor::testing {

struct Control {
  const char* name;
  const char* className;       // the control is one (QObject::inherits)
  QRect geometry = {};         // in its parent; a null rectangle is not compared
  const char* text = nullptr;  // UTF-8; not compared when null
};

// What a control reads: a label's, button's or field's text, a group box's or menu's title,
// a combo box's current item; else its window title.
inline QString ShownText(const QObject& object) {
  for (const char* property : {"text", "title", "currentText", "windowTitle"}) {
    const QVariant value = object.property(property);
    if (value.isValid()) return value.toString();
  }
  return {};
}

inline void ExpectControl(const QObject& root, const Control& c) {
  const QObject* object = root.findChild<QObject*>(QString::fromLatin1(c.name));
  if (object == nullptr) {
    ADD_FAILURE() << c.name << " is missing";
    return;
  }
  EXPECT_TRUE(object->inherits(c.className))
      << c.name << " is a " << object->metaObject()->className() << ", not a " << c.className;
  if (!c.geometry.isNull()) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    EXPECT_EQ(widget != nullptr ? widget->geometry() : QRect(), c.geometry) << c.name;
  }
  if (c.text != nullptr) {
    EXPECT_EQ(ShownText(*object), QString::fromUtf8(c.text)) << c.name;
  }
}

inline void ExpectControls(const QObject& root, std::initializer_list<Control> controls) {
  for (const Control& c : controls) ExpectControl(root, c);
}

}  // namespace velqor::testing
