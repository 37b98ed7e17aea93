#include "PictureButton.h"

#include <QIcon>
#include <QMouseEvent>

PictureButton::PictureButton(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

void PictureButton::setIcon(const QIcon& icon) {
    setPixmap(icon.pixmap(size().boundedTo(QSize(32, 32)), devicePixelRatioF()));
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (m_pressed && event->button() == Qt::LeftButton && inside && isEnabled())
        emit clicked();
    m_pressed = false;
    event->accept();
}
