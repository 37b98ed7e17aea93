#include "RecordSource.h"

#include "ChangeWatch.h"
#include "CriteriaIndex.h"
#include "Database.h"
#include "EngineError.h"
#include "FieldFormat.h"
#include "KeySearch.h"
#include "Numbers.h"
#include "Regional.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <sqlite3.h>

namespace {

constexpr int pageSize = 128;     // keys loaded at a time
constexpr int rowBlock = 64;      // rows read at a time for showing
constexpr int rowCacheLimit = 4096;

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
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

// A table declared without AUTOINCREMENT (by another tool) gives a new row the key after
// the highest one stored, which may be a deleted record's whose photos and visits still
// name it: they would attach to the new record. Its new rows take a key past every key
// named in the tables that link to it as well. Empty when SQLite's own rule is sound.
QString keyPastLinks(const QSqlDatabase& db, const QString& table) {
    QSqlQuery declared(db);
    declared.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    declared.addBindValue(table);
    if (!declared.exec() || !declared.next() ||
        declared.value(0).toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive))
        return QString();
    QStringList highest{QStringLiteral("SELECT max(rowid) AS k FROM %1").arg(quoted(table))};
    const QString link = QStringLiteral("id") + table.toLower();
    for (const Schema::Table& other : Schema::tables())
        for (const Schema::Field& field : other.fields)
            if (field.linksToKey && field.name == link)
                highest << QStringLiteral("SELECT max(CAST(%1 AS INTEGER)) FROM %2")
                               .arg(quoted(field.name), quoted(other.name));
    if (highest.size() == 1)
        return QString();
    return QStringLiteral("(SELECT max(k) + 1 FROM (%1))").arg(highest.join(QStringLiteral(" UNION ALL ")));
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

RecordSource::RecordSource(const QString& table, const Regional& regional, QObject* parent)
    : QObject(parent), m_table(table), m_regional(regional), m_query(Query::table(table)), m_shownQuery(m_query) {
    m_searchTimer.setSingleShot(true);
    m_searchTimer.setInterval(0);
    connect(&m_searchTimer, &QTimer::timeout, this, &RecordSource::continueSearch);
}

RecordSource::~RecordSource() = default;

SearchIndex* RecordSource::searchIndex() const {
    return m_database ? m_database->searchIndex() : nullptr;
}

void RecordSource::setSearchSlices(std::chrono::nanoseconds first, std::chrono::nanoseconds later) {
    m_firstSlice = first;
    m_laterSlice = later;
}

const Query::Condition* RecordSource::searchCondition() const {
    if (m_query.conditions().size() != 1)
        return nullptr;
    const Query::Condition& condition = m_query.conditions().first();
    return condition.kind == Query::Condition::Like ? &condition : nullptr;
}

std::unique_ptr<KeySearch> RecordSource::makeSearch(Direction direction, std::optional<qint64> from, int limit) const {
    const Query::Condition* condition = searchCondition();
    return std::make_unique<KeySearch>(*m_database, m_table, condition->field, condition->first.toString(),
                                       direction == Direction::Forward ? KeySearch::Direction::Forward
                                                                       : KeySearch::Direction::Backward,
                                       from, limit);
}

void RecordSource::dropSearch() {
    if (!m_search)
        return;
    m_search.reset();
    m_searchTimer.stop();
    m_query = m_shownQuery;
}

Result RecordSource::finishSearch() {
    if (!m_search)
        return Result::success();
    if (const Result ran = m_search->run(std::chrono::nanoseconds(-1)); !ran) {
        dropSearch();
        return searchError(ran);
    }
    return showSearchResult();
}

Result RecordSource::showSearchResult() {
    const QList<qint64> keys = m_search->keys();
    m_search.reset();
    m_searchTimer.stop();
    m_shownQuery = m_query;
    m_added.clear();
    m_rows.clear();
    replaceWindow(keys, true, keys.size() < pageSize);
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

void RecordSource::continueSearch() {
    if (!m_search)
        return;
    if (const Result ran = m_search->run(m_laterSlice); !ran) {
        dropSearch();
        emit searchFailed(searchError(ran).message());
        return;
    }
    if (m_search->isDone())
        (void)showSearchResult();
    else
        m_searchTimer.start();
}

Result RecordSource::notOpen() const {
    return Result::failure(QStringLiteral("Nessun database aperto per «%1».").arg(m_table));
}

Result RecordSource::databaseError(const QString& what, const QSqlError& error) const {
    const QString reason = m_database ? m_database->describe(error) : EngineError::describe(error, m_databaseName);
    // A server that went away and came back: the user's next try goes through, with
    // what was typed still on the card. Nobody refused anything: the server was not there.
    if (m_database && m_database->connectionLost(error)) {
        (void)m_database->reconnect();
        return Result::failure(QStringLiteral("Non è stato possibile completare %1: %2.").arg(what, reason));
    }
    return Result::failure(QStringLiteral("Il database ha rifiutato %1: %2.").arg(what, reason));
}

Result RecordSource::searchError(const Result& ran) const {
    return Result::failure(QStringLiteral("Il database ha rifiutato la ricerca: %1.").arg(ran.message()));
}

const Schema::Field* RecordSource::schemaField(const QString& field) const {
    return Schema::field(m_table, field);
}

void RecordSource::setFieldCaption(const QString& field, const QString& caption) {
    m_captions.insert(field.toLower(), caption);
}

Result RecordSource::setDatabaseName(const QString& path, Connection connection) {
    m_search.reset();
    m_searchTimer.stop();
    m_shownQuery = m_query;
    emit aboutToReset();
    m_databaseName = path;
    // Their prepared statements go before the connection they were prepared on.
    m_guard.reset();
    m_watch.reset();
    m_database.reset();
    m_read.reset();
    m_keys.clear();
    m_added.clear();
    m_rows.clear();
    m_columns.clear();
    m_newKey.clear();
    m_pending.clear();
    m_defaults.clear();
    m_adding = false;
    m_current = -1;
    m_next = 0;
    m_headLoaded = m_tailLoaded = true;

    Result opened = connection == Connection::Separate ? Database::openSeparate(path, m_database)
                                                       : Database::open(path, m_database);
    if (opened) {
        QSqlQuery columns(m_database->connection());
        if (columns.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(m_table)))) {
            const QSqlRecord record = columns.record();
            for (int i = 0; i < record.count(); ++i)
                m_columns.insert(record.fieldName(i).toLower(), i + 1);  // column 0 is the rowid
            // A server's sequences never give a key twice.
            if (!m_database->isPostgres())
                m_newKey = keyPastLinks(m_database->connection(), m_table);
            prepareChecks();
        } else {
            m_database.reset();
            opened = databaseError(QStringLiteral("la lettura della tabella «%1»").arg(m_table), columns.lastError());
        }
    }
    emit reset();
    emit currentChanged();
    return opened;
}

Result RecordSource::setRecordSource(const Query& query) {
    if (!query.isValid())
        return Result::failure(query.error());
    if (query.tableName().compare(m_table, Qt::CaseInsensitive) != 0)
        return Result::failure(QStringLiteral("La ricerca riguarda «%1», non «%2».").arg(query.tableName(), m_table));
    m_query = query;
    return Result::success();
}

Result RecordSource::fetchKeys(Direction direction, std::optional<qint64> from, int limit, QList<qint64>& keys) const {
    keys.clear();
    if (!isOpen())
        return notOpen();
    m_database->comeBack();
    if (searchCondition()) {
        const std::unique_ptr<KeySearch> search = makeSearch(direction, from, limit);
        if (const Result ran = search->run(std::chrono::nanoseconds(-1)); !ran)
            return searchError(ran);
        keys = search->keys();
        return Result::success();
    }

    const Database::Engine engine = m_database->engine();
    const QString key = m_database->keyColumn(m_table);
    const bool sqlite = engine == Database::Engine::SQLite;
    const bool forward = direction == Direction::Forward;
    // The statement, with the condition `lead` followed through its index (-1: none is).
    const auto statement = [&](int lead, QVariantList& values) {
        QStringList where;
        for (qsizetype i = 0; i < m_query.conditions().size(); ++i) {
            const Query::Condition& c = m_query.conditions().at(i);
            if (sqlite && c.kind != Query::Condition::DateBetween) {
                where << CriteriaIndex::conditionSql(m_database->handle(), m_table, c, i == lead, values);
                continue;
            }
            // A unary plus keeps SQLite off a date field's index: see coversMuch(). PostgreSQL's
            // planner weighs the two ways itself.
            const bool unindexed = c.kind == Query::Condition::DateBetween && sqlite &&
                                   coversMuch(m_database->connection(), m_table, c);
            // Read in key order, a page of keys comes at once: no list of them first.
            Query::Condition condition = c;
            if (unindexed)
                condition.table.clear();
            where << (unindexed ? QStringLiteral("+") : QString()) + Query::conditionSql(condition, engine, values);
        }
        if (from) {
            where << key + (forward ? QStringLiteral(" > ?") : QStringLiteral(" < ?"));
            values << *from;
        }
        QString sql = QStringLiteral("SELECT %1 FROM ").arg(key) + quoted(m_table);
        if (!where.isEmpty())
            sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
        sql += QStringLiteral(" ORDER BY %1%2 LIMIT ?").arg(key, forward ? QString() : QStringLiteral(" DESC"));
        values << limit;
        return sql;
    };
    // Runs it; `budget` (in SQLite's steps, 0 for none) stops it early, with `stopped` set.
    const auto select = [&](int lead, int budget, bool& stopped) {
        QVariantList values;
        const QString sql = statement(lead, values);
        keys.clear();
        // On a server the statement is kept prepared: the visits and photos of each property
        // shown run the same one again.
        QSqlQuery plain(m_database->connection());
        plain.setForwardOnly(true);
        QSqlError error;
        QSqlQuery* query = m_database->isPostgres() ? m_database->kept(sql, error) : &plain;
        if (!query)
            return databaseError(QStringLiteral("la ricerca"), error);
        if (query == &plain && !query->prepare(sql))
            return databaseError(QStringLiteral("la ricerca"), query->lastError());
        for (int i = 0; i < values.size(); ++i)
            query->bindValue(i, values.at(i));
        std::pair<int, bool> left{budget / stepsPerCall, false};
        if (budget > 0)
            sqlite3_progress_handler(m_database->handle(), stepsPerCall, spend, &left);
        const bool ran = query->exec();
        while (ran && query->next())
            keys.append(query->value(0).toLongLong());
        if (budget > 0)
            sqlite3_progress_handler(m_database->handle(), 0, nullptr, nullptr);
        stopped = left.second;
        if (!ran && !stopped) {
            error = query->lastError();
            if (query != &plain)
                m_database->forget(sql);
            return databaseError(QStringLiteral("la ricerca"), error);
        }
        query->finish();
        return Result::success();
    };

    // The criteria search's fields have indexes on SQLite (CriteriaIndex). The table is read
    // in key order first, for about as long as finding the way through an index takes: a
    // page of rows that many meet comes at once. Otherwise the condition that the fewest
    // rows meet leads, when few enough do.
    const bool indexed = sqlite && CriteriaIndex::concerns(m_table, m_query.conditions());
    bool stopped = false;
    if (const Result selected = select(-1, indexed ? scanFirst : 0, stopped); !selected)
        return selected;
    if (stopped)
        if (const Result selected = select(CriteriaIndex::leading(*m_database, m_table, m_query.conditions()), 0, stopped);
            !selected)
            return selected;
    if (!forward)
        std::reverse(keys.begin(), keys.end());
    return Result::success();
}

void RecordSource::replaceWindow(const QList<qint64>& keys, bool headLoaded, bool tailLoaded) {
    emit aboutToReset();
    m_keys = keys;
    m_headLoaded = headLoaded;
    m_tailLoaded = tailLoaded;
    if (m_tailLoaded)
        appendAddedKeys();
    m_current = -1;
    m_next = 0;
    emit reset();
}

void RecordSource::appendAddedKeys() {
    for (const qint64 key : std::as_const(m_added))
        if (!m_keys.contains(key))
            m_keys.append(key);
}

Result RecordSource::loadHead() {
    QList<qint64> keys;
    if (const Result fetched = fetchKeys(Direction::Forward, std::nullopt, pageSize, keys); !fetched)
        return fetched;
    replaceWindow(keys, true, keys.size() < pageSize);
    return Result::success();
}

Result RecordSource::loadTail() {
    QList<qint64> keys;
    if (const Result fetched = fetchKeys(Direction::Backward, std::nullopt, pageSize, keys); !fetched)
        return fetched;
    replaceWindow(keys, keys.size() < pageSize, true);
    return Result::success();
}

void RecordSource::fetchMore() {
    if (!finishSearch())
        return;
    if (!canFetchMore())
        return;
    QList<qint64> keys;
    const std::optional<qint64> after = m_keys.isEmpty() ? std::nullopt : std::optional<qint64>(m_keys.last());
    if (!fetchKeys(Direction::Forward, after, pageSize, keys))
        return;
    const bool complete = keys.size() < pageSize;
    if (complete)
        for (const qint64 key : std::as_const(m_added))
            if (!keys.contains(key) && !m_keys.contains(key))
                keys.append(key);
    if (!keys.isEmpty()) {
        const int first = rowCount();
        emit aboutToInsertRows(first, first + static_cast<int>(keys.size()) - 1);
        m_keys.append(keys);
        m_tailLoaded = complete;
        if (m_current < 0 && m_next >= first)
            m_next = std::min(m_next, rowCount());
        emit rowsInserted();
    }
    m_tailLoaded = complete;
}

void RecordSource::fetchPrevious() {
    if (!finishSearch())
        return;
    if (!canFetchPrevious())
        return;
    QList<qint64> keys;
    const std::optional<qint64> before = m_keys.isEmpty() ? std::nullopt : std::optional<qint64>(m_keys.first());
    if (!fetchKeys(Direction::Backward, before, pageSize, keys))
        return;
    const int count = static_cast<int>(keys.size());
    if (count > 0) {
        emit aboutToInsertRows(0, count - 1);
        m_keys = keys + m_keys;
        if (m_current >= 0)
            m_current += count;
        else
            m_next += count;
        m_headLoaded = count < pageSize;
        emit rowsInserted();
    }
    m_headLoaded = count < pageSize;
}

std::optional<qint64> RecordSource::currentKey() const {
    if (m_current < 0 || m_current >= rowCount())
        return std::nullopt;
    return m_keys.at(m_current);
}

Result RecordSource::setCurrent(int row) {
    const bool backward = m_current >= 0 && row < m_current;
    if (row >= 0 && row < rowCount()) {
        m_current = row;
    } else {
        m_current = -1;
        m_next = std::clamp(row, 0, rowCount());
    }
    readCurrent();
    if (m_gone)
        return passOverGone(backward);
    emit currentChanged();
    if (!m_readFailure.isEmpty())
        return Result::failure(m_readFailure);
    return Result::success();
}

Result RecordSource::passOverGone(bool backward) {
    // Each gone row leaves the window; the next one the same way takes its place, or the
    // nearest the other way at an end.
    int row = m_current;
    while (m_gone) {
        const qint64 gone = m_keys.at(row);
        m_added.removeAll(gone);
        emit aboutToRemoveRow(row);
        m_keys.removeAt(row);
        m_current = -1;
        emit rowRemoved();
        if (backward)
            --row;
        if (row < 0 && canFetchPrevious()) {
            const int before = rowCount();
            fetchPrevious();
            row += rowCount() - before;
        }
        if (row >= rowCount() && canFetchMore())
            fetchMore();
        if (row < 0 || row >= rowCount())
            row = backward ? 0 : rowCount() - 1;
        if (rowCount() == 0)
            break;
        m_current = row;
        readCurrent();
    }
    if (m_current < 0)
        m_next = 0;
    emit currentChanged();
    return Result::failure(QStringLiteral("Il record non c'è più: è stato eliminato da un'altra postazione o da un "
                                          "ripristino; %1.")
                               .arg(m_current >= 0 ? QStringLiteral("la scheda mostra quello accanto")
                                                   : QStringLiteral("non ci sono altri record da mostrare")));
}

// ---- reading rows -------------------------------------------------------------

const QVariantList* RecordSource::row(qint64 key) const {
    if (const auto cached = m_rows.constFind(key); cached != m_rows.constEnd())
        return &cached.value();
    if (!isOpen())
        return nullptr;

    // Read a block of the window around the row, as a grid will want its neighbours too.
    const int at = static_cast<int>(m_keys.indexOf(key));
    QList<qint64> block{key};
    if (at >= 0)
        for (int i = std::max(0, at - rowBlock / 4); i < std::min(rowCount(), at + rowBlock) && block.size() < rowBlock; ++i)
            if (i != at && !m_rows.contains(m_keys.at(i)))
                block.append(m_keys.at(i));

    if (m_rows.size() + block.size() > rowCacheLimit)
        m_rows.clear();

    const QString keyColumn = m_database->keyColumn(m_table);
    QSqlQuery plain(m_database->connection());
    QSqlQuery* query = &plain;
    QString sql;
    if (m_database->isPostgres()) {
        // One statement for any block, kept prepared on the server: the keys go as one array.
        QSqlError ignored;
        sql = QStringLiteral("SELECT %1, * FROM %2 WHERE %1 = ANY(CAST(? AS bigint[]))").arg(keyColumn, quoted(m_table));
        query = m_database->kept(sql, ignored);
        if (!query)
            return nullptr;
        QStringList list;
        for (const qint64 k : std::as_const(block))
            list << QString::number(k);
        query->bindValue(0, QLatin1Char('{') + list.join(QLatin1Char(',')) + QLatin1Char('}'));
    } else {
        QString marks = QStringLiteral("?");
        for (qsizetype i = 1; i < block.size(); ++i)
            marks += QStringLiteral(",?");
        plain.setForwardOnly(true);
        plain.prepare(QStringLiteral("SELECT %1, * FROM %2 WHERE %1 IN (%3)").arg(keyColumn, quoted(m_table), marks));
        for (const qint64 k : std::as_const(block))
            plain.addBindValue(k);
    }
    if (!query->exec()) {
        if (query != &plain)
            m_database->forget(sql);
        return nullptr;
    }
    const int columns = query->record().count();
    while (query->next()) {
        QVariantList values;
        values.reserve(columns);
        for (int c = 0; c < columns; ++c)
            values.append(query->value(c));
        m_rows.insert(values.first().toLongLong(), values);
    }
    query->finish();
    const auto found = m_rows.constFind(key);
    return found == m_rows.constEnd() ? nullptr : &found.value();
}

void RecordSource::forgetRow(qint64 key) {
    m_rows.remove(key);
}

QString RecordSource::valueAt(int index, const QString& fieldName) const {
    if (index < 0 || index >= rowCount())
        return QString();
    const Schema::Field* field = schemaField(fieldName);
    const QString name = field ? field->name : fieldName.toLower();
    if (index == m_current && !m_adding) {
        if (const auto typed = m_pending.constFind(name); typed != m_pending.constEnd())
            return typed.value();
    }
    const QVariantList* values = row(m_keys.at(index));
    const int column = m_columns.value(name, -1);
    if (!values || column < 0 || column >= values->size())
        return QString();
    return FieldFormat::shown(field, values->at(column), m_regional);
}

QString RecordSource::value(const QString& fieldName) const {
    if (m_adding) {
        const Schema::Field* field = schemaField(fieldName);
        return m_pending.value(field ? field->name : fieldName.toLower());
    }
    return valueAt(m_current, fieldName);
}

// ---- writing ------------------------------------------------------------------

Result RecordSource::storedValue(const Schema::Field& field, const QString& typed, QVariant& stored) const {
    const auto refused = [&](const QString& need) {
        // A pasted page would make the message unreadable: its start is enough to find it.
        const QString shown = typed.size() > 40 ? typed.left(40) + QStringLiteral("…") : typed;
        return Result::failure(
            QStringLiteral("Il valore «%1» non va bene per il campo «%2»: %3.")
                .arg(shown, m_captions.value(field.name, field.name), need));
    };
    switch (field.kind) {
    case Schema::FieldKind::Key:
        return Result::failure(QStringLiteral("Il campo «%1» è assegnato dal programma e non si può modificare.").arg(field.name));
    case Schema::FieldKind::Number: {
        if (typed.trimmed().isEmpty()) {
            stored = QVariant();
            return Result::success();
        }
        const std::optional<double> number = Numbers::typed(typed, m_regional.locale());
        if (!number)
            return refused(QStringLiteral("serve un numero"));
        stored = *number;
        return Result::success();
    }
    case Schema::FieldKind::Date: {
        if (typed.trimmed().isEmpty()) {
            stored = QVariant();
            return Result::success();
        }
        const std::optional<QDate> date = m_regional.parseDate(typed);
        if (!date)
            return refused(QStringLiteral("serve una data come %1").arg(m_regional.dateText(QDate(2026, 3, 1))));
        stored = date->toString(Qt::ISODate);
        return Result::success();
    }
    case Schema::FieldKind::Text:
        break;
    }
    stored = typed;
    return Result::success();
}

Result RecordSource::setFieldValue(const QString& fieldName, const QString& value) {
    dropSearch();
    if (!isOpen())
        return notOpen();
    const Schema::Field* field = schemaField(fieldName);
    if (!field || !m_columns.contains(field->name))
        return Result::failure(QStringLiteral("Il campo «%1» non esiste nella tabella «%2».").arg(fieldName, m_table));
    if (field->kind == Schema::FieldKind::Key)
        return Result::failure(QStringLiteral("Il campo «%1» è assegnato dal programma e non si può modificare.").arg(field->name));
    if (!m_adding && m_current < 0)
        return Result::failure(QStringLiteral("Non c'è un record corrente in cui scrivere «%1».").arg(field->name));
    if (m_pending.value(field->name) == value && m_pending.contains(field->name))
        return Result::success();
    m_pending.insert(field->name, value);
    emit valueChanged(field->name);
    if (!m_adding)
        emit rowChanged(m_current);
    return Result::success();
}

Result RecordSource::setDefaultValue(const QString& fieldName, const QString& value) {
    if (!m_adding)
        return Result::failure(QStringLiteral("Nessun record in inserimento: «%1» non è stato scritto.").arg(fieldName));
    if (const Result written = setFieldValue(fieldName, value); !written)
        return written;
    m_defaults.insert(schemaField(fieldName)->name, value);
    return Result::success();
}

bool RecordSource::isUntypedNew() const {
    if (!m_adding)
        return false;
    // A field typed into and emptied again holds nothing either.
    for (auto typed = m_pending.constBegin(); typed != m_pending.constEnd(); ++typed) {
        const auto program = m_defaults.constFind(typed.key());
        if (program == m_defaults.constEnd() ? !typed.value().isEmpty() : *program != typed.value())
            return false;
    }
    return true;
}

Result RecordSource::pendingValues(QStringList& columns, QVariantList& values) const {
    for (auto typed = m_pending.constBegin(); typed != m_pending.constEnd(); ++typed) {
        QVariant stored;
        if (const Result ok = storedValue(*schemaField(typed.key()), typed.value(), stored); !ok)
            return ok;
        columns << quoted(typed.key());
        values << stored;
    }
    return Result::success();
}

Result RecordSource::insertNew() {
    m_inserted.reset();
    QStringList columns;
    QVariantList values;
    if (const Result ok = pendingValues(columns, values); !ok)
        return ok;
    QStringList marks(columns.size(), QStringLiteral("?"));
    if (!m_newKey.isEmpty()) {
        columns.prepend(QStringLiteral("rowid"));
        marks.prepend(m_newKey);
    }
    m_database->comeBack();
    QSqlQuery query(m_database->connection());
    const QString sql = columns.isEmpty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table))
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoted(m_table), columns.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    // PostgreSQL tells the new key only when asked for it.
    const bool returning = m_database->isPostgres();
    if (!query.prepare(returning ? sql + QStringLiteral(" RETURNING ") + m_database->keyColumn(m_table) : sql))
        return databaseError(QStringLiteral("il nuovo record"), query.lastError());
    for (const QVariant& value : std::as_const(values))
        query.addBindValue(value);
    if (!query.exec())
        return databaseError(QStringLiteral("il nuovo record"), query.lastError());

    const qint64 key = returning ? (query.next() ? query.value(0).toLongLong() : 0) : query.lastInsertId().toLongLong();
    query.finish();
    m_inserted = key;
    m_adding = false;
    m_pending.clear();
    m_defaults.clear();
    m_added.append(key);
    if (m_tailLoaded && !m_keys.contains(key)) {
        emit aboutToInsertRows(rowCount(), rowCount());
        m_keys.append(key);
        emit rowsInserted();
    }
    readCurrent();
    emit currentChanged();
    emit newRecordWritten();
    return Result::success();
}

Result RecordSource::writeEdit() {
    m_inserted.reset();
    const std::optional<qint64> key = currentKey();
    if (!key)
        return Result::failure(QStringLiteral("Non c'è un record corrente da salvare."));
    QStringList assignments;
    QVariantList values;
    if (const Result ok = pendingValues(assignments, values); !ok)
        return ok;
    for (QString& column : assignments)
        column += QStringLiteral(" = ?");
    const QString sql =
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
            .arg(quoted(m_table), assignments.join(QStringLiteral(", ")), m_database->keyColumn(m_table));
    const RowGuard::Outcome outcome = guard().write(m_read.value_or(QVariantList{*key}), [&](QSqlQuery& query) {
        if (!query.prepare(sql))
            return false;
        for (const QVariant& value : std::as_const(values))
            query.addBindValue(value);
        query.addBindValue(*key);
        return query.exec();
    }, m_dialogs);
    if (outcome.kind != RowGuard::Outcome::Kind::Written)
        return refusedByOtherDesk(outcome, QStringLiteral("la modifica"), false);
    m_pending.clear();
    forgetRow(*key);
    readCurrent();
    emit rowChanged(m_current);
    emit currentChanged();
    return Result::success();
}

// ---- other desks --------------------------------------------------------------

void RecordSource::lookPastTheEnd() {
    // Records another desk added since the last rows were read lie past them: a move to
    // the end reads on from the last key instead of trusting that the end was reached.
    if (!m_tailLoaded || m_search || !watch().othersWrote())
        return;
    if (!m_rows.isEmpty()) {
        m_rows.clear();
        emit rowsChanged();
    }
    m_tailLoaded = false;
}

void RecordSource::prepareChecks() {
    m_guard = std::make_unique<RowGuard>(m_database->connection(), m_table, m_database->keyColumn(m_table));
    m_watch = std::make_unique<ChangeWatch>(m_database->connection(), m_database->ledger());
    m_checksGeneration = m_database->connectionGeneration();
}

RowGuard& RecordSource::guard() {
    m_database->comeBack();
    // Their statements were prepared on a connection since lost and made again.
    if (m_database->connectionGeneration() != m_checksGeneration)
        prepareChecks();
    return *m_guard;
}

ChangeWatch& RecordSource::watch() {
    guard();
    return *m_watch;
}

void RecordSource::readCurrent() {
    m_read.reset();
    m_readFailure.clear();
    m_gone = false;
    const std::optional<qint64> key = currentKey();
    if (!key || !isOpen())
        return;
    // Rows another desk wrote since they were read are read again as they come into view.
    if (watch().othersWrote() && !m_rows.isEmpty()) {
        m_rows.clear();
        emit rowsChanged();
    }
    const std::optional<QVariantList> before =
        m_rows.contains(*key) ? std::optional<QVariantList>(m_rows.value(*key)) : std::nullopt;
    QVariantList values;
    bool found = guard().read(*key, values);
    // A server that went away and came back: read on a connection made again. A table made
    // again since (a restore on another desk): read with statements prepared again.
    // A record held by another session is not waited for twice.
    if (const QSqlError error = m_guard->error();
        !found && error.isValid() && error.nativeErrorCode() != QLatin1String("55P03")) {
        const bool lost = m_database->connectionLost(error);
        if (!lost)
            prepareChecks();
        if (!lost || m_database->reconnect())
            found = guard().read(*key, values);
    }
    // The card would show the record empty: say why.
    if (!found && m_guard->error().isValid())
        m_readFailure = QStringLiteral("Il record non si può mostrare: %1.").arg(m_database->describe(m_guard->error()));
    // Read without a fault, and not there: deleted since its key was read.
    m_gone = !found && m_guard->error().type() == QSqlError::NoError;
    if (found) {
        if (m_rows.size() >= rowCacheLimit)
            m_rows.clear();
        m_rows.insert(*key, values);
        m_read = std::move(values);
    } else {
        forgetRow(*key);
    }
    if (before && before != m_read)
        emit rowChanged(m_current);
}

Result RecordSource::refusedByOtherDesk(const RowGuard::Outcome& outcome, const QString& what, bool deleting) {
    using Kind = RowGuard::Outcome::Kind;
    if (outcome.kind == Kind::Failed && outcome.error.nativeErrorCode() == QLatin1String("55P03"))
        return Result::failure(
            QStringLiteral("Non è stato possibile completare %1: il record è in uso da %2. %3")
                .arg(what,
                     outcome.holder.isEmpty() ? QStringLiteral("un'altra postazione") : outcome.holder,
                     deleting ? QStringLiteral("Riprovare quando sarà libero.")
                              : QStringLiteral("Ciò che è stato scritto resta sulla scheda: riprovare quando il "
                                               "record sarà libero.")));
    if (outcome.kind == Kind::Failed)
        return databaseError(what, outcome.error);
    const qint64 key = *currentKey();
    const QString opened = QStringLiteral("Un'altra postazione ha %1 questo record dopo che l'hai aperto");
    if (outcome.kind == Kind::Deleted) {
        forgetRow(key);
        emit rowChanged(m_current);
        return Result::failure(opened.arg(QStringLiteral("eliminato")) +
                               QStringLiteral(": la tua modifica non è stata salvata e resta sulla scheda. "
                                              "Premi Esc per annullarla."));
    }

    // What changed, by the names the window gives the fields, with their values now. A
    // record that could not be read when it became current was never shown: nothing of
    // it counts as seen until Esc reads it again.
    QStringList changes;
    bool typedOver = !m_read;
    m_rows.insert(key, outcome.stored);
    for (const int column : m_read ? outcome.changed : QList<int>()) {
        const QString name = m_columns.key(column);
        if (name.isEmpty())
            continue;
        QString now = FieldFormat::shown(schemaField(name), outcome.stored.value(column), m_regional);
        if (now.size() > 40)
            now = now.left(40) + QStringLiteral("…");
        changes << QStringLiteral("«%1» ora è %2")
                       .arg(m_captions.value(name, name),
                            now.isEmpty() ? QStringLiteral("vuoto") : QStringLiteral("«%1»").arg(now));
        // A field the user typed into keeps the typing, and the value it was typed over:
        // saving it again stays refused until Esc shows what the other desk wrote. The
        // others show the stored value now, and are taken as seen.
        if (m_pending.contains(name)) {
            typedOver = true;
        } else {
            if (column < m_read->size())
                (*m_read)[column] = outcome.stored.at(column);
            emit valueChanged(name);
        }
    }
    emit rowChanged(m_current);

    QString message = opened.arg(QStringLiteral("cambiato"));
    message += changes.isEmpty() ? QStringLiteral(".")
                                 : QStringLiteral(": ") + changes.join(QStringLiteral(", ")) + QStringLiteral(".");
    if (deleting)
        message += typedOver
                       ? QStringLiteral(" Il record non è stato eliminato. Premi Esc per annullare quello che hai "
                                        "scritto e vedere il record com'è ora.")
                       : QStringLiteral(" Il record non è stato eliminato: i valori nuovi sono ora sulla scheda; "
                                        "se va eliminato comunque, eliminalo di nuovo.");
    else
        message += typedOver ? QStringLiteral(" La tua modifica non è stata salvata e resta sulla scheda. Premi Esc "
                                              "per annullarla e vedere il record com'è ora, poi riscrivila.")
                             : QStringLiteral(" La tua modifica non è stata salvata e resta sulla scheda; i valori "
                                              "nuovi degli altri campi sono ora sulla scheda. Salva di nuovo per "
                                              "confermarla, oppure premi Esc per annullarla.");
    return Result::failure(message);
}

Result RecordSource::update() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (m_adding)
        return insertNew();
    if (m_pending.isEmpty())
        return Result::failure(QStringLiteral("Non c'è nessuna modifica da salvare."));
    return writeEdit();
}

Result RecordSource::commitPending() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen() || !hasPendingEdit())
        return Result::success();
    return update();
}

Result RecordSource::leaveRecord() {
    // A new record nobody typed into (at most the program's own date in it) is dropped,
    // as Esc drops it: there is nothing to keep.
    if (isUntypedNew()) {
        cancelEdit();
        return Result::success();
    }
    return commitPending();
}

void RecordSource::cancelEdit() {
    if (!hasPendingEdit())
        return;
    const bool wasAdding = m_adding;
    m_adding = false;
    m_pending.clear();
    m_defaults.clear();
    // Back to the record as it is stored now, which may be another desk's.
    readCurrent();
    if (m_current >= 0)
        emit rowChanged(m_current);
    emit currentChanged();
    emit editCancelled(wasAdding);
}

Result RecordSource::addNew() {
    dropSearch();
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    m_adding = true;
    m_pending.clear();
    m_defaults.clear();
    emit currentChanged();
    return Result::success();
}

Result RecordSource::remove() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (m_adding)
        return Result::failure(QStringLiteral("Il nuovo record non è ancora stato salvato: non c'è niente da eliminare."));
    const std::optional<qint64> key = currentKey();
    if (!key)
        return Result::failure(QStringLiteral("Non c'è un record da eliminare."));
    const RowGuard::Outcome outcome = guard().write(m_read.value_or(QVariantList{*key}), [&](QSqlQuery& query) {
        if (!query.prepare(
                QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(quoted(m_table), m_database->keyColumn(m_table))))
            return false;
        query.addBindValue(*key);
        return query.exec();
    }, m_dialogs);
    // A record another desk deleted first is gone all the same, as the user wanted.
    if (outcome.kind != RowGuard::Outcome::Kind::Written && outcome.kind != RowGuard::Outcome::Kind::Deleted)
        return refusedByOtherDesk(outcome, QStringLiteral("l'eliminazione"), true);

    const int removed = m_current;
    m_pending.clear();
    forgetRow(*key);
    m_added.removeAll(*key);
    emit aboutToRemoveRow(removed);
    m_keys.removeAt(removed);
    m_current = -1;
    m_next = removed;
    m_read.reset();
    emit rowRemoved();
    emit currentChanged();
    return Result::success();
}

Result RecordSource::refresh() {
    if (!isOpen())
        return notOpen();
    // A search still under way is superseded by this one.
    const Query wanted = m_query;
    dropSearch();
    m_query = wanted;
    if (const Result written = leaveRecord(); !written)
        return written;
    if (searchCondition()) {
        m_search = makeSearch(Direction::Forward, std::nullopt, pageSize);
        // On a server the slice is of waiting for its answer, and the server shares the
        // office's machines: an answer a little late is still shown at once.
        const std::chrono::nanoseconds first = m_database->isPostgres() ? m_firstSlice * 4 : m_firstSlice;
        if (const Result ran = m_search->run(first); !ran) {
            m_search.reset();
            return searchError(ran);
        }
        if (m_search->isDone())
            return showSearchResult();
        m_searchTimer.start();
        return Result::success();
    }
    QList<qint64> keys;
    if (const Result fetched = fetchKeys(Direction::Forward, std::nullopt, pageSize, keys); !fetched)
        return fetched;
    m_added.clear();
    m_rows.clear();
    m_shownQuery = m_query;
    replaceWindow(keys, true, keys.size() < pageSize);
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

Result RecordSource::clear() {
    dropSearch();
    if (const Result written = leaveRecord(); !written)
        return written;
    m_added.clear();
    replaceWindow({}, true, true);
    return setCurrent(-1);
}

// ---- moves --------------------------------------------------------------------

Result RecordSource::moveFirst() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    if (!m_headLoaded)
        if (const Result loaded = loadHead(); !loaded)
            return loaded;
    return setCurrent(rowCount() > 0 ? 0 : -1);
}

Result RecordSource::moveLast() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    lookPastTheEnd();
    if (!m_tailLoaded)
        if (const Result loaded = loadTail(); !loaded)
            return loaded;
    return setCurrent(rowCount() - 1);
}

Result RecordSource::moveNext() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    const int target = m_current >= 0 ? m_current + 1 : m_next;
    if (target >= rowCount())
        lookPastTheEnd();
    while (target >= rowCount() && canFetchMore()) {
        const int before = rowCount();
        fetchMore();
        if (rowCount() == before)
            break;
    }
    return setCurrent(target < rowCount() ? target : rowCount());
}

Result RecordSource::movePrevious() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    int target = m_current >= 0 ? m_current - 1 : m_next - 1;
    if (target < 0 && canFetchPrevious()) {
        const int before = rowCount();
        fetchPrevious();
        target += rowCount() - before;
    }
    // Before the first row there is no current record.
    return setCurrent(target >= 0 ? target : -1);
}

Result RecordSource::stepNext() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    const int last = rowCount() - 1;
    if (m_current >= 0 && m_current == last && isOpen())
        lookPastTheEnd();
    if (m_current >= 0 && m_current == last && !canFetchMore())
        return leaveRecord();
    return moveNext();
}

Result RecordSource::stepPrevious() {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (m_current == 0 && !canFetchPrevious())
        return leaveRecord();
    return movePrevious();
}

Result RecordSource::moveToRow(int row) {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (row == m_current && !m_adding)
        return Result::success();
    if (const Result left = leaveRecord(); !left)
        return left;
    return setCurrent(row);
}

Result RecordSource::moveToKey(qint64 key) {
    if (const Result searched = finishSearch(); !searched)
        return searched;
    if (!isOpen())
        return notOpen();
    if (const Result left = leaveRecord(); !left)
        return left;
    qsizetype row = m_keys.indexOf(key);
    if (row < 0) {
        QList<qint64> before;
        QList<qint64> from;
        if (const Result fetched = fetchKeys(Direction::Backward, key, pageSize, before); !fetched)
            return fetched;
        if (const Result fetched = fetchKeys(Direction::Forward, key - 1, pageSize, from); !fetched)
            return fetched;
        if (from.isEmpty() || from.first() != key)
            return moveLast();
        replaceWindow(before + from, before.size() < pageSize, from.size() < pageSize);
        row = before.size();
    }
    return setCurrent(static_cast<int>(row));
}
