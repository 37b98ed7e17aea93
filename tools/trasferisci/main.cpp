#include "DatabaseTransfer.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "legacy/JetFile.h"
#include "legacy/LegacyConversion.h"
#include "legacy/MoveIn.h"
#include "platform/CommandLine.h"
#include "platform/TerminalProgress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

// Exit status of a move from an old archive that went through with something listed.
constexpr int listedStatus = 3;

int reported(const Result& done, const ConversionReport& report) {
    if (!done) {
        std::fprintf(stderr, "%s\n", qPrintable(done.message()));
        return done.cancelled() ? 130 : 1;
    }
    std::printf("%s", qPrintable(report.text(20)));
    std::printf("Il rapporto intero è in %s\n", qPrintable(report.writtenPath()));
    return report.anythingListed() ? listedStatus : 0;
}

// An old Access/Jet archive into a file (directly) or onto a server (through a file of
// its own, then the ordinary transfer).
int fromJet(const QString& jetFile, const QString& into) {
    DatabaseLocation target;
    if (const Result parsed = DatabaseLocation::parse(into, target); !parsed) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.message()));
        return 1;
    }
    ConversionReport report;
    // The progress line ends before anything else is written.
    auto progress = std::make_unique<TerminalProgress>(QStringLiteral("Conversione"), true);
    LegacyConversion::Options options;
    options.photoFolder = MoveIn::photoFolderBeside(jetFile);
    options.progress = progress.get();
    options.stage = [&progress](const QString& table) { progress->setLabel(table); };
    if (!target.isPostgres()) {
        Result done = LegacyConversion::convert(jetFile, into, options, report);
        if (done)
            done = report.write();
        progress.reset();
        return reported(done, report);
    }
    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("daba.mdb"));
    Result done = LegacyConversion::convert(jetFile, file, options, report);
    if (done)
        done = DatabaseTransfer::copy(file, into, progress.get(),
                                      [&progress](const QString& caption) { progress->setLabel(caption); });
    progress.reset();
    report.target = into;
    // The report of a server's database goes where the command was given: the old
    // archive's folder is left as it was.
    ConversionReport written = report;
    written.target = QDir::current().filePath(QFileInfo(jetFile).completeBaseName() + QStringLiteral(".mdb"));
    if (done)
        done = written.write();
    if (done)
        std::printf("%s", qPrintable(report.text(20)));
    if (done)
        std::printf("Il rapporto intero è in %s\n", qPrintable(written.writtenPath()));
    if (!done) {
        std::fprintf(stderr, "%s\n", qPrintable(done.message()));
        return done.cancelled() ? 130 : 1;
    }
    return report.anythingListed() ? listedStatus : 0;
}

} // namespace

// velmora-trasferisci: copies an office's whole database from a file onto a PostgreSQL
// server (for several desks), or from a server into a file.
int main(int argc, char* argv[]) {
    CommandLine commandLine(
        QStringLiteral("velmora-trasferisci"),
        QStringLiteral(
            "Copia tutto il database di un ufficio (immobili, richieste, visite, foto, notizie, agenda) da DA "
            "ad A. Ognuno dei due è un file (SQLite, come daba.mdb) o un database PostgreSQL "
            "postgresql://utente@server:porta/nome, come si scrive in daba.ini; la password non si scrive "
            "mai: si prende dal file ~/.pgpass. Le chiavi restano le stesse e i percorsi delle foto non "
            "cambiano. A deve essere vuoto: un file che non c'è viene creato, un database PostgreSQL vuoto "
            "riceve le sei tabelle. Tutto si scrive in una volta sola: un errore, o Ctrl+C, lascia A vuoto "
            "com'era. Esempio: velmora-trasferisci daba.mdb postgresql://velmora@server/ufficio\n"
            "DA può anche essere l'archivio Access (Jet) del vecchio programma: viene convertito, e un rapporto dice "
            "cosa è stato messo altrove. Con --da-cartella VECCHIA NUOVA si trasferisce tutta la vecchia cartella "
            "del programma (database, foto, impostazioni, report) in una nuova cartella del programma. Uscita: 0 se "
            "tutto è stato copiato com'era, 3 se il rapporto elenca qualcosa, 1 in caso di errore."));
    const QCommandLineOption fromFolder(QStringLiteral("da-cartella"),
                                        QStringLiteral("Trasferisce tutta la vecchia cartella del programma DA nella "
                                                       "nuova cartella A."));
    commandLine.addOption(fromFolder);
    commandLine.addPositional(QStringLiteral("DA"), QStringLiteral("Il database da copiare (file o indirizzo)."));
    commandLine.addPositional(QStringLiteral("A"),
                              QStringLiteral("Il database vuoto in cui copiarlo (file o indirizzo)."));
    if (const auto answered = commandLine.answerHelpOrVersion(CommandLine::arguments(argc, argv)))
        return *answered;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-trasferisci"));
    if (const auto ended = commandLine.parse(QCoreApplication::arguments()))
        return *ended;
    QStringList databases = commandLine.positionalArguments();
    if (databases.size() != 2) {
        std::fputs("Uso: velmora-trasferisci DA A\nPer l'aiuto: velmora-trasferisci --help\n", stderr);
        return 2;
    }
    if (commandLine.isSet(fromFolder)) {
        ConversionReport report;
        Result done = Result::success();
        {
            // The progress line ends before the report is written.
            TerminalProgress progress(QStringLiteral("Conversione"), true);
            done = MoveIn::fromFolder(QDir::current().absoluteFilePath(databases[0]),
                                      QDir::current().absoluteFilePath(databases[1]), &progress,
                                      [&progress](const QString& stage) { progress.setLabel(stage); }, report);
        }
        return reported(done, report);
    }
    // A file named from the shell is relative to where the command was given.
    for (QString& database : databases) {
        if (const Result read = DatabaseLocation::fromCommandLine(database, database); !read) {
            std::fprintf(stderr, "%s\n", qPrintable(read.message()));
            return 2;
        }
    }

    if (JetFile::looksLikeJet(databases[0]))
        return fromJet(databases[0], databases[1]);

    QList<DatabaseTransfer::Copied> copied;
    Result done = Result::success();
    {
        TerminalProgress progress(QStringLiteral("Copia"), true);
        done = DatabaseTransfer::copy(
            databases[0], databases[1], &progress, [&progress](const QString& caption) { progress.setLabel(caption); },
            &copied);
    }
    if (!done) {
        std::fprintf(stderr, "%s\n", qPrintable(done.message()));
        return done.cancelled() ? 130 : 1;
    }
    std::printf("Copiati da %s a %s: %s.\n", qPrintable(databases[0]), qPrintable(databases[1]),
                qPrintable(DatabaseTransfer::summary(copied)));
    return 0;
}
