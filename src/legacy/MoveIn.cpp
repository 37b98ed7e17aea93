#include "legacy/MoveIn.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ReportFiles.h"
#include "data/folder/SettingsFile.h"
#include "legacy/JetFile.h"
#include "legacy/LegacyConversion.h"
#include "legacy/OldFolder.h"
#include "platform/files/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace MoveIn {

namespace {

const QString dabaIni = QStringLiteral("daba.ini");

// Copies a file the old settings name into the new folder, keeping its name. Photos are
// many and only pictures: a plain copy, without the wait for the disk a database copy has.
QString copyInto(const QString& file, const QString& folder, QStringList& notes, bool plain = false) {
    const QString target = QDir(folder).filePath(QFileInfo(file).fileName());
    if (QFileInfo::exists(target))
        return target;
    if (plain) {
        QFile from(file);
        QFile into(target);
        if (from.open(QIODevice::ReadOnly) && into.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray bytes = from.readAll();
            if (into.write(bytes) == bytes.size() && into.flush())
                return target;
            into.remove();
        }
        notes << QStringLiteral("La foto «%1» non si può copiare in «%2».").arg(QDir::toNativeSeparators(file), folder);
        return file;
    }
    if (const Result copied = FileCopy::copy(file, target); !copied) {
        notes << copied.message();
        return file;
    }
    return target;
}

} // namespace

Found databaseOf(const QString& programFolder) {
    Found found;
    const ProgramSettings settings(programFolder);
    found.written = settings.databasePath();
    if (found.written.trimmed().isEmpty() || settings.databaseOnServer())
        return found;
    const OldFolder::Resolved resolved =
        OldFolder::resolve(found.written, programFolder, programFolder, dabaIni, QStringLiteral("il database"));
    found.database = resolved.path;
    found.exists = resolved.found;
    found.sentence = resolved.sentence;
    found.jet = found.exists && JetFile::looksLikeJet(found.database);
    return found;
}

QString photoFolderBeside(const QString& database) {
    const QDir folder = QFileInfo(database).dir();
    for (const QString& entry : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (entry.compare(QLatin1String("foto"), Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    return QString();
}

Result keepPrevious(const QString& iniPath) {
    const QString previous = iniPath + QStringLiteral(".prima");
    if (!QFileInfo::exists(iniPath) || QFileInfo::exists(previous))
        return Result::success();
    return FileCopy::copy(iniPath, previous);
}

Result convertInPlace(const QString& programFolder, const Found& found, Progress* progress, ConversionReport& report) {
    const QString target = LegacyConversion::convertedName(found.database);
    LegacyConversion::Options options;
    options.photoFolder = photoFolderBeside(found.database);
    options.progress = progress;
    if (const Result converted = LegacyConversion::convert(found.database, target, options, report); !converted)
        return converted;
    if (!found.sentence.isEmpty())
        report.notes << found.sentence;
    const ProgramSettings settings(programFolder);
    report.notes << QStringLiteral("daba.ini ora indica il nuovo database; quello di prima è in daba.ini.prima.");
    if (const Result kept = keepPrevious(settings.databaseIniPath()); !kept)
        return kept;
    if (const Result saved = settings.saveDatabasePath(target); !saved)
        return saved;
    return report.write();
}

Result fromFolder(const QString& oldFolder, const QString& newFolder, Progress* progress,
                  const std::function<void(const QString&)>& stage, ConversionReport& report) {
    if (!QFileInfo(oldFolder).isDir())
        return Result::failure(QStringLiteral("La vecchia cartella «%1» non esiste.").arg(oldFolder));
    const QDir target(newFolder);
    if (QFileInfo::exists(target.filePath(dabaIni)) || QFileInfo::exists(target.filePath(QStringLiteral("daba.mdb"))))
        return Result::failure(QStringLiteral("La nuova cartella «%1» ha già un database: velmora-trasferisci "
                                              "--da-cartella prepara solo una cartella nuova, e non ha cambiato nulla.")
                                   .arg(newFolder));

    Found found = databaseOf(oldFolder);
    if (found.written.trimmed().isEmpty()) {
        // No daba.ini: the database is the program folder's own daba.mdb.
        found.written = QDir(oldFolder).filePath(QStringLiteral("daba.mdb"));
        found.database = OldFolder::findByName(oldFolder, QStringLiteral("daba.mdb"));
        found.exists = !found.database.isEmpty();
        found.jet = found.exists && JetFile::looksLikeJet(found.database);
    }
    if (!found.exists)
        return Result::failure(found.sentence.isEmpty()
                                   ? QStringLiteral("Il database «%1» della vecchia cartella non esiste.").arg(found.written)
                                   : found.sentence);
    if (!found.jet)
        return Result::failure(QStringLiteral("Il database «%1» della vecchia cartella non è un archivio Access (Jet).")
                                   .arg(QDir::toNativeSeparators(found.database)));
    if (!QDir().mkpath(newFolder) || !target.mkpath(QStringLiteral("foto")))
        return Result::failure(QStringLiteral("La nuova cartella «%1» non si può creare.").arg(newFolder));

    const QString database = target.filePath(QStringLiteral("daba.mdb"));
    const QString oldPhotos = photoFolderBeside(found.database);
    LegacyConversion::Options options;
    options.photoFolder = oldPhotos;
    options.photoTarget = target.filePath(QStringLiteral("foto"));
    options.progress = progress;
    options.stage = stage;
    if (const Result converted = LegacyConversion::convert(found.database, database, options, report); !converted)
        return converted;
    QStringList notes;
    if (!found.sentence.isEmpty())
        notes << found.sentence;

    if (stage)
        stage(QStringLiteral("Foto"));
    if (!oldPhotos.isEmpty())
        for (const QString& name : QDir(oldPhotos).entryList(QDir::Files))
            copyInto(QDir(oldPhotos).filePath(name), options.photoTarget, notes, true);

    // The settings, their paths found here and their files brought along.
    const ProgramSettings oldSettings(oldFolder);
    const ProgramSettings newSettings(newFolder);
    const SheetSettings sheet = oldSettings.sheet();
    const SettingsFile::Values sheetValues = SettingsFile::read(oldSettings.sheetIniPath(), 4);
    QString logo = sheet.logoPath;
    if (!logo.trimmed().isEmpty()) {
        const auto resolved =
            OldFolder::resolve(logo, oldFolder, oldFolder, QStringLiteral("dati.ini"), QStringLiteral("il logo"));
        if (!resolved.sentence.isEmpty())
            notes << resolved.sentence;
        if (resolved.found)
            logo = copyInto(resolved.path, newFolder, notes);
    }
    if (sheetValues.found)
        if (const Result saved = newSettings.saveSheet(sheet.heading, sheet.footer, logo, sheetValues.at(3)); !saved)
            return saved;
    QString background = oldSettings.backgroundPath();
    if (!background.trimmed().isEmpty()) {
        const auto resolved = OldFolder::resolve(background, oldFolder, oldFolder, QStringLiteral("sfondo.ini"),
                                                 QStringLiteral("lo sfondo"));
        if (!resolved.sentence.isEmpty())
            notes << resolved.sentence;
        if (resolved.found)
            background = copyInto(resolved.path, newFolder, notes);
        if (const Result saved = newSettings.saveBackgroundPath(background); !saved)
            return saved;
    }

    // The report files beside the old database; another engine's are kept aside.
    const QString oldReports = QFileInfo(found.database).absolutePath();
    for (const QString& name : ReportFiles::names()) {
        const QString old = OldFolder::findByName(oldReports, name);
        if (!old.isEmpty())
            (void)FileCopy::copy(old, target.filePath(name));
    }
    QString aside;
    if (const Result set = OldFolder::setForeignReportsAside(newFolder, newFolder, aside); !set)
        return set;
    if (!aside.isEmpty())
        notes << aside;
    if (const Result placed = ReportFiles::placeMissing(newFolder, newFolder); !placed)
        return placed;
    if (const Result saved = newSettings.saveDatabasePath(database); !saved)
        return saved;
    report.notes << notes;
    return report.write();
}

} // namespace MoveIn
