#include "legacy/PhotoLookup.h"

#include "platform/RegularFile.h"

#include <QDir>

PhotoLookup::PhotoLookup(const QString& photoFolder) : m_folder(photoFolder) {
    const QDir folder(photoFolder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        m_byFoldedName.insert(name.toCaseFolded(), folder.filePath(name));
}

QString PhotoLookup::fileName(const QString& path) {
    qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    // "E:LOGO.BMP" names a file of drive E's current folder.
    if (cut < 0 && path.size() > 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        cut = 1;
    return path.mid(cut + 1).trimmed();
}

QString PhotoLookup::find(const QString& stored) const {
    if (stored.trimmed().isEmpty())
        return QString();
    if (!stored.contains(QLatin1Char('\\')) && QDir::isAbsolutePath(stored) && RegularFile::problem(stored).isEmpty())
        return stored;
    const QString name = fileName(stored);
    return name.isEmpty() ? QString() : m_byFoldedName.value(name.toCaseFolded());
}
