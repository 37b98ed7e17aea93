#include "legacy/MoveIn.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ReportFiles.h"
#include "data/folder/SettingsFile.h"
#include "data/sqlite/DatabaseFile.h"
#include "legacy/JetFile.h"
#include "legacy/LegacyConversion.h"
#include "legacy/OldFolder.h"
#include "platform/files/FileCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <tuple>

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

namespace {

// A picture path of a settings file, written on Windows, made to name the file found
// here; the old file is kept as "<name>.prima". Answers what to say, if anything.
QString settlePicture(const QString& programFolder, const QString& iniName, int line, int lines, const QString& what,
                      bool* changed = nullptr) {
    const QString iniPath = QDir(programFolder).filePath(iniName);
    const SettingsFile::Values values = SettingsFile::read(iniPath, lines);
    const QString written = values.at(line);
    if (!values.found || !OldFolder::isWindowsPath(written))
        return QString();
    const auto resolved = OldFolder::resolve(written, programFolder, programFolder, iniName, what);
    // A picture found nowhere is not told at every start: the sheet and the frame go
    // without it, as they did with a missing one.
    if (!resolved.found || resolved.path == written)
        return QString();
    QStringList rewritten = values.values;
    while (rewritten.size() < lines)
        rewritten << QString();
    rewritten[line] = resolved.path;
    if (const Result kept = keepPrevious(iniPath); !kept)
        return kept.message();
    if (const Result saved = SettingsFile::write(iniPath, rewritten); !saved)
        return saved.message();
    if (changed)
        *changed = true;
    return resolved.sentence + QStringLiteral(" %1 ora lo indica; quello di prima è in %1.prima.").arg(iniName);
}

} // namespace

Settled settleFolder(const QString& programFolder) {
    Settled settled;
    settled.said << settlePicture(programFolder, QStringLiteral("dati.ini"), 2, 4, QStringLiteral("il logo"));
    settled.said << settlePicture(programFolder, QStringLiteral("sfondo.ini"), 0, 1, QStringLiteral("lo sfondo"),
                                  &settled.backgroundChanged);
    const ProgramSettings settings(programFolder);
    const QString reports = settings.databaseFolder();
    if (QFileInfo(reports).isDir()) {
        QString aside;
        const Result set = OldFolder::setForeignReportsAside(reports, programFolder, aside);
        settled.said << (set ? aside : set.message());
    }
    settled.said.removeAll(QString());
    return settled;
}

QString unusableFound(const Found& found) {
    if (!found.exists || found.jet || found.database == found.written)
        return QString();
    const QString why = DatabaseFile::refusal(found.database);
    if (why.isEmpty())
        return QString();
    return QStringLiteral("daba.ini indica il database con il percorso di Windows «%1», ma il file trovato «%2» non è né "
                          "un archivio Access né un database di VELMORA (%3): daba.ini non è stato cambiato.")
        .arg(found.written, QDir::toNativeSeparators(found.database), why);
}

Result convertInPlace(const QString& programFolder, const Found& found, Progress* progress, ConversionReport& report,
                      Settled* settled) {
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
    // The rest of the folder as every start settles it, told in the same report.
    const Settled done = settleFolder(programFolder);
    report.notes << done.said;
    if (settled)
        *settled = done;
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
    // A refused move leaves nothing behind: the folders made for it go again.
    QString firstMade = QDir::cleanPath(newFolder);
    while (!QFileInfo::exists(QFileInfo(firstMade).absolutePath()))
        firstMade = QFileInfo(firstMade).absolutePath();
    const bool madeHere = !QFileInfo::exists(firstMade);
    const auto unmake = [&] {
        if (!madeHere)
            return;
        for (QString folder = QDir::cleanPath(newFolder); folder.size() >= firstMade.size();
             folder = QFileInfo(folder).absolutePath())
            if (!QDir().rmdir(folder))
                break;
    };
    if (!QDir().mkpath(newFolder)) {
        unmake();
        return Result::failure(QStringLiteral("La nuova cartella «%1» non si può creare.").arg(newFolder));
    }

    const QString database = target.filePath(QStringLiteral("daba.mdb"));
    const QString oldPhotos = photoFolderBeside(found.database);
    LegacyConversion::Options options;
    options.photoFolder = oldPhotos;
    options.photoTarget = target.filePath(QStringLiteral("foto"));
    options.progress = progress;
    options.stage = stage;
    if (const Result converted = LegacyConversion::convert(found.database, database, options, report); !converted) {
        unmake();
        return converted;
    }
    if (!target.mkpath(QStringLiteral("foto")))
        return Result::failure(QStringLiteral("La cartella delle foto «%1» non si può creare.")
                                   .arg(QDir::toNativeSeparators(options.photoTarget)));
    QStringList notes;
    if (!found.sentence.isEmpty())
        notes << found.sentence;
    notes << QStringLiteral("daba.ini della nuova cartella indica il nuovo database.");

    if (stage)
        stage(QStringLiteral("Foto"));
    if (!oldPhotos.isEmpty()) {
        // Thousands of photos take a while: counted as they go. The database is in place by
        // now, so a request to stop is not taken here; the folder is finished whole.
        const QStringList names = QDir(oldPhotos).entryList(QDir::Files);
        for (qsizetype i = 0; i < names.size(); ++i) {
            copyInto(QDir(oldPhotos).filePath(names[i]), options.photoTarget, notes, true);
            std::ignore = Progress::advance(progress, i + 1, names.size());
        }
    }

    // The settings, their paths found here and their files brought along.
    const ProgramSettings oldSettings(oldFolder);
    const ProgramSettings newSettings(newFolder);
    const SheetSettings sheet = oldSettings.sheet();
    const SettingsFile::Values sheetValues = SettingsFile::read(oldSettings.sheetIniPath(), 4);
    QString logo = sheet.logoPath;
    if (!logo.trimmed().isEmpty()) {
        const auto resolved =
            OldFolder::resolve(logo, oldFolder, oldFolder, QStringLiteral("dati.ini"), QStringLiteral("il logo"));
        if (resolved.found)
            logo = copyInto(resolved.path, newFolder, notes);
        if (!resolved.sentence.isEmpty())
            notes << resolved.sentence +
                         (resolved.found ? QStringLiteral(" dati.ini della nuova cartella indica la sua copia.") : QString());
    }
    if (sheetValues.found)
        if (const Result saved = newSettings.saveSheet(sheet.heading, sheet.footer, logo, sheetValues.at(3)); !saved)
            return saved;
    QString background = oldSettings.backgroundPath();
    if (!background.trimmed().isEmpty()) {
        const auto resolved = OldFolder::resolve(background, oldFolder, oldFolder, QStringLiteral("sfondo.ini"),
                                                 QStringLiteral("lo sfondo"));
        if (resolved.found)
            background = copyInto(resolved.path, newFolder, notes);
        if (!resolved.sentence.isEmpty())
            notes << resolved.sentence +
                         (resolved.found ? QStringLiteral(" sfondo.ini della nuova cartella indica la sua copia.") : QString());
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
