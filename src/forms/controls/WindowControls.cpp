#include "forms/controls/WindowControls.h"

#include "forms/controls/FieldBinding.h"
#include "forms/controls/NavigationBar.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>
#include <limits>

namespace WindowControls {

namespace {

bool allNumbers(const QComboBox& box) {
    if (box.count() == 0)
        return false;
    for (int i = 0; i < box.count(); ++i) {
        bool number = false;
        box.itemText(i).toDouble(&number);
        if (!number)
            return false;
    }
    return true;
}

QString labelText(const QLabel& label) {
    QString text = label.text();
    text.remove(QLatin1Char('&'));
    text = text.simplified();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

// The label that names a control: its buddy, else the nearest caption of the same panel
// on its row to the left, else the nearest one just above it. Labels that show a field
// of a record are values, not captions.
const QLabel* labelFor(const QWidget& control) {
    const QWidget* panel = control.parentWidget();
    if (!panel)
        return nullptr;
    const QRect place = control.geometry();
    const QLabel* left = nullptr;
    const QLabel* above = nullptr;
    int leftGap = std::numeric_limits<int>::max();
    int aboveGap = std::numeric_limits<int>::max();
    for (QLabel* label : panel->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->buddy() == &control)
            return label;
        if (labelText(*label).isEmpty() || label->findChild<FieldBinding*>(QString(), Qt::FindDirectChildrenOnly))
            continue;
        const QRect caption = label->geometry();
        const int centre = caption.center().y();
        const int gapLeft = place.left() - caption.right();
        if (centre >= place.top() && centre <= place.bottom() && gapLeft >= -4 && gapLeft < leftGap) {
            left = label;
            leftGap = gapLeft;
        }
        const int gapAbove = place.top() - caption.bottom();
        const bool overlaps = caption.left() < place.right() && caption.right() > place.left();
        if (overlaps && gapAbove >= -4 && gapAbove <= 16 && gapAbove < aboveGap) {
            above = label;
            aboveGap = gapAbove;
        }
    }
    return left ? left : above;
}

bool takesInput(const QWidget& widget) {
    return qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QPlainTextEdit*>(&widget) ||
           qobject_cast<const QTextEdit*>(&widget) || qobject_cast<const QComboBox*>(&widget) ||
           qobject_cast<const QAbstractSpinBox*>(&widget);
}

void name(QWidget& widget, const QString& text) {
    if (widget.accessibleName().isEmpty() && !text.isEmpty())
        widget.setAccessibleName(text);
}

} // namespace

void settle(QWidget& window) {
    for (QComboBox* box : window.findChildren<QComboBox*>()) {
        box->setInsertPolicy(QComboBox::NoInsert);
        if (box->isEditable() && allNumbers(*box))
            box->setCompleter(nullptr);
    }
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        // A combo box's own line edit, a view's viewport and a drop-down's popup are parts
        // of their control.
        const QWidget* parent = widget->parentWidget();
        if (qobject_cast<const QComboBox*>(parent) || qobject_cast<const QAbstractItemView*>(parent) ||
            qobject_cast<const QAbstractSpinBox*>(parent) || widget->window() != window.window())
            continue;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            name(*button, button->text().simplified().remove(QLatin1Char('&')));
            if (button->accessibleName().isEmpty())
                name(*button, button->toolTip());
        } else if (auto* bar = qobject_cast<NavigationBar*>(widget)) {
            name(*bar, bar->caption().simplified());
        } else if (qobject_cast<QAbstractItemView*>(widget)) {
            // A grid's caption may name the list shown now ("APPUNTAMENTI DAL ..."): the
            // window's title names the grid for good.
            name(*widget, window.windowTitle().remove(QLatin1Char('-')).simplified());
        } else if (takesInput(*widget)) {
            if (const QLabel* label = labelFor(*widget))
                name(*widget, labelText(*label));
        }
    }
}

} // namespace WindowControls
