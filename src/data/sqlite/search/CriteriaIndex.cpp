#include "data/sqlite/search/CriteriaIndex.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>
#include <sqlite3.h>
#include <vector>

namespace {

struct Indexed {
    const char* table;
    const char* field;
    bool text; // compared by the office's LIKE or by equality ignoring case; otherwise a number range
};

constexpr Indexed indexed[] = {{"immobile", "mq", false},  {"immobile", "tipologia", true},
                               {"immobile", "motivo", true}, {"richiesta", "mq", false},
                               {"richiesta", "tipo", true},  {"richiesta", "motivo", true}};

// Distinct values a text field's walk goes through before the index is given up for it: a
// field that holds free text has too many for the walk to be quicker than the scan.
constexpr int mostValues = 512;

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString indexName(const Indexed& index) {
    return QStringLiteral("velmora_criteri_%1_%2").arg(QLatin1String(index.table), QLatin1String(index.field));
}

QString createSql(const Indexed& index) {
    return QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
        .arg(indexName(index), QLatin1String(index.table), QLatin1String(index.field));
}

const Indexed* find(const QString& table, const QString& field) {
    for (const Indexed& index : indexed)
        if (table.compare(QLatin1String(index.table), Qt::CaseInsensitive) == 0 &&
            field.compare(QLatin1String(index.field), Qt::CaseInsensitive) == 0)
            return &index;
    return nullptr;
}

bool serves(const Indexed& index, Query::Condition::Kind kind) {
    if (index.text)
        return kind == Query::Condition::Like || kind == Query::Condition::TextEquals;
    return kind == Query::Condition::NumberBetween;
}

bool present(sqlite3* db, const Indexed& index) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray name = indexName(index).toUtf8();
    bool same = false;
    if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?", -1, &statement,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, name.constData(), static_cast<int>(name.size()), SQLITE_STATIC);
        if (sqlite3_step(statement) == SQLITE_ROW)
            same = Schema::normalisedSql(QString::fromUtf8(
                       reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)))) ==
                   Schema::normalisedSql(createSql(index));
    }
    sqlite3_finalize(statement);
    return same;
}

// The walk over distinct values holds only when the index orders them as plain bytes: under
// another collation (a table declared by another tool) values it takes as equal may not
// match alike.
bool binaryOrder(sqlite3* db, const Indexed& index) {
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db, "main", index.table, index.field, nullptr, &collation, nullptr, nullptr,
                                      nullptr) != SQLITE_OK)
        return false;
    return collation && QByteArray(collation).compare("BINARY", Qt::CaseInsensitive) == 0;
}

// A number field declared as text by another tool (the sqlite3 shell's .import makes every
// column TEXT) or with no type holds "120" as a text, which SQLite compares with a number as
// a text, or as greater than any: its values are read as numbers by vnumber(), and its
// index, in the order of texts, finds no range.
bool numbersAsNumbers(sqlite3* db, const QString& table, const QString& field) {
    const char* declared = nullptr;
    if (!db || sqlite3_table_column_metadata(db, "main", table.toUtf8().constData(), field.toUtf8().constData(),
                                             &declared, nullptr, nullptr, nullptr, nullptr) != SQLITE_OK)
        return true;
    // SQLite's rules of affinity, in their order.
    const QByteArray type = QByteArray(declared ? declared : "").toUpper();
    if (type.contains("INT"))
        return true;
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT") || type.contains("BLOB") ||
        type.isEmpty())
        return false;
    return true;
}

// The field's distinct values in index order, one seek each, as the table d(v, n); the last
// row's v is null once all were seen. `capped`: at most mostValues of them.
QString walk(const Indexed& index, bool capped) {
    const QString field = quoted(QLatin1String(index.field));
    const QString table = quoted(QLatin1String(index.table));
    return QStringLiteral("WITH RECURSIVE d(v, n) AS (SELECT (SELECT min(%1) FROM %2), 1 UNION ALL "
                          "SELECT (SELECT min(%1) FROM %2 WHERE %1 > d.v), n + 1 FROM d WHERE d.v IS NOT NULL%3) ")
        .arg(field, table, capped ? QStringLiteral(" AND n <= %1").arg(mostValues) : QString());
}

// The same test as the condition's, on a distinct value v of the walk.
QString onValue(const Query::Condition& condition, QVariantList& values) {
    const Query::Condition value{condition.kind, QStringLiteral("v"), condition.first, condition.second};
    return Query::conditionSql(value, DatabaseLocation::Engine::SQLite, values);
}

bool run(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec() && query.next();
}

// How many distinct values of a text field the condition takes (0: no row meets it); -1
// when the walk cannot serve the field.
qint64 valuesTaken(sqlite3* db, const QSqlDatabase& connection, const Indexed& index,
                   const Query::Condition& condition) {
    if (!binaryOrder(db, index))
        return -1;
    // Numbers that compare equal (1 and 1.0, in a field declared without a type) are one
    // value to the walk but two texts to the condition.
    QVariantList values;
    const QString probe = walk(index, true) +
                          QStringLiteral("SELECT sum(v IS NULL), sum(typeof(v) IN ('integer', 'real')), "
                                         "sum(CASE WHEN v IS NOT NULL AND %1 THEN 1 ELSE 0 END) FROM d")
                              .arg(onValue(condition, values));
    QSqlQuery query(connection);
    if (!run(query, probe, values) || query.value(0).toLongLong() != 1 || query.value(1).toLongLong() != 0)
        return -1;
    return query.value(2).toLongLong();
}

// How many rows a condition leads to through its index, counted up to `bound`; -1 on failure.
qint64 rowsThrough(const QSqlDatabase& connection, const Indexed& index, const Query::Condition& condition, qint64 bound) {
    QVariantList values;
    const QString table = quoted(QLatin1String(index.table));
    const QString field = quoted(QLatin1String(index.field));
    QString sql;
    if (index.text) {
        sql = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE %2 IN (").arg(table, field) +
              walk(index, false) + QStringLiteral("SELECT v FROM d WHERE ") + onValue(condition, values) +
              QStringLiteral(") LIMIT ?)");
    } else {
        sql = QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE %2 BETWEEN ? AND ? LIMIT ?)").arg(table, field);
        values << condition.first << condition.second;
    }
    values << bound;
    QSqlQuery query(connection);
    return run(query, sql, values) ? query.value(0).toLongLong() : -1;
}

} // namespace

QList<Schema::SchemaObject> CriteriaIndex::schemaObjects() {
    QList<Schema::SchemaObject> objects;
    for (const Indexed& index : indexed)
        objects.append({QStringLiteral("index"), indexName(index), createSql(index), false, true});
    return objects;
}

Result CriteriaIndex::install(sqlite3* db) {
    if (sqlite3_db_readonly(db, "main"))
        return Result::success();
    // The diary's own index on the day, missing from files of earlier versions: without it
    // every opening of the diary reads the whole table for its thirteen days (a third of a
    // second at 100,000 appointments, every time), with it a few pages (made once, like the
    // indexes below). A table without the field, or no diary at all, leaves it out.
    sqlite3_exec(db, "CREATE INDEX IF NOT EXISTS agenda_datap ON agenda (datap)", nullptr, nullptr, nullptr);
    QStringList missing;
    for (const Indexed& index : indexed)
        if (!present(db, index))
            missing << createSql(index);
    if (missing.isEmpty())
        return Result::success();
    // One transaction: one wait for the disk. An object of the same name made otherwise
    // never gets here: the database would have been refused.
    const QByteArray sql = (QStringLiteral("SAVEPOINT velmora_criteri; ") + missing.join(QStringLiteral("; ")) +
                            QStringLiteral("; RELEASE velmora_criteri"))
                               .toUtf8();
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_exec(db, "ROLLBACK TO velmora_criteri; RELEASE velmora_criteri", nullptr, nullptr, nullptr);
        return Result::failure(message);
    }
    return Result::success();
}

bool CriteriaIndex::concerns(const QString& table, const QList<Query::Condition>& conditions) {
    for (const Query::Condition& condition : conditions)
        if (const Indexed* index = find(table, condition.field); index && serves(*index, condition.kind))
            return true;
    return false;
}

int CriteriaIndex::leading(sqlite3* db, const QSqlDatabase& connection, const QString& table,
                           const QList<Query::Condition>& conditions) {
    if (!db || !concerns(table, conditions))
        return -1;

    // Up to this many rows are found through an index quicker than by reading the table
    // in key order until a page is full (about 1 µs a row against 0.3).
    QSqlQuery size(connection);
    if (!run(size, QStringLiteral("SELECT max(rowid) FROM %1").arg(quoted(table)), {}))
        return -1;
    const qint64 bound = std::max<qint64>(1024, size.value(0).toLongLong() / 32);

    // The walks first: a type or purpose that no row holds settles it at once. Then the
    // counts, ranges first, each only as far as the fewest rows found so far.
    std::vector<std::pair<int, const Indexed*>> usable;
    for (int i = 0; i < conditions.size(); ++i) {
        const Query::Condition& condition = conditions.at(i);
        const Indexed* index = find(table, condition.field);
        if (!index || !serves(*index, condition.kind) || !present(db, *index) ||
            (!index->text && !numbersAsNumbers(db, table, condition.field)))
            continue;
        if (index->text) {
            const qint64 taken = valuesTaken(db, connection, *index, condition);
            if (taken == 0)
                return i;
            if (taken < 0)
                continue;
        }
        usable.emplace_back(i, index);
    }
    std::stable_partition(usable.begin(), usable.end(), [](const auto& each) { return !each.second->text; });
    int best = -1;
    qint64 fewest = bound;
    for (const auto& [i, index] : usable) {
        const qint64 rows = rowsThrough(connection, *index, conditions.at(i), fewest);
        if (rows >= 0 && rows < fewest) {
            best = i;
            fewest = rows;
        }
    }
    return best;
}

QString CriteriaIndex::conditionSql(sqlite3* db, const QString& table, const Query::Condition& condition, bool leads,
                                    QVariantList& values) {
    const bool number =
        condition.kind == Query::Condition::NumberBetween || condition.kind == Query::Condition::NumberEquals;
    if (number && !numbersAsNumbers(db, table, condition.field)) {
        const QString field = QStringLiteral("vnumber(%1)").arg(quoted(condition.field));
        values << condition.first;
        if (condition.kind == Query::Condition::NumberEquals)
            return field + QStringLiteral(" = ?");
        values << condition.second;
        return field + QStringLiteral(" BETWEEN ? AND ?");
    }
    const QString sql = Query::conditionSql(condition, DatabaseLocation::Engine::SQLite, values);
    const Indexed* index = find(table, condition.field);
    if (!index || !serves(*index, condition.kind))
        return sql;
    if (!index->text)
        return leads ? sql : QStringLiteral("+") + sql;
    if (!leads)
        return sql;
    return QStringLiteral("(%1 AND %2 IN (").arg(sql, quoted(QLatin1String(index->field))) + walk(*index, false) +
           QStringLiteral("SELECT v FROM d WHERE ") + onValue(condition, values) + QStringLiteral("))");
}
