#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "TestPostgres.h"
#include "data/postgres/PostgresSchema.h"
#include "data/store/Database.h"
#include "data/store/KeySearch.h"
#include "data/store/RecordSource.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Query.h"
#include "data/vocabulary/Schema.h"
#include "platform/Regional.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <poll.h>
#include <tuple>
#include <condition_variable>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const Regional italian{QLocale(QLocale::Italian, QLocale::Italy)};

QString single(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next())
        return QStringLiteral("<%1>").arg(query.lastError().text());
    return query.value(0).toString();
}

void run(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

// The address of the tests' server with another user, database or port.
QString addressWith(const QString& user, const QString& database, int port = 0) {
    DatabaseLocation server;
    (void)DatabaseLocation::parse(TestPostgres::serverAddress(), server);
    return QStringLiteral("postgresql://%1@%2:%3/%4")
        .arg(user.isEmpty() ? server.user() : user, server.host())
        .arg(port ? port : server.port())
        .arg(database);
}

// A port of 127.0.0.1 where nothing listens: one the kernel hands out, closed again.
int deadPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return ntohs(address.sin_port);
}

// A socket listening on a free port of 127.0.0.1, which `port` is set to.
int listenOnLoopback(int backlog, int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener, backlog);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return listener;
}

// A port of 127.0.0.1 where something accepts connections and never answers (a server
// stopped, a link broken half-way): the kernel completes the handshake, nobody reads.
class SilentListener {
public:
    SilentListener() : m_socket(listenOnLoopback(16, m_port)) {}
    ~SilentListener() { close(m_socket); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return m_port; }

private:
    int m_port = 0; // before m_socket: set while m_socket is made
    int m_socket;
};

// A relay between the program and the tests' server, on a port of its own, that can stop
// answering as a frozen server does: it takes connections and bytes and passes nothing on.
class FreezingRelay {
public:
    explicit FreezingRelay(int serverPort) : m_serverPort(serverPort) {
        m_listener = listenOnLoopback(64, m_port);
        m_thread = std::thread([this] { relay(); });
    }
    ~FreezingRelay() {
        m_stop = true;
        m_thread.join();
        for (const auto& [a, b] : m_pairs) {
            close(a);
            close(b);
        }
        close(m_listener);
    }
    FreezingRelay(const FreezingRelay&) = delete;
    FreezingRelay& operator=(const FreezingRelay&) = delete;

    int port() const { return m_port; }
    void freeze(bool frozen) { m_frozen = frozen; }

private:
    void relay() {
        while (!m_stop) {
            if (m_frozen) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
            for (const auto& [a, b] : m_pairs) {
                watched.push_back({a, POLLIN, 0});
                watched.push_back({b, POLLIN, 0});
            }
            if (poll(watched.data(), watched.size(), 20) <= 0)
                continue;
            // Only the pairs polled above have their events in `watched`.
            const std::size_t polled = m_pairs.size();
            if (watched[0].revents & POLLIN) {
                const int client = accept(m_listener, nullptr, nullptr);
                const int upstream = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                address.sin_port = htons(static_cast<uint16_t>(m_serverPort));
                connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address);
                m_pairs.emplace_back(client, upstream);
            }
            std::vector<std::pair<int, int>> open;
            for (std::size_t i = 0; i < m_pairs.size(); ++i) {
                const auto [a, b] = m_pairs[i];
                if (i >= polled) {
                    open.emplace_back(a, b);
                    continue;
                }
                bool ended = false;
                for (const auto& [from, to, events] : {std::tuple{a, b, watched[1 + 2 * i].revents},
                                                       std::tuple{b, a, watched[2 + 2 * i].revents}}) {
                    if (!(events & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    char buffer[65536];
                    const ssize_t got = recv(from, buffer, sizeof buffer, 0);
                    if (got <= 0 || send(to, buffer, got, MSG_NOSIGNAL) != got)
                        ended = true;
                }
                if (ended) {
                    close(a);
                    close(b);
                } else {
                    open.emplace_back(a, b);
                }
            }
            m_pairs = open;
        }
    }

    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_frozen{false};
    std::atomic<bool> m_stop{false};
    std::vector<std::pair<int, int>> m_pairs; // the relay's thread only, until it ends
    std::thread m_thread;
};

// A condition with its bound values written in, for EXPLAIN.
QString inlined(const QSqlDatabase& db, QString sql, const QVariantList& values) {
    for (const QVariant& value : values) {
        QSqlField field(QString(), value.metaType());
        field.setValue(value);
        sql.replace(sql.indexOf('?'), 1, db.driver()->formatValue(field));
    }
    return sql;
}

void expectRefusal(const QString& address, const QString& says) {
    std::shared_ptr<Database> database;
    const Result opened = Database::open(address, database);
    QVERIFY(!opened.ok());
    QVERIFY(!database);
    QVERIFY2(opened.message().contains(QRegularExpression(says)), qPrintable(opened.message()));
    // libpq's own words never reach the office.
    QVERIFY2(
        !opened.message().contains(QRegularExpression("connection|server at|FATAL|failed|does not exist|refused$")),
        qPrintable(opened.message()));
}

} // namespace

// The tests' own PostgreSQL server and what the program makes of a database on it.
class PostgresTest : public QObject {
    Q_OBJECT

private slots:
    void freshDatabasesAreEmptyAndApart() {
        TestPostgres first;
        TestPostgres second;
        QVERIFY(first.databaseName() != second.databaseName());
        QSqlQuery(first.connection()).exec("CREATE TABLE prova (x integer)");
        QSqlQuery tables(second.connection());
        QVERIFY(tables.exec("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"));
        QVERIFY(tables.next());
        QCOMPARE(tables.value(0).toInt(), 0);
    }

    void anEmptyDatabaseGetsTheSixTablesWithTheirTypes() {
        TestPostgres server;
        std::shared_ptr<Database> database;
        QVERIFY2(Database::open(server.address(), database).ok(),
                 "an empty database is made ready at its first opening");
        QVERIFY(database->isPostgres());
        QVERIFY(!database->handle());
        const QSqlDatabase db = server.connection();
        for (const Schema::Table& table : Schema::tables()) {
            for (const Schema::Field& field : table.fields) {
                const QString type = single(db, QStringLiteral("SELECT data_type FROM information_schema.columns "
                                                               "WHERE table_name = '%1' AND column_name = '%2'")
                                                    .arg(table.name, field.name));
                const QString expected = field.kind == Schema::FieldKind::Key      ? "bigint"
                                         : field.kind == Schema::FieldKind::Number ? "numeric"
                                                                                   : "text";
                QCOMPARE(type, expected);
            }
        }
        // visite and foto have a key of their own, hidden from the windows; the others their id.
        QCOMPARE(database->keyColumn("foto"), QStringLiteral("rowid"));
        QCOMPARE(database->keyColumn("visite"), QStringLiteral("rowid"));
        QCOMPARE(database->keyColumn("immobile"), QStringLiteral("id"));
        QCOMPARE(single(db, "SELECT is_identity || identity_generation FROM information_schema.columns "
                            "WHERE table_name = 'foto' AND column_name = 'rowid'"),
                 QStringLiteral("YESALWAYS"));
        // The quick searches have their trigram indexes.
        QCOMPARE(single(db, "SELECT count(*) FROM pg_indexes WHERE indexdef LIKE '%gin_trgm_ops%'").toInt(), 10);
        // Opened again, nothing is made twice.
        database.reset();
        QVERIFY(Database::open(server.address(), database).ok());
        QCOMPARE(single(db, "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'").toInt(), 6);
    }

    void keysAreNeverGivenTwice() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        const auto add = [&houses](const QString& owner) {
            QVERIFY(houses.addNew().ok());
            QVERIFY(houses.setFieldValue("proprietario", owner).ok());
            QVERIFY(houses.update().ok());
            QVERIFY(houses.moveLast().ok());
        };
        add("Primo");
        add("Secondo");
        const qint64 second = *houses.currentKey();
        QVERIFY(houses.remove().ok()); // the highest key goes
        add("Terzo");
        QVERIFY(*houses.currentKey() > second);
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Terzo"));
        // Nobody writes a key, not even by hand.
        QSqlQuery forced(db.connection());
        QVERIFY(!forced.exec(QStringLiteral("INSERT INTO immobile (id, proprietario) VALUES (%1, 'x')").arg(second)));

        // Photos and visits are told apart by their hidden key, in the order they were added.
        const qint64 house = *houses.currentKey();
        RecordSource photos("foto", italian);
        QVERIFY(photos.setDatabaseName(db.path()).ok());
        for (const char* file : {"/foto/b.jpg", "/foto/a.jpg", "/foto/b.jpg"}) {
            QVERIFY(photos.addNew().ok());
            QVERIFY(photos.setFieldValue("idimmobile", QString::number(house)).ok());
            QVERIFY(photos.setFieldValue("foto", file).ok());
            QVERIFY(photos.update().ok());
        }
        QVERIFY(photos.setRecordSource(Query::keyEquals("foto", "idimmobile", QString::number(house))).ok());
        QVERIFY(photos.refresh().ok());
        QCOMPARE(photos.rowCount(), 3);
        QVERIFY(photos.moveNext().ok());
        QVERIFY(photos.remove().ok()); // the middle one only, although two rows are alike
        QVERIFY(photos.refresh().ok());
        QCOMPARE(photos.rowCount(), 2);
        QCOMPARE(photos.valueAt(0, "foto"), QStringLiteral("/foto/b.jpg"));
        QCOMPARE(photos.valueAt(1, "foto"), QStringLiteral("/foto/b.jpg"));
        QCOMPARE(photos.valueAt(0, "idimmobile"), QString::number(house));
    }

    void databasesThatAreNotTheOfficesAreRefusedByName() {
        struct Case {
            const char* change;
            const char* says;
        };
        const QList<Case> cases = {
            {"DROP TABLE agenda", "manca la tabella «agenda»"},
            {"ALTER TABLE immobile DROP COLUMN mq", "nella tabella «immobile» manca la colonna «mq»"},
            {"ALTER TABLE foto DROP COLUMN rowid", "nella tabella «foto» manca la colonna «rowid»"},
            {"CREATE FUNCTION svuota() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN NULL; END'; "
             "CREATE TRIGGER svuota BEFORE UPDATE ON immobile FOR EACH ROW EXECUTE FUNCTION svuota()",
             "contiene il trigger «svuota», che VELMORA non crea"},
            {"CREATE RULE niente AS ON DELETE TO richiesta DO INSTEAD NOTHING", "contiene la regola «niente»"},
        };
        for (const Case& c : cases) {
            TestPostgres server;
            QVERIFY(Database::create(server.address()).ok());
            run(server.connection(), c.change);
            RecordSource source("immobile", italian);
            const Result opened = source.setDatabaseName(server.address());
            QVERIFY(!opened.ok());
            QVERIFY2(opened.message().contains(c.says) && opened.message().contains(server.address()),
                     qPrintable(opened.message()));
            QVERIFY(!source.refresh().ok());
        }
        // A database that already holds the tables is not made again.
        TestPostgres server;
        QVERIFY(Database::create(server.address()).ok());
        const Result again = Database::create(server.address());
        QVERIFY(!again.ok());
        QVERIFY2(again.message().contains("contiene già"), qPrintable(again.message()));
    }

    void serversThatCannotBeUsedAreToldInItalian() {
        expectRefusal(addressWith({}, "velmora", deadPort()), "non risponde: PostgreSQL non è avviato");
        expectRefusal("postgresql://velmora@server-che-non-esiste.invalid/archivio", "non si trova in rete");
        expectRefusal(addressWith({}, "archivio_che_manca"), "il database «archivio_che_manca» non esiste sul server");
        expectRefusal(addressWith("utente_sconosciuto", "velmora"),
                      "ha rifiutato l'accesso dell'utente «utente_sconosciuto».*\\.pgpass");
        TestPostgres server;
        run(server.connection(), QStringLiteral("CREATE ROLE ospite LOGIN; REVOKE CONNECT ON DATABASE %1 FROM PUBLIC")
                                     .arg(server.databaseName()));
        expectRefusal(addressWith("ospite", server.databaseName()), "l'utente «ospite» non ha il permesso");
        run(server.connection(), "DROP OWNED BY ospite; DROP ROLE ospite");
    }

    // A server that takes the connection and never answers is given up on within a few
    // seconds and told as such, not as a password refused.
    void aServerThatNeverAnswersIsToldWithinSeconds() {
        const SilentListener silent;
        QElapsedTimer waited;
        waited.start();
        expectRefusal(addressWith({}, "velmora", silent.port()),
                      QStringLiteral("^Il database «[^»]+» non si può usare: il server 127\\.0\\.0\\.1:%1 accetta la "
                                     "connessione ma non risponde \\(")
                          .arg(silent.port()));
        // libpq's limit and the program's own question, not the minute it took before.
        QVERIFY2(waited.elapsed() < 20000, qPrintable(QString::number(waited.elapsed())));
    }

    // Another session holds the record being saved: after a second the save waits on with
    // a progress that says who holds it and can be stopped; what was typed stays, and once
    // the record is free the save goes through. Without a progress it is refused at once.
    void aSaveOnAHeldRecordWaitsWithAProgressThatCanBeStopped() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        const qint64 key = db.insert("immobile", {"proprietario"}, {"Rossi"});
        ScriptedDialogs dialogs;
        RecordSource houses("immobile", italian);
        houses.setDialogs(&dialogs);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.setFieldValue("proprietario", "Rossi Maria").ok());

        db.exec("SET application_name = 'velmora'"); // as another desk
        db.exec("BEGIN");
        db.exec(QStringLiteral("SELECT * FROM immobile WHERE id = %1 FOR UPDATE").arg(key));
        const QString holder = "un'altra postazione di VELMORA (computer 127.0.0.1, utente «velmora»)";
        const QString refused = "Non è stato possibile completare la modifica: il record è in uso da " + holder +
                                ". Ciò che è stato scritto resta sulla scheda: riprovare quando il record sarà libero.";
        dialogs.stopProgressAfter = 3;
        const Result stopped = houses.update();
        QCOMPARE(stopped.message(), refused);
        QCOMPARE(dialogs.progressLabels.value(0),
                 QStringLiteral("Si aspetta la risposta del server PostgreSQL… (annullabile)"));
        QVERIFY(dialogs.progressSteps >= 4);
        QVERIFY(houses.hasPendingEdit());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Rossi Maria"));

        houses.setDialogs(nullptr);
        QCOMPARE(houses.update().message(), refused);
        db.exec("COMMIT");
        QVERIFY(houses.update().ok());
        QCOMPARE(db.value("immobile", key, "proprietario").toString(), QStringLiteral("Rossi Maria"));
    }

    // Another desk restores a backup while this one moves: a move or a search while the restore
    // holds the tables says so within seconds, naming it, instead of an empty card or a frozen
    // window; once the tables are made again, the moves show the records.
    void aMoveDuringARestoreOnAnotherDeskSaysWhyThenShowsTheRecords() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        db.insert("immobile", {"proprietario"}, {"Rossi"});
        db.insert("immobile", {"proprietario"}, {"Verdi"});
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        QVERIFY(houses.refresh().ok());
        db.exec("SET application_name = 'velmora-pg_restore-1a2b3c'");
        db.exec("BEGIN");
        db.exec("ALTER TABLE immobile RENAME TO immobile_prima");
        db.exec("CREATE TABLE immobile (LIKE immobile_prima INCLUDING ALL)");
        db.exec("INSERT INTO immobile OVERRIDING SYSTEM VALUE SELECT * FROM immobile_prima");
        db.exec("DROP TABLE immobile_prima CASCADE");
        const Result moved = houses.moveNext();
        const Result searched = houses.refresh();
        db.exec("COMMIT");
        const QString holder = "in uso da un ripristino di backup (computer 127.0.0.1, utente «velmora»); riprovare tra poco";
        QVERIFY2(!moved.ok() && moved.message().startsWith("Il record non si può mostrare: i dati sono " + holder),
                 qPrintable(moved.message()));
        QVERIFY2(!searched.ok() && searched.message().contains(holder), qPrintable(searched.message()));
        QVERIFY(houses.movePrevious().ok());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Rossi"));
        QVERIFY(houses.moveNext().ok());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Verdi"));
    }

    // The server stops answering while a desk is open (as a stopped or frozen server does,
    // here behind a relay of the test's own, so that the tests' shared server goes on for
    // the others): a save is given up within seconds as a lost connection, what was typed
    // stays, and once the server answers again the next try goes through.
    void aServerThatStopsAnsweringIsGivenUpWithinSeconds() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        const qint64 key = db.insert("immobile", {"proprietario"}, {"Rossi"});
        DatabaseLocation server;
        QVERIFY(DatabaseLocation::parse(db.path(), server).ok());
        FreezingRelay relay(server.port());
        const QString address = addressWith({}, server.databaseName(), relay.port());
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(address).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.setFieldValue("proprietario", "Rossi Maria").ok());

        relay.freeze(true);
        QElapsedTimer waited;
        waited.start();
        const Result written = houses.update();
        const qint64 ms = waited.elapsed();
        relay.freeze(false);
        QVERIFY(!written.ok());
        QVERIFY2(written.message().contains("connessione con il server PostgreSQL si è interrotta"),
                 qPrintable(written.message()));
        // Not the minutes the system takes to give a link up.
        QVERIFY2(ms < 20000, qPrintable(QString::number(ms)));
        QVERIFY(houses.hasPendingEdit());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Rossi Maria"));
        // The server answers again: the next try goes through.
        const Result again = houses.update();
        QVERIFY2(again.ok(), qPrintable(again.message()));
        QCOMPARE(db.value("immobile", key, "proprietario").toString(), QStringLiteral("Rossi Maria"));
    }

    // The same with the window's progress: it is up within a second, "Annulla" gives up the
    // save at once with a sentence that says why, the card keeps what was typed, and the
    // window goes on: the next save, with the server back, goes through.
    void aServerThatStopsAnsweringShowsAProgressThatCanBeStopped() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        const qint64 key = db.insert("immobile", {"proprietario"}, {"Rossi"});
        DatabaseLocation server;
        QVERIFY(DatabaseLocation::parse(db.path(), server).ok());
        FreezingRelay relay(server.port());
        const QString address = addressWith({}, server.databaseName(), relay.port());
        ScriptedDialogs dialogs;
        RecordSource houses("immobile", italian);
        houses.setDialogs(&dialogs);
        QVERIFY(houses.setDatabaseName(address).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.setFieldValue("proprietario", "Rossi Maria").ok());
        QVERIFY(dialogs.progressLabels.isEmpty());

        relay.freeze(true);
        dialogs.stopProgressAfter = 0;
        const Result written = houses.update();
        relay.freeze(false);
        QCOMPARE(dialogs.progressLabels.value(0),
                 QStringLiteral("Si aspetta la risposta del server PostgreSQL… (annullabile)"));
        QCOMPARE(written.message(),
                 QStringLiteral("Non è stato possibile completare la modifica: l'attesa è stata annullata (il server "
                                "127.0.0.1:%1 non rispondeva); ciò che è stato scritto resta sulla scheda.")
                     .arg(relay.port()));
        QVERIFY(houses.hasPendingEdit());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Rossi Maria"));
        QCOMPARE(db.value("immobile", key, "proprietario").toString(), QStringLiteral("Rossi"));

        dialogs.stopProgressAfter = -1;
        const Result again = houses.update();
        QVERIFY2(again.ok(), qPrintable(again.message()));
        QCOMPARE(db.value("immobile", key, "proprietario").toString(), QStringLiteral("Rossi Maria"));
    }

    // A window opened on a server that does not answer shows the wait, and "Annulla" says why.
    void anOpeningOnASilentServerCanBeStopped() {
        const SilentListener silent;
        ScriptedDialogs dialogs;
        dialogs.stopProgressAfter = 0;
        std::shared_ptr<Database> database;
        const Result opened = Database::open(addressWith({}, "velmora", silent.port()), database, &dialogs);
        QCOMPARE(dialogs.progressLabels,
                 QStringList{QStringLiteral("Si aspetta la risposta del server 127.0.0.1:%1… (annullabile)")
                                 .arg(silent.port())});
        QVERIFY2(!opened.ok() && opened.message().contains(
                                     QStringLiteral(": l'attesa è stata annullata (il server 127.0.0.1:%1 non rispondeva).")
                                         .arg(silent.port())),
                 qPrintable(opened.message()));
    }

    void aConnectionLostOnTheWayIsToldAndNothingTypedIsLost() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        db.insert("immobile", {"proprietario"}, {"Rossi"});
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.setFieldValue("proprietario", "Rossi Maria").ok());
        run(db.connection(), "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                             "WHERE application_name = 'velmora' AND datname = current_database() AND pid <> pg_backend_pid()");
        const Result written = houses.update();
        QVERIFY(!written.ok());
        QVERIFY2(written.message().contains("connessione con il server PostgreSQL si è interrotta"),
                 qPrintable(written.message()));
        QVERIFY(houses.hasPendingEdit());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Rossi Maria"));
        // The server is there again: the next try goes through.
        QVERIFY(houses.update().ok());
        QCOMPARE(db.value("immobile", *houses.currentKey(), "proprietario").toString(), QStringLiteral("Rossi Maria"));

        // A window opened while another still holds a dead connection gets a live one.
        run(db.connection(), "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                             "WHERE application_name = 'velmora' AND datname = current_database() AND pid <> pg_backend_pid()");
        RecordSource again("immobile", italian);
        QVERIFY(again.setDatabaseName(db.path()).ok());
        QVERIFY(again.refresh().ok());
        QCOMPARE(again.value("proprietario"), QStringLiteral("Rossi Maria"));
    }

    void quickSearchesPageThroughInKeyOrderAndUseTheTrigramIndex() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        // Enough rows that reading them all costs the server more than its index.
        db.exec("INSERT INTO immobile (proprietario) SELECT CASE WHEN g % 7 = 0 THEN 'D''Alessandro Rossi ' || g "
                "ELSE 'Bianchi ' || g END FROM generate_series(0, 39999) g ORDER BY g");
        db.insert("immobile", {"proprietario"}, {"Quintiliano Zappa"});
        db.exec("VACUUM ANALYZE immobile"); // as after a bulk load: the index takes its pending rows in
        QList<qint64> rossi;
        QSqlQuery expected("SELECT id FROM immobile WHERE proprietario LIKE 'D''Alessandro%' ORDER BY id",
                           db.connection());
        while (expected.next())
            rossi << expected.value(0).toLongLong();
        QCOMPARE(rossi.size(), 40000 / 7 + 1);
        std::shared_ptr<Database> database;
        QVERIFY(Database::open(db.path(), database).ok());

        // Forward from the start, then on after the last key found, then backward from the end.
        QList<qint64> found;
        std::optional<qint64> after;
        for (;;) {
            KeySearch page(*database, "immobile", "proprietario", "*d'aLESSandro r*", KeySearch::Direction::Forward,
                           after, 128);
            QVERIFY(page.run(std::chrono::nanoseconds(-1)).ok());
            QCOMPARE(page.methods(), QList<KeySearch::Method>{KeySearch::Method::Index});
            if (page.keys().isEmpty())
                break;
            found << page.keys();
            after = page.keys().last();
        }
        QCOMPARE(found, rossi);
        KeySearch tail(*database, "immobile", "proprietario", "*ROSSI*", KeySearch::Direction::Backward, std::nullopt,
                       5);
        QVERIFY(tail.run(std::chrono::nanoseconds(-1)).ok());
        QCOMPARE(tail.keys(), rossi.mid(rossi.size() - 5));

        // The server looks a rare needle up in the trigram index rather than reading the table.
        QSqlQuery plan(db.connection());
        QVariantList values;
        const QString condition = Query::conditionSql({Query::Condition::Like, "proprietario", "*ano zap*", {}},
                                                      Database::Engine::PostgreSQL, values);
        QVERIFY(plan.exec("EXPLAIN SELECT id FROM immobile WHERE " + inlined(db.connection(), condition, values) +
                          " ORDER BY id LIMIT 128"));
        QString lines;
        while (plan.next())
            lines += plan.value(0).toString() + '\n';
        QVERIFY2(lines.contains("immobile_proprietario_trgm"), qPrintable(lines));
        // Planned for each pattern's own value, never once for any.
        QSqlQuery setting("SHOW plan_cache_mode", database->connection());
        QVERIFY(setting.next());
        QCOMPARE(setting.value(0).toString(), QStringLiteral("force_custom_plan"));
    }

    // Needles too short for a trigram are narrowed by the index of one- and two-character
    // pieces: the rows found are those the office's LIKE alone finds, and a miss is found
    // without reading the table.
    void shortNeedlesFindWhatTheLikeAloneFinds() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        const QStringList atoms = {"a",  "b", "R",      "o", "'", "È", "è", "ß",
                                   "ss", "K", "\u212A", "Σ", "ς", " ", "1", "é"};
        QSqlQuery insert(db.connection());
        insert.prepare("INSERT INTO immobile (proprietario) VALUES (?)");
        quint32 seed = 7;
        const auto next = [&seed](quint32 bound) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % bound;
        };
        for (int i = 0; i < 600; ++i) {
            QString owner;
            for (quint32 k = next(6); k > 0; --k)
                owner += atoms.at(next(atoms.size()));
            insert.addBindValue(i % 50 == 0 ? QVariant() : QVariant(owner));
            QVERIFY(insert.exec());
        }
        db.exec("INSERT INTO immobile (proprietario) SELECT 'Bianchi ' || g FROM generate_series(1, 30000) g");
        db.exec("VACUUM ANALYZE immobile");
        std::shared_ptr<Database> database;
        QVERIFY(Database::open(db.path(), database).ok());
        QVERIFY(database->hasPieceIndex());

        const QStringList needles = {"*a*",  "*è*",   "*È*", "*ß*",    "*'*",  "*k*", "*σ*", "*Rb*",
                                     "*'è*", "*a?b*", "*É*", "*S*",    "*ss*", "*1*", "*z*", "*q*",
                                     "*x?*", "a*",    "*#*", "*[ab]*", "*",    "*e*"};
        for (const QString& needle : needles) {
            KeySearch search(*database, "immobile", "proprietario", needle, KeySearch::Direction::Forward, std::nullopt,
                             100000);
            QVERIFY(search.run(std::chrono::nanoseconds(-1)).ok());
            QVariantList values;
            const QString like = Query::conditionSql({Query::Condition::Like, "proprietario", needle, {}},
                                                     Database::Engine::PostgreSQL, values);
            QSqlQuery plain(db.connection());
            plain.prepare("SELECT id FROM immobile WHERE " + like + " ORDER BY id");
            plain.addBindValue(values.first());
            QVERIFY(plain.exec());
            QList<qint64> expected;
            while (plain.next())
                expected << plain.value(0).toLongLong();
            // Element by element: QList's == hands memcmp a null pointer for a list never filled.
            const QList<qint64> found = search.keys();
            QVERIFY2(std::equal(found.begin(), found.end(), expected.begin(), expected.end()), qPrintable(needle));
        }

        QVariantList values;
        QString condition = Query::conditionSql({Query::Condition::Like, "proprietario", "*zq*", {}},
                                                Database::Engine::PostgreSQL, values);
        QSqlQuery plan(db.connection());
        QVERIFY(plan.exec("EXPLAIN SELECT id FROM immobile WHERE " + inlined(db.connection(), condition, values) +
                          " AND velmora_grams(proprietario) @> ARRAY['zq'] ORDER BY id LIMIT 128"));
        QString lines;
        while (plan.next())
            lines += plan.value(0).toString() + '\n';
        QVERIFY2(lines.contains("immobile_proprietario_grams"), qPrintable(lines));
    }

    // A search the server is slow to answer (here: the table locked by another desk) never
    // holds the window, and the next keystroke's search cancels it on the server instead of
    // waiting behind it.
    void aSlowSearchIsLeftToTheServerAndCancelledByTheNext() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        const qint64 first = db.insert("immobile", {"proprietario"}, {"Rossi Anna"});
        db.insert("immobile", {"proprietario"}, {"Bianchi"});
        const qint64 last = db.insert("immobile", {"proprietario"}, {"ROSSINI"});
        RecordSource houses("immobile", italian);
        QVERIFY(houses.setDatabaseName(db.path()).ok());
        QVERIFY(houses.setRecordSource(Query::contains("immobile", "proprietario", "bianchi")).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(!houses.isSearching());

        // Another desk holds the table for at most 20 s, on a thread of its own.
        std::promise<void> locked;
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
        DatabaseLocation location;
        QVERIFY(DatabaseLocation::parse(db.path(), location).ok());
        std::thread other([&] {
            {
                QSqlDatabase desk = QSqlDatabase::addDatabase("QPSQL", "other-desk");
                desk.setHostName(location.host());
                desk.setPort(location.port());
                desk.setUserName(location.user());
                desk.setDatabaseName(location.databaseName());
                QSqlQuery lock(desk);
                if (!desk.open() || !lock.exec("BEGIN") || !lock.exec("LOCK TABLE immobile IN ACCESS EXCLUSIVE MODE"))
                    qFatal("the other desk cannot lock: %s", qPrintable(lock.lastError().text()));
                locked.set_value();
                std::unique_lock<std::mutex> hold(mutex);
                released.wait_for(hold, std::chrono::seconds(20), [&] { return release; });
                lock.exec("COMMIT");
            }
            QSqlDatabase::removeDatabase("other-desk");
        });
        locked.get_future().wait();

        QElapsedTimer typing;
        typing.start();
        QVERIFY(houses.setRecordSource(Query::contains("immobile", "proprietario", "ros")).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.isSearching());
        QCOMPARE(houses.value("proprietario"), QStringLiteral("Bianchi")); // the rows shown stay
        QVERIFY(houses.setRecordSource(Query::contains("immobile", "proprietario", "ross")).ok());
        QVERIFY(houses.refresh().ok());
        QVERIFY(houses.isSearching());
        QVERIFY2(typing.elapsed() < 5000, qPrintable(QString::number(typing.elapsed())));
        // Only the last search still waits on the server.
        QTRY_COMPARE(single(db.connection(), "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                             "AND pid <> pg_backend_pid() AND state = 'active' "
                                             "AND query LIKE '%\"immobile\" WHERE%'"),
                     QStringLiteral("1"));
        {
            const std::lock_guard<std::mutex> hold(mutex);
            release = true;
        }
        released.notify_one();
        other.join();
        QTRY_VERIFY(!houses.isSearching());
        QCOMPARE(houses.rowCount(), 2);
        QCOMPARE(houses.currentKey(), std::optional<qint64>(first));
        QVERIFY(houses.moveLast().ok());
        QCOMPARE(houses.currentKey(), std::optional<qint64>(last));
    }

    void aWeekOfADenseDiaryIsFoundOnItsIndex() {
        TestDatabase db(TestDatabase::Engine::PostgreSQL);
        db.exec("INSERT INTO agenda (datap, agente) SELECT to_char(date '2016-01-01' + g / 20, 'YYYY-MM-DD'), 'Anna' "
                "FROM generate_series(0, 59999) g");
        db.exec("VACUUM ANALYZE agenda");
        QVariantList values;
        const QString condition = Query::conditionSql(
            {Query::Condition::DateBetween, "datap", "2017-03-01", "2017-03-07"}, Database::Engine::PostgreSQL, values);
        QSqlQuery plan(db.connection());
        QVERIFY(plan.exec("EXPLAIN SELECT id FROM agenda WHERE " + inlined(db.connection(), condition, values) +
                          " ORDER BY id LIMIT 128"));
        QString lines;
        while (plan.next())
            lines += plan.value(0).toString() + '\n';
        QVERIFY2(lines.contains("agenda_datap"), qPrintable(lines));
    }
};

QTEST_GUILESS_MAIN(PostgresTest)
#include "tst_postgres.moc"
