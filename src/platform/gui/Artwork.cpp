#include "platform/gui/Artwork.h"

#include "platform/files/ProgramFolder.h"
#include "platform/Resources.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>
#include <map>
#include <memory>

namespace Artwork {

namespace {

// The sides an icon is drawn at, as a set of pixmaps would hold them.
constexpr std::array<int, 5> sides = {16, 24, 32, 48, 64};

// An icon drawn from its SVG only at the side it is first shown at (a toolbar button at
// 32, a window's frame at 16), not at every side in advance. It shows exactly what a
// QIcon holding all five drawings shows: the drawing of the smallest side not below the
// size asked for (else the largest), scaled by QIcon's own rules.
class DrawnIcon : public QIconEngine {
public:
    explicit DrawnIcon(const QString& resource) : m_resource(resource) {}

    QIconEngine* clone() const override { return new DrawnIcon(m_resource); }
    QString key() const override { return QStringLiteral("VelmoraDrawnIcon"); }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return drawn(size).pixmap(size, mode, state);
    }
    // `size` is in device pixels here.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        return drawn(size).pixmap(size / scale, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return drawn(size).actualSize(size, mode, state);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        drawn(rect.size()).paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> all;
        for (const int side : sides)
            all << QSize(side, side);
        return all;
    }
    bool isNull() override { return false; }

private:
    // The one-drawing icon of the side that suits `size`, drawn the first time it is wanted.
    const QIcon& drawn(const QSize& size) {
        const qint64 wanted = qint64(size.width()) * size.height();
        int side = sides.back();
        for (const int candidate : sides)
            if (qint64(candidate) * candidate >= wanted) {
                side = candidate;
                break;
            }
        QIcon& icon = m_drawn[side];
        if (icon.isNull()) {
            QSvgRenderer renderer(m_resource);
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            renderer.render(&painter);
            painter.end();
            icon.addPixmap(pixmap);
        }
        return icon;
    }

    QString m_resource;
    std::map<int, QIcon> m_drawn;
};

} // namespace

void initialise() {
    Resources::initialise();
}

QIcon icon(const QString& resource) {
    return QIcon(new DrawnIcon(resource));
}

QImage picture(const QString& resource) {
    // The same drawings come back on several buttons and in every window opened again.
    static QHash<QString, QImage> drawn;
    if (const auto found = drawn.constFind(resource); found != drawn.cend())
        return *found;
    QSvgRenderer renderer(resource);
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    // Only the program's own drawings are kept; a picture of the program folder may change.
    if (resource.startsWith(QLatin1Char(':')))
        drawn.insert(resource, image);
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
