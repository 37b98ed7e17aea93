#include "data/store/RecordSource.h"

#include "data/store/Database.h"
#include "data/store/KeySearch.h"
#include "data/store/RecordSourceDetail.h"

#include <QSqlError>
#include <QSqlQuery>

// RecordSource: the keys of the result, a page at a time around what is shown.

using namespace RecordSourceDetail;

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

    const Engine& engine = m_database->backend();
    const QString key = engine.keyColumn(m_table);
    const bool forward = direction == Direction::Forward;
    // The statement, with the condition `lead` followed through its index (-1: none is).
    const auto statement = [&](int lead, QVariantList& values) {
        QStringList where;
        for (qsizetype i = 0; i < m_query.conditions().size(); ++i)
            where << engine.criteriaSql(m_table, m_query.conditions().at(i), i == lead, values);
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
    // Runs it; `briefly` stops it after about as long as weighing the conditions takes,
    // with `stopped` set.
    const auto select = [&](int lead, bool briefly, bool& stopped) {
        QVariantList values;
        const QString sql = statement(lead, values);
        keys.clear();
        // On a server the statement is kept prepared: the visits and photos of each property
        // shown run the same one again.
        QSqlQuery plain(m_database->connection());
        plain.setForwardOnly(true);
        QSqlError error;
        QSqlQuery* query = m_database->keepsStatements() ? m_database->kept(sql, error) : &plain;
        if (!query)
            return databaseError(QStringLiteral("la ricerca"), error);
        if (query == &plain && !query->prepare(sql))
            return databaseError(QStringLiteral("la ricerca"), query->lastError());
        for (int i = 0; i < values.size(); ++i)
            query->bindValue(i, values.at(i));
        bool ran = false;
        const auto run = [&] {
            ran = query->exec();
            while (ran && query->next())
                keys.append(query->value(0).toLongLong());
        };
        stopped = false;
        if (briefly)
            stopped = engine.runBriefly(run);
        else
            run();
        if (!ran && !stopped) {
            error = query->lastError();
            if (query != &plain)
                m_database->forget(sql);
            return databaseError(QStringLiteral("la ricerca"), error);
        }
        query->finish();
        return Result::success();
    };

    // Where the engine weighs the criteria search's indexes itself (CriteriaIndex on SQLite),
    // the table is read in key order first, for about as long as finding the way through an
    // index takes: a page of rows that many meet comes at once. Otherwise the condition that
    // the fewest rows meet leads, when few enough do.
    const bool indexed = engine.weighsCriteria(m_table, m_query.conditions());
    bool stopped = false;
    if (const Result selected = select(-1, indexed, stopped); !selected)
        return selected;
    if (stopped) {
        const int leading = engine.weighLeading(m_table, m_query.conditions());
        if (const Result selected = select(leading, false, stopped); !selected)
            return selected;
    }
    if (!forward)
        std::reverse(keys.begin(), keys.end());
    return Result::success();
}

void RecordSource::replaceWindow(const QList<qint64>& keys, bool headLoaded, bool tailLoaded, bool sameResult) {
    m_windowMovedOnly = sameResult;
    emit aboutToReset();
    m_keys = keys;
    m_headLoaded = headLoaded;
    m_tailLoaded = tailLoaded;
    if (m_tailLoaded)
        appendAddedKeys();
    m_current = -1;
    m_next = 0;
    emit reset();
    m_windowMovedOnly = false;
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
    replaceWindow(keys, true, keys.size() < pageSize, true);
    return Result::success();
}

Result RecordSource::loadTail() {
    QList<qint64> keys;
    if (const Result fetched = fetchKeys(Direction::Backward, std::nullopt, pageSize, keys); !fetched)
        return fetched;
    replaceWindow(keys, keys.size() < pageSize, true, true);
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
