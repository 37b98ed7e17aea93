// The INCROCI benchmark: the list of requests that fit a property, filled after a move to
// that property, at 100,000 and 1,000,000 requests. The floor, measured in turn with it, is
// the indexed exact-bounds query of the matching-requests printout: the requests whose mq
// lies within the same bounds, of the same purpose, whose type contains the property's,
// read to the last row on the same connection. Seven properties, each moved to in turn,
// three rounds each: median [min-max] over the 21 moves. Goals: 20 ms at 100,000, 50 ms at
// 1,000,000. Run it with scripts/bench.sh; it is not a test.

#include "data/store/Database.h"
#include "matching/MatchSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <time.h>
#include <vector>

namespace {

const char* const types[] = {"Appartamento", "Villa", "Attico", "Monolocale", "Bilocale", "Negozio", "Ufficio", "Box"};
const char* const zones[] = {"Centro", "Murri", "San Vitale", "Saragozza", "Navile", "Bolognina", "Mazzini", "Barca"};

// Processor time of this thread, in ms: on a loaded machine the wall clock also counts the
// time others had the processor.
double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Moments {
    std::vector<double> ms;
    QString text() const {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return QStringLiteral("%1 ms [%2-%3]").arg(v[v.size() / 2], 0, 'f', 1).arg(v.front(), 0, 'f', 1).arg(v.back(), 0, 'f', 1);
    }
};

void fill(const QString& path, int requests) {
    if (!Database::create(path))
        qFatal("cannot create %s", qPrintable(path));
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    QRandomGenerator random(24);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO richiesta (nome, cognome, telefono, tipo, mq, prezzo, note, motivo) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    for (int i = 0; i < requests; ++i) {
        const QByteArray name = "Nome" + QByteArray::number(i);
        const QByteArray phone = "051 " + QByteArray::number(1000000 + i);
        const QByteArray note = QByteArray("Cerca in zona ") + zones[random.bounded(8)] + ", piano alto";
        const int budget = 80 + random.bounded(500);
        const QByteArray price = random.bounded(4) == 0 ? QByteArray::number(budget) + ".000"
                                                          : QByteArray::number(budget * 1000);
        sqlite3_bind_text(insert, 1, name.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "Rossi", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, phone.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, types[random.bounded(8)], -1, SQLITE_STATIC);
        sqlite3_bind_int(insert, 5, 30 + random.bounded(270));
        sqlite3_bind_text(insert, 6, price.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 7, note.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, random.bounded(10) < 7 ? "vendita" : "affitto", -1, SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void run(const QString& folder, int requests) {
    const QString path = folder + QStringLiteral("/incroci-%1.mdb").arg(requests);
    fill(path, requests);
    std::shared_ptr<Database> database;
    if (!Database::open(path, database))  // adds the mq index
        qFatal("cannot open");
    const QLocale italian(QLocale::Italian, QLocale::Italy);
    MatchSearch search(database, italian);
    QEventLoop loop;
    QObject::connect(&search, &MatchSearch::finished, &loop, &QEventLoop::quit);

    const PropertyTerms properties[] = {
        {1, "vendita", "Appartamento", "90", "250000", "Centro"}, {2, "vendita", "Villa", "240", "600000", "Murri"},
        {3, "affitto", "Bilocale", "55", "900", "Navile"},        {4, "vendita", "Attico", "130", "480.000", "Mazzini"},
        {5, "vendita", "Box", "18", "30000", "Barca"},            {6, "affitto", "Ufficio", "300", "2500", ""},
        {7, "vendita", "Negozio", "75", "", "San Vitale"},
    };
    Moments matching, floor, matchingCpu, floorCpu;
    std::size_t listed = 0, selected = 0;
    for (int round = 0; round < 3; ++round) {
        for (const PropertyTerms& property : properties) {
            QElapsedTimer timer;
            timer.start();
            double cpu = cpuMs();
            search.findRequests(property);
            if (search.isRunning())
                loop.exec();
            matching.ms.push_back(timer.nsecsElapsed() / 1e6);
            matchingCpu.ms.push_back(cpuMs() - cpu);
            listed += search.rows().size();

            const auto [low, high] = MatchRule::wantedRange(property.surface.toDouble(), search.tolerances());
            timer.restart();
            cpu = cpuMs();
            QSqlQuery query(database->connection());
            query.setForwardOnly(true);
            query.prepare(QStringLiteral("SELECT rowid, nome, cognome, telefono, tipo, mq, prezzo FROM richiesta "
                                         "WHERE mq >= ? AND mq <= ? AND vequal(motivo, ?) AND vlike(tipo, ?)"));
            query.addBindValue(low);
            query.addBindValue(high);
            query.addBindValue(property.purpose);
            query.addBindValue(QStringLiteral("*%1*").arg(property.type));
            if (!query.exec())
                qFatal("floor query failed");
            while (query.next())
                ++selected;
            floor.ms.push_back(timer.nsecsElapsed() / 1e6);
            floorCpu.ms.push_back(cpuMs() - cpu);
        }
    }
    std::printf("%d richieste: INCROCI %s, CPU %s (in media %zu righe)   minimo %s, CPU %s (in media %zu righe)\n",
                requests, qPrintable(matching.text()), qPrintable(matchingCpu.text()), listed / 21,
                qPrintable(floor.text()), qPrintable(floorCpu.text()), selected / 21);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    // Sizes may be named on the command line (bench_matching 100000).
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    for (const int size : sizes)
        run(folder.path(), size);
    return 0;
}
