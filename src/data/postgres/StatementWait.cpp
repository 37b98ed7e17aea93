#include "data/postgres/StatementWait.h"

#include "data/postgres/PostgresConnection.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QThread>
#include <QTimer>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#ifdef VELMORA_LIBPQ
#include <cerrno>
#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace StatementWait {

namespace {

// A wait shorter than this shows nothing, and no event runs meanwhile.
constexpr int quietMs = 500;
// The progress answers this often.
constexpr int lookEveryMs = 50;

bool inside = false;                // the window's thread is in a wait
std::atomic<bool> offered{false};   // a progress with "Annulla" is up
QString lastStop;                   // the window's thread only
QString lastHolder;

bool onWindowThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

QString serverName(const QString& host, int port) {
    const QString shown = host.isEmpty() ? QStringLiteral("locale") : host;
    return (shown.contains(QLatin1Char(':')) ? QLatin1Char('[') + shown + QLatin1Char(']') : shown) +
           QLatin1Char(':') + QString::number(port > 0 ? port : DatabaseLocation::defaultPort);
}

// The windows' timers wait with the statement: what they would start (a search as the user
// types, a list filled in pieces) needs the connection the statement holds. Left unanswered, a
// timer stays due and fires once the wait is over.
class TimersHeld : public QObject {
public:
    TimersHeld() { QCoreApplication::instance()->installEventFilter(this); }
    ~TimersHeld() override { QCoreApplication::instance()->removeEventFilter(this); }
    TimersHeld(const TimersHeld&) = delete;
    TimersHeld& operator=(const TimersHeld&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Qt's own timers (a blinking cursor, the progress bar's motion) go on.
        return event->type() == QEvent::Timer &&
               (qobject_cast<QTimer*>(watched) || watched->inherits("QSingleShotTimer")) &&
               !watched->property(runsDuringWaits).toBool();
    }
};

// While a wait is shown: its progress, and the rule that it is the only one.
struct Shown {
    explicit Shown(std::unique_ptr<Progress> shown) : progress(std::move(shown)) { offered = progress != nullptr; }
    ~Shown() { offered = false; }
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;
    bool goOn() { return Progress::advance(progress.get(), 0, 0); }
    void tell(const QString& label) {
        if (progress && !label.isEmpty() && label != told)
            progress->setLabel(told = label);
    }

    std::unique_ptr<Progress> progress;
    TimersHeld timers;
    QString told;
};

#ifdef VELMORA_LIBPQ

// Who holds the lock a statement waits for is asked again this often, each question answered
// within its time or taken for a server that does not answer.
constexpr int askEveryMs = 1000;
constexpr int answerMs = 2000;
// A server that heard the cancel ends the statement within this; past it, the link is cut.
constexpr int cancelHeardMs = 1500;

PGconn* connectionOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by its typedef or by the struct behind it, depending on its version.
    if (db.isOpen() && handle.isValid() &&
        (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn* const*>(handle.constData());
    return nullptr;
}

// One thread runs the statements the window's thread waits on, one at a time. It lives as long
// as the process: a statement cut off at the very end of the program is not waited for.
class Runner {
public:
    static Runner& instance() {
        static Runner* runner = new Runner;
        return *runner;
    }
    void start(const std::function<void()>* work) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_work = work;
        m_finished = false;
        m_wake.notify_all();
    }
    // Whether the work has finished within `ms`; a negative `ms` waits until it has.
    bool finishedWithin(int ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (ms < 0) {
            m_done.wait(lock, [this] { return m_finished; });
            return true;
        }
        return m_done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_finished; });
    }

private:
    Runner() : m_thread([this] { loop(); }) { m_thread.detach(); }
    void loop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_work != nullptr; });
            const std::function<void()>* work = m_work;
            lock.unlock();
            (*work)();
            lock.lock();
            m_work = nullptr;
            m_finished = true;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void()>* m_work = nullptr;
    bool m_finished = true;
    std::thread m_thread;
};

// What a wait is waiting for, asked on a connection apart; shared with the thread that asks.
struct Finding {
    std::mutex mutex;
    std::condition_variable wake;
    bool over = false;     // the wait is over: ask no more
    bool answered = false; // asked at least once
    QString label;         // for the progress
    QString reason;        // for the message, when the user stops the wait
    QString holder;
};

struct Server {
    QByteArray host, port, user, database;
    QString name;
};

// The rows the server answers to `sql` with the one value, or nothing when it does not answer
// within `ms`.
std::optional<QList<QStringList>> askWithin(PGconn* connection, const char* sql, const QByteArray& value, int ms) {
    const char* values[] = {value.constData()};
    if (!PQsendQueryParams(connection, sql, 1, nullptr, values, nullptr, nullptr, 0))
        return std::nullopt;
    QElapsedTimer waited;
    waited.start();
    while (PQisBusy(connection)) {
        const qint64 left = ms - waited.elapsed();
        pollfd readable{PQsocket(connection), POLLIN, 0};
        const int ready = left > 0 ? poll(&readable, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !PQconsumeInput(connection))
            return std::nullopt;
    }
    QList<QStringList> rows;
    while (PGresult* result = PQgetResult(connection)) {
        if (PQresultStatus(result) == PGRES_TUPLES_OK)
            for (int row = 0; row < PQntuples(result); ++row) {
                QStringList fields;
                for (int field = 0; field < PQnfields(result); ++field)
                    fields << QString::fromUtf8(PQgetvalue(result, row, field));
                rows << fields;
            }
        PQclear(result);
    }
    return rows;
}

// Asks, until the wait is over, what the statement of the backend `pid` waits for.
void ask(const std::shared_ptr<Finding>& finding, const Server& server, int pid) {
    const char* keys[] = {"host", "port", "user", "dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {server.host.constData(), server.port.constData(), server.user.constData(),
                            server.database.constData(), "2", "velmora-attesa", nullptr};
    // The session the statement waits behind first; the one whose transaction is the oldest
    // when several are queued.
    static const char* who =
        "SELECT a.application_name, coalesce(host(a.client_addr), ''), coalesce(a.usename::text, ''), "
        "EXISTS (SELECT 1 FROM pg_locks l WHERE l.pid = $1::int AND NOT l.granted AND l.locktype = 'relation') "
        "FROM pg_stat_activity a WHERE a.pid = ANY (pg_blocking_pids($1::int)) ORDER BY a.xact_start LIMIT 1";
    PGconn* side = nullptr;
    for (;;) {
        QString label, reason, holder;
        if (!side || PQstatus(side) != CONNECTION_OK) {
            if (side)
                PQfinish(side);
            side = PQconnectdbParams(keys, values, 0);
        }
        std::optional<QList<QStringList>> rows;
        if (PQstatus(side) == CONNECTION_OK)
            rows = askWithin(side, who, QByteArray::number(pid), answerMs);
        if (!rows) {
            PQfinish(side);
            side = nullptr;
            label = QStringLiteral("Il server %1 non risponde: si aspetta ancora…").arg(server.name);
            reason = QStringLiteral("il server %1 non rispondeva").arg(server.name);
        } else if (rows->isEmpty()) {
            label = QStringLiteral("Il server PostgreSQL sta ancora lavorando: si aspetta che finisca…");
            reason = QStringLiteral("il server PostgreSQL stava ancora lavorando");
        } else {
            const QStringList& row = rows->constFirst();
            holder = PostgresConnection::holderPhrase(row.value(0), row.value(1), row.value(2));
            const bool table = row.value(3) == QLatin1String("t");
            label = (table ? QStringLiteral("I dati sono in uso da %1: si aspetta che li lasci…")
                           : QStringLiteral("Il record è in uso da %1: si aspetta che lo lasci…"))
                        .arg(holder);
            reason = (table ? QStringLiteral("i dati erano in uso da %1") : QStringLiteral("il record era in uso da %1"))
                         .arg(holder);
        }
        std::unique_lock<std::mutex> lock(finding->mutex);
        finding->label = label;
        finding->reason = reason;
        finding->holder = holder;
        finding->answered = true;
        finding->wake.notify_all();
        if (finding->wake.wait_for(lock, std::chrono::milliseconds(askEveryMs), [&] { return finding->over; }))
            break;
    }
    if (side)
        PQfinish(side);
}

#endif

} // namespace

void run(const QSqlDatabase& db, Dialogs* dialogs, const std::function<void()>& work) {
#ifdef VELMORA_LIBPQ
    PGconn* connection = onWindowThread() ? connectionOf(db) : nullptr;
    // Started from an event while another statement is waited for: the connection is that one's.
    if (connection && inside) {
        lastStop = QStringLiteral("un'altra operazione sul database era ancora in corso");
        lastHolder.clear();
        return;
    }
    if (onWindowThread()) {
        lastStop.clear();
        lastHolder.clear();
    }
    if (!connection || !dialogs) {
        work();
        return;
    }
    inside = true;
    const auto leave = qScopeGuard([] { inside = false; });
    Runner& runner = Runner::instance();
    runner.start(&work);
    if (runner.finishedWithin(quietMs))
        return;

    auto finding = std::make_shared<Finding>();
    const auto over = qScopeGuard([&finding] {
        const std::lock_guard<std::mutex> lock(finding->mutex);
        finding->over = true;
        finding->wake.notify_all();
    });
    const Server server{db.hostName().toUtf8(), QByteArray::number(db.port() > 0 ? db.port() : 5432),
                        db.userName().toUtf8(), db.databaseName().toUtf8(), serverName(db.hostName(), db.port())};
    std::thread([finding, server, pid = PQbackendPID(connection)] { ask(finding, server, pid); }).detach();
    const auto found = [&finding] {
        const std::lock_guard<std::mutex> lock(finding->mutex);
        return finding->label;
    };

    Shown shown(dialogs->progress(QStringLiteral("Si aspetta la risposta del server PostgreSQL…"), true));
    for (;;) {
        if (runner.finishedWithin(lookEveryMs))
            return;
        shown.tell(found());
        if (!shown.goOn())
            break;
    }

    // The user gives up: the server is asked to stop the statement, from a thread of its own (a
    // server that does not answer would hold the question too); one that does not hear it within
    // a moment has its link cut, and the statement fails at once as a lost connection.
    shown.tell(QStringLiteral("Si smette di aspettare…"));
    if (PGcancel* cancel = PQgetCancel(connection))
        std::thread([cancel] {
            char why[256];
            (void)PQcancel(cancel, why, sizeof why);
            PQfreeCancel(cancel);
        }).detach();
    QElapsedTimer asked;
    asked.start();
    while (!runner.finishedWithin(lookEveryMs)) {
        if (asked.elapsed() >= cancelHeardMs) {
            ::shutdown(PQsocket(connection), SHUT_RDWR);
            runner.finishedWithin(-1);
            break;
        }
        (void)shown.goOn();
    }
    // What it was waiting for, as the side connection found it (it answers within its own time).
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(finding->mutex);
            if (finding->wake.wait_for(lock, std::chrono::milliseconds(lookEveryMs), [&] { return finding->answered; })) {
                lastStop = QStringLiteral("l'attesa è stata annullata (%1)").arg(finding->reason);
                lastHolder = finding->holder;
                break;
            }
        }
        (void)shown.goOn();
    }
#else
    Q_UNUSED(db);
    Q_UNUSED(dialogs);
    if (onWindowThread())
        lastStop.clear();
    work();
#endif
}

bool runApart(const DatabaseLocation& location, Dialogs* dialogs, std::function<void()> work) {
    if (!onWindowThread()) {
        work();
        return true;
    }
    lastStop.clear();
    lastHolder.clear();
    if (!dialogs || inside) {
        work();
        return true;
    }
    inside = true;
    const auto leave = qScopeGuard([] { inside = false; });
    struct Done {
        std::mutex mutex;
        std::condition_variable wake;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    std::thread([done, work = std::move(work)] {
        work();
        const std::lock_guard<std::mutex> lock(done->mutex);
        done->done = true;
        done->wake.notify_all();
    }).detach();
    const auto finishedWithin = [&done](int ms) {
        std::unique_lock<std::mutex> lock(done->mutex);
        return done->wake.wait_for(lock, std::chrono::milliseconds(ms), [&done] { return done->done; });
    };
    if (finishedWithin(quietMs))
        return true;
    const QString server = serverName(location.host(), location.port());
    Shown shown(dialogs->progress(QStringLiteral("Si aspetta la risposta del server %1…").arg(server), true));
    for (;;) {
        if (finishedWithin(lookEveryMs))
            return true;
        if (!shown.goOn())
            break;
    }
    lastStop = QStringLiteral("l'attesa è stata annullata (il server %1 non rispondeva)").arg(server);
    return false;
}

bool available(const QSqlDatabase& db, Dialogs* dialogs) {
#ifdef VELMORA_LIBPQ
    return dialogs && onWindowThread() && connectionOf(db);
#else
    Q_UNUSED(db);
    Q_UNUSED(dialogs);
    return false;
#endif
}

QString stopped() {
    return lastStop;
}

QString stoppedHolder() {
    return lastHolder;
}

bool busy() {
    return inside;
}

bool stoppable() {
    return offered;
}

} // namespace StatementWait
