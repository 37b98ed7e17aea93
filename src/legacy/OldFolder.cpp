#include "legacy/OldFolder.h"

#include "data/folder/ReportFiles.h"
#include "legacy/PhotoLookup.h"
#include "platform/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace OldFolder {

bool isWindowsPath(const QString& path) {
    static const QRegularExpression drive(QStringLiteral("^\\s*[A-Za-z]:"));
    return path.contains(QLatin1Char('\\')) || drive.match(path).hasMatch();
}

QString findByName(const QString& folder, const QString& name) {
    if (name.isEmpty() || folder.isEmpty())
        return QString();
    const QDir dir(folder);
    if (QFileInfo(dir.filePath(name)).isFile())
        return dir.filePath(name);
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden))
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return QString();
}

Resolved resolve(const QString& written, const QString& programFolder, const QString& iniFolder, const QString& iniName,
                 const QString& what) {
    Resolved resolved;
    resolved.path = written;
    if (!isWindowsPath(written)) {
        resolved.found = QFileInfo::exists(written);
        return resolved;
    }
    if (RegularFile::problem(written).isEmpty()) {
        resolved.found = true;
        return resolved;
    }
    const QString name = PhotoLookup::fileName(written);
    const QList<std::pair<QString, QString>> places = {
        {programFolder, QStringLiteral("nella cartella del programma")},
        {iniFolder, QStringLiteral("nella cartella di %1").arg(iniName)},
    };
    for (const auto& [folder, where] : places) {
        const QString found = findByName(folder, name);
        if (!found.isEmpty()) {
            resolved.path = found;
            resolved.found = true;
            resolved.sentence = QStringLiteral("%1 indica %2 con il percorso di Windows «%3»: uso «%4», trovato %5.")
                                    .arg(iniName, what, written, QDir::toNativeSeparators(found), where);
            return resolved;
        }
    }
    resolved.sentence = QStringLiteral("%1 indica %2 con il percorso di Windows «%3», che qui non si trova, né con il "
                                       "nome «%4» nella cartella del programma.")
                            .arg(iniName, what, written, name);
    return resolved;
}

bool isForeignReport(const QString& path) {
    QFile file(path);
    if (!RegularFile::problem(path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(8);
    static const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    return start == ole || !start.startsWith('{');
}

Result setForeignReportsAside(const QString& folder, const QString& programFolder, QString& said) {
    said.clear();
    QStringList aside;
    const QDir dir(folder);
    for (const QString& name : ReportFiles::names()) {
        const QString path = dir.filePath(name);
        if (!QFileInfo::exists(path) || !isForeignReport(path))
            continue;
        QString kept = path + QStringLiteral(".originale");
        for (int n = 2; QFileInfo::exists(kept); ++n)
            kept = path + QStringLiteral(".originale-%1").arg(n);
        if (!QFile::rename(path, kept))
            return Result::failure(QStringLiteral("Il report «%1» di un altro programma non si può mettere da parte.")
                                       .arg(QDir::toNativeSeparators(path)));
        aside << QStringLiteral("%1 (ora %2)").arg(name, QFileInfo(kept).fileName());
    }
    if (aside.isEmpty())
        return Result::success();
    if (const Result placed = ReportFiles::placeMissing(folder, programFolder); !placed)
        return placed;
    said = QStringLiteral("I report di un altro programma sono stati messi da parte e sostituiti da quelli di VELMORA: %1.")
               .arg(aside.join(QStringLiteral(", ")));
    return Result::success();
}

} // namespace OldFolder
