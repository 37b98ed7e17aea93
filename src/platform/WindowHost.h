#pragma once

class QWidget;

// Where windows that other windows open appear: as children of the frame window,
// restored to normal size and in front with the focus.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual void showChild(QWidget* window) = 0;
};
