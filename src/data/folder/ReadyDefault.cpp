#include "data/folder/ReadyDefault.h"

#include "data/folder/ProgramSettings.h"
#include "data/folder/ReportFiles.h"
#include "data/store/Database.h"

#include <QDir>
#include <QFileInfo>

namespace ReadyDefault {

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
    if (const Result saved = settings.saveDatabasePath(database); !saved)
        return saved;
    if (made)
        *made = true;
    return Result::success();
}

} // namespace ReadyDefault
