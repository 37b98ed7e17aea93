#include "PhotoViewer.h"

#include "Artwork.h"

PhotoViewer::PhotoViewer(QWidget* parent) : QWidget(parent) {
    m_ui.setupUi(this);
    setMinimumSize(size());
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/15-foto.svg")));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
}

void PhotoViewer::showPicture(const QImage& picture) {
    m_ui.Picture1->setImage(picture);
}
