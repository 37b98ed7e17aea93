#include "CommandLine.h"
#include "DatabaseLocation.h"
#include "DatabaseTransfer.h"
#include "TerminalProgress.h"

#include <QCoreApplication>
#include <cstdio>

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
            "com'era. Esempio: velmora-trasferisci daba.mdb postgresql://velmora@server/ufficio"));
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
    // A file named from the shell is relative to where the command was given.
    for (QString& database : databases) {
        if (const Result read = DatabaseLocation::fromCommandLine(database, database); !read) {
            std::fprintf(stderr, "%s\n", qPrintable(read.message()));
            return 2;
        }
    }

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
