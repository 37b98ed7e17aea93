#include "app/Workspace.h"

#include <QPaintEvent>
#include <QPainter>

Workspace::Workspace(QWidget* parent) : QMdiArea(parent) {
    setObjectName(QStringLiteral("workspace"));
    // The property sheet is a page tall: the workspace scrolls to reach all of it.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void Workspace::setPicture(const QImage& picture) {
    m_picture = picture;
    viewport()->update();
}

void Workspace::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), background());
    if (!m_picture.isNull())
        painter.drawImage(0, 0, m_picture);
}
