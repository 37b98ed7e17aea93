#include "platform/gui/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setImage(const QImage& image) {
    m_image = image;
    m_problem.clear();
    m_reason.clear();
    update();
}

bool PictureBox::showFile(const QString& path) {
    show(Picture::read(path));
    return !m_image.isNull();
}

void PictureBox::show(const Picture::Loaded& loaded) {
    setImage(loaded.image);
    m_problem = loaded.problem;
    m_reason = loaded.reason;
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_image.isNull()) {
        if (!m_reason.isEmpty())
            painter.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap,
                             QStringLiteral("Immagine non disponibile: %1.").arg(m_reason));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    m_pressed = false;
    event->accept();
}
