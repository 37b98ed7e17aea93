#include "data/postgres/PostgresConnection.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace PostgresConnection {

namespace {

// Seconds libpq (and the probe of the port) waits for a server that does not answer.
constexpr int connectTimeout = 5;

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
    db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=velmora;"
                                        "options='-c client_min_messages=warning -c plan_cache_mode=force_custom_plan'")
                             .arg(connectTimeout));
    // Numbers come back as numbers, never as texts of digits.
    db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
}

enum class Reach { Reached, UnknownHost, Refused, Silent };

// Whether something listens on the server's port: a plain TCP connection, closed at once.
Reach probePort(const DatabaseLocation& location) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray host = location.host().toUtf8();
    const QByteArray port = QByteArray::number(location.port());
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
        return Reach::UnknownHost;
    Reach reach = Reach::Refused;
    for (addrinfo* address = found; address && reach != Reach::Reached; address = address->ai_next) {
        const int s =
            socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol);
        if (s < 0)
            continue;
        int status = connect(s, address->ai_addr, address->ai_addrlen);
        if (status != 0 && errno == EINPROGRESS) {
            pollfd waiting{s, POLLOUT, 0};
            const int ready = poll(&waiting, 1, connectTimeout * 1000);
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
            reach = Reach::Reached;
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

QString effectiveUser(const DatabaseLocation& location) {
    if (!location.user().isEmpty())
        return location.user();
    if (const QString fromEnvironment = qEnvironmentVariable("PGUSER"); !fromEnvironment.isEmpty())
        return fromEnvironment;
    if (const passwd* account = getpwuid(geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
    return QString();
}

QString diagnose(const DatabaseLocation& location) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("manca il supporto di Qt per PostgreSQL (il pacchetto libqt6sql6-psql)");
    const QString server = serverName(location);
    switch (probePort(location)) {
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
            .arg(connectTimeout);
    case Reach::Reached:
        break;
    }
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

Result open(const DatabaseLocation& location, const QString& connectionName) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return Result::failure(diagnose(location));
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
