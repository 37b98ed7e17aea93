#include "data/sqlite/SqliteEngine.h"

#include "data/sqlite/EngineError.h"
#include "data/sqlite/SchemaCheck.h"
#include "data/sqlite/SqlFunctions.h"
#include "data/sqlite/SqliteKeySearch.h"
#include "data/sqlite/SqliteSchema.h"
#include "data/sqlite/search/ColumnCache.h"
#include "data/sqlite/search/CriteriaIndex.h"
#include "data/sqlite/search/SearchIndex.h"
#include "data/sqlite/search/WriteLedger.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <cerrno>
#include <sqlite3.h>

namespace {

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// A file locked by another connection (the search index's builder, another copy of the
// program) is tried again every millisecond for up to about 5 s, as long as Qt would wait:
// SQLite's own timeout sleeps ever longer and would keep missing the short gaps between
// the builder's transactions.
int waitForLock(void*, int attempts) {
    if (attempts >= 5000)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

// Opens a connection to a file and makes it ready for the program's queries.
Result connect(const QString& name, const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        return Result::failure(Engine::unusable(path, EngineError::describe(db.lastError(), path)));
    sqlite3* handle = sqliteHandle(db);
    if (!handle || !SqlFunctions::install(handle))
        return Result::failure(QStringLiteral("Impossibile preparare il database «%1».").arg(path));
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA cache_size = -16384"));  // 16 MB of pages, whatever the file's size
    sqlite3_busy_handler(handle, waitForLock, nullptr);
    // The full code tells a file deleted or replaced under the program from a protected one.
    sqlite3_extended_result_codes(handle, 1);
    return Result::success();
}

// Rows written through the program's own connection: the columns held in memory follow them.
void rowWritten(void* columns, int, const char* database, const char* table, sqlite3_int64 rowid) {
    if (qstrcmp(database, "main") == 0)
        static_cast<ColumnCache*>(columns)->rowChanged(table, rowid);
}

// Whether a range holds a good part of the table. Rows come in key order, so through
// the field's index SQLite reads and sorts every row of the range before the first page
// (a range of weeks in a dense diary: thousands); in key order it finds the first page
// of such a range after a few thousand rows. A narrow range is best found on the index.
// Counting stops at the bound, so asking costs no more than either way.
bool coversMuch(const QSqlDatabase& db, const QString& table, const Query::Condition& range) {
    QSqlQuery size(db);
    if (!size.exec(QStringLiteral("SELECT max(rowid) FROM %1").arg(quoted(table))) || !size.next())
        return false;
    const qint64 bound = std::max<qint64>(1024, size.value(0).toLongLong() / 32);
    QSqlQuery count(db);
    count.prepare(QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE %2 BETWEEN ? AND ? LIMIT ?)")
                      .arg(quoted(table), quoted(range.field)));
    count.addBindValue(range.first);
    count.addBindValue(range.second);
    count.addBindValue(bound);
    return count.exec() && count.next() && count.value(0).toLongLong() >= bound;
}

// SQLite's steps a page is looked for in key order before the indexes are weighed: some
// 2,000 rows of a criteria search, well under a millisecond (about what weighing them
// takes at 100,000 rows).
constexpr int scanFirst = 20000;
constexpr int stepsPerCall = 1000;

// The progress handler of a budgeted statement: {calls left, spent}.
int spend(void* budget) {
    auto* left = static_cast<std::pair<int, bool>*>(budget);
    if (--left->first >= 0)
        return 0;
    left->second = true;
    return 1;
}

} // namespace

SqliteEngine::SqliteEngine(const QString& path, const QString& connectionName)
    : m_path(path), m_connectionName(connectionName) {}

SqliteEngine::~SqliteEngine() {
    if (sqlite3* db = handle())
        sqlite3_update_hook(db, nullptr, nullptr);
    m_index.reset();
    m_columns.reset();
}

QSqlDatabase SqliteEngine::connection() const {
    return QSqlDatabase::database(m_connectionName, false);
}

sqlite3* SqliteEngine::handle() const {
    return sqliteHandle(connection());
}

QSqlQuery* SqliteEngine::rowsByKeys(const QString& table, const QList<qint64>& keys, QSqlQuery& plain, QString&) {
    QString marks = QStringLiteral("?");
    for (qsizetype i = 1; i < keys.size(); ++i)
        marks += QStringLiteral(",?");
    plain.setForwardOnly(true);
    plain.prepare(QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid IN (%2)").arg(quoted(table), marks));
    for (const qint64 k : keys)
        plain.addBindValue(k);
    return &plain;
}

QString SqliteEngine::criteriaSql(const QString& table, const Query::Condition& condition, bool leads,
                                  QVariantList& values) const {
    if (condition.kind != Query::Condition::DateBetween)
        return CriteriaIndex::conditionSql(handle(), table, condition, leads, values);
    // A unary plus keeps SQLite off a date field's index: see coversMuch().
    // Read in key order, a page of keys comes at once: no list of them first.
    if (coversMuch(connection(), table, condition)) {
        Query::Condition unindexed = condition;
        unindexed.table.clear();
        return QStringLiteral("+") + Query::conditionSql(unindexed, Kind::SQLite, values);
    }
    return Query::conditionSql(condition, Kind::SQLite, values);
}

bool SqliteEngine::weighsCriteria(const QString& table, const QList<Query::Condition>& conditions) const {
    return CriteriaIndex::concerns(table, conditions);
}

int SqliteEngine::weighLeading(const QString& table, const QList<Query::Condition>& conditions) const {
    return CriteriaIndex::leading(handle(), connection(), table, conditions);
}

bool SqliteEngine::runBriefly(const std::function<void()>& run) const {
    std::pair<int, bool> left{scanFirst / stepsPerCall, false};
    sqlite3_progress_handler(handle(), stepsPerCall, spend, &left);
    run();
    sqlite3_progress_handler(handle(), 0, nullptr, nullptr);
    return left.second;
}

std::unique_ptr<KeyScan> SqliteEngine::keySearch(const QString& table, const QString& field, const QString& pattern,
                                                 KeyScan::Direction direction, std::optional<qint64> from, int limit) {
    return std::make_unique<SqliteKeySearch>(handle(), m_index.get(), m_columns.get(), table, field, pattern,
                                             direction, from, limit);
}

QString SqliteEngine::describe(const QSqlError& error) const {
    return EngineError::describe(error, m_path);
}

QString SqliteEngine::describeReading(const QSqlError& error) const {
    return EngineError::describeReading(error);
}

Result SqliteEngine::open(const QString& path, const QString& name, std::unique_ptr<Engine>& engine) {
    std::unique_ptr<SqliteEngine> opened(new SqliteEngine(path, name));
    if (const Result connected = connect(name, path); !connected)
        return connected;

    // The six tables with all their columns, and nothing the program does not make itself:
    // a foreign trigger would act on every edit.
    if (const QString problem = SchemaCheck::problem(opened->handle()); !problem.isEmpty())
        return Result::failure(unusable(path, problem));

    // The search acceleration is a help, never a condition: a database that cannot take
    // its index (read-only, full disk) is searched all the same, only more slowly.
    sqlite3* db = opened->handle();
    opened->m_ledger = std::make_unique<WriteLedger>(db);
    opened->m_index = std::make_unique<SearchIndex>(db, opened->m_ledger.get());
    (void)opened->m_index->install();
    opened->m_columns = std::make_unique<ColumnCache>(db, opened->m_ledger.get());
    sqlite3_update_hook(db, rowWritten, opened->m_columns.get());
    engine = std::move(opened);
    return Result::success();
}

Result SqliteEngine::create(const QString& path, const QString& name) {
    if (QFileInfo::exists(path))
        return Result::failure(QStringLiteral("Il database «%1» esiste già.").arg(path));

    Result result = Result::success();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // A file that may not grow (a full disk, a quota, a size limit) fails as a write error.
        const auto refused = [&](const QSqlError& error) {
            // A fresh connection: an error of the system it holds is this creation's.
            sqlite3* handle = db.isOpen() ? sqliteHandle(db) : nullptr;
            const int cause = handle ? sqlite3_system_errno(handle) : 0;
            const bool full = cause == ENOSPC || cause == EFBIG || cause == EDQUOT;
            return Result::failure(
                QStringLiteral("Impossibile creare il database «%1»: %2.")
                    .arg(path, full ? QStringLiteral("il disco è pieno") : EngineError::describe(error, path)));
        };
        if (!db.open()) {
            result = refused(db.lastError());
        } else {
            // The clients' data is for the user alone; set while the file is still empty.
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QSqlQuery query(db);
            db.transaction();
            for (const QString& statement : SqliteSchema::createStatements()) {
                if (!query.exec(statement)) {
                    result = refused(query.lastError());
                    break;
                }
            }
            // The tables reach the disk only at the commit: a full disk fails there.
            if (result.ok() && !db.commit())
                result = refused(db.lastError());
            if (!result.ok())
                db.rollback();
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!result.ok()) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
    }
    return result;
}
