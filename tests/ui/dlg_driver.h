// Driving modal dialogs from a test as a person does: wait for the window by its title, then
// press keys on whatever has the focus.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "screenshot.h"

namespace rf::testui {

// Runs act on the modal window titled title once it is open (the caller then opens it).
inline void WhenOpen(const QString& title, std::function<void(QWidget*)> act, int tries = 200) {
  QTimer::singleShot(20, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->windowTitle() == title && modal->isVisible()) {
      // Mnemonics work in the active window only; on a busy machine the server takes a moment
      // to activate it.
      modal->activateWindow();
      QApplication::setActiveWindow(modal);
      EXPECT_TRUE(QTest::qWaitForWindowActive(modal));
      act(modal);
    } else if (tries > 0) {
      WhenOpen(title, act, tries - 1);
    } else {
      ADD_FAILURE() << "no window \"" << title.toStdString() << "\" opened";
      if (modal) modal->close();
    }
  });
}

// Once a popup menu is open (the caller then opens it), walks down to its item number index
// with the arrow keys and takes it with Return.
inline void PickFromPopup(int index, int tries = 200) {
  QTimer::singleShot(20, [=] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      for (int i = 0; i <= index; ++i) QTest::keyClick(popup, Qt::Key_Down);
      QTest::keyClick(popup, Qt::Key_Return);
    } else if (tries > 0) {
      PickFromPopup(index, tries - 1);
    } else {
      ADD_FAILURE() << "no popup menu opened";
    }
  });
}

// The control that has the focus in the window on top (its own record of it, which holds even
// while the server gives the keyboard to another program's window).
inline QWidget* Focused() {
  QWidget* top = QApplication::activeModalWidget();
  return top && top->focusWidget() ? top->focusWidget() : top;
}

// A key on the focused control (mnemonics such as Alt+B reach their buttons this way).
inline void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = Focused();
  ASSERT_NE(target, nullptr);
  QTest::keyClick(target, Qt::Key(key), modifiers);
  // A mnemonic presses its button for a moment before clicking it, as the mouse would.
  if (modifiers & Qt::AltModifier) QTest::qWait(150);
}

// Replaces the focused field's text with text, as select-all and typing do.
inline void Type(const QString& text) {
  Key(Qt::Key_A, Qt::ControlModifier);
  QWidget* target = Focused();
  ASSERT_NE(target, nullptr) << "nothing has the focus to type into";
  QTest::keyClicks(target, text);
}

inline void Tab(int times = 1) {
  for (int i = 0; i < times; ++i) Key(Qt::Key_Tab);
}

inline QString NameOf(QWidget* w) {
  if (!w->accessibleName().isEmpty()) return w->accessibleName();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  return {};
}

// The visible caption or accessible name of the focused control, what a screen reader announces.
inline QString FocusName() {
  QWidget* w = Focused();
  if (!w) return {};
  const QString name = NameOf(w);
  return name.isEmpty() ? w->metaObject()->className() : name;
}

// Clicks into the visible control of window named name (its caption or accessible name).
inline void ClickInto(QWidget* window, const QString& name) {
  for (QWidget* w : window->findChildren<QWidget*>())
    if (w->isVisible() && NameOf(w) == name) {
      QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2));
      return;
    }
  ADD_FAILURE() << "no control \"" << name.toStdString() << "\"";
}

// A field of a packed record by value (a reference to it may be misaligned).
template <class T>
T Value(T field) {
  return field;
}

// A picture of the window for the documentation.
inline void Screenshot(QWidget* window, const QString& file) { SaveScreenshot(*window, file); }

}  // namespace rf::testui
