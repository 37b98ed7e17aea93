// The diary benchmark: the range search of form_agenda ("CERCA": the list of the 13 days
// in "Dal" and "Al", painted) on 100k appointments, set beside its floor, a plain indexed
// SELECT of the same days' first page of rows through SQLite's C API. The two are
// measured in turn (A B A B ...); each prints its median and its range. Two diaries:
// the sample one (100k appointments within two months, so 13 days hold a fifth of
// them) and one spread over ten years in the order they were entered (13 days hold a
// few hundred), this last also as a file made before the index on datap existed.
// Run it with scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "data/folder/ProgramSettings.h"
#include "diary/DiaryWindow.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int runs = 21;

// A clock stopped on the day the sample appointments lie around.
class StoppedClock : public Clock {
public:
    explicit StoppedClock(const QDate& day) : m_now(day, QTime(9, 0)) {}
    QDateTime now() const override { return m_now; }

private:
    QDateTime m_now;
};

struct Times {
    std::vector<double> ms;
    void add(const QElapsedTimer& timer) { ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6); }
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        std::printf("  %-44s mediana %7.2f ms   (min %7.2f, max %7.2f)\n", what, ms[ms.size() / 2], ms.front(),
                    ms.back());
    }
};

// The floor: the same days' rows as a plain SELECT on the datap index, stepped through.
class Floor {
public:
    Floor(const QString& path, const char* sql) {
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(m_db, "PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
        m_sql = sql;
    }
    ~Floor() { sqlite3_close(m_db); }
    int run(const QString& from, const QString& to) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(m_db, m_sql, -1, &statement, nullptr);
        const QByteArray first = from.toUtf8(), last = to.toUtf8();
        sqlite3_bind_text(statement, 1, first.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, last.constData(), -1, SQLITE_TRANSIENT);
        int rows = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                sqlite3_column_text(statement, c);
            ++rows;
        }
        sqlite3_finalize(statement);
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
    const char* m_sql;
};

int countInRange(const QString& path, const QString& from, const QString& to) {
    Floor all(path, "SELECT id FROM agenda WHERE datap BETWEEN ?1 AND ?2");
    return all.run(from, to);
}

void measure(const QString& path, const QDate& today, const char* title) {
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;
    SystemPrinting printing;
    StoppedClock clock(today);
    QTemporaryDir programFolder;
    if (!ProgramSettings(programFolder.path()).saveDatabasePath(path))
        qFatal("cannot write daba.ini");
    const Context context{programFolder.path(), dialogs, clock, regional, printing};
    DiaryWindow window(context);
    window.show();
    QCoreApplication::processEvents();
    auto* first = window.findChild<QLineEdit*>(QStringLiteral("Text6"));
    auto* last = window.findChild<QLineEdit*>(QStringLiteral("Text7"));

    const QString from = today.addDays(-6).toString(Qt::ISODate), to = today.addDays(6).toString(Qt::ISODate);
    std::printf("\n%s: %s, dal %s al %s, %d appuntamenti nel periodo\n", title, qPrintable(QFileInfo(path).fileName()),
                qPrintable(first->text()), qPrintable(last->text()), countInRange(path, from, to));

    Floor page(path, "SELECT * FROM agenda WHERE datap BETWEEN ?1 AND ?2 LIMIT 128");
    Times search, query, floor;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.rangeSearch(); // the same days each time: the query, the card and the grid, painted
        query.add(timer);
        window.repaint();
        search.add(timer);

        timer.start();
        if (page.run(from, to) == 0)
            qFatal("no appointment in the range");
        floor.add(timer);
    }
    search.print("CERCA (ricerca per periodo, dipinta)");
    query.print("  di cui la ricerca, senza dipingere");
    floor.print("minimo: SELECT semplice, prima pagina");
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));

    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    const QString path = Measure::sampleDatabase(folder + QStringLiteral("/agenda-100000.mdb"),
                                                 {"--immobili", "0", "--richieste", "0", "--visite", "0", "--notizie",
                                                  "0", "--foto", "0", "--agenda", "100000"});
    // The sample's appointments lie within 30 days of the day it was made.
    const QDate made = QFileInfo(path).lastModified().date();
    measure(path, made, "100000 appuntamenti in due mesi");

    const QString spread = folder + QStringLiteral("/agenda-100000-dieci-anni.mdb");
    const QString older = folder + QStringLiteral("/agenda-100000-senza-indice.mdb");
    for (const QString& copy : {spread, older}) {
        QFile::remove(copy);
        if (!QFile::copy(path, copy))
            qFatal("cannot copy the sample database");
        sqlite3* db = nullptr;
        sqlite3_open(copy.toUtf8().constData(), &db);
        sqlite3_exec(db,
                     "UPDATE agenda SET datap = date('2017-01-01', '+' || ((rowid - 1) * 3650 / 100000) || ' days')",
                     nullptr, nullptr, nullptr);
        if (copy == older)
            sqlite3_exec(db, "DROP INDEX agenda_datap", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    measure(spread, QDate(2026, 6, 15), "100000 appuntamenti in dieci anni");
    measure(older, QDate(2026, 6, 15), "gli stessi, in un database senza indice su datap (di una versione precedente)");
    QFile::remove(spread);
    QFile::remove(older);
    return 0;
}
