// What several desks on one database cost a desk: a move (the new current record read
// again, the probe for other desks' writes) and a saved edit (the row locked, read again
// and compared before the write), each measured interleaved with its floor (A B A B),
// 7 rounds, median and min-max. The floors: the one row read by its key on a prepared
// statement; the same UPDATE alone, in its own transaction. On SQLite, and on a PostgreSQL
// database when one is named. Run it with scripts/bench.sh; it is not a test.

#include "Measure.h"
#include "data/postgres/PostgresConnection.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Regional.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

constexpr int rounds = 7;
constexpr int batch = 200; // operations per sample

struct Series {
    std::vector<double> us; // per operation
    double median() const {
        std::vector<double> v = us;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    double min() const { return *std::min_element(us.begin(), us.end()); }
    double max() const { return *std::max_element(us.begin(), us.end()); }
};

std::vector<Series> interleaved(const std::vector<std::function<void(int)>>& measured) {
    std::vector<Series> series(measured.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < measured.size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            for (int n = 0; n < batch; ++n)
                measured[i](round * batch + n);
            series[i].us.push_back(timer.nsecsElapsed() / 1000.0 / batch);
        }
    return series;
}

void print(const char* what, const Series& figure, const Series& floor) {
    std::printf("  %-28s %8.1f us [%.1f-%.1f]   floor %8.1f us [%.1f-%.1f] x%.1f\n", what, figure.median(),
                figure.min(), figure.max(), floor.median(), floor.min(), floor.max(),
                floor.median() > 0 ? figure.median() / floor.median() : 0.0);
}

// The two figures on one database, with the floors given.
void measure(RecordSource& desk, const std::function<void(int)>& readFloor, const std::function<void(int)>& writeFloor,
             qsizetype& shown) {
    const auto moves = interleaved({[&](int) {
                                        if (!desk.stepNext())
                                            qFatal("move failed");
                                        shown += desk.value(QStringLiteral("proprietario")).size();
                                    },
                                    readFloor});
    print("passa al successivo", moves[0], moves[1]);
    const auto saves =
        interleaved({[&](int n) {
                         if (!desk.setFieldValue(QStringLiteral("zona"), QString::number(n)) || !desk.update())
                             qFatal("save failed");
                     },
                     writeFloor});
    print("salva una modifica", saves[0], saves[1]);
}

} // namespace

// bench_desks [PROPERTIES] [postgresql://...]: the second, a PostgreSQL database filled by
// velmora-esempio, is measured too (its first property is written).
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int properties = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const QString server = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    const QString sample = Measure::sampleDatabase(
        QStringLiteral("%1/immobili-%2.mdb").arg(folder).arg(properties),
        {"--immobili", QString::number(properties), "--richieste", "2000", "--visite", "2000", "--foto", "0"});
    // Edits go to a copy: the sample stays as made.
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("daba.mdb"));
    if (!QFile::copy(sample, path))
        qFatal("cannot copy the sample");

    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    qsizetype shown = 0; // what the card would show, kept so the reads are not skipped
    {
        RecordSource desk(QStringLiteral("immobile"), regional);
        if (!desk.setDatabaseName(path) || !desk.refresh())
            qFatal("cannot open the sample");
        sqlite3* floorDb = nullptr;
        sqlite3_open(path.toUtf8().constData(), &floorDb);
        sqlite3_stmt* read = nullptr;
        sqlite3_prepare_v2(floorDb, "SELECT rowid, * FROM immobile WHERE rowid = ?", -1, &read, nullptr);
        sqlite3_stmt* write = nullptr;
        sqlite3_prepare_v2(floorDb, "UPDATE immobile SET zona = ? WHERE rowid = ?", -1, &write, nullptr);
        std::printf("Più postazioni, %d immobili (SQLite)\n", properties);
        measure(
            desk,
            [&](int n) {
                sqlite3_bind_int64(read, 1, n + 1);
                while (sqlite3_step(read) == SQLITE_ROW)
                    shown += sqlite3_column_bytes(read, 1);
                sqlite3_reset(read);
            },
            [&](int n) {
                const QByteArray zone = QByteArray::number(n);
                sqlite3_bind_text(write, 1, zone.constData(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_int64(write, 2, 1);
                if (sqlite3_step(write) != SQLITE_DONE)
                    qFatal("floor update failed");
                sqlite3_reset(write);
            },
            shown);
        sqlite3_finalize(read);
        sqlite3_finalize(write);
        sqlite3_close(floorDb);
    }

    if (!server.isEmpty()) {
        RecordSource desk(QStringLiteral("immobile"), regional);
        if (!desk.setDatabaseName(server) || !desk.refresh())
            qFatal("cannot open the server's database");
        DatabaseLocation location;
        if (!DatabaseLocation::parse(server, location) || !PostgresConnection::open(location, "floor"))
            qFatal("cannot connect the floor");
        {
            // The floor's statements, prepared once on a connection of their own.
            QSqlQuery read(QSqlDatabase::database("floor"));
            read.setForwardOnly(true);
            read.prepare(QStringLiteral("SELECT id, * FROM immobile WHERE id = ?"));
            QSqlQuery write(QSqlDatabase::database("floor"));
            write.prepare(QStringLiteral("UPDATE immobile SET zona = ? WHERE id = (SELECT min(id) FROM immobile)"));
            std::printf("Più postazioni (PostgreSQL, %s)\n", qPrintable(server));
            measure(
                desk,
                [&](int n) {
                    read.bindValue(0, n + 1);
                    if (read.exec() && read.next())
                        shown += read.value(1).toString().size();
                    read.finish();
                },
                [&](int n) {
                    write.bindValue(0, QString::number(n));
                    if (!write.exec())
                        qFatal("floor update failed");
                },
                shown);
        }
        QSqlDatabase::removeDatabase("floor");
    }
    std::printf("  (%lld caratteri letti)\n", static_cast<long long>(shown));
    return 0;
}
