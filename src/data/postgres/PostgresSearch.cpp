#include "data/postgres/PostgresSearch.h"

#ifdef VELMORA_LIBPQ

#include <cerrno>
#include <libpq-fe.h>
#include <poll.h>
#include <time.h>
#include <vector>

namespace {

// "?" marks as PostgreSQL's numbered parameters, outside quoted names and texts.
QByteArray numbered(const QString& sql) {
    QString out;
    int n = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++n);
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

qint64 nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

std::unique_ptr<PostgresSearch> PostgresSearch::connect(const DatabaseLocation& location) {
    // As the program's own connection (PostgresConnection): no password here, libpq finds
    // it; the same options, so that every pattern is planned for its own value.
    const QByteArray host = location.host().toUtf8();
    const QByteArray port = QByteArray::number(location.port());
    const QByteArray user = location.user().toUtf8();
    const QByteArray name = location.databaseName().toUtf8();
    std::vector<const char*> keys{"host",           "port",   "dbname", "connect_timeout", "application_name",
                                  "client_encoding", "options"};
    // A search that waits for a table another session holds (a restore) is given up as the
    // program's own statements are: a cancel that came too early would otherwise leave the
    // window waiting for its answer.
    std::vector<const char*> values{host.constData(), port.constData(), name.constData(), "5", "velmora", "UTF8",
                                    "-c client_min_messages=warning -c plan_cache_mode=force_custom_plan "
                                    "-c lock_timeout=2000"};
    if (!user.isEmpty()) {
        keys.push_back("user");
        values.push_back(user.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn* connection = PQconnectdbParams(keys.data(), values.data(), 0);
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        PQfinish(connection);
        return nullptr;
    }
    return std::unique_ptr<PostgresSearch>(new PostgresSearch(connection));
}

PostgresSearch::PostgresSearch(pg_conn* connection) : m_connection(connection), m_cancel(PQgetCancel(connection)) {}

PostgresSearch::~PostgresSearch() {
    cancel();
    if (m_cancel)
        PQfreeCancel(m_cancel);
    PQfinish(m_connection);
}

bool PostgresSearch::isBroken() const {
    return PQstatus(m_connection) != CONNECTION_OK;
}

void PostgresSearch::cancel() {
    if (m_state != State::Waiting)
        return;
    // An answer already here needs no cancelling: a cancel that reached an idle server
    // could stop the next statement instead.
    if (PQconsumeInput(m_connection) && PQisBusy(m_connection) && m_cancel) {
        char error[256];
        PQcancel(m_cancel, error, sizeof error);
    }
    m_discard = true;
    m_state = State::Idle;
}

bool PostgresSearch::drain() {
    if (!m_discard)
        return true;
    m_discard = false;
    while (PGresult* result = PQgetResult(m_connection))
        PQclear(result);
    return !isBroken();
}

void PostgresSearch::cancel(quint64 ticket) {
    if (ticket == m_ticket)
        cancel();
}

quint64 PostgresSearch::sendForRows(const QString& sql, const QList<QByteArray>& values) {
    const quint64 ticket = send(sql, values);
    m_wantRows = true;
    return ticket;
}

quint64 PostgresSearch::send(const QString& sql, const QList<QByteArray>& values) {
    // Unique across connections made again, so an old ticket never fits a new statement.
    static quint64 tickets = 0;
    cancel();
    m_keys.clear();
    m_rows.clear();
    m_wantRows = false;
    m_state = State::Failed;
    m_ticket = ++tickets;
    if (!drain())
        return 0;
    std::vector<const char*> parameters;
    parameters.reserve(values.size());
    for (const QByteArray& value : values)
        parameters.push_back(value.isNull() ? nullptr : value.constData());
    // Parsed, planned for these values and run in one round trip, and never waited for.
    const QByteArray text = numbered(sql);
    if (!PQsendQueryParams(m_connection, text.constData(), static_cast<int>(parameters.size()), nullptr,
                           parameters.data(), nullptr, nullptr, 0))
        return 0;
    m_state = State::Waiting;
    return m_ticket;
}

void PostgresSearch::collectRows(pg_result* result) {
    // Type numbers of the server's catalogue (pg_type): whole numbers, then the others.
    enum Kind { Text, Whole, Fraction };
    const int columns = PQnfields(result);
    std::vector<Kind> kinds(static_cast<std::size_t>(columns), Text);
    for (int column = 0; column < columns; ++column) {
        switch (PQftype(result, column)) {
        case 20: // int8
        case 21: // int2
        case 23: // int4
            kinds[static_cast<std::size_t>(column)] = Whole;
            break;
        case 700:  // float4
        case 701:  // float8
        case 1700: // numeric
            kinds[static_cast<std::size_t>(column)] = Fraction;
            break;
        default:
            break;
        }
    }
    const int rows = PQntuples(result);
    m_rows.reserve(m_rows.size() + static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        QVariantList values;
        values.reserve(columns);
        for (int column = 0; column < columns; ++column) {
            if (PQgetisnull(result, row, column)) {
                values.append(QVariant());
                continue;
            }
            const char* text = PQgetvalue(result, row, column);
            const int length = PQgetlength(result, row, column);
            switch (kinds[static_cast<std::size_t>(column)]) {
            case Whole:
                values.append(QByteArray::fromRawData(text, length).toLongLong());
                break;
            case Fraction:
                values.append(QByteArray::fromRawData(text, length).toDouble());
                break;
            case Text:
                values.append(QString::fromUtf8(text, length));
                break;
            }
        }
        m_rows.push_back(std::move(values));
    }
}

PostgresSearch::State PostgresSearch::collect() {
    m_state = State::Done;
    while (PGresult* result = PQgetResult(m_connection)) {
        if (PQresultStatus(result) == PGRES_TUPLES_OK && m_state == State::Done && m_wantRows) {
            collectRows(result);
        } else if (PQresultStatus(result) == PGRES_TUPLES_OK && m_state == State::Done) {
            const int rows = PQntuples(result);
            m_keys.reserve(rows);
            for (int row = 0; row < rows; ++row)
                m_keys.append(QByteArray::fromRawData(PQgetvalue(result, row, 0), PQgetlength(result, row, 0)).toLongLong());
        } else {
            m_state = State::Failed;
        }
        PQclear(result);
    }
    if (m_state == State::Failed) {
        m_keys.clear();
        m_rows.clear();
    }
    return m_state;
}

PostgresSearch::State PostgresSearch::wait(quint64 ticket, std::chrono::nanoseconds timeout) {
    if (ticket != m_ticket)
        return State::Failed;
    if (m_state != State::Waiting)
        return m_state;
    const qint64 deadline = timeout.count() < 0 ? -1 : nowNs() + timeout.count();
    for (;;) {
        if (!PQconsumeInput(m_connection))
            return m_state = State::Failed;
        if (!PQisBusy(m_connection))
            return collect();
        pollfd socket{PQsocket(m_connection), POLLIN, 0};
        int waitMs = -1;
        if (deadline >= 0) {
            const qint64 left = deadline - nowNs();
            if (left <= 0)
                return m_state;
            waitMs = static_cast<int>((left + 999'999) / 1'000'000);
        }
        if (poll(&socket, 1, waitMs) < 0 && errno != EINTR)
            return m_state = State::Failed;
    }
}

#else // built without PostgreSQL's client library: searches wait on the program's own connection

std::unique_ptr<PostgresSearch> PostgresSearch::connect(const DatabaseLocation&) {
    return nullptr;
}
PostgresSearch::PostgresSearch(pg_conn* connection) : m_connection(connection) {}
PostgresSearch::~PostgresSearch() = default;
bool PostgresSearch::isBroken() const {
    return true;
}
void PostgresSearch::cancel() {}
void PostgresSearch::cancel(quint64) {}
quint64 PostgresSearch::send(const QString&, const QList<QByteArray>&) {
    return 0;
}
quint64 PostgresSearch::sendForRows(const QString&, const QList<QByteArray>&) {
    return 0;
}
PostgresSearch::State PostgresSearch::wait(quint64, std::chrono::nanoseconds) {
    return State::Failed;
}

#endif
