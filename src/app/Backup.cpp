#include "Backup.h"

#include "DatabaseFile.h"
#include "FileCopy.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Backup {

namespace {

// The database the program really reads: the one daba.ini names, or daba.mdb beside
// the program when daba.ini names none.
QString liveDatabase(const Context& context) {
    const QString named = ProgramSettings(context.programFolder).databasePath();
    return named.trimmed().isEmpty() ? context.programFile(QStringLiteral("daba.mdb")) : named;
}

// Where the replaced database is kept: daba-prima-del-ripristino-2026-12-06-093015.mdb.
QString keptCopyOf(const QString& database, const QDateTime& now) {
    const QFileInfo file(database);
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    return file.dir().filePath(file.completeBaseName() + QStringLiteral("-prima-del-ripristino-") +
                               now.toString(QStringLiteral("yyyy-MM-dd-HHmmss")) + suffix);
}

// Keeps the database about to be replaced. A sound one is copied through SQLite, as one
// consistent state; one SQLite cannot read (the very case that calls for a restore) is
// kept byte for byte as it is, with the journal that may belong to it.
Result keep(const QString& live, const QString& kept) {
    if (DatabaseFile::check(live))
        return DatabaseFile::copy(live, kept);
    if (const Result asItIs = FileCopy::copy(live, kept); !asItIs)
        return asItIs;
    for (const char* sidecar : {"-journal", "-wal"}) {
        const QString companion = live + QLatin1String(sidecar);
        if (QFileInfo(companion).isFile()) {
            if (const Result withIt = FileCopy::copy(companion, kept + QLatin1String(sidecar)); !withIt) {
                QFile::remove(kept);
                return withIt;
            }
        }
    }
    return Result::success();
}

} // namespace

QString fileFor(const Context& context, const QDate& day) {
    // The regional short date without its slashes: a file name cannot hold them.
    QString date = context.regional.dateText(day);
    date.replace(QLatin1Char('/'), QLatin1Char('-'));
    return context.programFile(QStringLiteral("backup_") + date + QStringLiteral(".bak"));
}

void create(const Context& context) {
    const QString database = ProgramSettings(context.programFolder).databasePath();
    const QString backup = fileFor(context, context.clock.today());
    // What a backup cut short (the program killed) left behind goes before the next one.
    DatabaseFile::removeStaleCopies(context.programFolder);
    context.dialogs.message(
        QStringLiteral("Addicurarsi di non aver il database aperto. Chiudere tutte le finestre del programma."));
    if (database.trimmed().isEmpty()) {
        context.dialogs.message(QStringLiteral("Backup non creato: il file daba.ini non indica alcun database."));
        return;
    }
    if (const Result copied = DatabaseFile::copy(database, backup); !copied) {
        context.dialogs.message(QStringLiteral("Backup non creato. ") + copied.message());
        return;
    }
    context.dialogs.message(QStringLiteral("Backup creato. Il file di backup è:") + backup);
}

bool restore(const Context& context) {
    const QString chosen =
        context.dialogs.openFile(QString(), QStringLiteral("Backup (.bak)|*.bak"), context.programFolder);
    if (chosen.isEmpty())
        return false;
    if (const Result usable = DatabaseFile::check(chosen); !usable) {
        context.dialogs.message(usable.message() + QStringLiteral(" Il database non è stato toccato."));
        return false;
    }

    const QString live = liveDatabase(context);
    if (QFileInfo::exists(live)) {
        const QString kept = keptCopyOf(live, context.clock.now());
        if (const Result copied = keep(live, kept); !copied) {
            context.dialogs.message(QStringLiteral("Ripristino non eseguito: non è stato possibile conservare il database attuale. ") +
                                    copied.message());
            return false;
        }
    }
    if (const Result restored = DatabaseFile::restore(chosen, live); !restored) {
        context.dialogs.message(QStringLiteral("Ripristino non eseguito. ") + restored.message());
        return false;
    }
    context.dialogs.message(QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo"));
    return true;
}

} // namespace Backup
