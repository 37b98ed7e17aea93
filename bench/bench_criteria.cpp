// The criteria search benchmark: "CERCA" clicked in the search panel of the property
// register (Command12) and of the requests register (Command2), until the window has
// repainted its first result, on a 39-row sample and on 100,000 properties (50,000
// requests): criteria that many rows meet, that few meet (a narrow mq range) and that none
// meets (a type nobody has). Two floors, each the same search run directly with SQLite's
// own API reading the first page of rows, with the office's LIKE: the table read in key
// order, and the fastest known way for that case (the mq range or the type's distinct
// values through their indexes, when the database has them). Figure and floors in turn
// (A B C A B C), 7 rounds, median [min-max], and processor time. Run it with
// scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "data/folder/ProgramSettings.h"
#include "data/sqlite/SqlFunctions.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "platform/Regional.h"
#include "platform/SystemClock.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"
#include "properties/PropertyWindow.h"
#include "requests/RequestWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int rounds = 7;

double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Series {
    std::vector<double> ms;
    std::vector<double> cpu;
    static double median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    void measure(const std::function<void()>& work) {
        QElapsedTimer timer;
        const double cpuStart = processMs();
        timer.start();
        work();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(processMs() - cpuStart);
    }
    QString text() const {
        return QString::asprintf("%7.2f ms [%.2f-%.2f] CPU %.2f", median(ms), *std::min_element(ms.begin(), ms.end()),
                                 *std::max_element(ms.begin(), ms.end()), median(cpu));
    }
};

// The floor: the search's SELECT on a connection of its own, its first page of rows read.
std::function<void()> plainSelect(sqlite3* db, const QByteArray& sql) {
    return [db, sql] {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
        for (int row = 0; row < 128 && sqlite3_step(statement) == SQLITE_ROW; ++row)
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
        sqlite3_finalize(statement);
    };
}

void settle(RecordSource& source) {
    while (source.isSearching())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

struct Case {
    const char* what;
    const char* from; // "Mq da"
    const char* to;   // "a"
    const char* type; // the "Tipologia" / "Tipo" criterion
    enum Way { Scan, Range, Values } fastest; // the fastest known way to its rows
};
const Case cases[] = {{"vendita, 0-1000 mq (molti)", "0", "1000", "", Case::Scan},
                      {"vendita, 400-410 mq (pochi)", "400", "410", "", Case::Range},
                      {"vendita, 0-1000 mq, 'xqz' (nessuno)", "0", "1000", "xqz", Case::Values}};

bool hasIndex(sqlite3* db, const QString& name) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = '%1'").arg(name).toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr);
    const bool found = sqlite3_step(statement) == SQLITE_ROW;
    sqlite3_finalize(statement);
    return found;
}

QString floorText(const Series& floor) {
    return QString::asprintf("%6.2f ms [%.2f-%.2f] CPU %.2f", Series::median(floor.ms),
                             *std::min_element(floor.ms.begin(), floor.ms.end()),
                             *std::max_element(floor.ms.begin(), floor.ms.end()), Series::median(floor.cpu));
}

// Clicks "CERCA" in `window` with each case's criteria, in turn with the floors.
void measureWindow(QWidget& window, const char* button, const char* fromField, const char* toField,
                   const char* typeField, const char* table, const char* typeColumn, sqlite3* db) {
    auto* search = window.findChild<QPushButton*>(QString::fromLatin1(button));
    auto* from = window.findChild<QComboBox*>(QString::fromLatin1(fromField));
    auto* to = window.findChild<QComboBox*>(QString::fromLatin1(toField));
    auto* type = window.findChild<QLineEdit*>(QString::fromLatin1(typeField));
    auto* source = window.findChild<RecordSource*>(QStringLiteral("Data1"));
    if (!search || !from || !to || !type || !source)
        qFatal("the search panel's controls are missing");
    for (const Case& c : cases) {
        from->setCurrentText(QString::fromLatin1(c.from));
        to->setCurrentText(QString::fromLatin1(c.to));
        type->setText(QString::fromLatin1(c.type));
        const QString pattern = QStringLiteral("'*%1*'").arg(QLatin1String(c.type));
        const QString range = QStringLiteral("mq BETWEEN %1 AND %2").arg(QLatin1String(c.from), QLatin1String(c.to));
        const QString rest = QStringLiteral("vequal(motivo, 'vendita') AND vlike(%1, %2) ORDER BY rowid LIMIT 128")
                                 .arg(QLatin1String(typeColumn), pattern);
        // Unary plus keeps SQLite off the indexes: every row read in key order.
        const QByteArray scanSql =
            QStringLiteral("SELECT * FROM %1 WHERE +%2 AND %3").arg(QLatin1String(table), range, rest).toUtf8();
        QByteArray fastSql;
        const QString prefix = QStringLiteral("velmora_criteri_%1_").arg(QLatin1String(table));
        if (c.fastest == Case::Range && hasIndex(db, prefix + QStringLiteral("mq")))
            fastSql = QStringLiteral("SELECT * FROM %1 WHERE %2 AND %3").arg(QLatin1String(table), range, rest).toUtf8();
        if (c.fastest == Case::Values && hasIndex(db, prefix + QLatin1String(typeColumn)))
            fastSql = QStringLiteral("WITH RECURSIVE d(v) AS (SELECT (SELECT min(%2) FROM %1) UNION ALL SELECT (SELECT "
                                     "min(%2) FROM %1 WHERE %2 > v) FROM d WHERE v IS NOT NULL) SELECT * FROM %1 WHERE "
                                     "%2 IN (SELECT v FROM d WHERE vlike(v, %3)) AND +%4 AND %5")
                          .arg(QLatin1String(table), QLatin1String(typeColumn), pattern, range, rest)
                          .toUtf8();
        const std::function<void()> scan = plainSelect(db, scanSql);
        const std::function<void()> fast = plainSelect(db, fastSql);
        Series figure, scanFloor, fastFloor;
        for (int round = 0; round < rounds; ++round) {
            // The panel open again, as the user has it before each click.
            if (auto* property = qobject_cast<PropertyWindow*>(&window))
                property->showSearch();
            QCoreApplication::processEvents();
            figure.measure([&] {
                search->click();
                settle(*source);
                window.repaint();
            });
            scanFloor.measure(scan);
            if (!fastSql.isEmpty())
                fastFloor.measure(fast);
        }
        const double best = fastSql.isEmpty() ? Series::median(scanFloor.ms)
                                              : std::min(Series::median(scanFloor.ms), Series::median(fastFloor.ms));
        std::printf("  %-36s %-40s righe %3d\n", c.what, qPrintable(figure.text()), source->rowCount());
        std::printf("  %-36s scansione %s, via piu' breve %s: x%.1f\n", "", qPrintable(floorText(scanFloor)),
                    !fastSql.isEmpty()          ? qPrintable(floorText(fastFloor))
                    : c.fastest == Case::Scan ? "la stessa"
                                              : "n/d (indice assente)",
                    Series::median(figure.ms) / std::max(best, 1e-3));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;
    SystemClock clock;
    SystemPrinting printing;
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);

    QList<int> sizes = {39, 100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QString::fromLocal8Bit(argv[i]).toInt();
    }
    std::printf("Ricerca per criteri, clic su \"CERCA\" fino alla finestra ridisegnata (%d prove alternate con la stessa "
                "ricerca in SQLite, mediana [min-max]):\n",
                rounds);
    for (const int size : sizes) {
        const QString path = Measure::sampleDatabase(
            QStringLiteral("%1/criteri-%2.mdb").arg(folder).arg(size),
            {"--immobili", QString::number(size), "--richieste", QString::number(std::min(size, 50000)), "--visite",
             QString::number(std::min(size, 2000)), "--foto", "0"});
        {
            // The search index built first: its building while idle is not what a search costs.
            std::shared_ptr<Database> database;
            if (!Database::open(path, database) || !database->searchIndex()->build({}))
                qFatal("cannot prepare %s", qPrintable(path));
        }
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        SqlFunctions::install(db);
        QTemporaryDir programFolder;
        if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
            qFatal("cannot write daba.ini");
        const Context context{programFolder.path(), dialogs, clock, regional, printing};
        std::printf("\n%d immobili, %d richieste\n", size, std::min(size, 50000));
        {
            PropertyWindow window(context);
            window.show();
            QCoreApplication::processEvents();
            std::printf(" finestra degli immobili (Command12)\n");
            measureWindow(window, "Command12", "Combo4", "Combo2", "Text15", "immobile", "tipologia", db);
        }
        {
            RequestWindow window(context);
            window.show();
            QCoreApplication::processEvents();
            std::printf(" finestra delle richieste (Command2)\n");
            measureWindow(window, "Command2", "Combo1", "Combo2", "Text9", "richiesta", "tipo", db);
        }
        sqlite3_close(db);
    }
    return 0;
}
