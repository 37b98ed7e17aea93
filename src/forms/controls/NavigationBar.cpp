#include "forms/controls/NavigationBar.h"

#include "data/store/RecordSource.h"
#include "platform/Dialogs.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>

namespace {

QToolButton* arrow(QWidget* parent, const QString& text, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setFixedWidth(20);
    return button;
}

} // namespace

NavigationBar::NavigationBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_first = arrow(this, QStringLiteral("|◀"), QStringLiteral("Primo"));
    m_previous = arrow(this, QStringLiteral("◀"), QStringLiteral("Precedente"));
    m_caption = new QLabel(this);
    m_caption->setFrameShape(QFrame::StyledPanel);
    m_caption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_next = arrow(this, QStringLiteral("▶"), QStringLiteral("Successivo"));
    m_last = arrow(this, QStringLiteral("▶|"), QStringLiteral("Ultimo"));
    layout->addWidget(m_first);
    layout->addWidget(m_previous);
    layout->addWidget(m_caption, 1);
    layout->addWidget(m_next);
    layout->addWidget(m_last);
    // The arrows themselves take no focus (a click leaves it in the card). The bar
    // takes it where a window asks (setFocusPolicy(Qt::TabFocus)): a record source with
    // no grid is moved with the keyboard there.
    setFocusPolicy(Qt::NoFocus);
    m_caption->setAutoFillBackground(true);
}

void NavigationBar::keyPressEvent(QKeyEvent* event) {
    QToolButton* arrow = nullptr;
    switch (event->key()) {
    case Qt::Key_Home:
        arrow = m_first;
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        arrow = m_previous;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        arrow = m_next;
        break;
    case Qt::Key_End:
        arrow = m_last;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    arrow->click();
    event->accept();
}

void NavigationBar::focusInEvent(QFocusEvent* event) {
    showFocus(true);
    QWidget::focusInEvent(event);
}

void NavigationBar::focusOutEvent(QFocusEvent* event) {
    showFocus(false);
    QWidget::focusOutEvent(event);
}

void NavigationBar::showFocus(bool focused) {
    m_caption->setBackgroundRole(focused ? QPalette::Highlight : QPalette::Window);
    m_caption->setForegroundRole(focused ? QPalette::HighlightedText : QPalette::WindowText);
}

void NavigationBar::bind(RecordSource& source, Dialogs& dialogs) {
    const auto wire = [&](QToolButton* button, Result (RecordSource::*move)()) {
        connect(button, &QToolButton::clicked, this, [&source, &dialogs, move] {
            if (const Result moved = (source.*move)(); !moved)
                dialogs.message(moved.message());
        });
    };
    wire(m_first, &RecordSource::moveFirst);
    wire(m_previous, &RecordSource::stepPrevious);
    wire(m_next, &RecordSource::stepNext);
    wire(m_last, &RecordSource::moveLast);
}

void NavigationBar::setCaption(const QString& caption) {
    m_caption->setText(caption);
}

QString NavigationBar::caption() const {
    return m_caption->text();
}
