#include "Picture.h"

#include <QImageReader>

namespace Picture {

QImage load(const QString& path) {
    if (path.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace Picture
