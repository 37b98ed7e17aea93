#include "data/postgres/PostgresArchive.h"

#include "data/vocabulary/Schema.h"
#include "platform/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QUuid>
#include <cstdio>
#include <optional>

namespace {

// How a temporary copy is named beside its destination until it takes its place; one cut
// short (the program killed) is known by it and removed later (DatabaseFile::removeStaleCopies).
const QString temporaryMark = QStringLiteral(".velmora-");

QString milliseconds(std::chrono::milliseconds value) {
    return QString::number(value.count()) + QStringLiteral("ms");
}

// The entries of an archive's table of contents ("216; 1259 16469 TABLE public immobile
// velmora"), or nothing when pg_restore cannot read it.
std::optional<QStringList> contents(const QString& archive, const PostgresTools& tools, PostgresTools::Run& run) {
    run = tools.run(QStringLiteral("pg_restore"), {QStringLiteral("--list"), archive});
    if (run.end != PostgresTools::Run::End::Finished)
        return std::nullopt;
    QStringList entries;
    for (const QString& line : QString::fromUtf8(run.output).split(QLatin1Char('\n')))
        if (!line.isEmpty() && !line.startsWith(QLatin1Char(';')))
            entries << line;
    return entries;
}

// Which incarnation of the property table the database holds: a restore drops the table
// and makes it anew, so a different answer after a run cut off means the restore was
// committed all the same. Nothing when the server cannot be asked.
std::optional<QString> tableIdentity(const DatabaseLocation& location) {
    const std::optional<QVariant> identity = PostgresTools::askServer(
        location, QStringLiteral("SELECT coalesce(to_regclass('public.immobile')::oid::text, '')"));
    return identity ? std::optional<QString>(identity->toString()) : std::nullopt;
}

} // namespace

namespace PostgresArchive {

bool looksLikeArchive(const QString& path) {
    if (!RegularFile::problem(path).isEmpty())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(5) == "PGDMP";
}

Result write(const DatabaseLocation& location, const QString& destination, const PostgresTools& tools,
             Progress* progress) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile salvare il database «%1» nel file «%2»: %3.")
                                   .arg(location.text(), destination, reason));
    };
    const QString program = QStringLiteral("pg_dump");
    if (const Result present = tools.require({program}); !present)
        return failure(present.message());

    QTemporaryFile temporary(destination + temporaryMark + QStringLiteral("XXXXXX"));
    if (!temporary.open())
        return failure(
            QStringLiteral("non si può creare un file nella cartella «%1»").arg(QFileInfo(destination).absolutePath()));
    temporary.close();
    const QString temporaryPath = temporary.fileName();

    // One consistent state of the database, whatever the other desks write meanwhile.
    const QStringList arguments = QStringList{QStringLiteral("--format=custom"),
                                              QStringLiteral("--file=") + temporaryPath, QStringLiteral("--verbose"),
                                              QStringLiteral("--lock-wait-timeout=") + milliseconds(tools.lockWait())} +
                                  PostgresTools::connectionOptions(location);
    const PostgresTools::Run run = tools.run(
        program, arguments, progress, QRegularExpression(QStringLiteral("dumping contents of table")), 0, &location);
    if (run.end == PostgresTools::Run::End::Stopped)
        return Result::userCancelled();
    if (run.end != PostgresTools::Run::End::Finished)
        return failure(tools.describe(run, program, location));

    // The copy takes the destination's mode before it takes its place: never readable by
    // others for a moment.
    QFile::setPermissions(temporaryPath, RegularFile::modeReplacing(destination));
    // rename() replaces the destination in one step: never half a backup.
    if (std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(destination).constData()) != 0)
        return failure(QFileInfo(destination).isDir() ? QStringLiteral("al suo posto c'è una cartella")
                                                      : QStringLiteral("il file non può essere sostituito"));
    temporary.setAutoRemove(false);
    return Result::success();
}

Result check(const QString& path, const PostgresTools& tools) {
    const auto refused = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Il file «%1» non è un backup utilizzabile: %2.").arg(path, reason));
    };
    if (const QString problem = RegularFile::problem(path); !problem.isEmpty())
        return refused(QStringLiteral("il file ") + problem);
    if (!looksLikeArchive(path))
        return refused(QStringLiteral("non è un backup di un database PostgreSQL fatto con pg_dump"));
    const QString program = QStringLiteral("pg_restore");
    if (const Result present = tools.require({program}); !present)
        return refused(present.message());

    PostgresTools::Run run;
    const std::optional<QStringList> entries = contents(path, tools, run);
    if (!entries) {
        const QString why = tools.describe(run, program, DatabaseLocation());
        return refused(run.end == PostgresTools::Run::End::Failed ? QStringLiteral("il file è danneggiato") : why);
    }
    for (const Schema::Table& table : Schema::tables()) {
        const QRegularExpression made(QStringLiteral("^\\d+; \\d+ \\d+ TABLE public %1 ").arg(table.name));
        const QRegularExpression filled(QStringLiteral("^\\d+; \\d+ \\d+ TABLE DATA public %1 ").arg(table.name));
        if (entries->filter(made).isEmpty() || entries->filter(filled).isEmpty())
            return refused(QStringLiteral("non contiene la tabella «%1» dell'archivio dell'ufficio").arg(table.name));
    }

    // The whole archive read through, as a restore would read it: a file cut short or
    // damaged after its table of contents is found here, not half-way through a restore.
    const PostgresTools::Run whole =
        tools.run(program, {QStringLiteral("--file=") + QStringLiteral("/dev/null"), path});
    if (whole.end == PostgresTools::Run::End::Failed)
        return refused(QStringLiteral("il file è danneggiato o incompleto"));
    if (whole.end != PostgresTools::Run::End::Finished)
        return refused(tools.describe(whole, program, DatabaseLocation()));
    return Result::success();
}

Result restore(const QString& archive, const DatabaseLocation& location, const PostgresTools& tools,
               Progress* progress) {
    const auto failure = [&](const QString& reason) {
        return Result::failure(QStringLiteral("Impossibile ripristinare «%1» nel database «%2»: %3.")
                                   .arg(archive, location.text(), reason));
    };
    const QString program = QStringLiteral("pg_restore");
    if (const Result present = tools.require({program}); !present)
        return failure(present.message());
    PostgresTools::Run listed;
    const std::optional<QStringList> entries = contents(archive, tools, listed);
    if (!entries)
        return failure(tools.describe(listed, program, location));

    const std::optional<QString> before = tableIdentity(location);
    // Each entry is dropped, then made again; all of it in one transaction, which the
    // server undoes whole when anything fails or the connection is cut.
    const QStringList arguments =
        QStringList{QStringLiteral("--clean"), QStringLiteral("--if-exists"), QStringLiteral("--single-transaction"),
                    QStringLiteral("--no-owner"), QStringLiteral("--verbose")} +
        PostgresTools::connectionOptions(location) + QStringList{archive};
    const PostgresTools::Run run =
        tools.run(program, arguments, progress,
                  QRegularExpression(QStringLiteral("^pg_restore: (creating|processing|dropping|executing) ")),
                  entries->size() * 2, &location);
    if (run.end == PostgresTools::Run::End::Finished)
        return Result::success();
    // Cut off at the very end, the transaction may have been committed all the same.
    if (const std::optional<QString> after = tableIdentity(location); before && after && *before != *after)
        return Result::success();
    if (run.end == PostgresTools::Run::End::Stopped)
        return Result::userCancelled();
    return failure(tools.describe(run, program, location));
}

} // namespace PostgresArchive
