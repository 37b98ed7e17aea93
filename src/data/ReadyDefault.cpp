#include "ReadyDefault.h"

#include "Artwork.h"
#include "Database.h"
#include "FileCopy.h"
#include "ProgramFolder.h"
#include "ProgramSettings.h"
#include "ReportFiles.h"

#include <QDir>
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
        if (const Result copied = FileCopy::copy(Artwork::defaultBackground, background); !copied)
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

    if (const Result created = Database::create(database); !created)
        return created;
    if (const Result placed = ReportFiles::placeMissing(programFolder, programFolder); !placed)
        return placed;
    if (!QDir(programFolder).mkpath(QStringLiteral("foto")))
        return Result::failure(QStringLiteral("Impossibile creare la cartella delle foto in «%1».").arg(programFolder));
    if (const Result placed = placeBackground(programFolder, settings); !placed)
        return placed;
    if (const Result saved = settings.saveDatabasePath(database); !saved)
        return saved;
    if (made)
        *made = true;
    return Result::success();
}

} // namespace ReadyDefault
