#pragma once

class QString;
class QWidget;

// Where windows that other windows open appear: as children of the frame window,
// restored to normal size and in front with the focus.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual void showChild(QWidget* window) = 0;
    // A line about work the program does by itself while the user goes on working, with
    // a longer explanation; it is shown while it is told again every few seconds, and an
    // empty text takes it away at once.
    virtual void showWork(const QString& text, const QString& detail) {
        (void)text;
        (void)detail;
    }
};
