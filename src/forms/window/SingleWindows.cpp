#include "forms/window/SingleWindows.h"

QWidget* SingleWindows::get(const QString& name, const Factory& create) {
    QPointer<QWidget>& window = m_windows[name];
    if (!window && create)
        window = create();
    return window;
}

QList<QWidget*> SingleWindows::windows() const {
    QList<QWidget*> alive;
    for (const QPointer<QWidget>& window : m_windows)
        if (window)
            alive.append(window);
    return alive;
}
