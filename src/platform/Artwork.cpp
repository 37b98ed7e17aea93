#include "Artwork.h"

#include "ProgramFolder.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// Outside any namespace, as the resource macro requires.
static void initialiseVelmoraResources() {
    Q_INIT_RESOURCE(velmora);
}

namespace Artwork {

void initialise() {
    static const bool done = [] {
        initialiseVelmoraResources();
        return true;
    }();
    Q_UNUSED(done);
}

QIcon icon(const QString& resource) {
    QSvgRenderer renderer(resource);
    QIcon result;
    for (const int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

QImage picture(const QString& resource) {
    QSvgRenderer renderer(resource);
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QImage defaultBackgroundFor(const QString& programFolder) {
    if (const QString shipped = ProgramFolder::findShared(programFolder, QStringLiteral("sfondo.svg")); !shipped.isEmpty())
        if (const QImage image = picture(shipped); !image.isNull())
            return image;
    initialise();
    return picture(defaultBackground);
}

} // namespace Artwork
