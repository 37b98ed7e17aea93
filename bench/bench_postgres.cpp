// The several-desks benchmark: the same office (100k sample properties, or the sizes given)
// in a SQLite file and on a local PostgreSQL server, where velmora-trasferisci moves it.
// In the property register of each: a keystroke into the quick search "Nome:" (Text16),
// found and missed, until the window has repainted, and a move to the last record, the two
// engines measured side by side and interleaved with the server's floors (A B C A B C...),
// 7 rounds, median and [min-max]. The floors are the fastest known ways to do the same work
// on the server: its trigram index alone (ILIKE through pg_trgm, the first 128 keys in key
// order) or the last row read by its key, and one round trip to the server (SELECT 1).
// The server is the benchmark's own (scripts/pg-server.sh), or the one VELMORA_BENCH_POSTGRES
// names (postgresql://user@host:port/maintenance-database). Run it with scripts/bench.sh.

#include "Measure.h"
#include "data/folder/ProgramSettings.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/store/Database.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Regional.h"
#include "platform/SystemClock.h"
#include "platform/gui/Artwork.h"
#include "platform/gui/QtDialogs.h"
#include "platform/gui/SystemPrinting.h"
#include "properties/PropertyWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

constexpr int rounds = 7;

struct Series {
    std::vector<double> ms;
    std::vector<double> cpu;
    std::vector<double> server; // the server's processor time, when it runs on this machine
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

double processMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The processor time of the benchmark's own server so far, in ms: its postmaster and every
// process it started (the backends), from /proc/PID/schedstat (nanoseconds on the CPU).
// Negative when the server is not the benchmark's own.
qint64 serverPid = 0;
double serverMs() {
    if (serverPid == 0)
        return -1;
    double total = 0;
    const auto ns = [](const QString& pid) {
        QFile file(QStringLiteral("/proc/%1/schedstat").arg(pid));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(' ', 0, 0).toDouble() : 0.0;
    };
    const QString postmaster = QString::number(serverPid);
    total += ns(postmaster);
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.isEmpty() || !pid.at(0).isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        // The parent is the second field after the command, which is in parentheses.
        if (line.mid(line.lastIndexOf(')') + 2).section(' ', 1, 1) == postmaster)
            total += ns(pid);
    }
    return total / 1e6;
}

// Runs the figures and floors in turn, round after round, each after its preparation.
std::vector<Series> interleaved(const std::vector<std::function<void()>>& prepare,
                                const std::vector<std::function<void()>>& measured) {
    std::vector<Series> series(measured.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < measured.size(); ++i) {
            if (prepare[i])
                prepare[i]();
            const double serverStart = serverMs();
            QElapsedTimer timer;
            const double cpuStart = processMs();
            timer.start();
            measured[i]();
            series[i].ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            series[i].cpu.push_back(processMs() - cpuStart);
            if (serverStart >= 0)
                series[i].server.push_back(serverMs() - serverStart);
        }
    return series;
}

QString figure(const Series& s) {
    QString text = QString::asprintf("%6.2f ms [%.2f-%.2f] CPU %.2f", Series::median(s.ms), s.min(), s.max(),
                                     Series::median(s.cpu));
    if (!s.server.empty())
        text += QString::asprintf(" server %.2f", Series::median(s.server));
    return text;
}

QString floorOf(const Series& figure, const Series& floor) {
    const double f = Series::median(floor.ms);
    return QString::asprintf("%6.3f ms [%.3f-%.3f] x%.0f", f, floor.min(), floor.max(),
                             f > 0 ? Series::median(figure.ms) / f : 0.0);
}

void settle(RecordSource& source) {
    while (source.isSearching())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QSqlDatabase connect(const DatabaseLocation& location, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(location.host());
    db.setPort(location.port());
    db.setUserName(location.user());
    db.setDatabaseName(location.databaseName());
    if (!db.open())
        qFatal("%s: %s", qPrintable(location.text()), qPrintable(db.lastError().text()));
    return db;
}

void run(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

// The server the benchmark works on: its own, started here and stopped at the end, or the
// one VELMORA_BENCH_POSTGRES names.
class Server {
public:
    Server() {
        QString address = qEnvironmentVariable("VELMORA_BENCH_POSTGRES");
        if (address.isEmpty()) {
            m_folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-pg");
            // One a run stopped half-way (qFatal) left behind goes first.
            QProcess::execute(QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_folder});
            if (QProcess::execute(QStringLiteral("bash"), {script(), QStringLiteral("start"), m_folder}) != 0)
                qFatal("the PostgreSQL server did not start (scripts/pg-server.sh)");
            QFile url(m_folder + QStringLiteral("/url"));
            if (!url.open(QIODevice::ReadOnly))
                qFatal("no address from scripts/pg-server.sh");
            address = QString::fromUtf8(url.readAll()).trimmed();
        }
        if (!DatabaseLocation::parse(address, m_location).ok() || !m_location.isPostgres())
            qFatal("not a PostgreSQL address: %s", qPrintable(address));
    }
    ~Server() {
        if (!m_folder.isEmpty())
            QProcess::execute(QStringLiteral("bash"), {script(), QStringLiteral("stop"), m_folder});
    }

    // A new empty database on the server, as daba.ini names it.
    QString freshDatabase(const QString& name) const {
        {
            QSqlDatabase admin = connect(m_location, QStringLiteral("bench-admin"));
            run(admin, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
            run(admin, QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(name));
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
        QString address = QStringLiteral("postgresql://");
        if (!m_location.user().isEmpty())
            address += m_location.user() + QLatin1Char('@');
        return address + QStringLiteral("%1:%2/%3").arg(m_location.host()).arg(m_location.port()).arg(name);
    }

private:
    static QString script() { return QStringLiteral(VELMORA_SOURCE_DIR "/scripts/pg-server.sh"); }

    QString m_folder;
    DatabaseLocation m_location;
};

// The same office file as the data benchmark's.
QString sampleFile(const QString& folder, int properties) {
    const QString path = Measure::sampleDatabase(
        QStringLiteral("%1/immobili-%2.mdb").arg(folder).arg(properties),
        {"--immobili", QString::number(properties), "--richieste", "2000", "--visite", "2000", "--foto", "0"});
    // The file's trigram index, made once, as the program would have made it by now.
    std::shared_ptr<Database> database;
    if (!Database::open(path, database))
        qFatal("cannot open %s", qPrintable(path));
    qint64 done = 0, total = 0;
    database->searchIndex()->progress(done, total);
    if (done < total && !database->searchIndex()->build({}))
        qFatal("index build failed");
    return path;
}

// The property register on one database, in a program folder of its own.
struct Register {
    QTemporaryDir folder;
    SystemClock clock;
    SystemPrinting printing;
    Context context;
    std::unique_ptr<PropertyWindow> window;
    RecordSource* properties = nullptr;
    QLineEdit* name = nullptr;

    Register(const QString& database, Dialogs& dialogs, const Regional& regional)
        : context{folder.path(), dialogs, clock, regional, printing} {
        if (!ProgramSettings(folder.path()).saveDatabasePath(database))
            qFatal("cannot write daba.ini");
        window = std::make_unique<PropertyWindow>(context);
        window->show();
        window->showSearch();
        QCoreApplication::processEvents();
        properties = window->findChild<RecordSource*>(QStringLiteral("Data1"));
        name = window->findChild<QLineEdit*>(QStringLiteral("Text16"));
        if (!properties || !name)
            qFatal("the property register has no Data1 or Text16");
    }

    std::function<void()> typed(const QString& text) {
        return [this, text] {
            name->setFocus();
            name->setText(text);
            settle(*properties);
            QCoreApplication::processEvents();
        };
    }
    std::function<void()> keystroke(char key) {
        return [this, key] {
            QTest::keyClick(name, key);
            settle(*properties);
            window->repaint();
        };
    }
    std::function<void()> wholeTable() {
        return [this] {
            if (!properties->setRecordSource(Query::table(QStringLiteral("immobile"))) || !properties->refresh() ||
                !properties->moveFirst())
                qFatal("refresh failed");
            QCoreApplication::processEvents();
        };
    }
    std::function<void()> moveLast() {
        return [this] {
            if (!properties->moveLast())
                qFatal("move last failed");
            window->repaint();
        };
    }
};

struct Needle {
    const char* what;
    const char* prefix;
    char key;
};
const Needle needles[] = {{"'oss' (trovato)", "os", 's'}, {"'xqz' (nessuno)", "xq", 'z'}};

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Artwork::initialise();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    const Regional regional(QLocale(QLocale::Italian, QLocale::Italy));
    QtDialogs dialogs;

    QList<int> sizes = {100000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes << QString::fromLocal8Bit(argv[i]).toInt();
    }
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/bench-data");
    QDir().mkpath(folder);
    const Server server;

    std::printf("Tempi mediani su %d prove alternate [min-max]; accanto al server i suoi minimi: 'indice' = la sola "
                "ricerca nell'indice a trigrammi (pg_trgm) o la sola lettura dell'ultima riga, 'andata e ritorno' = "
                "SELECT 1; xN = il programma su PostgreSQL rispetto al minimo; CPU = tempo di processore del "
                "programma, server = quello del server (se è il suo), in ms.\n",
                rounds);
    for (const int size : sizes) {
        const QString file = sampleFile(folder, size);
        const QString address = server.freshDatabase(QStringLiteral("immobili_%1").arg(size));
        QElapsedTimer moved;
        moved.start();
        const int exit = QProcess::execute(
            QCoreApplication::applicationDirPath() + QStringLiteral("/programma/velmora-trasferisci"), {file, address});
        if (exit != 0)
            qFatal("velmora-trasferisci failed");
        std::printf("\n%d immobili: velmora-trasferisci dal file al server in %.1f s\n", size,
                    static_cast<double>(moved.elapsed()) / 1000.0);

        DatabaseLocation location;
        (void)DatabaseLocation::parse(address, location);
        {
            const QSqlDatabase side = connect(location, QStringLiteral("bench-floors"));
            // A server on this machine: its postmaster is the parent of this connection's backend.
            if (QSqlQuery backend(side); backend.exec(QStringLiteral("SELECT pg_backend_pid()")) && backend.next()) {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(backend.value(0).toLongLong()));
                const QString line = stat.open(QIODevice::ReadOnly) ? QString::fromLatin1(stat.readAll()) : QString();
                if (line.contains(QStringLiteral("(postgres)")))
                    serverPid = line.mid(line.lastIndexOf(')') + 2).section(' ', 1, 1).toLongLong();
            }
            Register onFile(file, dialogs, regional);
            Register onServer(address, dialogs, regional);

            const auto select = [&side](const QString& sql) {
                return [&side, sql] {
                    QSqlQuery query(side);
                    query.setForwardOnly(true);
                    if (!query.exec(sql))
                        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
                    while (query.next())
                        for (int c = 0; c < query.record().count(); ++c)
                            (void)query.value(c);
                };
            };
            const std::function<void()> roundTrip = select(QStringLiteral("SELECT 1"));

            std::printf("  %-30s %-36s %-36s %-32s %s\n", "tasto in 'Nome:' (Text16)", "SQLite", "PostgreSQL", "indice",
                        "andata e ritorno");
            for (const Needle& needle : needles) {
                const QString prefix = QString::fromLatin1(needle.prefix);
                const QString text = prefix + QLatin1Char(needle.key);
                const std::vector<Series> s = interleaved(
                    {onFile.typed(prefix), onServer.typed(prefix), nullptr, nullptr},
                    {onFile.keystroke(needle.key), onServer.keystroke(needle.key),
                     select(
                         QStringLiteral("SELECT id FROM immobile WHERE proprietario ILIKE '%%1%' ORDER BY id LIMIT 128")
                             .arg(text)),
                     roundTrip});
                if (onFile.name->text() != text || onServer.name->text() != text)
                    qFatal("the keystroke did not reach the field");
                if (onFile.properties->hasCurrent() != onServer.properties->hasCurrent())
                    qFatal("the two engines found different rows");
                std::printf("  %-30s %-36s %-36s %-32s %s\n", needle.what, qPrintable(figure(s[0])),
                            qPrintable(figure(s[1])), qPrintable(floorOf(s[1], s[2])), qPrintable(floorOf(s[1], s[3])));
            }

            const std::vector<Series> last =
                interleaved({onFile.wholeTable(), onServer.wholeTable(), nullptr, nullptr},
                            {onFile.moveLast(), onServer.moveLast(),
                             select(QStringLiteral("SELECT * FROM immobile ORDER BY id DESC LIMIT 1")), roundTrip});
            std::printf("  %-30s %-36s %-36s %-32s %s\n", "vai all'ultimo", qPrintable(figure(last[0])),
                        qPrintable(figure(last[1])), qPrintable(floorOf(last[1], last[2])),
                        qPrintable(floorOf(last[1], last[3])));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-floors"));
    }
    std::printf("\nObiettivi su PostgreSQL a 100.000 immobili: un tasto entro 15 ms (anche quando non trova nulla), "
                "vai all'ultimo entro 20 ms.\n");
    return 0;
}
