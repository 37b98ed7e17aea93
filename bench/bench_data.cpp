// The data benchmark, on 10k, 100k and 1M sample properties: the quick search (found,
// missed, two characters, a wildcard) through the record source and the painted grid,
// and as a keystroke into the property register's field until the window has repainted;
// the criteria search, a move to the last record, memory. Every figure is measured
// interleaved with its floors (A B A B), 7 rounds, median and min-max. The floors of a
// search are the fastest known ways to do the same work: the trigram index looked up
// alone, and a plain SIMD scan (SSE2) of the folded column in memory. Run it with
// scripts/bench.sh; it is not a test.

#include "Artwork.h"
#include "BoundGrid.h"
#include "ColumnCache.h"
#include "Database.h"
#include "FastFind.h"
#include "LeadWindow.h"
#include "LiteralRuns.h"
#include "Measure.h"
#include "ProgramSettings.h"
#include "PropertyWindow.h"
#include "QtDialogs.h"
#include "RecordSource.h"
#include "Regional.h"
#include "SearchIndex.h"
#include "SystemClock.h"
#include "SystemPrinting.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <memory>
#include <sqlite3.h>

namespace {

constexpr int rounds = 7;

// Wall-clock and processor times of a figure's rounds. On a machine shared with other
// work the wall clock also counts the time others held the processors; the processor
// time of the process does not.
struct Series {
    std::vector<double> ms;
    std::vector<double> cpu;
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double median() const { return median(ms); }
    double cpuMedian() const { return median(cpu); }
    double min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double timeMs(const std::function<void()>& work, double* cpu = nullptr) {
    QElapsedTimer timer;
    const double cpuStart = processMs();
    timer.start();
    work();
    const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (cpu)
        *cpu = processMs() - cpuStart;
    return wall;
}

// Runs the figure and its floors in turn, round after round: A B C A B C ...
std::vector<Series> interleaved(const std::vector<std::function<void()>>& prepare,
                                const std::vector<std::function<void()>>& measured) {
    std::vector<Series> series(measured.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < measured.size(); ++i) {
            if (prepare[i])
                prepare[i]();
            double cpu = 0;
            series[i].ms.push_back(timeMs(measured[i], &cpu));
            series[i].cpu.push_back(cpu);
        }
    return series;
}

QString range(const Series& s) {
    return QString::asprintf("%7.2f ms [%.2f-%.2f] CPU %.2f", s.median(), s.min(), s.max(), s.cpuMedian());
}

QString ratio(const Series& figure, const Series& floor) {
    return QString::asprintf("%7.3f ms [%.3f-%.3f] x%.0f", floor.median(), floor.min(), floor.max(),
                             floor.median() > 0 ? figure.median() / floor.median() : 0.0);
}

QString makeDatabase(const QString& folder, int properties) {
    return Measure::sampleDatabase(
        QStringLiteral("%1/immobili-%2.mdb").arg(folder).arg(properties),
        {"--immobili", QString::number(properties), "--richieste", "2000", "--visite", "2000", "--foto", "0"});
}

// The floors of a search, on a connection of their own.
class Floors {
public:
    Floors(const QString& path, const char* table, const char* field) {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(m_db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
        m_fts = SearchIndex::ftsTable(table, field).toUtf8();
        // The column folded in one block of bytes, rows ended by 0xFF: the plain scan's best case.
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_db, QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL").arg(field, table).toUtf8(),
                           -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            m_column += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)))
                            .toCaseFolded()
                            .toUtf8()
                            .toStdString();
            m_column.push_back('\xFF');
        }
        sqlite3_finalize(statement);
    }
    ~Floors() { sqlite3_close(m_db); }

    // The trigram index alone: the first 128 candidates, unconfirmed. Empty when the
    // needle has no three plain characters.
    std::function<void()> index(const QString& needle) {
        const QByteArray match = SearchIndex::matchText(QLatin1Char('*') + needle + QLatin1Char('*')).toUtf8();
        if (match.isEmpty())
            return {};
        return [this, match] {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(m_db, "SELECT rowid FROM \"" + m_fts + "\"(?) LIMIT 128", -1, &statement, nullptr);
            sqlite3_bind_text(statement, 1, match.constData(), static_cast<int>(match.size()), SQLITE_TRANSIENT);
            while (sqlite3_step(statement) == SQLITE_ROW)
                m_rows = m_rows + 1;
            sqlite3_finalize(statement);
        };
    }

    // A SIMD scan of the folded column for the needle's longest plain run: the first 128 rows holding it.
    std::function<void()> memory(const QString& needle) {
        std::string piece;
        for (const std::u32string& run : LiteralRuns::of(QLatin1Char('*') + needle + QLatin1Char('*')))
            if (LiteralRuns::utf8(run).size() > piece.size())
                piece = LiteralRuns::utf8(run);
        return [this, piece] {
            const char* at = m_column.data();
            const char* const end = at + m_column.size();
            for (int hits = 0; hits < 128 && at < end; ++hits) {
                const char* hit = FastFind::find(at, end, piece);
                if (!hit)
                    break;
                const void* rowEnd = std::memchr(hit, '\xFF', static_cast<std::size_t>(end - hit));
                at = static_cast<const char*>(rowEnd) + 1;
            }
            m_sink = at; // so the compiler keeps the work
        };
    }

    // The same SELECT as plain SQL (for the searches the acceleration does not touch).
    std::function<void()> select(const char* sql) {
        return [this, sql] {
            sqlite3_stmt* statement = nullptr;
            sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr);
            while (sqlite3_step(statement) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(statement); ++c)
                    sqlite3_column_text(statement, c);
            sqlite3_finalize(statement);
        };
    }

    std::size_t columnBytes() const { return m_column.size(); }

private:
    sqlite3* m_db = nullptr;
    QByteArray m_fts;
    std::string m_column;
    const char* volatile m_sink = nullptr;
    volatile int m_rows = 0;
};

void settle(RecordSource& source) {
    while (source.isSearching())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

struct Needle {
    const char* what;
    const char* prefix; // in the field before the keystroke
    char key;           // the keystroke
};
// Found, missed, two characters (missed: the costliest), a wildcard, and a miss of common trigrams.
const Needle needles[] = {{"'oss' (trovato)", "os", 's'},
                          {"'xqz' (nessuno)", "xq", 'z'},
                          {"'xq' (2 caratteri)", "x", 'q'},
                          {"'ros?i' (jolly)", "ros?", 'i'},
                          // Missed, with common trigrams that meet in rows without meeting in order
                          // ("Alessandro Rossi"): the index's worst kind of needle.
                          {"'ossa' (nessuno, trigrammi comuni)", "oss", 'a'}};

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
              {{"id", "id"},
               {"Proprietario", "proprietario"},
               {"Zona", "zona"},
               {"Tipologia", "tipologia"},
               {"Mq", "mq"},
               {"Prezzo", "prezzo"},
               {"Motivo", "motivo"}},
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

    std::printf("Tempi mediani su %d prove alternate con i minimi [min-max]; 'indice' = sola ricerca nell'indice a "
                "trigrammi, 'memoria' = sola scansione SIMD (SSE2) della colonna in memoria; xN = il programma "
                "rispetto al minimo.\n",
                rounds);
    for (const int size : sizes) {
        const QString path = makeDatabase(folder, size);
        if (!source.setDatabaseName(path))
            qFatal("cannot open %s", qPrintable(path));
        std::printf("\n%d immobili (%s, %.0f MB)\n", size, qPrintable(QFileInfo(path).fileName()),
                    static_cast<double>(QFileInfo(path).size()) / 1e6);

        // The one-time index build, when this file has none yet, and the column in memory.
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
        const double columnMs = timeMs([&] {
            if (const Result made = database->columns()->makeNow(QStringLiteral("immobile"), QStringLiteral("proprietario"));
                !made)
                std::printf("  %s\n", qPrintable(made.message()));
        });
        std::printf("  %-36s %8.0f ms, %.1f MB (alla prima ricerca di 1-2 caratteri o con jolly)\n",
                    "colonna 'proprietario' in memoria", columnMs,
                    static_cast<double>(database->columns()->bytes()) / 1048576.0);

        auto floorsOwner = std::make_unique<Floors>(path, "immobile", "proprietario");
        Floors& floors = *floorsOwner;
        std::printf("  %-36s %8.1f MB di testo piegato\n", "colonna del minimo 'memoria'",
                    static_cast<double>(floors.columnBytes()) / 1048576.0);
        std::printf("  %-36s %-40s %-34s %s\n", "ricerca nel proprietario", "programma", "indice", "memoria");
        for (const Needle& needle : needles) {
            const QString text = QString::fromLatin1(needle.prefix) + QLatin1Char(needle.key);
            const Query query = Query::contains("immobile", "proprietario", text);
            std::function<void()> index = floors.index(text);
            const std::vector<Series> s =
                interleaved({nullptr, nullptr, nullptr}, {[&] {
                                                              if (!source.setRecordSource(query) || !source.refresh())
                                                                  qFatal("search failed");
                                                              settle(source);
                                                              shown();
                                                          },
                                                          index ? index : [] {}, floors.memory(text)});
            std::printf("  %-36s %-40s %-34s %s\n", needle.what, qPrintable(range(s[0])),
                        index ? qPrintable(ratio(s[0], s[1])) : "     -", qPrintable(ratio(s[0], s[2])));
        }

        const auto searchSeries = [&](const Query& query, const std::function<void()>& floor) {
            return interleaved({nullptr, nullptr}, {[&] {
                                                        if (!source.setRecordSource(query) || !source.refresh())
                                                            qFatal("search failed");
                                                        settle(source);
                                                        shown();
                                                    },
                                                    floor});
        };
        const std::vector<Series> criteria =
            searchSeries(Query::criteria("immobile", {"0", "Mq da"}, {"1000", "a"}, "vendita", "tipologia", ""),
                         floors.select("SELECT * FROM immobile WHERE mq BETWEEN 0 AND 1000 AND motivo = 'vendita' AND "
                                       "tipologia LIKE '%%' LIMIT 128"));
        std::printf("  %-36s %-40s SQLite %s\n", "ricerca per criteri", qPrintable(range(criteria[0])),
                    qPrintable(ratio(criteria[0], criteria[1])));
        const std::vector<Series> last =
            interleaved({[&] {
                             if (!source.setRecordSource(Query::table("immobile")) || !source.refresh())
                                 qFatal("refresh failed");
                         },
                         nullptr},
                        {[&] {
                             if (!source.moveLast())
                                 qFatal("move last failed");
                             shown();
                         },
                         floors.select("SELECT * FROM immobile ORDER BY rowid DESC LIMIT 128")});
        std::printf("  %-36s %-40s SQLite %s\n", "vai all'ultimo", qPrintable(range(last[0])),
                    qPrintable(ratio(last[0], last[1])));

        // A keystroke into a quick-search field of the property register (a key event
        // through the application into Text16), until the window has repainted its card,
        // photos and visits for the new first row.
        QTemporaryDir programFolder;
        if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
            qFatal("cannot write daba.ini");
        SystemClock clock;
        SystemPrinting printing;
        const Context context{programFolder.path(), dialogs, clock, regional, printing};
        {
            PropertyWindow window(context);
            window.show();
            window.showSearch();
            QCoreApplication::processEvents();
            auto* properties = window.findChild<RecordSource*>(QStringLiteral("Data1"));
            auto* field = window.findChild<QLineEdit*>(QStringLiteral("Text16"));
            field->setFocus();
            std::printf("  %-36s %-40s %-34s %s\n", "tasto in 'Nome:' (Text16)", "programma", "indice", "memoria");
            for (const Needle& needle : needles) {
                const QString text = QString::fromLatin1(needle.prefix) + QLatin1Char(needle.key);
                std::function<void()> index = floors.index(text);
                const std::vector<Series> s = interleaved({[&] {
                                                               field->setText(QString::fromLatin1(needle.prefix));
                                                               settle(*properties);
                                                               QCoreApplication::processEvents();
                                                           },
                                                           nullptr, nullptr},
                                                          {[&] {
                                                               QTest::keyClick(field, needle.key);
                                                               settle(*properties);
                                                               window.repaint();
                                                           },
                                                           index ? index : [] {}, floors.memory(text)});
                if (field->text() != text)
                    qFatal("the keystroke did not reach the field");
                std::printf("  %-36s %-40s %-34s %s\n", needle.what, qPrintable(range(s[0])),
                            index ? qPrintable(ratio(s[0], s[1])) : "     -", qPrintable(ratio(s[0], s[2])));
            }
        }
        // The floors' own connection and column are not the program's.
        floorsOwner.reset();
        malloc_trim(0);
        std::printf("  %-36s %8.1f MB sopra la finestra vuota (colonne in memoria: %.1f MB)\n", "memoria residente",
                    static_cast<double>(Measure::residentKb() - emptyWindowKb) / 1024.0,
                    static_cast<double>(database->columns()->bytes()) / 1048576.0);
    }
    // The leads register: a keystroke into "La notizia contiene" (Text6), on databases
    // with as many leads as the sizes above. The property databases are let go first.
    (void)source.setDatabaseName(QString());
    malloc_trim(0);
    for (const int size : sizes) {
        const QString path = Measure::sampleDatabase(QStringLiteral("%1/notizie-%2.mdb").arg(folder).arg(size),
                                                     {"--immobili", "10", "--richieste", "10", "--visite", "0", "--agenda",
                                                      "10", "--foto", "0", "--notizie", QString::number(size)});
        std::printf("\n%d notizie (%s, %.0f MB)\n", size, qPrintable(QFileInfo(path).fileName()),
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
        const double columnMs = timeMs([&] {
            if (const Result made = database->columns()->makeNow(QStringLiteral("notizie"), QStringLiteral("notizia"));
                !made)
                std::printf("  %s\n", qPrintable(made.message()));
        });
        std::printf("  %-36s %8.0f ms, %.1f MB\n", "colonna 'notizia' in memoria", columnMs,
                    static_cast<double>(database->columns()->bytes()) / 1048576.0);
        auto floorsOwner = std::make_unique<Floors>(path, "notizie", "notizia");
        Floors& floors = *floorsOwner;
        QTemporaryDir programFolder;
        if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
            qFatal("cannot write daba.ini");
        SystemClock clock;
        SystemPrinting printing;
        const Context context{programFolder.path(), dialogs, clock, regional, printing};
        {
            LeadWindow window(context);
            window.show();
            QCoreApplication::processEvents();
            auto* leads = window.findChild<RecordSource*>(QStringLiteral("Data1"));
            auto* field = window.findChild<QLineEdit*>(QStringLiteral("Text6"));
            field->setFocus();
            const Needle leadNeedles[] = {{"'vend' (trovato)", "ven", 'd'},
                                          {"'xqz' (nessuno)", "xq", 'z'},
                                          {"'xq' (2 caratteri)", "x", 'q'},
                                          {"'bil?c' (jolly)", "bil?", 'c'}};
            std::printf("  %-36s %-40s %-34s %s\n", "tasto in 'La notizia contiene' (Text6)", "programma", "indice",
                        "memoria");
            for (const Needle& needle : leadNeedles) {
                const QString text = QString::fromLatin1(needle.prefix) + QLatin1Char(needle.key);
                std::function<void()> index = floors.index(text);
                const std::vector<Series> s = interleaved(
                    {[&] {
                         field->setText(QString::fromLatin1(needle.prefix));
                         settle(*leads);
                         QCoreApplication::processEvents();
                     },
                     nullptr, nullptr},
                    {[&] {
                         QTest::keyClick(field, needle.key);
                         settle(*leads);
                         window.repaint();
                     },
                     index ? index : [] {}, floors.memory(text)});
                if (field->text() != text)
                    qFatal("the keystroke did not reach the field");
                std::printf("  %-36s %-40s %-34s %s\n", needle.what, qPrintable(range(s[0])),
                            index ? qPrintable(ratio(s[0], s[1])) : "     -", qPrintable(ratio(s[0], s[2])));
            }
        }
        floorsOwner.reset();
        malloc_trim(0);
        std::printf("  %-36s %8.1f MB sopra la finestra vuota (colonne in memoria: %.1f MB)\n", "memoria residente",
                    static_cast<double>(Measure::residentKb() - emptyWindowKb) / 1024.0,
                    static_cast<double>(database->columns()->bytes()) / 1048576.0);
    }
    return 0;
}
