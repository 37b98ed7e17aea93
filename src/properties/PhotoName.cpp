#include "properties/PhotoName.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace PhotoName {

QString randomName(const QString& chosenPath, QRandomGenerator& random) {
    QString name;
    for (int i = 0; i < 10; ++i)
        name += alphabet.at(static_cast<qsizetype>(random.bounded(static_cast<quint32>(alphabet.size()))));
    return name + QLatin1Char('.') + chosenPath.right(3);
}

QString unusedPath(const QString& folder, const QString& chosenPath, QRandomGenerator& random) {
    for (;;) {
        const QString path = QDir(folder).filePath(randomName(chosenPath, random));
        if (!QFileInfo::exists(path))
            return path;
    }
}

} // namespace PhotoName
