#pragma once

class QWidget;

// What every window does to its controls once they are all built and filled.
namespace WindowControls {

// Drop-down lists keep the items they were given: Enter in an editable one never adds
// what was typed. A box whose items are all numbers (the surface bounds) completes
// nothing: the typed text is the value. Every control without an accessible name takes
// that of the label beside it or above it (or its own caption), so that screen readers
// name it as the window does.
void settle(QWidget& window);

} // namespace WindowControls
