#include "legacy/PhotoLookup.h"

#include "platform/files/RegularFile.h"

#include <QDir>
#include <QDirIterator>

PhotoLookup::PhotoLookup(const QString& photoFolder) : m_folder(photoFolder) {
    // An office may have a hundred thousand photos: their names only, read as they come.
    if (photoFolder.isEmpty())
        return;
    QDirIterator names(photoFolder, QDir::Files | QDir::Hidden);
    while (names.hasNext()) {
        names.next();
        const QString name = names.fileName();
        m_byFoldedName.insert(name.toCaseFolded(), name);
    }
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
    const QString found = name.isEmpty() ? QString() : m_byFoldedName.value(name.toCaseFolded());
    return found.isEmpty() ? QString() : QDir(m_folder).filePath(found);
}
