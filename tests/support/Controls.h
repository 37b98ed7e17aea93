#pragma once

#include <QWidget>

// A window's control found by its objectName, for tests that drive the window from the
// outside; a missing control (or one of another kind) ends the test at once.
template <class T> T* control(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("the window has no control %s of the expected kind", name);
    return found;
}

// One typed member per control, named as the control: `CONTROL(QLineEdit, Text1);`
// in a struct that holds `const QWidget& m_window` first.
#define CONTROL(Type, Name) Type* const Name = control<Type>(m_window, #Name)
