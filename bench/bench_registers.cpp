// The search fields of the leads and requests registers, on databases of 10k, 100k and
// 1M leads and of as many requests: a keystroke into "La notizia contiene" (Text6) and
// into the requests' "Nome" (Text11), a key event through the application until the
// window has repainted, for a needle found, one that matches nothing, two characters and
// wildcards. Each is measured interleaved with its floors (A B A B), 7 rounds, median and
// min-max: the trigram index looked up alone and a SIMD scan of the folded column in
// memory. Also the one-time builds and the memory over an empty window. Run it with
// scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "SearchBench.h"
#include "data/folder/ProgramSettings.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "forms/controls/BoundGrid.h"
#include "leads/LeadWindow.h"
#include "platform/Regional.h"
#include "platform/SystemClock.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"
#include "requests/RequestWindow.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <malloc.h>
#include <memory>

using namespace SearchBench;

namespace {

struct Register {
    const char* rows;  // what the sizes count, for the headings
    const char* file;  // sample database name, with the size
    const char* option; // velmora-esempio's option for the size
    const char* table;
    const char* field;
    const char* fieldName; // objectName of the search field
    const char* title;
    std::vector<Needle> needles;
};

const Register registers[] = {
    {"notizie",
     "notizie",
     "--notizie",
     "notizie",
     "notizia",
     "Text6",
     "tasto in 'La notizia contiene' (Text6)",
     {{"'vend' (trovato)", "ven", 'd'},
      {"'xqz' (nessuno)", "xq", 'z'},
      {"'xq' (2 caratteri)", "x", 'q'},
      {"'q' (1 carattere)", "", 'q'},
      {"'bil?c' (jolly)", "bil?", 'c'},
      {"'x*q' (jolly, trovato in 1 riga su 60)", "x*", 'q'},
      {"'q*x' (jolly, nessuno)", "q*", 'x'}}},
    {"richieste",
     "richieste",
     "--richieste",
     "richiesta",
     "nome",
     "Text11",
     "tasto in 'Nome' (Text11)",
     {{"'ann' (trovato)", "an", 'n'},
      {"'xqz' (nessuno)", "xq", 'z'},
      {"'xq' (2 caratteri)", "x", 'q'},
      {"'g?u' (jolly)", "g?", 'u'},
      {"'x*q' (jolly, nessuno)", "x*", 'q'}}},
};

// `fresh`: a second copy that the program never opens, kept without its index.
QString sampleDatabase(const QString& folder, const Register& r, int size, bool fresh = false) {
    QStringList options = {"--immobili", "10", "--richieste", "10", "--visite", "0", "--agenda", "10",
                           "--foto",     "0",  "--notizie",   "10"};
    options[options.indexOf(QString::fromLatin1(r.option)) + 1] = QString::number(size);
    return Measure::sampleDatabase(
        QStringLiteral("%1/%2-%3%4.mdb").arg(folder, QLatin1String(r.file)).arg(size).arg(fresh ? "-senza-indice" : ""),
        options);
}

// Typing into the register's search field while the program builds the index of a database
// it opens for the first time (a copy of one with no index): words typed and erased a key
// every 60-140 ms, with a pause of a second or two between them, for a while. Tells how
// late the program takes each key (the event loop held by a step of the build), in a word
// and after a pause, and how long until the result is painted.
void typingDuringTheBuild(const QString& folder, const Register& r, int size, const Context& context) {
    QTemporaryDir programFolder;
    const QString copy = programFolder.filePath(QStringLiteral("daba.mdb"));
    if (!QFile::copy(sampleDatabase(folder, r, size, true), copy) ||
        !ProgramSettings(programFolder.path()).saveDatabasePath(copy))
        qFatal("cannot copy the database");
    const Context here{programFolder.path(), context.dialogs, context.clock, context.regional, context.printing};
    std::unique_ptr<QWidget> window;
    if (QLatin1String(r.table) == QLatin1String("notizie"))
        window = std::make_unique<LeadWindow>(here);
    else
        window = std::make_unique<RequestWindow>(here);
    window->show();
    auto* source = window->findChild<RecordSource*>(QStringLiteral("Data1"));
    auto* input = window->findChild<QLineEdit*>(QString::fromLatin1(r.fieldName));
    SearchIndex* index = source->searchIndex();
    input->setFocus();

    const QString word = QStringLiteral("vendita");
    std::vector<double> late, lateAfterPause, painted;
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = processMs();
    int typed = 0;
    while (clock.elapsed() < 30000 && index->isBuilding()) {
        // A word is typed a key every 60-140 ms, then a pause of one or two seconds.
        const bool pause = typed % static_cast<int>(word.size()) == 0;
        const int wait = pause ? 1000 + QRandomGenerator::global()->bounded(1000)
                               : 60 + QRandomGenerator::global()->bounded(80);
        const qint64 due = clock.nsecsElapsed() + wait * 1'000'000LL;
        QEventLoop loop; // the build's slices run here, as they would between two keys
        QTimer::singleShot(wait, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        (pause ? lateAfterPause : late).push_back(static_cast<double>(clock.nsecsElapsed() - due) / 1e6);
        const int step = typed++ % (2 * static_cast<int>(word.size()));
        if (step < word.size())
            QTest::keyClick(input, word.at(step).toLatin1());
        else
            QTest::keyClick(input, Qt::Key_Backspace);
        settle(*source);
        window->repaint();
        painted.push_back(static_cast<double>(clock.nsecsElapsed() - due) / 1e6);
    }
    qint64 done = 0, total = 0;
    index->progress(done, total);
    const auto line = [](const std::vector<double>& values) {
        return QString::asprintf("mediana %.1f ms, massimo %.1f ms", Series::median(values),
                                 values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()));
    };
    std::printf("  %-36s %d tasti in %.1f s (CPU %.1f s), indice al %lld %%\n", "tasti durante la costruzione",
                typed, static_cast<double>(clock.elapsed()) / 1000.0, (processMs() - cpuStart) / 1000.0,
                total > 0 ? done * 100 / total : 100);
    std::printf("  %-36s %s\n", "  ritardo, tasti di seguito", qPrintable(line(late)));
    std::printf("  %-36s %s\n", "  ritardo, primo tasto dopo una pausa", qPrintable(line(lateAfterPause)));
    std::printf("  %-36s %s\n", "  dal tasto al risultato dipinto", qPrintable(line(painted)));
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;

    // "--costruzione" measures only the typing while the index is built, on the leads.
    QList<int> sizes = {10000, 100000, 1000000};
    bool buildOnly = false;
    QList<int> given;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--costruzione") == 0)
            buildOnly = true;
        else
            given << QString::fromLocal8Bit(argv[i]).toInt();
    }
    if (!given.isEmpty())
        sizes = given;
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);

    // An empty window: the grid of a source with no database, shown.
    RecordSource empty(QStringLiteral("notizie"), regional);
    BoundGrid grid;
    grid.bind(empty, {{"id", "id"}, {"Notizia", "notizia"}}, dialogs, false);
    grid.resize(900, 400);
    grid.show();
    QCoreApplication::processEvents();
    const long emptyWindowKb = Measure::residentKb();

    std::printf("Tempi mediani su %d prove alternate con i minimi [min-max]; 'indice' = sola ricerca nell'indice a "
                "trigrammi, 'memoria' = sola scansione SIMD (SSE2) della colonna in memoria; xN = il programma "
                "rispetto al minimo.\n",
                rounds);
    if (buildOnly) {
        SystemClock clock;
        SystemPrinting printing;
        QTemporaryDir programFolder;
        const Context context{programFolder.path(), dialogs, clock, regional, printing};
        for (const int size : sizes) {
            std::printf("\n%d %s\n", size, registers[0].rows);
            typingDuringTheBuild(folder, registers[0], size, context);
        }
        return 0;
    }
    for (const Register& r : registers) {
        for (const int size : sizes) {
            const QString path = sampleDatabase(folder, r, size);
            std::printf("\n%d %s (%s, %.0f MB)\n", size, r.rows, qPrintable(QFileInfo(path).fileName()),
                        static_cast<double>(QFileInfo(path).size()) / 1e6);
            std::shared_ptr<Database> database;
            if (!Database::open(path, database))
                qFatal("cannot open %s", qPrintable(path));
            qint64 done = 0, total = 0;
            database->searchIndex()->progress(done, total);
            if (done < total) {
                const double ms = timeMs([&] {
                    if (!database->searchIndex()->build({}))
                        qFatal("index build failed");
                });
                std::printf("  %-36s %8.0f ms (una volta sola; %.0f MB il file ora)\n", "costruzione dell'indice", ms,
                            static_cast<double>(QFileInfo(path).size()) / 1e6);
            }
            // What serves 1-2 characters and wildcards: the column in memory, or for a
            // column past the limit the map of its blocks.
            const QString table = QString::fromLatin1(r.table), field = QString::fromLatin1(r.field);
            const double columnMs = timeMs([&] { (void)database->columns()->makeNow(table, field); });
            if (database->columns()->blocks(table, field))
                std::printf("  %-36s %8.0f ms, %.1f MB (la colonna supera il limite di %d MB)\n",
                            qPrintable(QStringLiteral("mappa dei blocchi di '%1'").arg(field)), columnMs,
                            static_cast<double>(database->columns()->mapBytes()) / 1048576.0, 64);
            else
                std::printf("  %-36s %8.0f ms, %.1f MB\n", qPrintable(QStringLiteral("colonna '%1' in memoria").arg(field)),
                            columnMs, static_cast<double>(database->columns()->bytes()) / 1048576.0);

            auto floors = std::make_unique<Floors>(path, r.table, r.field);
            QTemporaryDir programFolder;
            if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
                qFatal("cannot write daba.ini");
            SystemClock clock;
            SystemPrinting printing;
            const Context context{programFolder.path(), dialogs, clock, regional, printing};
            {
                std::unique_ptr<QWidget> window;
                if (QLatin1String(r.table) == QLatin1String("notizie"))
                    window = std::make_unique<LeadWindow>(context);
                else
                    window = std::make_unique<RequestWindow>(context);
                window->show();
                QCoreApplication::processEvents();
                auto* source = window->findChild<RecordSource*>(QStringLiteral("Data1"));
                auto* input = window->findChild<QLineEdit*>(QString::fromLatin1(r.fieldName));
                if (!source || !input)
                    qFatal("the register has no Data1 or %s", r.fieldName);
                keystrokes(*window, *input, *source, *floors, r.needles, r.title);
            }
            if (QLatin1String(r.table) == QLatin1String("notizie"))
                typingDuringTheBuild(folder, r, size, context);
            // The floors' own connection and column are not the program's.
            floors.reset();
            malloc_trim(0);
            std::printf("  %-36s %8.1f MB sopra la finestra vuota (colonne in memoria: %.1f MB, mappe: %.1f MB)\n",
                        "memoria residente", static_cast<double>(Measure::residentKb() - emptyWindowKb) / 1024.0,
                        static_cast<double>(database->columns()->bytes()) / 1048576.0,
                        static_cast<double>(database->columns()->mapBytes()) / 1048576.0);
        }
    }
    return 0;
}
