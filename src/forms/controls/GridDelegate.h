#pragma once

#include <QStyledItemDelegate>

// Paints a grid's cells exactly as the style's own item delegate does, for less: a cell
// of one line of text is laid out once (twice when elided) instead of being measured,
// laid out to elide and laid out again, and asks the model for its text alone. Every
// other cell (the current cell with the focus, one being edited, text over several
// lines or with control characters) is left to the style. A grid repaints every visible
// cell at each keystroke of a quick search.
class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
