#include "data/folder/ReadyDefault.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ReportFiles.h"
#include "data/store/Database.h"
#include "platform/files/FileCopy.h"
#include "platform/files/ProgramFolder.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ReadyDefault {

namespace {

// A new office's first look is the program's own background: the installed picture, or the
// one built into the program placed beside the database. A folder that was already there
// keeps the plain colour it has without sfondo.ini (only a new folder comes here), and an
// sfondo.ini of the user's stays as it is.
Result placeBackground(const QString& programFolder, const ProgramSettings& settings) {
    if (QFileInfo::exists(settings.backgroundIniPath()))
        return Result::success();
    QString background = ProgramFolder::findShared(programFolder, QStringLiteral("sfondo.svg"));
    if (background.isEmpty()) {
        background = programFolder + QStringLiteral("/sfondo.svg");
        if (const Result copied = FileCopy::copy(Resources::defaultBackground, background); !copied)
            return copied;
        QFile::setPermissions(background, QFile::ReadOwner | QFile::WriteOwner);  // not the resource's read-only mode
    }
    return settings.saveBackgroundPath(background);
}

} // namespace

Result prepare(const QString& programFolder, bool* made) {
    if (made)
        *made = false;
    const ProgramSettings settings(programFolder);
    const QString database = programFolder + QStringLiteral("/daba.mdb");
    if (QFileInfo::exists(settings.databaseIniPath()) || QFileInfo::exists(database))
        return Result::success();

    // All or nothing: a database the disk could not take, or a daba.ini without its
    // database, would break every later start. What this start made goes again when a
    // step fails, and the next start tries afresh.
    const QDir folder(programFolder);
    QStringList placed;
    for (const QString& name : ReportFiles::names())
        if (!QFileInfo::exists(folder.filePath(name)))
            placed << name;
    const bool hadPhotos = QFileInfo::exists(folder.filePath(QStringLiteral("foto")));
    QStringList backgroundFiles; // sfondo.ini and the picture it names, when this start makes them
    for (const QString& file : {settings.backgroundIniPath(), folder.filePath(QStringLiteral("sfondo.svg"))})
        if (!QFileInfo::exists(file))
            backgroundFiles << file;
    const auto undo = [&](const Result& failed) {
        for (const QString& suffix :
             {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(database + suffix);
        for (const QString& name : std::as_const(placed))
            QFile::remove(folder.filePath(name));
        if (!hadPhotos)
            folder.rmdir(QStringLiteral("foto"));
        for (const QString& file : std::as_const(backgroundFiles))
            QFile::remove(file);
        return Result::failure(failed.message() +
                               QStringLiteral(" La cartella del programma è rimasta com'era: il database pronto "
                                              "all'uso sarà preparato al prossimo avvio."));
    };

    if (const Result created = Database::create(database); !created)
        return undo(created);
    if (const Result copied = ReportFiles::placeMissing(programFolder, programFolder); !copied)
        return undo(copied);
    if (!folder.mkpath(QStringLiteral("foto")))
        return undo(
            Result::failure(QStringLiteral("Impossibile creare la cartella delle foto in «%1».").arg(programFolder)));
    if (const Result placed = placeBackground(programFolder, settings); !placed)
        return undo(placed);
    if (const Result saved = settings.saveDatabasePath(database); !saved)
        return undo(saved);
    if (made)
        *made = true;
    return Result::success();
}

} // namespace ReadyDefault
