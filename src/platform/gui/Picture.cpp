#include "platform/gui/Picture.h"

#include "platform/files/RegularFile.h"

#include <QFileInfo>
#include <QImageReader>

namespace Picture {

Loaded read(const QString& path, const QSize& fitWithin) {
    if (path.isEmpty())
        return {};
    const auto cannot = [&path](const QString& reason) {
        return Loaded{QImage(), QStringLiteral("L'immagine «%1» non si può mostrare: %2.").arg(path, reason), reason};
    };
    // A pipe would keep the program waiting for ever before any window shows.
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return cannot(QStringLiteral("il file ") + problem);

    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid() && fitWithin.isValid() &&
        (full.width() > fitWithin.width() || full.height() > fitWithin.height()))
        reader.setScaledSize(full.scaled(fitWithin, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull())
        return {image, QString(), QString()};
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if (full.isValid() && limit > 0 && qint64(full.width()) * full.height() * 4 > limit)
        return cannot(QStringLiteral("è troppo grande (%1 × %2 punti)").arg(full.width()).arg(full.height()));
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return cannot(QStringLiteral("il file non è un'immagine JPEG, BMP o PNG"));
    case QImageReader::InvalidDataError:
        return cannot(QStringLiteral("il file è danneggiato o incompleto"));
    case QImageReader::DeviceError:
        return cannot(QStringLiteral("il file non si può leggere"));
    default:
        break;
    }
    return cannot(QStringLiteral("il file non contiene un'immagine leggibile"));
}

QImage load(const QString& path, const QSize& fitWithin) {
    return read(path, fitWithin).image;
}

} // namespace Picture
