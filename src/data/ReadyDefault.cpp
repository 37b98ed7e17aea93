#include "ReadyDefault.h"

#include "Database.h"
#include "ProgramSettings.h"
#include "ReportFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ReadyDefault {

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
    const auto undo = [&](const Result& failed) {
        for (const QString& suffix :
             {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(database + suffix);
        for (const QString& name : std::as_const(placed))
            QFile::remove(folder.filePath(name));
        if (!hadPhotos)
            folder.rmdir(QStringLiteral("foto"));
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
    if (const Result saved = settings.saveDatabasePath(database); !saved)
        return undo(saved);
    if (made)
        *made = true;
    return Result::success();
}

} // namespace ReadyDefault
