#include "properties/PhotoViewer.h"

#include "platform/gui/Artwork.h"
#include "ui_PhotoViewer.h"

PhotoViewer::PhotoViewer(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui::PhotoViewer>()) {
    m_ui->setupUi(this);
    setMinimumSize(size());
    setWindowIcon(Artwork::icon(QStringLiteral(":/icons/15-foto.svg")));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white); // the reason a picture is missing
    setPalette(black);
    setAutoFillBackground(true);
}

PhotoViewer::~PhotoViewer() = default;

void PhotoViewer::showPicture(const Picture::Loaded& loaded) {
    m_ui->Picture1->show(loaded);
}

const QImage& PhotoViewer::picture() const {
    return m_ui->Picture1->image();
}

const QString& PhotoViewer::problem() const {
    return m_ui->Picture1->problem();
}
