#include "ColumnCache.h"

#include <QElapsedTimer>
#include <sqlite3.h>

namespace {

qint64 dataVersion(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    qint64 version = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        version = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return version;
}

} // namespace

ColumnCache::ColumnCache(sqlite3* db, QObject* parent) : QObject(parent), m_db(db) {
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

bool ColumnCache::current() {
    // Another connection wrote the file (another copy of the program, the sqlite3 shell,
    // a restore): which rows, nobody says, so every column is read again.
    const qint64 version = dataVersion(m_db);
    if (version == m_dataVersion)
        return true;
    m_dataVersion = version;
    for (const auto& column : m_columns)
        column->reset();
    m_tooLarge.clear();
    return false;
}

TextColumn* ColumnCache::find(const QString& table, const QString& field) {
    for (auto it = m_columns.begin(); it != m_columns.end(); ++it) {
        if ((*it)->table().compare(table, Qt::CaseInsensitive) == 0 &&
            (*it)->field().compare(field, Qt::CaseInsensitive) == 0) {
            std::rotate(m_columns.begin(), it, it + 1); // most recently used first
            return m_columns.front().get();
        }
    }
    return nullptr;
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

TextColumn* ColumnCache::column(const QString& table, const QString& field) {
    current();
    if (m_tooLarge.contains(table.toLower() + QLatin1Char('.') + field.toLower()))
        return nullptr;
    TextColumn* column = want(table, field);
    if (column->isComplete() && column->readChanges(m_db))
        return column;
    if (!m_timer.isActive())
        m_timer.start();
    return nullptr;
}

Result ColumnCache::makeNow(const QString& table, const QString& field) {
    current();
    TextColumn* column = want(table, field);
    bool complete = column->isComplete();
    if (!complete)
        if (const Result made = column->buildStep(
                m_db, [] { return false; }, complete);
            !made)
            return made;
    if (column->bytes() > m_limit) {
        m_tooLarge << column->table() + QLatin1Char('.') + column->field();
        m_columns.erase(m_columns.begin());
        return Result::failure(QStringLiteral("La colonna «%1» non sta nel limite di memoria delle ricerche.").arg(field));
    }
    while (m_columns.size() > 1 && bytes() > m_limit)
        m_columns.pop_back();
    return column->readChanges(m_db);
}

void ColumnCache::buildSlice() {
    if (m_columns.empty())
        return;
    // Only the column last asked for is made; any other incomplete one waits its turn.
    current();
    TextColumn* column = m_columns.front().get();
    if (column->isComplete())
        return;
    QElapsedTimer timer;
    timer.start();
    bool complete = false;
    if (!column->buildStep(
            m_db, [&] { return timer.nsecsElapsed() > 8'000'000; }, complete)) {
        column->reset();
        return;
    }
    if (column->bytes() > m_limit) {
        m_tooLarge << column->table() + QLatin1Char('.') + column->field();
        m_columns.erase(m_columns.begin());
        return;
    }
    // Keep within the limit: drop the least recently used columns.
    while (m_columns.size() > 1 && bytes() > m_limit)
        m_columns.pop_back();
    if (!complete)
        m_timer.start();
}

void ColumnCache::rowChanged(const char* table, qint64 rowid) {
    for (const auto& column : m_columns)
        if (column->table().compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            column->rowChanged(rowid);
}
