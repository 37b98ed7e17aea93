#include "data/postgres/PostgresEngine.h"

#include "data/postgres/PostgresConnection.h"
#include "data/postgres/PostgresError.h"
#include "data/postgres/PostgresKeySearch.h"
#include "data/postgres/PostgresSchema.h"
#include "data/postgres/PostgresSearch.h"
#include "data/postgres/ServerWatch.h"
#include "data/postgres/StatementWait.h"
#include "data/vocabulary/Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

namespace {

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace

PostgresEngine::PostgresEngine(const DatabaseLocation& location, const QString& connectionName)
    : m_location(location), m_connectionName(connectionName) {}

PostgresEngine::~PostgresEngine() {
    m_kept.clear();
    m_search.reset();
    m_serverWatch.reset();
}

QSqlDatabase PostgresEngine::connection() const {
    return QSqlDatabase::database(m_connectionName, false);
}

QString PostgresEngine::keyColumn(const QString& table) const {
    return PostgresSchema::keyColumn(table);
}

QSqlQuery* PostgresEngine::rowsByKeys(const QString& table, const QList<qint64>& keys, QSqlQuery&, QString& sql) {
    // One statement for any block, kept prepared on the server: the keys go as one array.
    QSqlError ignored;
    sql = QStringLiteral("SELECT %1, * FROM %2 WHERE %1 = ANY(CAST(? AS bigint[]))").arg(keyColumn(table), quoted(table));
    QSqlQuery* query = kept(sql, ignored);
    if (!query)
        return nullptr;
    QStringList list;
    for (const qint64 k : keys)
        list << QString::number(k);
    query->bindValue(0, QLatin1Char('{') + list.join(QLatin1Char(',')) + QLatin1Char('}'));
    return query;
}

QString PostgresEngine::returningKey(const QString& table) const {
    // The server tells the new key only when asked for it.
    return QStringLiteral(" RETURNING ") + keyColumn(table);
}

QString PostgresEngine::criteriaSql(const QString&, const Query::Condition& condition, bool,
                                    QVariantList& values) const {
    // The planner weighs the ways to the rows itself.
    return Query::conditionSql(condition, Kind::PostgreSQL, values);
}

bool PostgresEngine::runBriefly(const std::function<void()>& run) const {
    run();
    return false;
}

std::unique_ptr<KeyScan> PostgresEngine::keySearch(const QString& table, const QString& field, const QString& pattern,
                                                   KeyScan::Direction direction, std::optional<qint64> from,
                                                   int limit) {
    return std::make_unique<PostgresKeySearch>(*this, table, field, pattern, direction, from, limit);
}

void PostgresEngine::letGo() {
    // What was prepared on the lost connection is gone from the server with it.
    m_kept.clear();
    m_search.reset();
    if (m_serverWatch)
        m_serverWatch->release();
    connection().close();
    ++m_generation;
}

bool PostgresEngine::reconnect() {
    letGo();
    // The user has just given up waiting for the server: it is not asked again now, only at
    // the next operation (comeBack).
    if (!StatementWait::stopped().isEmpty())
        return false;
    return connectAgain();
}

bool PostgresEngine::connectAgain() {
    QSqlDatabase db = connection();
    // A server that does not answer would hold the window for libpq's whole time limit, at
    // every try: a quick question first, which the user can stop.
    auto answered = std::make_shared<std::atomic<bool>>(false);
    if (!StatementWait::runApart(m_location, m_dialogs,
                                 [location = m_location, answered] { *answered = PostgresConnection::answers(location, 2000); }) ||
        !*answered || !db.open())
        return false;
    if (m_serverWatch)
        m_serverWatch->guard(db);
    return true;
}

void PostgresEngine::comeBack() {
    if (!connection().isOpen())
        (void)connectAgain();
}

bool PostgresEngine::connectionLost(const QSqlError& error) const {
    return !connection().isOpen() || PostgresError::isConnectionLoss(error);
}

QSqlQuery* PostgresEngine::kept(const QString& sql, QSqlError& error) {
    constexpr std::size_t keptStatements = 32;
    for (auto i = m_kept.begin(); i != m_kept.end(); ++i)
        if (i->first == sql) {
            m_kept.splice(m_kept.begin(), m_kept, i);
            return m_kept.front().second.get();
        }
    auto query = std::make_unique<QSqlQuery>(connection());
    query->setForwardOnly(true);
    if (!query->prepare(sql)) {
        error = query->lastError();
        return nullptr;
    }
    if (m_kept.size() >= keptStatements)
        m_kept.pop_back();
    m_kept.emplace_front(sql, std::move(query));
    return m_kept.front().second.get();
}

void PostgresEngine::forget(const QString& sql) {
    m_kept.remove_if([&sql](const auto& kept) { return kept.first == sql; });
}

PostgresSearch* PostgresEngine::searchConnection(bool make) {
    if (m_search && m_search->isBroken()) {
        m_search.reset();
        m_searchGeneration = -1; // lost on the way: made again once
    }
    // A server that refused it is not asked again at every keystroke, only after the
    // program's own connection was made again.
    // Nor while the program's own connection is closed: the server did not answer it.
    if (!m_search && make && m_searchGeneration != m_generation && connection().isOpen()) {
        m_searchGeneration = m_generation;
        m_search = PostgresSearch::connect(m_location);
    }
    return m_search.get();
}

QString PostgresEngine::describe(const QSqlError& error) const {
    // The user stopped the wait for it.
    if (const QString stop = StatementWait::stopped(); !stop.isEmpty() &&
        (error.nativeErrorCode() == QLatin1String("57014") || error.nativeErrorCode().isEmpty() || connectionLost(error)))
        return stop;
    // A table another session holds (a restore, a desk's open transaction): who it is.
    if (error.nativeErrorCode() == QLatin1String("55P03")) {
        QStringList tables;
        for (const Schema::Table& table : Schema::tables())
            tables << table.name;
        if (const QString holder = PostgresConnection::lockHolder(connection(), tables); !holder.isEmpty())
            return QStringLiteral("i dati sono in uso da %1; riprovare tra poco").arg(holder);
    }
    // A closed connection leaves Qt's statements with no error of the server to tell.
    return PostgresError::describe(connectionLost(error) ? QSqlError(QString(), QString(), QSqlError::ConnectionError)
                                                         : error);
}

QString PostgresEngine::describeReading(const QSqlError& error) const {
    return PostgresError::describe(error);
}

Result PostgresEngine::stillThere(Dialogs* dialogs) {
    // The connection of a window still open may have died with a server that has since
    // come back: a window opened now gets a live one.
    QSqlQuery alive(connection());
    bool answered = false;
    StatementWait::run(connection(), dialogs, [&] { answered = alive.exec(QStringLiteral("SELECT 1")); });
    if (!answered && (!StatementWait::stopped().isEmpty() || connectionLost(alive.lastError())) && !reconnect())
        return Result::failure(unusable(m_location.text(), StatementWait::stopped().isEmpty()
                                                               ? PostgresConnection::diagnose(m_location)
                                                               : StatementWait::stopped()));
    if (!m_dialogs)
        m_dialogs = dialogs;
    return Result::success();
}

Result PostgresEngine::open(const DatabaseLocation& location, const QString& connectionName,
                            std::unique_ptr<Engine>& engine, Dialogs* dialogs) {
    const QString address = location.text();
    if (const Result connected = PostgresConnection::open(location, connectionName, dialogs); !connected)
        return Result::failure(unusable(address, connected.message()));
    std::unique_ptr<PostgresEngine> opened(new PostgresEngine(location, connectionName));
    opened->m_dialogs = dialogs;
    QSqlDatabase db = opened->connection();
    opened->m_serverWatch = std::make_unique<ServerWatch>(location);
    opened->m_serverWatch->guard(db);
    if (const Result prepared = PostgresSchema::prepare(db); !prepared)
        return Result::failure(unusable(address, prepared.message()));
    if (const QString problem = PostgresSchema::problem(db); !problem.isEmpty())
        return Result::failure(unusable(address, problem));
    opened->m_pieceIndex = PostgresSchema::hasGrams(db);
    engine = std::move(opened);
    return Result::success();
}

Result PostgresEngine::create(const DatabaseLocation& location, const QString& name) {
    const QString address = location.text();
    if (const Result connected = PostgresConnection::open(location, name); !connected)
        return Result::failure(
            QStringLiteral("Impossibile creare il database «%1»: %2.").arg(address, connected.message()));
    Result result = Result::success();
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        bool any = false;
        for (const Schema::Table& table : Schema::tables()) {
            QSqlQuery query(db);
            query.prepare(QStringLiteral("SELECT 1 FROM information_schema.tables "
                                         "WHERE table_schema = current_schema() AND table_name = ?"));
            query.addBindValue(table.name);
            if (!query.exec() || query.next())
                any = true;
        }
        if (any)
            result = Result::failure(QStringLiteral("Il database «%1» contiene già le tabelle di un archivio: "
                                                    "non è stato cambiato.")
                                         .arg(address));
        else if (const Result prepared = PostgresSchema::prepare(db); !prepared)
            result = Result::failure(
                QStringLiteral("Impossibile creare il database «%1»: %2.").arg(address, prepared.message()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
