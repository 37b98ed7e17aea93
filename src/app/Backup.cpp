#include "Backup.h"

#include "DatabaseFile.h"
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
    context.dialogs.message(
        QStringLiteral("Addicurarsi di non aver il database aperto. Chiudere tutte le finestre del programma."));
    if (database.trimmed().isEmpty()) {
        context.dialogs.message(QStringLiteral("Backup non creato: il file daba.ini non indica alcun database."));
        return;
    }
    std::unique_ptr<Progress> progress = context.dialogs.progress(QStringLiteral("Backup in corso…"), true);
    const Result copied = DatabaseFile::copy(database, backup, progress.get());
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
    const QString chosen =
        context.dialogs.openFile(QString(), QStringLiteral("Backup (.bak)|*.bak"), context.programFolder);
    if (chosen.isEmpty())
        return false;
    if (const Result usable = DatabaseFile::check(chosen); !usable) {
        context.dialogs.message(usable.message() + QStringLiteral(" Il database non è stato toccato."));
        return false;
    }

    const QString live = liveDatabase(context);
    std::unique_ptr<Progress> progress = context.dialogs.progress(QStringLiteral("Ripristino in corso…"), true);
    const QString untouched = QStringLiteral("Ripristino annullato: il database non è stato toccato.");
    QString kept;
    if (QFileInfo(live).isFile()) {
        kept = keptCopyOf(live, context.clock.now());
        const Result copied = DatabaseFile::copy(live, kept, progress.get());
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
        context.dialogs.message(QStringLiteral("Ripristino non eseguito. ") + restored.message());
        return false;
    }
    context.dialogs.message(QStringLiteral("BACKUP RECUPERATO. Premere OK per chiudere il programma e quindi rilanciarlo"));
    return true;
}

} // namespace Backup
