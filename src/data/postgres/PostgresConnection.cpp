#include "data/postgres/PostgresConnection.h"

#include "data/postgres/StatementWait.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <atomic>
#include <memory>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace PostgresConnection {

namespace {

// Seconds libpq waits for a server that does not answer.
constexpr int connectTimeout = 5;

// How long a statement of the program's connection waits for a lock.
constexpr int lockTimeoutMs = 2000;

QString serverName(const DatabaseLocation& location) {
    const QString host = location.host().contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + location.host() + QLatin1Char(']')
                             : location.host();
    return host + QLatin1Char(':') + QString::number(location.port());
}

void configure(QSqlDatabase& db, const DatabaseLocation& location, const QString& databaseName) {
    db.setHostName(location.host());
    db.setPort(location.port());
    if (!location.user().isEmpty())
        db.setUserName(location.user());
    db.setDatabaseName(databaseName);
    // The server's notices ("already exists, skipping") are for a console, not for the office.
    // Every statement is planned for its own values: whether a search's pattern is rare
    // (the trigram index) or common (the key order) decides the plan, and a plan made
    // once for any value would read the whole table for every rare one.
    // Keepalives and the user timeout end a link that broke half-way (a cable pulled, a
    // server switched off) within half a minute, instead of the system's two hours.
    // A statement of the window's thread never waits long for a table or a row another
    // session holds: past the lock timeout it is refused, and the caller says who holds it
    // or waits on with a progress that can be cancelled.
    db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=velmora;keepalives=1;keepalives_idle=10;"
                                        "keepalives_interval=5;keepalives_count=3;tcp_user_timeout=25000;"
                                        "options='-c client_min_messages=warning -c plan_cache_mode=force_custom_plan "
                                        "-c lock_timeout=%2'")
                             .arg(connectTimeout)
                             .arg(lockTimeoutMs));
    // Numbers come back as numbers, never as texts of digits.
    db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
}

// Seconds a listener on the port has to answer PostgreSQL's first question: a server that
// runs answers at once.
constexpr int answerTimeout = 3;

enum class Reach { Reached, UnknownHost, Refused, Silent, Mute };

// Whether what accepted the connection answers as PostgreSQL does: asked whether it speaks
// SSL (the first message of every client), a server answers one letter at once. Something
// else on the port, a server stopped, or a link broken half-way answers nothing.
bool answersLikeAServer(int s, int waitMs) {
    const unsigned char sslRequest[8] = {0, 0, 0, 8, 0x04, 0xd2, 0x16, 0x2f};
    if (send(s, sslRequest, sizeof sslRequest, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof sslRequest))
        return false;
    pollfd waiting{s, POLLIN, 0};
    char answer = 0;
    return poll(&waiting, 1, waitMs) > 0 && recv(s, &answer, 1, 0) == 1;
}

// Whether PostgreSQL answers on the server's port: a TCP connection, its first question, and
// closed at once; each step waits at most `waitMs`.
Reach probePort(const DatabaseLocation& location, int waitMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray host = location.host().toUtf8();
    const QByteArray port = QByteArray::number(location.port());
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
        return Reach::UnknownHost;
    Reach reach = Reach::Refused;
    for (addrinfo* address = found; address && reach != Reach::Reached && reach != Reach::Mute;
         address = address->ai_next) {
        const int s =
            socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (s < 0)
            continue;
        int status = connect(s, address->ai_addr, address->ai_addrlen);
        if (status != 0 && errno == EINPROGRESS) {
            pollfd waiting{s, POLLOUT, 0};
            const int ready = poll(&waiting, 1, waitMs);
            if (ready == 0) {
                reach = Reach::Silent;
            } else if (ready > 0) {
                int error = 0;
                socklen_t size = sizeof error;
                getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size);
                status = error == 0 ? 0 : -1;
            }
        }
        if (status == 0)
            reach = answersLikeAServer(s, waitMs) ? Reach::Reached : Reach::Mute;
        close(s);
    }
    freeaddrinfo(found);
    return reach;
}

// Whether the same user gets into one of the server's own databases; if so, answers
// whether the wanted database exists.
bool reachesServer(const DatabaseLocation& location, bool& exists) {
    bool reached = false;
    for (const QString& maintenance : {QStringLiteral("postgres"), QStringLiteral("template1")}) {
        const QString name = QStringLiteral("velmora-probe-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            configure(db, location, maintenance);
            if (db.open()) {
                reached = true;
                {
                    QSqlQuery query(db);
                    query.prepare(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"));
                    query.addBindValue(location.databaseName());
                    exists = query.exec() && query.next();
                }
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
        if (reached)
            break;
    }
    return reached;
}

} // namespace

bool answers(const DatabaseLocation& location, int waitMs) {
    return probePort(location, waitMs) == Reach::Reached;
}

QString lockHolder(const QSqlDatabase& db, const QStringList& tables) {
    // The strongest lock first (a restore's), then the oldest transaction: the one the
    // others queue behind.
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "SELECT a.application_name, host(a.client_addr), a.usename FROM pg_locks l "
        "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.granted AND l.pid <> pg_backend_pid() "
        "AND l.locktype = 'relation' AND l.relation IN (SELECT to_regclass(t) FROM unnest(string_to_array(?, ',')) t) "
        "ORDER BY l.mode = 'AccessExclusiveLock' DESC, a.xact_start LIMIT 1"));
    query.addBindValue(tables.join(QLatin1Char(',')));
    if (!query.exec() || !query.next())
        return QString();
    return holderPhrase(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
}

QString holderPhrase(const QString& application, const QString& address, const QString& user) {
    QString where = address.isEmpty() ? QStringLiteral("dal server stesso") : QStringLiteral("computer %1").arg(address);
    if (!user.isEmpty())
        where += QStringLiteral(", utente «%1»").arg(user);
    if (application.startsWith(QLatin1String("velmora-pg_restore")))
        return QStringLiteral("un ripristino di backup (%1)").arg(where);
    if (application.startsWith(QLatin1String("velmora-pg_dump")))
        return QStringLiteral("un backup (%1)").arg(where);
    if (application == QLatin1String("velmora"))
        return QStringLiteral("un'altra postazione di VELMORA (%1)").arg(where);
    if (application.isEmpty())
        return QStringLiteral("un altro programma (%1)").arg(where);
    return QStringLiteral("il programma «%1» (%2)").arg(application, where);
}

QString effectiveUser(const DatabaseLocation& location) {
    if (!location.user().isEmpty())
        return location.user();
    if (const QString fromEnvironment = qEnvironmentVariable("PGUSER"); !fromEnvironment.isEmpty())
        return fromEnvironment;
    if (const passwd* account = getpwuid(geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
    return QString();
}

namespace {

// Why the server at `location` cannot be reached; empty when it answers.
QString unreachable(const DatabaseLocation& location, Reach reach) {
    const QString server = serverName(location);
    switch (reach) {
    case Reach::UnknownHost:
        return QStringLiteral("il server «%1» non si trova in rete (il nome è sbagliato o la rete non c'è)")
            .arg(location.host());
    case Reach::Refused:
        return QStringLiteral("il server %1 non risponde: PostgreSQL non è avviato su quel computer, "
                              "o la porta è un'altra")
            .arg(server);
    case Reach::Silent:
        return QStringLiteral("il server %1 non ha risposto entro %2 secondi (rete interrotta o porta chiusa "
                              "da un firewall)")
            .arg(server)
            .arg(answerTimeout);
    case Reach::Mute:
        return QStringLiteral("il server %1 accetta la connessione ma non risponde (PostgreSQL è fermo o bloccato, "
                              "o su quella porta c'è un altro programma)")
            .arg(server);
    case Reach::Reached:
        break;
    }
    return QString();
}

} // namespace

QString diagnose(const DatabaseLocation& location) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("manca il supporto di Qt per PostgreSQL (il pacchetto libqt6sql6-psql)");
    if (const QString why = unreachable(location, probePort(location, answerTimeout * 1000)); !why.isEmpty())
        return why;
    const QString server = serverName(location);
    const QString user = effectiveUser(location);
    bool exists = false;
    if (reachesServer(location, exists)) {
        if (!exists)
            return QStringLiteral("il database «%1» non esiste sul server %2").arg(location.databaseName(), server);
        return QStringLiteral("l'utente «%1» non ha il permesso di collegarsi al database «%2»")
            .arg(user, location.databaseName());
    }
    return QStringLiteral("il server %1 ha rifiutato l'accesso dell'utente «%2» (utente sconosciuto, password "
                          "mancante o sbagliata nel file .pgpass, o accesso non permesso da questo computer)")
        .arg(server, user);
}

Result open(const DatabaseLocation& location, const QString& connectionName, Dialogs* dialogs) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Result::failure(diagnose(location));
    // Asked first, in a moment: a server that does not answer is told within a few seconds,
    // without waiting for libpq's own limit as well; meanwhile the user may give up.
    auto reach = std::make_shared<std::atomic<Reach>>(Reach::Silent);
    if (!StatementWait::runApart(location, dialogs,
                                 [location, reach] { *reach = probePort(location, answerTimeout * 1000); }))
        return Result::failure(StatementWait::stopped());
    if (const QString why = unreachable(location, *reach); !why.isEmpty())
        return Result::failure(why);
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        configure(db, location, location.databaseName());
        opened = db.open();
    }
    if (opened)
        return Result::success();
    QSqlDatabase::removeDatabase(connectionName);
    return Result::failure(diagnose(location));
}

} // namespace PostgresConnection
