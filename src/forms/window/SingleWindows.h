#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// Windows that exist at most once each: a name stands for one window, created the
// first time it is asked for and again after it was closed (deleted).
class SingleWindows {
public:
    using Factory = std::function<QWidget*()>;

    // The window under the name, made by `create` when there is none; nullptr when the
    // factory makes none.
    QWidget* get(const QString& name, const Factory& create);
    // The window under the name while it exists.
    QWidget* find(const QString& name) const { return m_windows.value(name); }

    // Every window still alive, for closing them together.
    QList<QWidget*> windows() const;

private:
    QHash<QString, QPointer<QWidget>> m_windows;
};
