#include "SampleData.h"
#include "data/folder/ProgramSettings.h"
#include "data/folder/ReadyDefault.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/CommandLine.h"
#include "platform/files/ProgramFolder.h"
#include "platform/TerminalProgress.h"

#include <QCoreApplication>
#include <cstdio>

// velmora-esempio: fills a VELMORA database with sample data to try the program on.
int main(int argc, char* argv[]) {
    CommandLine commandLine(
        QStringLiteral("velmora-esempio"),
        QStringLiteral("Riempie un database di VELMORA con dati di esempio (immobili di Bologna, richieste, visite, notizie, "
                       "appuntamenti e foto). Senza --database usa il database indicato da daba.ini nella cartella del "
                       "programma, creandolo se manca. Gli stessi numeri e lo stesso seme danno sempre gli stessi dati. "
                       "Ctrl+C interrompe il lavoro lasciando il database com'era."));
    const QCommandLineOption folder({"c", "cartella"},
                                    "Cartella del programma (predefinita: quella di velmora-esempio se si può scrivere, "
                                    "altrimenti ~/.local/share/velmora, come per VELMORA).",
                                    "cartella");
    const QCommandLineOption database({"d", "database"},
                                      "Database da riempire: un file (creato se manca) o un database PostgreSQL "
                                      "postgresql://utente@server:porta/nome (preparato se vuoto; le foto vanno nella "
                                      "cartella del programma).",
                                      "database");
    const QCommandLineOption properties("immobili", "Quanti immobili (predefinito 200).", "n", "200");
    const QCommandLineOption requests("richieste", "Quante richieste (predefinito: metà degli immobili, max 50000).", "n");
    const QCommandLineOption visits("visite", "Quante visite (predefinito 150).", "n", "150");
    const QCommandLineOption leads("notizie", "Quante notizie (predefinito 60).", "n", "60");
    const QCommandLineOption appointments("agenda", "Quanti appuntamenti, intorno a oggi (predefinito 80).", "n", "80");
    const QCommandLineOption photos("foto", "Quante foto disegnate (predefinito 40).", "n", "40");
    const QCommandLineOption seed("seme", "Seme dei numeri casuali (predefinito 1).", "n", "1");
    for (const QCommandLineOption& option : {folder, database, properties, requests, visits, leads, appointments, photos, seed})
        commandLine.addOption(option);
    if (const auto answered = commandLine.answerHelpOrVersion(CommandLine::arguments(argc, argv)))
        return *answered;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-esempio"));
    if (const auto ended = commandLine.parse(QCoreApplication::arguments()))
        return *ended;

    const auto number = [&](const QCommandLineOption& option, const QString& fallback = {}) {
        bool ok = false;
        const QString text = commandLine.isSet(option) || fallback.isEmpty() ? commandLine.value(option) : fallback;
        const int value = text.toInt(&ok);
        if (!ok || value < 0) {
            std::fprintf(stderr, "Il valore «%s» di --%s non è un numero valido.\n", qPrintable(text),
                         qPrintable(option.names().constLast()));
            std::exit(2);
        }
        return value;
    };

    SampleSize size;
    size.properties = number(properties);
    size.requests = number(requests, QString::number(std::min(50000, std::max(1, size.properties / 2))));
    size.visits = number(visits);
    size.leads = number(leads);
    size.appointments = number(appointments);
    size.photos = number(photos);

    QString programFolder;
    if (const Result chosen =
            ProgramFolder::choose(commandLine.value(folder), QCoreApplication::applicationDirPath(), programFolder);
        !chosen) {
        std::fprintf(stderr, "%s\n", qPrintable(chosen.message()));
        return 1;
    }
    QString path = commandLine.value(database);
    if (path.isEmpty()) {
        if (const Result prepared = ReadyDefault::prepare(programFolder); !prepared) {
            std::fprintf(stderr, "%s\n", qPrintable(prepared.message()));
            return 1;
        }
        path = ProgramSettings(programFolder).databasePath();
    } else if (const Result read = DatabaseLocation::fromCommandLine(path, path); !read) {
        std::fprintf(stderr, "%s\n", qPrintable(read.message()));
        return 2;
    }

    Result filled = Result::success();
    {
        TerminalProgress progress(QStringLiteral("Righe aggiunte"), true);
        filled = SampleData::fill(path, SampleData::photoFolder(path, programFolder), size,
                                  static_cast<std::uint64_t>(number(seed)), QDate::currentDate(), &progress);
    }
    if (!filled) {
        std::fprintf(stderr, "%s\n", qPrintable(filled.message()));
        return filled.cancelled() ? 130 : 1;
    }
    std::printf("Database %s: aggiunti %d immobili, %d richieste, %d visite, %d notizie, %d appuntamenti, %d foto.\n",
                qPrintable(path), size.properties, size.requests, size.visits, size.leads, size.appointments,
                size.photos);
    return 0;
}
