#pragma once

#include <QWidget>

class Dialogs;
class QLabel;
class QToolButton;
class RecordSource;

// The arrows of a record source (first, previous, next, last) with its caption.
// A move the source refuses (an edit it cannot write) is explained to the user.
// Given Qt::TabFocus (for a source with no grid), the bar takes the focus with Tab,
// its caption highlighted, and moves with Home and End, the arrows, Page Up / Down.
class NavigationBar : public QWidget {
    Q_OBJECT
public:
    explicit NavigationBar(QWidget* parent = nullptr);

    void bind(RecordSource& source, Dialogs& dialogs);
    void setCaption(const QString& caption);
    QString caption() const;

    QToolButton* firstButton() const { return m_first; }
    QToolButton* previousButton() const { return m_previous; }
    QToolButton* nextButton() const { return m_next; }
    QToolButton* lastButton() const { return m_last; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showFocus(bool focused);

    QToolButton* m_first;
    QToolButton* m_previous;
    QToolButton* m_next;
    QToolButton* m_last;
    QLabel* m_caption;
};
