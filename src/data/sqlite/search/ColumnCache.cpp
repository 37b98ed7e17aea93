#include "data/sqlite/search/ColumnCache.h"

#include "data/sqlite/search/WriteLedger.h"

#include <QElapsedTimer>
#include <sqlite3.h>

namespace {

constexpr std::size_t maxMaps = 4;

qint64 dataVersion(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return version;
}

// What the whole column will take, judged from the part read: the bytes so far, spread
// over the keys read and then over all the table's keys.
double projectedBytes(sqlite3* db, const TextColumn& column) {
    sqlite3_stmt* statement = nullptr;
    double projected = 0;
    // Two subqueries: SQLite reads min() and max() of the key from the ends of the table
    // only when each stands alone.
    const QByteArray sql =
        QStringLiteral("SELECT (SELECT min(rowid) FROM \"%1\"), (SELECT max(rowid) FROM \"%1\")").arg(column.table()).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
        const double first = static_cast<double>(sqlite3_column_int64(statement, 0));
        const double last = static_cast<double>(sqlite3_column_int64(statement, 1));
        const double read = static_cast<double>(column.readUpTo()) - first + 1;
        if (read > 0)
            projected = static_cast<double>(column.usedBytes()) * (last - first + 1) / read;
    }
    sqlite3_finalize(statement);
    return projected;
}

template <typename T>
T* findIn(std::vector<std::unique_ptr<T>>& list, const QString& table, const QString& field) {
    for (auto it = list.begin(); it != list.end(); ++it) {
        if ((*it)->table().compare(table, Qt::CaseInsensitive) == 0 &&
            (*it)->field().compare(field, Qt::CaseInsensitive) == 0) {
            std::rotate(list.begin(), it, it + 1); // most recently used first
            return list.front().get();
        }
    }
    return nullptr;
}

QString keyOf(const QString& table, const QString& field) {
    return table.toLower() + QLatin1Char('.') + field.toLower();
}

Result withoutMemory(const QString& field) {
    return Result::failure(
        QStringLiteral("Per la colonna «%1» le ricerche non hanno avuto abbastanza memoria: cercano senza.")
            .arg(field));
}

} // namespace

ColumnCache::ColumnCache(sqlite3* db, WriteLedger* ledger, QObject* parent)
    : QObject(parent), m_db(db), m_ledger(ledger) {
    m_timer.setInterval(1);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ColumnCache::buildSlice);
}

ColumnCache::~ColumnCache() = default;

std::size_t ColumnCache::bytes() const {
    std::size_t total = 0;
    for (const auto& column : m_columns)
        total += column->bytes();
    return total;
}

std::size_t ColumnCache::mapBytes() const {
    std::size_t total = 0;
    for (const auto& map : m_maps)
        total += map->bytes();
    return total;
}

bool ColumnCache::current() {
    // Another connection wrote the file (another copy of the program, the sqlite3 shell,
    // a restore): which rows, nobody says, so every column and map is read again. The
    // search index's builder writes only the index: the ledger leaves it out.
    const qint64 version = m_ledger ? static_cast<qint64>(m_ledger->generation()) : dataVersion(m_db);
    if (version == m_dataVersion)
        return true;
    m_dataVersion = version;
    for (const auto& column : m_columns)
        column->reset();
    for (const auto& map : m_maps)
        map->reset();
    m_tooLarge.clear();
    return false;
}

bool ColumnCache::isTooLarge(const QString& table, const QString& field) const {
    return m_tooLarge.contains(keyOf(table, field));
}

TextColumn* ColumnCache::find(const QString& table, const QString& field) {
    return findIn(m_columns, table, field);
}

TextColumn* ColumnCache::want(const QString& table, const QString& field) {
    TextColumn* column = find(table, field);
    if (!column) {
        m_columns.insert(m_columns.begin(), std::make_unique<TextColumn>(table.toLower(), field.toLower()));
        column = m_columns.front().get();
    }
    if (column->wantsRebuild())
        column->reset();
    return column;
}

BlockMap* ColumnCache::wantMap(const QString& table, const QString& field) {
    BlockMap* map = findIn(m_maps, table, field);
    if (!map) {
        m_maps.insert(m_maps.begin(), std::make_unique<BlockMap>(table.toLower(), field.toLower()));
        map = m_maps.front().get();
        if (m_maps.size() > maxMaps)
            m_maps.pop_back();
    }
    return map;
}

Result ColumnCache::outOfMemory(QString table, QString field, bool map) {
    // Whatever of it was made goes, freeing its memory. A column is followed by the map,
    // which takes a small part of its memory; a map by nothing.
    const QString key = keyOf(table, field);
    std::erase_if(m_columns, [&](const auto& column) { return keyOf(column->table(), column->field()) == key; });
    if (map) {
        std::erase_if(m_maps, [&](const auto& each) { return keyOf(each->table(), each->field()) == key; });
        m_noMemory << key;
    } else {
        m_tooLarge << key;
        wantMap(table, field);
    }
    return withoutMemory(field);
}

TextColumn* ColumnCache::column(const QString& table, const QString& field) {
    current();
    if (isTooLarge(table, field) || m_noMemory.contains(keyOf(table, field)))
        return nullptr;
    TextColumn* column = want(table, field);
    bool changesRead = false;
    try {
        changesRead = column->isComplete() && column->readChanges(m_db);
    } catch (const std::bad_alloc&) {
        (void)outOfMemory(table, field, false);
        return nullptr;
    }
    if (changesRead)
        return column;
    if (!m_timer.isActive())
        m_timer.start();
    return nullptr;
}

BlockMap* ColumnCache::blocks(const QString& table, const QString& field) {
    current();
    if (!isTooLarge(table, field) || m_noMemory.contains(keyOf(table, field)))
        return nullptr;
    BlockMap* map = wantMap(table, field);
    try {
        if (!map->readChanges(m_db))
            map->reset();
    } catch (const std::bad_alloc&) {
        (void)outOfMemory(table, field, true);
        return nullptr;
    }
    if (!map->isComplete() && !m_timer.isActive())
        m_timer.start();
    return map;
}

Result ColumnCache::buildColumn(const std::function<bool()>& outOfTime, bool& complete) {
    TextColumn* column = m_columns.front().get();
    complete = column->isComplete();
    if (!complete) {
        Result made = Result::success();
        try {
            made = column->buildStep(m_db, outOfTime, complete);
        } catch (const std::bad_alloc&) {
            complete = true; // nothing more to make of it
            return outOfMemory(column->table(), column->field(), false);
        }
        if (!made) {
            column->reset();
            return made;
        }
    }
    // A column past the limit, or bound to pass it, is not kept: its map is made instead.
    if (column->bytes() > m_limit ||
        (!complete && projectedBytes(m_db, *column) > static_cast<double>(m_limit) * 1.25)) {
        const QString table = column->table(), field = column->field();
        m_tooLarge << keyOf(table, field);
        m_columns.erase(m_columns.begin());
        wantMap(table, field);
        return Result::failure(
            QStringLiteral("La colonna «%1» non sta nel limite di memoria delle ricerche.").arg(field));
    }
    // Keep within the limit: drop the least recently used columns.
    while (m_columns.size() > 1 && bytes() > m_limit)
        m_columns.pop_back();
    return Result::success();
}

Result ColumnCache::makeNow(const QString& table, const QString& field) {
    current();
    Result result = Result::success();
    if (m_noMemory.contains(keyOf(table, field))) {
        return withoutMemory(field);
    } else if (isTooLarge(table, field)) {
        result = Result::failure(
            QStringLiteral("La colonna «%1» non sta nel limite di memoria delle ricerche.").arg(field));
    } else {
        TextColumn* column = want(table, field);
        bool complete = false;
        while (result && !complete)
            result = buildColumn([] { return true; }, complete);
        if (result)
            return column->readChanges(m_db);
    }
    if (isTooLarge(table, field)) {
        BlockMap* map = wantMap(table, field);
        bool complete = map->isComplete();
        while (!complete)
            if (const Result made = buildMapStep(
                    *map, [] { return false; }, complete);
                !made)
                return made;
    }
    return result;
}

Result ColumnCache::buildMapStep(BlockMap& map, const std::function<bool()>& outOfTime, bool& complete) {
    Result made = Result::success();
    try {
        made = map.buildStep(m_db, outOfTime, complete);
    } catch (const std::bad_alloc&) {
        complete = true;
        return outOfMemory(map.table(), map.field(), true);
    }
    if (!made)
        map.reset();
    return made;
}

void ColumnCache::buildSlice() {
    // Only the column last asked for is made, then the map last asked for; any other
    // incomplete one waits its turn.
    current();
    QElapsedTimer timer;
    timer.start();
    const auto outOfTime = [&] { return timer.nsecsElapsed() > 8'000'000; };
    if (!m_columns.empty() && !m_columns.front()->isComplete()) {
        bool complete = false;
        const Result built = buildColumn(outOfTime, complete);
        if (built && !complete)
            m_timer.start();
        if (!built && !m_maps.empty() && !m_maps.front()->isComplete())
            m_timer.start(); // found past the limit: its map next
        return;
    }
    if (m_maps.empty() || m_maps.front()->isComplete())
        return;
    bool complete = false;
    if (buildMapStep(*m_maps.front(), outOfTime, complete) && !complete)
        m_timer.start();
}

void ColumnCache::rowChanged(const char* table, qint64 rowid) {
    for (const auto& column : m_columns)
        if (column->table().compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            column->rowChanged(rowid);
    for (const auto& map : m_maps)
        if (map->table().compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            map->rowChanged(rowid);
}
