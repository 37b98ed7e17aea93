#include "app/Backup.h"

#include "data/folder/ProgramSettings.h"
#include "data/postgres/PostgresArchive.h"
#include "data/sqlite/DatabaseFile.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/files/FileCopy.h"
#include "platform/files/RegularFile.h"

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
Result keep(const QString& live, const QString& kept, Progress* progress) {
    if (DatabaseFile::check(live))
        return DatabaseFile::copy(live, kept, progress);
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

bool isSQLiteFile(const QString& path) {
    if (!RegularFile::problem(path).isEmpty())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3", 16);
}

const QString untouched = QStringLiteral("Ripristino annullato: il database non è stato toccato.");

// A restore onto the office's PostgreSQL database. The data it replaces is first saved with
// pg_dump beside the day's backups; pg_restore then works in one transaction, so a restore
// that fails or is stopped half-way leaves the database as it was.
bool restorePostgres(const Context& context, const DatabaseLocation& location, const QString& chosen,
                     const PostgresTools& tools) {
    if (isSQLiteFile(chosen)) {
        context.dialogs.message(
            QStringLiteral("Il file «%1» è il backup di un database in un file (SQLite) e non si può ripristinare nel "
                           "database PostgreSQL «%2» di questo ufficio: i dati di un file si portano sul server con "
                           "velmora-trasferisci. Il database non è stato toccato.")
                .arg(chosen, location.text()));
        return false;
    }
    if (const Result present = tools.require({QStringLiteral("pg_restore"), QStringLiteral("pg_dump")}); !present) {
        context.dialogs.message(QStringLiteral("Ripristino non eseguito: ") + present.message() + QLatin1Char('.'));
        return false;
    }

    std::unique_ptr<Progress> progress = context.dialogs.progress(QStringLiteral("Ripristino in corso…"), true);
    if (const Result usable = PostgresArchive::check(chosen, tools); !usable) {
        progress.reset();
        context.dialogs.message(usable.message() + QStringLiteral(" Il database non è stato toccato."));
        return false;
    }
    const QString kept = context.programFile(location.databaseName() + QStringLiteral("-prima-del-ripristino-") +
                                             context.clock.now().toString(QStringLiteral("yyyy-MM-dd-HHmmss")) +
                                             QStringLiteral(".bak"));
    if (const Result saved = PostgresArchive::write(location, kept, tools, progress.get()); !saved) {
        progress.reset();
        context.dialogs.message(saved.cancelled()
                                    ? untouched
                                    : QStringLiteral("Ripristino non eseguito: non è stato possibile conservare i dati "
                                                     "attuali, e il database non è stato toccato. ") +
                                          saved.message());
        return false;
    }
    const Result restored = PostgresArchive::restore(chosen, location, tools, progress.get());
    progress.reset();
    if (!restored) {
        // Nothing was replaced: the copy of the data as it stands would only puzzle.
        QFile::remove(kept);
        context.dialogs.message(restored.cancelled()
                                    ? untouched
                                    : QStringLiteral("Ripristino non eseguito: il database non è stato toccato. ") +
                                          restored.message());
        return false;
    }
    context.dialogs.message(
        QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo\n\n"
                       "I dati che c'erano prima sono conservati nel file di backup:") +
        kept);
    return true;
}

} // namespace

QString fileFor(const Context& context, const QDate& day) {
    // The regional short date without its slashes: a file name cannot hold them.
    QString date = context.regional.dateText(day);
    date.replace(QLatin1Char('/'), QLatin1Char('-'));
    return context.programFile(QStringLiteral("backup_") + date + QStringLiteral(".bak"));
}

void create(const Context& context) {
    create(context, PostgresTools::installed());
}

void create(const Context& context, const PostgresTools& tools) {
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
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(database, location); !parsed) {
        context.dialogs.message(QStringLiteral("Backup non creato. ") + parsed.message());
        return;
    }
    // A backup of a database the program refuses could never be put back.
    if (!location.isPostgres() && QFileInfo::exists(database)) {
        if (const QString problem = DatabaseFile::refusal(database); !problem.isEmpty()) {
            context.dialogs.message(
                QStringLiteral("Backup non creato: il database «%1» non si può usare: %2.").arg(database, problem));
            return;
        }
    }
    if (location.isPostgres()) {
        if (const Result present = tools.require({QStringLiteral("pg_dump")}); !present) {
            context.dialogs.message(QStringLiteral("Backup non creato: ") + present.message() + QLatin1Char('.'));
            return;
        }
    }
    std::unique_ptr<Progress> progress = context.dialogs.progress(QStringLiteral("Backup in corso…"), true);
    const Result copied = location.isPostgres() ? PostgresArchive::write(location, backup, tools, progress.get())
                                                : DatabaseFile::copy(database, backup, progress.get());
    progress.reset();
    if (copied.cancelled()) {
        context.dialogs.message(QStringLiteral("Backup annullato: non è stato scritto alcun file."));
        return;
    }
    if (!copied) {
        context.dialogs.message(QStringLiteral("Backup non creato. ") + copied.message());
        return;
    }
    context.dialogs.message(QStringLiteral("Backup creato. Il file di backup è:") + backup);
}

bool restore(const Context& context) {
    return restore(context, PostgresTools::installed());
}

bool restore(const Context& context, const PostgresTools& tools) {
    const QString chosen =
        context.dialogs.openFile(QString(), QStringLiteral("Backup (.bak)|*.bak"), context.programFolder);
    if (chosen.isEmpty())
        return false;
    DatabaseLocation location;
    if (const Result parsed = DatabaseLocation::parse(ProgramSettings(context.programFolder).databasePath(), location);
        !parsed) {
        context.dialogs.message(QStringLiteral("Ripristino non eseguito. ") + parsed.message());
        return false;
    }
    if (location.isPostgres())
        return restorePostgres(context, location, chosen, tools);
    if (PostgresArchive::looksLikeArchive(chosen)) {
        context.dialogs.message(
            QStringLiteral("Il file «%1» è il backup di un database PostgreSQL e non si può ripristinare nel database "
                           "in un file (SQLite) di questo ufficio. Il database non è stato toccato.")
                .arg(chosen));
        return false;
    }
    if (const Result usable = DatabaseFile::check(chosen); !usable) {
        context.dialogs.message(usable.message() + QStringLiteral(" Il database non è stato toccato."));
        return false;
    }

    const QString live = liveDatabase(context);
    std::unique_ptr<Progress> progress = context.dialogs.progress(QStringLiteral("Ripristino in corso…"), true);
    QString kept;
    if (QFileInfo::exists(live)) {
        kept = keptCopyOf(live, context.clock.now());
        const Result copied = keep(live, kept, progress.get());
        if (!copied)
            progress.reset();
        if (copied.cancelled()) {
            context.dialogs.message(untouched);
            return false;
        }
        if (!copied) {
            context.dialogs.message(QStringLiteral("Ripristino non eseguito: non è stato possibile conservare il database attuale. ") +
                                    copied.message());
            return false;
        }
    }
    const Result restored = DatabaseFile::restore(chosen, live, progress.get());
    progress.reset();
    if (restored.cancelled()) {
        // The copy kept for a restore that did not happen would only puzzle.
        if (!kept.isEmpty())
            QFile::remove(kept);
        context.dialogs.message(untouched);
        return false;
    }
    if (!restored) {
        // The live database stays as it was: its copy would only puzzle.
        if (!kept.isEmpty())
            QFile::remove(kept);
        context.dialogs.message(QStringLiteral("Ripristino non eseguito. ") + restored.message() +
                                QStringLiteral(" Il database non è stato toccato."));
        return false;
    }
    context.dialogs.message(QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo"));
    return true;
}

} // namespace Backup
