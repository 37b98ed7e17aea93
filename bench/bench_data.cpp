// The data benchmark: searches, a move to the last record and memory, through the
// record source and the grid, on 10k, 100k and 1M sample properties. Each time is set
// beside the floor measured on the same file with SQLite's C API (the same search as
// a plain SELECT), as a ratio. Run it with scripts/bench.sh; it is not a test.

#include "Artwork.h"
#include "BoundGrid.h"
#include "Measure.h"
#include "ProgramSettings.h"
#include "PropertyWindow.h"
#include "SystemClock.h"
#include "SystemPrinting.h"
#include "QtDialogs.h"
#include "RecordSource.h"
#include "Regional.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

namespace {

constexpr int runs = 7;

double medianMs(const std::function<void()>& prepare, const std::function<void()>& measured) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        measured();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The same search as a plain SELECT with SQLite's own LIKE: its first page of rows.
double floorMs(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
    const double ms = medianMs([] {}, [&] {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
        sqlite3_finalize(statement);
    });
    sqlite3_close(db);
    return ms;
}

QString makeDatabase(const QString& folder, int properties) {
    return Measure::sampleDatabase(QStringLiteral("%1/immobili-%2.mdb").arg(folder).arg(properties),
                                   {"--immobili", QString::number(properties), "--richieste", "2000", "--visite", "2000", "--foto", "0"});
}

void report(const char* what, double ms, double floor) {
    std::printf("  %-34s %8.2f ms   minimo SQLite %8.2f ms   x%.1f\n", what, ms, floor, floor > 0 ? ms / floor : 0.0);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;

    QList<int> sizes = {10000, 100000, 1000000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QString::fromLocal8Bit(argv[i]).toInt();
    }
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    for (const int size : sizes)
        makeDatabase(folder, size);

    // An empty window: the grid of a source with no database, shown.
    RecordSource source(QStringLiteral("immobile"), regional);
    BoundGrid grid;
    grid.bind(source,
              {{"id", "id"}, {"Proprietario", "proprietario"}, {"Zona", "zona"}, {"Tipologia", "tipologia"},
               {"Mq", "mq"}, {"Prezzo", "prezzo"}, {"Motivo", "motivo"}},
              dialogs, false);
    grid.resize(900, 400);
    grid.show();
    QCoreApplication::processEvents();
    const long emptyWindowKb = Measure::residentKb();

    const auto shown = [&] {
        // What the user sees: the card's values and a painted grid.
        for (const char* field : {"proprietario", "telefono", "zona", "mq", "prezzo", "noteimmobile"})
            source.value(QString::fromLatin1(field));
        grid.viewport()->repaint();
    };

    for (const int size : sizes) {
        const QString path = makeDatabase(folder, size);
        if (!source.setDatabaseName(path))
            qFatal("cannot open %s", qPrintable(path));
        std::printf("\n%d immobili (%s, %.0f MB)\n", size, qPrintable(QFileInfo(path).fileName()),
                    static_cast<double>(QFileInfo(path).size()) / 1e6);

        const auto search = [&](const Query& query) {
            return medianMs([] {}, [&] {
                if (!source.setRecordSource(query) || !source.refresh())
                    qFatal("search failed");
                shown();
            });
        };
        report("ricerca 'oss' nel proprietario", search(Query::contains("immobile", "proprietario", "oss")),
               floorMs(path, "SELECT * FROM immobile WHERE proprietario LIKE '%oss%' LIMIT 128"));
        report("ricerca 'xqz' (nessun risultato)", search(Query::contains("immobile", "proprietario", "xqz")),
               floorMs(path, "SELECT * FROM immobile WHERE proprietario LIKE '%xqz%' LIMIT 128"));
        report("ricerca per criteri",
               search(Query::criteria("immobile", {"0", "Mq da"}, {"1000", "a"}, "vendita", "tipologia", "")),
               floorMs(path, "SELECT * FROM immobile WHERE mq BETWEEN 0 AND 1000 AND motivo = 'vendita' AND "
                             "tipologia LIKE '%%' LIMIT 128"));
        const double last = medianMs(
            [&] {
                if (!source.setRecordSource(Query::table("immobile")) || !source.refresh())
                    qFatal("refresh failed");
            },
            [&] {
                if (!source.moveLast())
                    qFatal("move last failed");
                shown();
            });
        report("vai all'ultimo", last, floorMs(path, "SELECT * FROM immobile ORDER BY rowid DESC LIMIT 128"));
        std::printf("  %-34s %8.1f MB sopra la finestra vuota\n", "memoria residente",
                    static_cast<double>(Measure::residentKb() - emptyWindowKb) / 1024.0);

        // A keystroke in a quick-search field of the property register, until its card,
        // photos and visits show the new first row (painted).
        QTemporaryDir programFolder;
        if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
            qFatal("cannot write daba.ini");
        SystemClock clock;
        SystemPrinting printing;
        const Context context{programFolder.path(), dialogs, clock, regional, printing};
        PropertyWindow window(context);
        window.show();
        QCoreApplication::processEvents();
        const auto keystroke = [&](const char* text) {
            return medianMs([&] { window.ui().Text16->setText(QStringLiteral("x")); },
                            [&] {
                                window.ui().Text16->setText(QString::fromLatin1(text));
                                window.repaint();
                            });
        };
        report("tasto nella ricerca veloce 'oss'", keystroke("oss"),
               floorMs(path, "SELECT * FROM immobile WHERE proprietario LIKE '%oss%' LIMIT 128"));
        report("tasto nella ricerca veloce 'xqz'", keystroke("xqz"),
               floorMs(path, "SELECT * FROM immobile WHERE proprietario LIKE '%xqz%' LIMIT 128"));
    }
    return 0;
}
